// Programs that try to take the debugger down: invalid code, jumps into data
// and the stack, services asked for more than memory holds, endless input,
// code that rewrites itself, stacks that run over. Each ends the way it
// should (an exit, a stop with its message, or the step limit), in bounded
// time and host memory, both when it runs on and when it is single-stepped.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "sim/dos_program.h"
#include "sim/run_session.h"
#include "support/asm_support.h"
#include "support/program_support.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;
using testing_support::Capture;
using testing_support::ScriptKeys;

#define NEED_ENGINE()                                                      \
  do {                                                                     \
    if (!DefaultMachineFactory()) GTEST_SKIP() << "built without Unicorn"; \
  } while (0)

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 3)
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// The peak resident memory of this process in MiB (0 where it cannot be read).
uint64_t PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  uint64_t kb = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> kb;
      return kb / 1024;
    }
  }
  return 0;
}

enum class Mode { Long, Steps };

struct Hostile {
  const char* name;
  std::string hex;                  // the image, or "" for a source
  std::vector<std::string> source;  // a dialect source, assembled
  uint32_t bits;                    // of a binary image
  std::string keys;                 // a stream; `endless` follows it
  int endless;                      // a key repeated for ever after `keys`, or -1
  RunStatus status;
  int exitCode;          // when Exited
  const char* message;   // stop message (Stopped), or "" for none
  uint32_t stopAt;       // the stop address, or ~0 for any
  std::string out;       // what the program printed, or "*" for anything
  uint32_t flags = ~0u;  // EFLAGS at the end, or ~0 for any
};

constexpr uint64_t kLimit = 200'000;
constexpr uint32_t kAny = ~0u;

// Loads the case and runs it to its end in the given mode.
struct HostileRun {
  std::unique_ptr<Machine> machine;
  ScriptKeys keys;
  Capture screen{4096};
  std::unique_ptr<DosProgram> program;
  RunStatus status = RunStatus::Stopped;

  HostileRun(const Hostile& c, Mode mode) : keys(c.keys, false, c.endless) {
    machine = DefaultMachineFactory()();
    ProgramImage image;
    std::vector<uint8_t> bytes = Bytes(c.hex);
    image.bits = c.bits;
    image.origin = 0x100;
    AsmRun assembled;
    if (c.hex.empty()) {
      AsmHarness h;
      assembled = h.Run(AsmHarness::Join(c.source));
      EXPECT_EQ(assembled.state2, Compiled) << c.name;
      bytes = assembled.bytes;
      image.bits = assembled.report.entryBits;
      image.origin = LoadOrigin(assembled.report.origin, image.bits);
    }
    image.bytes = bytes;
    program = std::make_unique<DosProgram>(*machine, keys, screen);
    program->SetStepLimit(kLimit);
    EXPECT_TRUE(program->Load(image)) << c.name;
    status = program->status();
    for (uint64_t guard = 0; guard < 2 * kLimit + 10; ++guard) {
      status = program->Run(mode == Mode::Long ? 1'000'000 : 1);
      if (status != RunStatus::Ready) break;
    }
  }
};

TEST(HostilePrograms, EndAsTheyShouldInBoundedTimeAndMemory) {
  NEED_ENGINE();
  const Hostile cases[] = {
      // A far CALL or JMP with a register operand is invalid on a processor;
      // an engine once ended the whole process on it.
      {"far JMP through a register",
       "FF EF",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"far CALL through a register, 32-bit",
       "FF D8",
       {},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      // LOCK on BT, or on any bit test of a register, is invalid on a
      // processor; the engine once ended the whole process on the register
      // forms.
      {"LOCK BT of a register",
       "F0 0F A3 F0",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"LOCK BTS of a register by an immediate, 32-bit",
       "F0 0F BA E8 01",
       {},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"LOCK BT of memory",
       "F0 0F A3 06 00 01",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"jumps that land inside an instruction",
       "",
       {"[ORG 100]", "START:", "NOP", "JZ START", "JMP $5", "JNZ $-2", "NOP", "JZ START", "JMP $5"},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x10C,
       ""},
      // Loading a segment register once switched 32-bit code's stack to SP:
      // the PUSH after MOV FS,EAX (a null selector) wrote below 64 KiB.
      {"a segment load in 32-bit code, then the stack",
       "8E E0 06 07 0F A0 0F A1 B8 00 4C 00 00 CD 21",
       {},
       32,
       "",
       -1,
       RunStatus::Exited,
       0,
       "",
       kAny,
       ""},
      {"self-modifying code",
       "C6 06 00 01 C6 B8 00 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       0,
       "",
       kAny,
       ""},
      // The engine restarts an instruction that writes into the block of code
      // it runs from, and a long run once took the carry out of the wrong
      // state there: the ADC wrote 11 over its own 10.
      {"code rewritten with the bytes it held, then a carry",
       "00 06 00 01 10 06 04 01 A0 04 01 B4 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       0x10,
       "",
       kAny,
       ""},
      // STC, then a rotate through the carry of the byte 90h (RCR) or 09h
      // (RCL) that MOV BL takes: the rotate writes into its own block and is
      // restarted. It once ran again with the carry it had produced and
      // gave 48h and 12h. The exit code is the byte; the flags are the
      // rotate's, as a processor leaves them.
      {"RCR through the carry into its own block of code",
       "F9 D0 1E 09 01 A0 09 01 B3 90 B4 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       0xC8,
       "",
       kAny,
       "",
       0x202},
      {"RCL through the carry into its own block of code",
       "F9 D0 16 09 01 A0 09 01 B3 09 B4 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       0x13,
       "",
       kAny,
       "",
       0x202},
      // The flags at a stop are those of the ADD before the fault (ZF PF).
      {"a memory fault after an ADD",
       "B8 00 30 8E D8 01 CD 00 17",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       0x107,
       "",
       0x246},
      {"a jump into the stack",
       "B8 FF EA 50 89 E3 FF E3",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "jump outside the program",
       0xFFFC,
       ""},
      {"the byte just past the program",
       "",
       {"[ORG 100]", "NOP"},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "jump outside the program",
       0x101,
       ""},
      {"HLT ends the program",
       "",
       {"[ORG 100]", "NOP", "HLT", "INT 20"},
       16,
       "",
       -1,
       RunStatus::Exited,
       0,
       "halted by HLT",
       0x101,
       ""},
      {"INT 3 stops at its own address",
       "",
       {"NOP", "INT 3", "NOP"},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "no service for INT 03h",
       0x101,
       ""},
      {"INTO with OF set is an interrupt without a service",
       "B0 7F 04 01 CE",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "no service for INT 04h",
       0x104,
       ""},
      {"no [ORG]: loaded at 100h, a final RET ends it once",
       "",
       {"MOV AH, 2", "MOV DL, 41", "INT 21", "RET"},
       16,
       "",
       -1,
       RunStatus::Exited,
       0,
       "",
       kAny,
       "A"},
      {"writes over the PSP, then returns into it",
       "C7 06 00 00 90 90 C7 06 02 00 90 90 C3",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "jump outside the program",
       0x2,
       ""},
      // The engine makes an x87 store's writes in a helper and went on after
      // one failed: the store counted, and the run stopped at the next
      // instruction, or ran it.
      {"an x87 store to memory that does not exist",
       "B8 00 30 8E D8 DF 37 90 CD 20",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       0x105,
       ""},
      {"FNSTENV to memory that does not exist, as the last instruction",
       "D9 B7 00 00 00 10",
       {},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       0x100,
       ""},
      // The time-stamp counter counts the instructions before it (it read
      // the host's clock, so that no two runs agreed).
      {"RDTSC after two instructions, its low byte the exit code",
       "90 90 0F 31 B4 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       2,
       "",
       kAny,
       ""},
      // No random numbers (the host's generator made no two runs agree):
      // the processor has neither RDRAND nor RDSEED, and CPUID says so.
      {"RDRAND",
       "0F C7 F0",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"RDSEED of EDI, 32-bit",
       "0F C7 FF",
       {},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "invalid instruction",
       0x100,
       ""},
      {"CPUID's RDRAND bit as the exit code",
       "",
       {"[ORG 100]", "MOV EAX, 1", "CPUID", "BT ECX, #30", "SETC AL", "MOV AH, 4C", "INT 21"},
       16,
       "",
       -1,
       RunStatus::Exited,
       0,
       "",
       kAny,
       ""},
      // A store not aligned to its size that runs from the byte before its
      // own instruction onto it: it happens once, in single steps too.
      {"XOR of a word over its own first byte, 16-bit",
       "",
       {"[ORG 100]", "MOV BX, 105", "MOV AX, 1", "XOR [BX], AX", "MOV AL, [105]", "MOV AH, 4C",
        "INT 21"},
       16,
       "",
       -1,
       RunStatus::Exited,
       1,
       "",
       kAny,
       ""},
      {"XOR of a dword over its own first byte, 32-bit",
       "",
       {"[BITS #32]", "[ORG 100]", "MOV EBX, 107", "MOV EAX, 1", "XOR [EBX], EAX", "MOV AL, [107]",
        "MOV AH, 4C", "INT 21"},
       32,
       "",
       -1,
       RunStatus::Exited,
       1,
       "",
       kAny,
       ""},
      // Twelve passes through ADD [BX],AX at 140h (a 64-byte boundary where
      // the program is loaded). Eleven add 0 to a byte at 1F0h, on the same
      // page, so often that the engine maps the page's code bytes; the last
      // adds A1h to the word at 13Fh, from the byte before the ADD onto its
      // first byte. The exit code is the byte at 140h: 01h plus the carry
      // of A0h + A1h.
      {"ADD of a word over its own first byte on a written page",
       "B9 0C 00 BB F0 01 C6 06 3F 01 A0 31 D2 83 F9 01 0F 94 C2 F7 DA 89 D0 25 A1 00 89 D3 81 E3 "
       "CF 00 81 F3 F0 01 EB 1A 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 90 "
       "90 90 90 A0 01 07 E2 C7 A0 40 01 B4 4C CD 21",
       {},
       16,
       "",
       -1,
       RunStatus::Exited,
       2,
       "",
       kAny,
       ""},
      {"function 09h reads DS:DX, not ES:DX",
       "",
       {"[ORG 100]", "MOV AX, 2000", "MOV ES, AX", "MOV AH, 9", "MOV DX, OFFSET M", "INT 21",
        "INT 20", "M:", "DB \"OK$\""},
       16,
       "",
       -1,
       RunStatus::Exited,
       0,
       "",
       kAny,
       "OK"},
      {"function 40h with CX FFFF runs past the segment",
       "",
       {"[ORG 100]", "MOV AH, 40", "MOV BX, 1", "MOV CX, FFFF", "MOV DX, 10", "INT 21", "INT 20"},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       0x10B,
       ""},
      {"function 40h with ECX FFFFFFFF",
       "",
       {"[BITS #32]", "[ORG 400000]", "MOV AH, 40", "MOV EBX, 1", "MOV ECX, FFFFFFFF",
        "MOV EDX, 400000", "INT 21", "INT 20"},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       kAny,
       ""},
      {"function 3Fh with ECX FFFFFFFF and endless input",
       "",
       {"[BITS #32]", "[ORG 400000]", "MOV AH, 3F", "MOV EBX, 0", "MOV ECX, FFFFFFFF",
        "MOV EDX, 400100", "INT 21", "MOV AH, 4C", "INT 21"},
       32,
       "",
       'Z',
       RunStatus::Exited,
       0x00,
       "",
       kAny,
       ""},
      {"a stack that grows down for ever",
       "",
       {"[BITS #32]", "[ORG 400000]", "L:", "PUSH EAX", "JMP L"},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       kAny,
       ""},
      {"a stack popped for ever",
       "",
       {"[ORG 100]", "L:", "POP AX", "JMP L"},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "step limit of 200000 instructions reached",
       kAny,
       ""},
      // The STOSB writes F0h over itself: F0 EB FD is a (locked) jump to
      // itself. A long run once took each return to it for a restart of
      // the STOSB and never counted it.
      {"STOSB over its own byte, turning it into a jump to itself",
       "BF 05 01 B0 F0 AA EB FD",
       {},
       16,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "step limit of 200000 instructions reached",
       0x105,
       ""},
      {"recursion without end",
       "",
       {"[BITS #32]", "[ORG 400000]", "F:", "CALL F"},
       32,
       "",
       -1,
       RunStatus::Stopped,
       0,
       "memory outside the program's space",
       kAny,
       ""},
  };
  for (Mode mode : {Mode::Long, Mode::Steps}) {
    for (const Hostile& c : cases) {
      const auto start = std::chrono::steady_clock::now();
      HostileRun r(c, mode);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const std::string what = std::string(c.name) + (mode == Mode::Long ? " (run)" : " (steps)");
      ASSERT_NE(r.program, nullptr) << what;
      EXPECT_EQ(r.status, c.status) << what << ": " << r.program->message();
      if (c.status == RunStatus::Exited) {
        EXPECT_EQ(r.program->exitCode(), c.exitCode) << what;
      }
      if (*c.message) {
        EXPECT_EQ(r.program->message(), c.message) << what;
      }
      if (c.stopAt != kAny) {
        EXPECT_EQ(r.program->stopAddress(), c.stopAt) << what;
      }
      if (c.out != "*") {
        EXPECT_EQ(r.screen.out, c.out) << what;
      }
      if (c.flags != kAny) {
        EXPECT_EQ(r.machine->Get(Reg::Eflags), c.flags) << what;
      }
      EXPECT_LE(r.program->executed(), kLimit) << what;
      EXPECT_LT(seconds, 20.0) << what;
      EXPECT_LT(PeakMiB(), 1024u) << what << ": the host's memory grew with the program's counts";
    }
  }
}

// Keys typed before a restart belong to the run that was restarted.
TEST(HostilePrograms, ARestartForgetsTheKeysTypedBeforeIt) {
  NEED_ENGINE();
  RunSession session;
  session.SetFactory(DefaultMachineFactory());
  AsmHarness h;
  const AsmRun r = h.Run(AsmHarness::Join({"[ORG 100]", "MOV AH, 1", "INT 21", "INT 20"}));
  ASSERT_EQ(r.state2, Compiled);
  ASSERT_NE(session.AfterCompile(h.as.env().regions, *h.ws, r.report), 0u);
  CpuState cpu{};
  uint32_t line = 1;
  session.Key('A');
  session.Restart();
  for (int i = 0; i < 4; ++i) session.Step(&line, &cpu);
  EXPECT_TRUE(session.waiting()) << "the key typed before the restart was read";
}

}  // namespace
}  // namespace quorix
