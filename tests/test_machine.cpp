// Programs on the debugger's machine: single instructions against the
// processor's definitions, the DOS and BIOS services, and how a program ends.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUORIX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORIX_TEST_ASAN 1
#endif
#endif
#if defined(QUORIX_TEST_ASAN)
#include <cstddef>
// From the address sanitizer's run-time library (GCC's and Clang's alike).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "sim/dos_program.h"
#include "sim/run_session.h"
#include "support/asm_support.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;

// Keys from a fixed text; once used up, either none pending (a keyboard) or
// the end of the input (a stream).
class ScriptKeys : public KeySource {
 public:
  ScriptKeys(std::string keys, bool keyboard) : keys_(std::move(keys)), keyboard_(keyboard) {}
  int Peek() override {
    if (at_ < keys_.size()) return static_cast<uint8_t>(keys_[at_]);
    return keyboard_ ? kNoKey : kEndOfInput;
  }
  void Take() override { ++at_; }
  bool IsKeyboard() const override { return keyboard_; }
  void Add(const std::string& more) { keys_ += more; }

 private:
  std::string keys_;
  size_t at_ = 0;
  bool keyboard_;
};

class Capture : public ProgramOutput {
 public:
  void Write(int handle, std::span<const uint8_t> bytes) override {
    (handle == 2 ? err : out).append(bytes.begin(), bytes.end());
  }
  std::string out, err;
};

// A dialect source assembled and loaded as a .com (or a flat 32-bit
// program when it selects [BITS #32]).
struct Loaded {
  std::unique_ptr<Machine> machine;
  ScriptKeys keys;
  Capture screen;
  std::unique_ptr<DosProgram> program;
  AsmRun assembled;

  Loaded(const std::vector<std::string>& lines, std::string input = "", bool keyboard = true)
      : keys(std::move(input), keyboard) {
    MachineFactory factory = DefaultMachineFactory();
    if (!factory) return;
    machine = factory();
    AsmHarness h;
    assembled = h.Run(AsmHarness::Join(lines));
    if (assembled.state2 != Compiled) return;
    program = std::make_unique<DosProgram>(*machine, keys, screen);
    ProgramImage image;
    image.bytes = assembled.bytes;
    image.origin = assembled.report.origin;
    image.bits = assembled.report.entryBits;
    program->Load(image);
  }
  Machine& m() { return *machine; }
};

// Bytes loaded as a program of `bits` at `origin` on a machine of their own,
// with no keys.
struct ImageOnMachine {
  std::unique_ptr<Machine> machine = DefaultMachineFactory()();
  ScriptKeys keys{"", true};
  Capture out;
  DosProgram program{*machine, keys, out};

  bool Load(std::vector<uint8_t> bytes, uint32_t bits, uint32_t origin) {
    ProgramImage image;
    image.bytes = std::move(bytes);
    image.bits = bits;
    image.origin = origin;
    return program.Load(image);
  }
};

// A build with Unicorn must have a machine: its tests fail rather than skip.
#define NEED_ENGINE()                                                          \
  do {                                                                         \
    if (!DefaultMachineFactory()) {                                            \
      if (QUORIX_EXPECT_ENGINE) FAIL() << "built with Unicorn but no machine"; \
      GTEST_SKIP() << "built without Unicorn";                                 \
    }                                                                          \
  } while (0)

std::string FlagNames(uint32_t flags, uint32_t mask) {
  static const struct {
    const char* name;
    uint32_t bit;
  } kNames[] = {{"CF", kFlagCF}, {"PF", kFlagPF}, {"AF", kFlagAF}, {"ZF", kFlagZF},
                {"SF", kFlagSF}, {"DF", kFlagDF}, {"OF", kFlagOF}};
  std::string s;
  for (const auto& n : kNames)
    if ((mask & n.bit) && (flags & n.bit)) s += std::string(s.empty() ? "" : " ") + n.name;
  return s;
}

constexpr uint32_t kArith = kFlagCF | kFlagPF | kFlagAF | kFlagZF | kFlagSF | kFlagOF;
constexpr uint32_t kLogic = kFlagCF | kFlagPF | kFlagZF | kFlagSF | kFlagOF;  // AF undefined
constexpr uint32_t kCarryOverflow = kFlagCF | kFlagOF;  // MUL, IMUL: the rest undefined

TEST(MachineInstructions, RegisterAndFlagResultsOfSingleInstructions) {
  NEED_ENGINE();
  const struct {
    const char* line;
    uint32_t eax, ebx, ecx, edx, flagsIn;
    uint32_t wantEax, wantEdx, wantEcx;
    uint32_t checked;   // the flags the instruction defines
    const char* flags;  // those of them that must be set
  } cases[] = {
      {"ADD AX, BX", 0xFFFF, 1, 0, 0, 0, 0x0000, 0, 0, kArith, "CF PF AF ZF"},
      {"ADD AX, BX", 0x7FFF, 1, 0, 0, 0, 0x8000, 0, 0, kArith, "PF AF SF OF"},
      {"ADD AX, BX", 0x1200, 0x0034, 0, 0, 0, 0x1234, 0, 0, kArith, ""},
      {"SUB AX, BX", 0, 1, 0, 0, 0, 0xFFFF, 0, 0, kArith, "CF PF AF SF"},
      {"SUB AX, BX", 0x8000, 1, 0, 0, 0, 0x7FFF, 0, 0, kArith, "PF AF OF"},
      {"CMP AX, BX", 5, 5, 0, 0, 0, 5, 0, 0, kArith, "PF ZF"},
      {"CMP AX, BX", 3, 5, 0, 0, 0, 3, 0, 0, kArith, "CF AF SF"},
      {"ADC AX, BX", 1, 1, 0, 0, kFlagCF, 3, 0, 0, kArith, "PF"},
      {"INC AX", 0xFFFF, 0, 0, 0, kFlagCF, 0, 0, 0, kArith, "CF PF AF ZF"},  // CF kept
      {"DEC CX", 0, 0, 0x8000, 0, 0, 0, 0, 0x7FFF, kArith & ~kFlagCF, "PF AF OF"},
      {"NEG AX", 1, 0, 0, 0, 0, 0xFFFF, 0, 0, kArith, "CF PF AF SF"},
      {"NEG AX", 0, 0, 0, 0, kFlagCF, 0, 0, 0, kArith, "PF ZF"},
      {"MUL BX", 0x1234, 0x100, 0, 0, 0, 0x3400, 0x0012, 0, kCarryOverflow, "CF OF"},
      {"MUL BX", 2, 3, 0, 0x5555, 0, 6, 0, 0, kCarryOverflow, ""},
      {"DIV BX", 0x0100, 7, 0, 0, 0, 36, 4, 0, 0, ""},
      {"DIV BX", 0x3457, 0x100, 0, 0x12, 0, 0x1234, 0x57, 0, 0, ""},
      {"IMUL BX", 0xFFF9, 3, 0, 0, 0, 0xFFEB, 0xFFFF, 0, kCarryOverflow, ""},
      {"IDIV BX", 0xFFEB, 4, 0, 0xFFFF, 0, 0xFFFB, 0xFFFF, 0, 0, ""},
      {"AND AX, BX", 0xF0F0, 0x0FF0, 0, 0, kFlagCF | kFlagOF, 0x00F0, 0, 0, kLogic, "PF"},
      {"XOR AX, AX", 0x1234, 0, 0, 0, kFlagCF, 0, 0, 0, kLogic, "PF ZF"},
      {"OR AL, AL", 0x80, 0, 0, 0, 0, 0x80, 0, 0, kLogic, "SF"},
      {"TEST AL, 1", 0x02, 0, 0, 0, 0, 0x02, 0, 0, kLogic, "PF ZF"},
      {"TEST AL, 1", 0x03, 0, 0, 0, kFlagZF, 0x03, 0, 0, kLogic, ""},
      {"NOT AX", 0x00FF, 0, 0, 0, kFlagZF, 0xFF00, 0, 0, kArith, "ZF"},  // flags untouched
      {"SHL AX, 1", 0x8001, 0, 0, 0, 0, 0x0002, 0, 0, kFlagCF | kFlagZF | kFlagSF | kFlagOF,
       "CF OF"},
      {"SHR AX, 1", 0x0003, 0, 0, 0, 0, 0x0001, 0, 0, kFlagCF | kFlagZF | kFlagSF, "CF"},
      {"ROL AX, 4", 0x1234, 0, 0, 0, 0, 0x2341, 0, 0, kFlagCF, "CF"},
      {"XCHG AX, BX", 1, 2, 0, 0, 0, 2, 0, 0, 0, ""},
      {"STC", 0, 0, 0, 0, 0, 0, 0, 0, kFlagCF, "CF"},
  };
  for (const auto& c : cases) {
    Loaded p({"[ORG 100]", c.line});
    ASSERT_NE(p.program, nullptr) << c.line;
    p.m().Set(Reg::Eax, c.eax);
    p.m().Set(Reg::Ebx, c.ebx);
    p.m().Set(Reg::Ecx, c.ecx);
    p.m().Set(Reg::Edx, c.edx);
    p.m().Set(Reg::Eflags, 0x202 | c.flagsIn);
    EXPECT_EQ(p.program->Run(1), RunStatus::Ready) << c.line;
    EXPECT_EQ(p.program->executed(), 1u) << c.line;
    EXPECT_EQ(p.m().Get(Reg::Eax), c.wantEax) << c.line;
    if (std::string(c.line).find("CX") != std::string::npos) {
      EXPECT_EQ(p.m().Get(Reg::Ecx), c.wantEcx) << c.line;
    }
    if (c.wantEdx != 0 || std::string(c.line).find("MUL") != std::string::npos ||
        std::string(c.line).find("DIV") != std::string::npos) {
      EXPECT_EQ(p.m().Get(Reg::Edx), c.wantEdx) << c.line;
    }
    EXPECT_EQ(FlagNames(p.m().Get(Reg::Eflags), c.checked), FlagNames(0xFFFFFFFF, 0) + c.flags)
        << c.line << " with AX=" << c.eax;
    EXPECT_EQ(p.m().Get(Reg::Eip), 0x100u + p.assembled.bytes.size()) << c.line;
  }
}

TEST(MachineInstructions, ConditionalJumpsAndLoopFollowTheFlags) {
  NEED_ENGINE();
  // Line 2 jumps to THERE (offset 0x106 after a 4-byte jump and a NOP, or
  // 0x103 for the 2-byte LOOP) or falls through to the NOP.
  const struct {
    const char* line;
    uint32_t flags, ecx;
    bool taken;
  } cases[] = {
      {"JZ THERE", kFlagZF, 0, true},
      {"JZ THERE", 0, 0, false},
      {"JNZ THERE", 0, 0, true},
      {"JC THERE", kFlagCF, 0, true},
      {"JNC THERE", kFlagCF, 0, false},
      {"JA THERE", 0, 0, true},
      {"JA THERE", kFlagZF, 0, false},
      {"JBE THERE", kFlagCF, 0, true},
      {"JG THERE", kFlagSF | kFlagOF, 0, true},
      {"JG THERE", kFlagSF, 0, false},
      {"JL THERE", kFlagSF, 0, true},
      {"JL THERE", kFlagSF | kFlagOF, 0, false},
      {"JGE THERE", kFlagOF | kFlagSF, 0, true},
      {"JLE THERE", kFlagZF, 0, true},
      {"JO THERE", kFlagOF, 0, true},
      {"JS THERE", 0, 0, false},
      {"JNS THERE", 0, 0, true},
      {"JP THERE", kFlagPF, 0, true},
      {"LOOP THERE", 0, 2, true},
      {"LOOP THERE", 0, 1, false},
  };
  for (const auto& c : cases) {
    Loaded p({"[ORG 100]", c.line, "NOP", "THERE:", "NOP"});
    ASSERT_NE(p.program, nullptr) << c.line;
    p.m().Set(Reg::Eflags, 0x202 | c.flags);
    p.m().Set(Reg::Ecx, c.ecx);
    p.program->Run(1);
    const uint32_t length = static_cast<uint32_t>(p.assembled.bytes.size()) - 2;
    const uint32_t want = c.taken ? 0x100 + length + 1 : 0x100 + length;
    EXPECT_EQ(p.m().Get(Reg::Eip), want) << c.line << " flags " << c.flags;
    if (c.ecx != 0) {
      EXPECT_EQ(p.m().Get(Reg::Ecx), c.ecx - 1) << c.line;
    }
  }
}

TEST(MachineInstructions, ThirtyTwoBitCodeRunsFlat) {
  NEED_ENGINE();
  Loaded p({"[ORG 400000]", "[BITS #32]", "MOV EAX, 12345678", "ADD EAX, EBX", "MOV EDX, OFFSET T",
            "MOV AH, 9", "INT 21", "RET", "T:", "DB \"OK$\""});
  ASSERT_NE(p.program, nullptr);
  ASSERT_EQ(p.assembled.report.entryBits, 32u);
  p.m().Set(Reg::Ebx, 0xEDCBA988);
  p.program->Run(2);
  EXPECT_EQ(p.m().Get(Reg::Eax), 0u);
  EXPECT_EQ(p.m().Get(Reg::Eflags) & (kFlagCF | kFlagZF), kFlagCF | kFlagZF);
  EXPECT_EQ(p.m().Get(Reg::Eip), 0x400000u + 7);
  EXPECT_EQ(p.program->Run(100), RunStatus::Exited) << p.program->message();
  EXPECT_EQ(p.screen.out, "OK");
  EXPECT_EQ(p.program->exitCode(), 0);
}

// A machine loaded again ends a program as a new one does: nothing of the
// program before it (memory, registers, flags, the x87 stack) is left.
TEST(MachineInstructions, AMachineLoadedAgainForgetsThePreviousProgram) {
  NEED_ENGINE();
  using Bytes = std::vector<uint8_t>;
  // 16-bit: MOV AX,1234 / MOV [200],AX / STC / MOV ES,AX / MOV BX,5678 / FLD1 / INT 20
  const Bytes dirty16 = {0xB8, 0x34, 0x12, 0xA3, 0x00, 0x02, 0xF9, 0x8E,
                         0xC0, 0xBB, 0x78, 0x56, 0xD9, 0xE8, 0xCD, 0x20};
  // 16-bit: MOV AX,[200] / MOV CX,AX / FNSTSW AX / MOV BX,ES / PUSHF / POP DX / INT 20
  const Bytes probe16 = {0xA1, 0x00, 0x02, 0x89, 0xC1, 0xDF, 0xE0,
                         0x8C, 0xC3, 0x9C, 0x5A, 0xCD, 0x20};
  // 32-bit: MOV EAX,12345678 / MOV [400800],EAX / STC / MOV EBX,EAX / FLD1 / RET
  const Bytes dirty32 = {0xB8, 0x78, 0x56, 0x34, 0x12, 0xA3, 0x00, 0x08,
                         0x40, 0x00, 0xF9, 0x89, 0xC3, 0xD9, 0xE8, 0xC3};
  // 32-bit: MOV EAX,[400800] / MOV ECX,EAX / FNSTSW AX / PUSHF / POP EDX / RET
  const Bytes probe32 = {0xA1, 0x00, 0x08, 0x40, 0x00, 0x89, 0xC1, 0xDF, 0xE0, 0x9C, 0x5A, 0xC3};
  // 32-bit: MOV EAX,400000 / MOV DR0,EAX / MOV EAX,1 / MOV DR7,EAX / RET: a
  // breakpoint at the next program's first instruction, were it armed
  const Bytes debug32 = {0xB8, 0x00, 0x00, 0x40, 0x00, 0x0F, 0x23, 0xC0, 0xB8,
                         0x01, 0x00, 0x00, 0x00, 0x0F, 0x23, 0xF8, 0xC3};
  const struct {
    const char* what;
    uint32_t firstBits;
    const Bytes& first;
    uint32_t bits;
    const Bytes& then;
  } kCases[] = {
      {"16-bit after 16-bit", 16, dirty16, 16, probe16},
      {"32-bit after 32-bit", 32, dirty32, 32, probe32},
      {"16-bit after 32-bit", 32, dirty32, 16, probe16},
      {"32-bit after 16-bit", 16, dirty16, 32, probe32},
      {"32-bit after one that set DR0 and DR7", 32, debug32, 32, probe32},
  };
  struct End {
    RunStatus status;
    int exitCode;
    std::vector<uint32_t> regs;
  };
  auto run = [](Machine& m, uint32_t bits, const Bytes& bytes) {
    ScriptKeys keys("", true);
    Capture out;
    DosProgram program(m, keys, out);
    ProgramImage image;
    image.bytes = bytes;
    image.bits = bits;
    image.origin = bits == 32 ? 0x400000 : 0x100;
    EXPECT_TRUE(program.Load(image)) << program.message();
    End end{program.Run(100), program.exitCode(), {}};
    for (int r = 0; r < kRegCount; ++r) end.regs.push_back(m.Get(static_cast<Reg>(r)));
    return end;
  };
  for (const auto& c : kCases) {
    const std::unique_ptr<Machine> reused = DefaultMachineFactory()();
    const std::unique_ptr<Machine> fresh = DefaultMachineFactory()();
    EXPECT_EQ(run(*reused, c.firstBits, c.first).status, RunStatus::Exited) << c.what;
    const End again = run(*reused, c.bits, c.then);
    const End anew = run(*fresh, c.bits, c.then);
    EXPECT_EQ(anew.status, RunStatus::Exited) << c.what;
    EXPECT_EQ(anew.regs[static_cast<int>(Reg::Ecx)], 0u) << c.what << ": memory starts empty";
    EXPECT_EQ(again.status, anew.status) << c.what;
    EXPECT_EQ(again.exitCode, anew.exitCode) << c.what;
    EXPECT_EQ(again.regs, anew.regs) << c.what;
  }
}

// A step back puts the processor's state back whole: a program that sets
// DR7, clears it, and sets and clears it again runs on to its end after a
// step back to where it was set (the engine once kept a pointer there to a
// breakpoint the clearing had freed).
TEST(MachineInstructions, AStepBackOverDebugRegisterWritesRunsOn) {
  NEED_ENGINE();
  // MOV EAX,400000 / MOV DR0,EAX / MOV EAX,1 / MOV DR7,EAX /
  // XOR EAX,EAX / MOV DR7,EAX / MOV EAX,1 / MOV DR7,EAX / XOR EAX,EAX /
  // MOV DR7,EAX / MOV EAX,4C07 / INT 21
  const std::vector<uint8_t> bytes = {
      0xB8, 0x00, 0x00, 0x40, 0x00, 0x0F, 0x23, 0xC0, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x0F,
      0x23, 0xF8, 0x31, 0xC0, 0x0F, 0x23, 0xF8, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x23,
      0xF8, 0x31, 0xC0, 0x0F, 0x23, 0xF8, 0xB8, 0x07, 0x4C, 0x00, 0x00, 0xCD, 0x21};
  const std::unique_ptr<Machine> machine = DefaultMachineFactory()();
  ScriptKeys keys("", true);
  Capture out;
  DosProgram program(*machine, keys, out);
  ProgramImage image;
  image.bytes = bytes;
  image.bits = 32;
  image.origin = 0x400000;
  ASSERT_TRUE(program.Load(image)) << program.message();
  for (int i = 0; i < 4; ++i) ASSERT_EQ(program.Run(1), RunStatus::Ready);
  const std::vector<uint8_t> set = machine->SaveState();
  ASSERT_FALSE(set.empty());
  for (int i = 0; i < 2; ++i) ASSERT_EQ(program.Run(1), RunStatus::Ready);
  machine->RestoreState(set);
  ASSERT_EQ(machine->Get(Reg::Eip), 0x400010u);
  EXPECT_EQ(program.Run(100), RunStatus::Exited) << program.message();
  EXPECT_EQ(program.exitCode(), 7);
}

// An instruction that jumps (or runs on) to memory the program cannot run
// has run: it counts, the stop is where it went, a 32-bit jump wraps at
// 4 GiB, and 16-bit code cannot run past offset FFFFh, whether the program
// runs on, in single steps, or in single steps told where the next
// instruction begins.
TEST(MachineInstructions, AJumpOutOfTheProgramCountsAndStopsWhereItWent) {
  NEED_ENGINE();
  const struct {
    const char* what;
    uint32_t bits, origin;
    std::vector<uint8_t> bytes;
    uint64_t executed;
    uint32_t stopAt;
  } kCases[] = {
      {"LOOPNZ from 0 to 0 - 1, 32-bit", 32, 0, {0xE0, 0xFD}, 1, 0xFFFFFFFF},
      {"LOOP from 0 to 0 - 2, 32-bit", 32, 0, {0xE2, 0xFC}, 1, 0xFFFFFFFE},
      {"short JMP from 0 to 0 - 3, 32-bit", 32, 0, {0xEB, 0xFB}, 1, 0xFFFFFFFD},
      {"JNZ from 0 to 0 - 4, 32-bit", 32, 0, {0x75, 0xFA}, 1, 0xFFFFFFFC},
      {"near JMP to memory that does not exist, 32-bit",
       32,
       0x400000,
       {0x90, 0xE9, 0x72, 0x56, 0xF4, 0x11},
       2,
       0x12345678},
      {"JMP BX into the stack, 16-bit",
       16,
       0x100,
       {0xB8, 0xFF, 0xEA, 0x50, 0x89, 0xE3, 0xFF, 0xE3},
       4,
       0xFFFC},
      // Past offset FFFFh of a 16-bit segment: a far JMP to the program's
      // own start as 0000:00010100, an IRETD to the second byte of its
      // INT 20h (0000:00010001), a RETD to 1000:00010100.
      {"far JMP with a 32-bit offset past FFFF, 16-bit",
       16,
       0x100,
       {0x66, 0xEA, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00},
       1,
       0x10100},
      {"IRETD to an offset past FFFF, 16-bit",
       16,
       0x100,
       {0x66, 0x9C, 0x66, 0x6A, 0x00, 0x66, 0x68, 0x01, 0x00, 0x01, 0x00, 0x66, 0xCF},
       4,
       0x10001},
      {"RETD to an offset past FFFF, 16-bit",
       16,
       0x100,
       {0x66, 0x68, 0x00, 0x01, 0x01, 0x00, 0x66, 0xC3},
       2,
       0x10100},
  };
  enum Way { Long, Steps, HintedSteps };
  for (const auto& c : kCases) {
    for (Way way : {Long, Steps, HintedSteps}) {
      ImageOnMachine run;
      DosProgram& program = run.program;
      Machine* machine = run.machine.get();
      ASSERT_TRUE(run.Load(c.bytes, c.bits, c.origin)) << program.message();
      const uint32_t hint = c.origin + static_cast<uint32_t>(c.bytes.size());
      RunStatus status = RunStatus::Ready;
      for (int i = 0; i < 20 && status == RunStatus::Ready; ++i)
        status = way == Long ? program.Run(1000) : program.Run(1, way == HintedSteps ? hint : 0);
      const std::string what = std::string(c.what) + ", way " + std::to_string(way);
      EXPECT_EQ(status, RunStatus::Stopped) << what;
      EXPECT_EQ(program.message(), "jump outside the program") << what;
      EXPECT_EQ(program.executed(), c.executed) << what;
      EXPECT_EQ(machine->Get(Reg::Eip), c.stopAt) << what;
    }
  }
}

// Bytes the process has allocated and not freed, where the allocator says.
bool HeapInUse(size_t* bytes) {
#if defined(QUORIX_TEST_ASAN)
  *bytes = __sanitizer_get_current_allocated_bytes();
  return true;
#elif defined(__GLIBC__)
  *bytes = mallinfo2().uordblks;
  return true;
#else
  (void)bytes;
  return false;
#endif
}

// One machine for program after program, each translated into blocks at
// addresses of its own: what the engine keeps of a program's translations
// goes with its Reset, so the heap stays flat.
TEST(MachineInstructions, AMachineReusedForManyProgramsKeepsItsHeapFlat) {
  NEED_ENGINE();
  size_t bytes = 0;
  if (!HeapInUse(&bytes)) GTEST_SKIP() << "this allocator does not say what it holds";
  const std::unique_ptr<Machine> machine = DefaultMachineFactory()();
  // A JMP over 123 * k bytes, then 40 blocks of INC AX / JMP to the next,
  // then INT 20: no two programs have a block at the same address.
  auto run = [&](int k) {
    const int skip = 123 * k;
    std::vector<uint8_t> bytes = {0xE9, uint8_t(skip), uint8_t(skip >> 8)};
    bytes.resize(3 + skip, 0x90);
    for (int b = 0; b < 40; ++b) bytes.insert(bytes.end(), {0x40, 0xEB, 0x00});
    bytes.insert(bytes.end(), {0xCD, 0x20});
    ProgramImage image;
    image.bytes = bytes;
    image.bits = 16;
    image.origin = 0x100;
    ScriptKeys keys("", true);
    Capture out;
    DosProgram program(*machine, keys, out);
    ASSERT_TRUE(program.Load(image)) << program.message();
    ASSERT_EQ(program.Run(1000), RunStatus::Exited) << k;
  };
  for (int k = 0; k < 50; ++k) run(k);
  size_t before = 0;
  ASSERT_TRUE(HeapInUse(&before));
  for (int k = 50; k < 450; ++k) run(k);
  size_t after = 0;
  ASSERT_TRUE(HeapInUse(&after));
  // 400 programs of 41 blocks each: a few bytes kept per block would be
  // hundreds of kilobytes.
  EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
}

TEST(DosServices, OutputInputAndEnds) {
  NEED_ENGINE();
  const struct {
    std::vector<std::string> lines;
    std::string keys;
    bool keyboard;
    std::string out, err;
    RunStatus end;
    int exitCode;
    const char* message;  // when stopped
  } cases[] = {
      {{"MOV AH, 2", "MOV DL, 41", "INT 21", "INT 20"},
       "",
       true,
       "A",
       "",
       RunStatus::Exited,
       0,
       ""},
      {{"MOV DX, OFFSET T", "MOV AH, 9", "INT 21", "MOV AX, 4C07", "INT 21", "T:", "DB \"HI$X\""},
       "",
       true,
       "HI",
       "",
       RunStatus::Exited,
       7,
       ""},
      {{"MOV AH, 40", "MOV BX, 2", "MOV CX, 3", "MOV DX, OFFSET T", "INT 21", "MOV AH, 4C",
        "INT 21", "T:", "DB \"ERR\""},
       "",
       true,
       "",
       "ERR",
       RunStatus::Exited,
       3,
       ""},  // AL = bytes written
      {{"MOV AH, 40", "MOV BX, 5", "MOV CX, 1", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "no service for INT 21h function 40h"},
      {{"MOV AH, 30", "INT 21", "MOV AH, 4C", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Exited,
       5,
       ""},
      {{"MOV AX, 1", "RET"}, "", true, "", "", RunStatus::Exited, 0, ""},
      {{"MOV AH, 1", "INT 21", "MOV AH, 4C", "INT 21"},
       "z",
       true,
       "z",
       "",
       RunStatus::Exited,
       'z',
       ""},
      {{"MOV AH, 1", "INT 21", "MOV AH, 4C", "INT 21"},
       "z",
       false,
       "",
       "",
       RunStatus::Exited,
       'z',
       ""},
      {{"MOV AH, 8", "INT 21", "MOV AH, 4C", "INT 21"},
       "q",
       true,
       "",
       "",
       RunStatus::Exited,
       'q',
       ""},
      {{"MOV AH, 8", "INT 21", "MOV AH, 4C", "INT 21"},
       "",
       false,
       "",
       "",
       RunStatus::Exited,
       0x1A,
       ""},  // end of input reads as Ctrl-Z
      {{"MOV AH, 6", "MOV DL, FF", "INT 21", "MOV AH, 4C", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Exited,
       0,
       ""},  // nothing pending: AL = 0, no wait
      {{"MOV AH, 6", "MOV DL, 42", "INT 21", "INT 20"},
       "",
       true,
       "B",
       "",
       RunStatus::Exited,
       0,
       ""},
      {{"MOV AH, 0", "INT 16", "MOV AH, 4C", "INT 21"},
       "k",
       true,
       "",
       "",
       RunStatus::Exited,
       'k',
       ""},
      {{"MOV AX, 0E48", "INT 10", "INT 20"}, "", true, "H", "", RunStatus::Exited, 0, ""},
      {{"MOV DX, OFFSET B", "MOV AH, 0A", "INT 21", "MOV SI, OFFSET B", "INC SI", "MOV AL, [SI]",
        "MOV AH, 4C", "INT 21", "B:", "DB 5,0,0,0,0,0,0,0"},
       "ab\bcdefg\r",
       true,
       "ab\b \bcde\r",
       "",
       RunStatus::Exited,
       4,
       ""},  // 5 holds 4 and CR
      {{"MOV AH, 3F", "MOV BX, 0", "MOV CX, 10", "MOV DX, OFFSET B", "INT 21", "MOV AH, 4C",
        "INT 21", "B:", "DB 0,0,0,0,0,0,0,0"},
       "hi\r",
       true,
       "hi\r\n",
       "",
       RunStatus::Exited,
       4,
       ""},  // "hi" CR LF
      {{"MOV AH, 3F", "MOV BX, 0", "MOV CX, 3", "MOV DX, OFFSET B", "INT 21", "MOV AH, 4C",
        "INT 21", "B:", "DB 0,0,0,0,0,0,0,0"},
       "hello",
       false,
       "",
       "",
       RunStatus::Exited,
       3,
       ""},
      {{"MOV AH, 3F", "MOV BX, 1", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "no service for INT 21h function 3Fh"},
      {{"MOV AH, 2", "INT 13"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "no service for INT 13h function 02h"},
      {{"MOV AH, 0C", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "no service for INT 21h function 0Ch"},
      {{"MOV AH, 5", "INT 16"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "no service for INT 16h function 05h"},
      {{"MOV AX, 5", "XOR BL, BL", "DB F6,F3"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "divide error"},
      {{"DB 0F,0B"}, "", true, "", "", RunStatus::Stopped, 0, "invalid instruction"},
      // A far CALL and a far JMP with a register operand: invalid, not an end of the process.
      {{"DB FF,D8"}, "", true, "", "", RunStatus::Stopped, 0, "invalid instruction"},
      {{"DB FF,EF"}, "", true, "", "", RunStatus::Stopped, 0, "invalid instruction"},
      {{"JMP FAR_AWAY", "[ORG 0]", "FAR_AWAY:"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "jump outside the program"},
      {{"MOV AX, 5000", "MOV ES, AX", "DB 26,A0,0,0"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "memory outside the program's space"},
      {{"MOV DX, FFF0", "MOV AH, 9", "INT 21"},
       "",
       true,
       "",
       "",
       RunStatus::Stopped,
       0,
       "memory outside the program's space"},  // no '$' before the segment's end
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines{"[ORG 100]"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    Loaded p(lines, c.keys, c.keyboard);
    ASSERT_NE(p.program, nullptr) << lines[1];
    RunStatus end = p.program->Run(1000);
    const std::string name = lines[1] + " ... " + lines.back();
    EXPECT_EQ(end, c.end) << name << ": " << p.program->message();
    EXPECT_EQ(p.screen.out, c.out) << name;
    EXPECT_EQ(p.screen.err, c.err) << name;
    if (c.end == RunStatus::Exited) {
      EXPECT_EQ(p.program->exitCode(), c.exitCode) << name;
    }
    if (c.end == RunStatus::Stopped) {
      EXPECT_EQ(p.program->message(), c.message) << name;
      EXPECT_EQ(p.program->Run(10), RunStatus::Stopped) << "a stopped program stays stopped";
    }
  }
}

TEST(DosServices, StopsNameTheInstructionAddress) {
  NEED_ENGINE();
  Loaded p({"[ORG 100]", "NOP", "XOR BX, BX", "DIV BX"});
  ASSERT_NE(p.program, nullptr);
  EXPECT_EQ(p.program->Run(10), RunStatus::Stopped);
  EXPECT_EQ(p.program->reason(), StopReason::Fault);
  EXPECT_EQ(p.program->stopAddress(), 0x103u);
  EXPECT_EQ(p.program->executed(), 2u);
  EXPECT_EQ(EndMessage(*p.program, 4, "DIV BX"), "Stopped at 0103 (line 4: DIV BX): divide error");

  Loaded q({"[ORG 100]", "MOV AH, 7", "INT 15"});
  q.program->Run(10);
  EXPECT_EQ(q.program->stopAddress(), 0x102u) << "the INT instruction itself";
  EXPECT_EQ(EndMessage(*q.program, 0, ""), "Stopped at 0102: no service for INT 15h function 07h");
}

TEST(DosServices, AKeyboardWithoutKeysMakesTheProgramWait) {
  NEED_ENGINE();
  Loaded p({"[ORG 100]", "MOV AH, 1", "INT 21", "MOV AH, 4C", "INT 21"});
  ASSERT_NE(p.program, nullptr);
  EXPECT_EQ(p.program->Run(1), RunStatus::Ready);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p.program->Run(1), RunStatus::Waiting);
    EXPECT_EQ(p.m().Get(Reg::Eip), 0x102u) << "the INT waits to be executed again";
    EXPECT_EQ(p.program->executed(), 1u);
  }
  p.keys.Add("Y");
  EXPECT_EQ(p.program->Run(1), RunStatus::Ready);
  EXPECT_EQ(p.m().Get(Reg::Eax) & 0xFF, uint32_t('Y'));
  EXPECT_EQ(p.program->Run(10), RunStatus::Exited);
  EXPECT_EQ(p.program->exitCode(), 'Y');
  EXPECT_EQ(p.screen.out, "Y");
}

TEST(DosServices, StepLimitEndsAnEndlessLoop) {
  NEED_ENGINE();
  Loaded p({"[ORG 100]", "AGAIN:", "INC AX", "JMP AGAIN"});
  ASSERT_NE(p.program, nullptr);
  p.program->SetStepLimit(1001);
  EXPECT_EQ(p.program->Run(5000), RunStatus::Stopped);
  EXPECT_EQ(p.program->reason(), StopReason::StepLimit);
  EXPECT_EQ(p.program->executed(), 1001u);
  EXPECT_EQ(p.m().Get(Reg::Eax), 501u);
  EXPECT_EQ(p.program->message(), "step limit of 1001 instructions reached");
}

TEST(DosServices, ImagesThatCannotBePlacedAreRefused) {
  NEED_ENGINE();
  std::unique_ptr<Machine> m = DefaultMachineFactory()();
  ScriptKeys keys("", true);
  Capture screen;
  DosProgram program(*m, keys, screen);
  std::vector<uint8_t> big(0xFF00, 0x90);
  const struct {
    size_t size;
    uint32_t origin, bits;
    bool ok;
  } cases[] = {
      {16, 0x100, 16, true},    {0xFF00, 0x100, 16, false}, {0xFEFE, 0, 16, true},
      {16, 0x400000, 32, true}, {16, 0x7FFF8000, 32, true}, {16, 0xFFFFFFF8, 32, false},
  };
  for (const auto& c : cases) {
    ProgramImage image;
    image.bytes = std::span<const uint8_t>(big.data(), c.size);
    image.origin = c.origin;
    image.bits = c.bits;
    EXPECT_EQ(program.Load(image), c.ok) << c.size << " bytes at " << c.origin;
    EXPECT_EQ(program.status(), c.ok ? RunStatus::Ready : RunStatus::Stopped);
    if (!c.ok) {
      EXPECT_EQ(program.reason(), StopReason::LoadFailed);
    }
  }
}

TEST(ConsoleLog, ShowsWhatAConsoleWould) {
  const struct {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"HELLO", {"HELLO"}}, {"A\r\nB\r\n", {"A", "B", ""}},
      {"ABC\rX", {"XBC"}},  {"AB\b\bC", {"CB"}},
      {"\b\bA", {"A"}},     {"T\tU\x01", {"T U."}},
  };
  for (const auto& c : cases) {
    ConsoleLog log;
    log.Write(1, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                          c.bytes.size()));
    EXPECT_EQ(std::vector<std::string>(log.lines().begin(), log.lines().end()), c.lines) << c.bytes;
  }
  ConsoleLog log;
  std::string many;
  for (int i = 0; i < 500; ++i) many += "x\n";
  log.Write(1,
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(many.data()), many.size()));
  EXPECT_EQ(log.lines().size(), ConsoleLog::kMaxLines);
  log.Note("Program exited with code 0");
  EXPECT_EQ(log.lines()[log.lines().size() - 2], "Program exited with code 0");
  EXPECT_EQ(log.lines().back(), "");
}

// A REP string instruction counts one step per iteration and one more at
// CX 0, whichever way it is run. Right after STI or MOV SS (no interrupt
// may come between) the engine used to translate it so that the last
// iteration went straight on, one step fewer, and only a run that began
// there saw that.
TEST(MachineInstructions, ARepStringInstructionCountsTheSameEveryWay) {
  NEED_ENGINE();
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    uint64_t executed;  // INT 20h included
  } kCases[] = {
      // MOV CX,3 / MOV DI,200 / REP STOSB / INT 20
      {"REP STOSB, CX 3", {0xB9, 0x03, 0x00, 0xBF, 0x00, 0x02, 0xF3, 0xAA, 0xCD, 0x20}, 7},
      // ... with STI before the REP
      {"STI, then REP STOSB, CX 3",
       {0xB9, 0x03, 0x00, 0xBF, 0x00, 0x02, 0xFB, 0xF3, 0xAA, 0xCD, 0x20},
       8},
      {"STI, then REP STOSB, CX 1",
       {0xB9, 0x01, 0x00, 0xBF, 0x00, 0x02, 0xFB, 0xF3, 0xAA, 0xCD, 0x20},
       6},
      // MOV AX,SS / MOV SS,AX / REP STOSB
      {"MOV SS, then REP STOSB, CX 2",
       {0xB9, 0x02, 0x00, 0xBF, 0x00, 0x02, 0x8C, 0xD0, 0x8E, 0xD0, 0xF3, 0xAA, 0xCD, 0x20},
       8},
  };
  enum Way { Long, Steps, HintedSteps, HintInside };
  for (const auto& c : kCases) {
    for (Way way : {Long, Steps, HintedSteps, HintInside}) {
      ImageOnMachine run;
      DosProgram& program = run.program;
      Machine* machine = run.machine.get();
      ASSERT_TRUE(run.Load(c.bytes, 16, 0x100)) << program.message();
      RunStatus status = RunStatus::Ready;
      for (int i = 0; i < 40 && status == RunStatus::Ready; ++i) {
        const uint32_t ip = machine->Get(Reg::Eip);
        const uint32_t hint = way == HintInside ? ip + 1 : ip + 2;
        status = way == Long ? program.Run(1000) : program.Run(1, way == Steps ? 0 : hint);
      }
      const std::string what = std::string(c.what) + ", way " + std::to_string(way);
      EXPECT_EQ(status, RunStatus::Exited) << what;
      EXPECT_EQ(program.executed(), c.executed) << what;
    }
  }
}

// HLT, with or without prefixes, ends the program at its own address, run
// any way; an instruction that writes F4 over its own first byte runs on.
// The engine ends a run the same way at a HLT and at the address where the
// caller's hint said to stop, and only the first byte was looked at after
// the instruction had run: a prefixed HLT went on at FFFFh, and a hinted
// step of an instruction that had made its first byte F4 was taken for a HLT.
TEST(MachineInstructions, OnlyAHltEndsTheProgramAsHalted) {
  NEED_ENGINE();
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;  // 16-bit, at 100h
    std::vector<uint32_t> next;  // where each instruction ends, as a listing hints
    const char* message;         // "" for an exit by INT 20h
    uint32_t stopAt;
    uint64_t executed;
  } kCases[] = {
      {"NOP / HLT", {0x90, 0xF4}, {0x101, 0x102}, "halted by HLT", 0x101, 2},
      {"NOP / ES: HLT", {0x90, 0x26, 0xF4}, {0x101, 0x103}, "halted by HLT", 0x101, 2},
      {"CS: 66 HLT", {0x2E, 0x66, 0xF4}, {0x103}, "halted by HLT", 0x100, 1},
      // MOV AL,F4 / MOV DI,105 / STOSB (onto itself) / INT 20h
      {"STOSB of F4 over itself",
       {0xB0, 0xF4, 0xBF, 0x05, 0x01, 0xAA, 0xCD, 0x20},
       {0x102, 0x105, 0x106, 0x108},
       "",
       0x106,
       4},
      // MOV BYTE [100],F4 (onto its own first byte) / INT 20h
      {"MOV of F4 over its own first byte",
       {0xC6, 0x06, 0x00, 0x01, 0xF4, 0xCD, 0x20},
       {0x105, 0x107},
       "",
       0x105,
       2},
  };
  enum Way { Long, Steps, HintedSteps };
  for (const auto& c : kCases) {
    for (Way way : {Long, Steps, HintedSteps}) {
      ImageOnMachine run;
      DosProgram& program = run.program;
      ASSERT_TRUE(run.Load(c.bytes, 16, 0x100)) << program.message();
      RunStatus status = RunStatus::Ready;
      for (int i = 0; i < 20 && status == RunStatus::Ready; ++i) {
        const uint32_t at = run.machine->Get(Reg::Eip);
        uint32_t hint = 0;
        for (size_t k = 0; k < c.next.size(); ++k)
          if (at == (k == 0 ? 0x100 : c.next[k - 1])) hint = c.next[k];
        status = way == Long ? program.Run(1000) : program.Run(1, way == HintedSteps ? hint : 0);
      }
      const std::string what = std::string(c.what) + ", way " + std::to_string(way);
      EXPECT_EQ(status, RunStatus::Exited) << what;
      EXPECT_EQ(program.message(), c.message) << what;
      EXPECT_EQ(program.stopAddress(), c.stopAt) << what;
      EXPECT_EQ(program.executed(), c.executed) << what;
    }
  }
}

}  // namespace
}  // namespace quorix
