// The debugger's controller driven by scripts of commands over small
// programs (a bubble sort, a recursive factorial, a keyboard reader, a
// fault): after each command, where the program stands, its registers and
// memory, and the last step in words.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "sim/x86_shape.h"
#include "support/debug_support.h"

namespace quorix {
namespace {

using testing_support::DebuggerFor;
using testing_support::JoinLines;

#define NEED_ENGINE()                                                          \
  do {                                                                         \
    if (!DefaultMachineFactory()) {                                            \
      if (QUORIX_EXPECT_ENGINE) FAIL() << "built with Unicorn but no machine"; \
      GTEST_SKIP() << "built without Unicorn";                                 \
    }                                                                          \
  } while (0)

enum class Cmd { Into, Over, Out, Continue, ToLine, Back, Restart, Break, Key, Slice, Pause };

struct Action {
  Cmd cmd;
  uint32_t arg;        // a line, a count, a key, an instruction budget
  StopKind want;       // the stop the command ends with
  uint32_t line;       // of the next instruction (0: not checked)
  std::string regs;    // "AX=0005 SI=0124": 16-bit registers that must hold these
  std::string memory;  // "0123=01 02 03": bytes at an offset of the program's segment
  std::string words;   // what LastStep() or, for an end, the stop message must contain
};

struct Script {
  const char* name;
  std::vector<std::string> source;
  std::vector<Action> actions;
  uint64_t stepLimit = RunSession::kStepLimit;
};

const std::vector<std::string> kBubbleSort = {
    "[ORG 100]",                   //  1
    "START:",                      //  2
    "        MOV CX, 4",           //  3  passes
    "PASS:",                       //  4
    "        PUSH CX",             //  5
    "        MOV SI, OFFSET ARR",  //  6
    "        MOV CX, 4",           //  7  pairs
    "PAIR:",                       //  8
    "        MOV AL, [SI]",        //  9
    "        CMP AL, [SI+1]",      // 10
    "        JBE NOSWAP",          // 11
    "        XCHG AL, [SI+1]",     // 12
    "        MOV [SI], AL",        // 13
    "NOSWAP:",                     // 14
    "        INC SI",              // 15
    "        LOOP PAIR",           // 16
    "        POP CX",              // 17
    "        LOOP PASS",           // 18
    "        MOV AX, 4C00",        // 19
    "        INT 21",              // 20
    "ARR:",                        // 21
    "        DB 5, 3, 4, 1, 2",    // 22
};

const std::vector<std::string> kFactorial = {
    "[ORG 100]",             //  1
    "START:",                //  2
    "        MOV AX, 5",     //  3
    "        CALL FACT",     //  4
    "        MOV BX, AX",    //  5
    "        MOV AX, 4C00",  //  6
    "        INT 21",        //  7
    "FACT PROC",             //  8  AX = AX!
    "        CMP AX, 1",     //  9
    "        JBE BASE",      // 10
    "        PUSH AX",       // 11
    "        DEC AX",        // 12
    "        CALL FACT",     // 13
    "        POP BX",        // 14
    "        MUL BX",        // 15
    "        RET",           // 16
    "BASE:",                 // 17
    "        MOV AX, 1",     // 18
    "        RET",           // 19
};

const std::vector<std::string> kKeyboard = {
    "[ORG 100]",             //  1
    "START:",                //  2
    "        MOV AH, 1",     //  3  read a key (echoed)
    "        INT 21",        //  4
    "        MOV DL, AL",    //  5
    "        MOV AH, 2",     //  6  print it again
    "        INT 21",        //  7
    "        CMP DL, D",     //  8  until Enter
    "        JNE START",     //  9
    "        MOV AX, 4C00",  // 10
    "        INT 21",        // 11
};

const std::vector<std::string> kFault = {
    "[ORG 100]",             // 1
    "        MOV AX, 7",     // 2
    "        XOR BL, BL",    // 3
    "        DIV BL",        // 4
    "        MOV AX, 4C00",  // 5
    "        INT 21",        // 6
};

const std::vector<std::string> kPrinting = {
    "[ORG 100]",                   //  1
    "        MOV DX, OFFSET MSG",  //  2
    "        MOV AH, 9",           //  3
    "        INT 21",              //  4
    "        PUSH DX",             //  5
    "        POP CX",              //  6
    "        JMP THERE",           //  7
    "THERE:",                      //  8
    "        INT 20",              //  9
    "MSG:",                        // 10
    "        DB \"HELLO$\"",       // 11
};

const std::vector<std::string> kPoll = {
    "[ORG 100]",          // 1
    "POLL:",              // 2
    "        MOV AH, 1",  // 3  a key waiting?
    "        INT 16",     // 4
    "        JZ POLL",    // 5
    "        MOV AH, 0",  // 6  take it
    "        INT 16",     // 7
    "        INT 20",     // 8
};

const std::vector<std::string> kFill = {
    "[ORG 100]",                   // 1
    "        MOV DI, OFFSET BUF",  // 2
    "        MOV CX, 5",           // 3
    "        MOV AL, 2A",          // 4
    "        REP STOSB",           // 5
    "        INT 20",              // 6
    "BUF:",                        // 7
    "        DB 0, 0, 0, 0, 0",    // 8
};

const std::vector<std::string> kLoopForever = {"[ORG 100]", "L:", "        INC AX",
                                               "        JMP L"};

std::vector<Script> Scripts() {
  using enum Cmd;
  using S = StopKind;
  return {
      {"bubble sort",
       kBubbleSort,
       {
           {Break, 12, S::None, 0, "", "", ""},
           {Continue, 0, S::Breakpoint, 12, "AX=0005 SI=0123 CX=0004", "0123=05 03 04 01 02",
            "did not jump to line 15 (NOSWAP); went on to line 12"},
           {Into, 0, S::Stepped, 13, "AX=0003", "0123=05 05",
            "wrote 05 to [0124] (ARR+1), AX 0005 -> 0003"},
           {Into, 0, S::Stepped, 15, "", "0123=03 05 04", "wrote 03 to [0123] (ARR)"},
           {Into, 0, S::Stepped, 16, "SI=0124", "", "SI 0123 -> 0124"},
           {Into, 0, S::Stepped, 9, "CX=0003", "", "CX 0004 -> 0003, jumped back to line 9 (PAIR)"},
           {Continue, 0, S::Breakpoint, 12, "AX=0005 SI=0124", "0123=03 05 04", ""},
           {Back, 1, S::Stepped, 11, "", "", "compared: above (CF=0 ZF=0)"},
           {Back, 2, S::Stepped, 9, "SI=0124", "", "jumped back to line 9 (PAIR)"},
           {Into, 0, S::Stepped, 10, "AX=0005", "", "AX 0003 -> 0005"},
           {Over, 0, S::Stepped, 11, "", "", "compared"},
           {Into, 0, S::Stepped, 12, "", "",
            "did not jump to line 15 (NOSWAP); went on to line 12"},
           {Restart, 0, S::None, 3, "CX=0000", "0123=05 03 04 01 02", ""},
           {Break, 0, S::None, 0, "", "", ""},  // 0: all cleared
           {ToLine, 16, S::Reached, 16, "CX=0004 SI=0124", "0123=03 05", ""},
           {Break, 12, S::None, 0, "", "", ""},
           {Over, 0, S::Breakpoint, 12, "SI=0124", "0123=03 05 04", ""},  // in the loop's body
           {Break, 0, S::None, 0, "", "", ""},
           {Restart, 0, S::None, 3, "", "", ""},
           {ToLine, 16, S::Reached, 16, "", "", ""},
           {Over, 0, S::Reached, 17, "CX=0000 SI=0127", "0123=03 04 01 02 05",
            "CX 0001 -> 0000, loop done: went on to line 17"},
           {Continue, 0, S::Ended, 20, "AX=4C00", "0123=01 02 03 04 05", "exited with code 0"},
           {Back, 1, S::Stepped, 20, "AX=4C00", "0123=01 02 03 04 05", "-> 4C00"},
           {Into, 0, S::Ended, 0, "", "", "INT 21h function 4Ch: the program exited with code 0"},
       }},
      {"recursive factorial",
       kFactorial,
       {
           {Over, 0, S::Stepped, 4, "AX=0005", "", "AX 0000 -> 0005"},
           {Over, 0, S::Reached, 5, "AX=0078 SP=FFFE", "", ""},
           {Back, 1, S::Stepped, 16, "AX=0078 SP=FFFC", "", "AX 0018 -> 0078"},
           {Into, 0, S::Stepped, 5, "SP=FFFE", "", "returned to line 5"},
           {Restart, 0, S::None, 3, "", "", ""},
           {Into, 0, S::Stepped, 4, "", "", ""},
           {Into, 0, S::Stepped, 9, "SP=FFFC", "FFFC=06 01", "called FACT (line 9)"},
           {ToLine, 13, S::Reached, 13, "AX=0004 SP=FFFA", "", ""},
           {Over, 0, S::Reached, 14, "AX=0018 SP=FFFA", "", ""},  // 4!, the stack as it was
           {Into, 0, S::Stepped, 15, "BX=0005 SP=FFFC", "",
            "popped 0005, BX 0004 -> 0005, SP FFFA -> FFFC"},
           {Out, 0, S::Reached, 5, "AX=0078 SP=FFFE", "", "returned to line 5"},
           {Restart, 0, S::None, 3, "", "", ""},
           {Break, 18, S::None, 0, "", "", ""},
           {Continue, 0, S::Breakpoint, 18, "AX=0001 SP=FFEC", "", "jumped to line 18 (BASE)"},
           {Out, 0, S::Reached, 14, "AX=0001 SP=FFEE", "", "returned to line 14"},
           {Out, 0, S::Reached, 14, "AX=0002 SP=FFF2", "", "returned to line 14"},
           {Back, 3, S::Stepped, 14, "AX=0001 SP=FFEE", "", "returned to line 14"},
           {Continue, 0, S::Ended, 7, "AX=4C00 BX=0078", "", "exited with code 0"},
       }},
      {"keyboard reader",
       kKeyboard,
       {
           {Continue, 0, S::Waiting, 4, "AX=0100", "", "INT 21h function 01h: waiting for a key"},
           {Key, 'a', S::None, 0, "", "", ""},
           {Continue, 0, S::Waiting, 4, "DX=0061", "", "waiting for a key"},
           {Back, 1, S::Stepped, 3, "AX=0261", "", "jumped back to line 3 (START)"},
           {Back, 5, S::Stepped, 5, "AX=0161", "",
            "INT 21h function 01h: printed \"a\", read key 'a', AX 0100 -> 0161"},
           {Back, 1, S::Stepped, 4, "AX=0100", "", "AX 0000 -> 0100"},  // the key un-read
           {Into, 0, S::Stepped, 5, "AX=0161", "", "read key 'a'"},     // read again, not asked for
           {Continue, 0, S::Waiting, 4, "", "", ""},
           {Key, '\r', S::None, 0, "", "", ""},
           {Continue, 0, S::Ended, 11, "AX=4C00 DX=000D", "", "exited with code 0"},
           {Restart, 0, S::None, 3, "", "", ""},
           {Into, 0, S::Stepped, 4, "AX=0100", "", ""},
           {Into, 0, S::Waiting, 4, "AX=0100", "", "INT 21h function 01h: waiting for a key"},
           {Key, 'q', S::None, 0, "", "", ""},
           {Into, 0, S::Stepped, 5, "AX=0171", "", "read key 'q'"},
           {Restart, 0, S::None, 3, "", "", ""},
           {Break, 5, S::None, 0, "", "", ""},  // just after the key read
           {Key, 'b', S::None, 0, "", "", ""},
           {Continue, 0, S::Breakpoint, 5, "AX=0162", "", ""},
       }},
      {"fault",
       kFault,
       {
           {Continue, 0, S::Ended, 4, "AX=0007", "", "Stopped at 0105 (line 4): divide error"},
           {Back, 1, S::Stepped, 4, "AX=0007", "", "ZF 0 -> 1"},
           {Into, 0, S::Ended, 4, "AX=0007", "", "stopped: divide error"},
           {Back, 2, S::Stepped, 3, "AX=0007", "", "AX 0000 -> 0007"},
       }},
      {"printing",
       kPrinting,
       {
           {Into, 0, S::Stepped, 3, "DX=010E", "", "DX 0000 -> 010E"},
           {Over, 0, S::Stepped, 4, "", "", "AX 0000 -> 0900"},
           {Over, 0, S::Stepped, 5, "AX=0924", "",
            "INT 21h function 09h: printed \"HELLO\", AX 0900 -> 0924"},
           {Into, 0, S::Stepped, 6, "SP=FFFC", "FFFC=0E 01", "pushed 010E, SP FFFE -> FFFC"},
           {Into, 0, S::Stepped, 7, "CX=010E", "", "popped 010E, CX 0000 -> 010E, SP FFFC -> FFFE"},
           {Into, 0, S::Stepped, 9, "", "", "jumped to line 9 (THERE)"},
           {Into, 0, S::Ended, 9, "", "", "INT 20h: the program exited with code 0"},
       }},
      {"polling",
       kPoll,
       {
           {Into, 0, S::Stepped, 4, "AX=0100", "", ""},
           {Into, 0, S::Stepped, 5, "", "", "INT 16h function 01h: no key waiting (ZF=1)"},
           {Into, 0, S::Stepped, 3, "", "", "jumped back to line 3 (POLL)"},
           {Key, 'k', S::None, 0, "", "", ""},
           {Into, 0, S::Stepped, 4, "", "", ""},
           {Into, 0, S::Stepped, 5, "AX=006B", "", "key 6B waiting (ZF=0), AX 0100 -> 006B"},
           {Into, 0, S::Stepped, 6, "", "", "did not jump to line 3 (POLL); went on to line 6"},
           {Into, 0, S::Stepped, 7, "AX=006B", "", ""},
           {Into, 0, S::Stepped, 8, "AX=006B", "", "INT 16h function 00h: read key 'k'"},
           {Back, 3, S::Stepped, 5, "AX=006B", "", "key 6B waiting (ZF=0)"},
           {Continue, 0, S::Ended, 8, "AX=006B", "", "exited with code 0"},
       }},
      {"string instruction",
       kFill,
       {
           {ToLine, 5, S::Reached, 5, "CX=0005", "", ""},
           {Into, 0, S::Stepped, 5, "CX=0004", "010C=2A 00",
            "wrote 2A to [010C] (BUF), CX 0005 -> 0004, DI 010C -> 010D"},
           {Over, 0, S::Reached, 6, "CX=0000 DI=0111", "010C=2A 2A 2A 2A 2A",
            "REP done (CX 0): went on to line 6"},
           {Back, 2, S::Stepped, 5, "CX=0001 DI=0110", "010C=2A 2A 2A 2A 00",
            "wrote 2A to [010F] (BUF+3), CX 0002 -> 0001, DI 010F -> 0110"},
       }},
      {"step limit",
       kLoopForever,
       {
           {Slice, 100, S::Running, 0, "", "", ""},
           {Pause, 0, S::Paused, 3, "AX=0032", "", ""},  // 100 instructions: 50 INC AX
           {Continue, 0, S::Ended, 0, "", "", "step limit of 1000 instructions reached"},
           {Back, 1, S::Stepped, 0, "", "", ""},
       },
       1000},
  };
}

uint32_t RegisterByName(Debugger& d, const std::string& name) {
  static const char* const kNames[] = {"AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"};
  for (int i = 0; i < 8; ++i)
    if (name == kNames[i]) return d.machine().Get(static_cast<Reg>(i)) & 0xFFFF;
  ADD_FAILURE() << "unknown register " << name;
  return 0;
}

void CheckRegisters(Debugger& d, const std::string& want, const std::string& where) {
  std::istringstream in(want);
  std::string item;
  while (in >> item) {
    const std::string name = item.substr(0, item.find('='));
    const uint32_t value = std::stoul(item.substr(item.find('=') + 1), nullptr, 16);
    char got[8];
    std::snprintf(got, sizeof got, "%04X", RegisterByName(d, name));
    EXPECT_EQ(RegisterByName(d, name), value) << where << ": " << name << " is " << got;
  }
}

void CheckMemory(Debugger& d, const std::string& want, const std::string& where) {
  if (want.empty()) return;
  const uint32_t at = std::stoul(want.substr(0, want.find('=')), nullptr, 16);
  std::istringstream in(want.substr(want.find('=') + 1));
  std::string byte;
  for (uint32_t k = 0; in >> byte; ++k) {
    uint8_t b = 0;
    d.machine().Read((DosProgram::kSegment << 4) + at + k, std::span<uint8_t>(&b, 1));
    EXPECT_EQ(b, std::stoul(byte, nullptr, 16)) << where << ": byte " << std::hex << at + k;
  }
}

DebugStop Perform(Debugger& d, const Action& a) {
  switch (a.cmd) {
    case Cmd::Into: d.StepInto(); return d.Finish();
    case Cmd::Over: d.StepOver(); return d.Finish();
    case Cmd::Out: d.StepOut(); return d.Finish();
    case Cmd::Continue: d.Continue(); return d.Finish();
    case Cmd::ToLine: EXPECT_TRUE(d.RunToLine(a.arg)); return d.Finish();
    case Cmd::Back: EXPECT_TRUE(d.StepBack(a.arg)); return d.stop();
    case Cmd::Restart: d.Restart(); return d.stop();
    case Cmd::Break:
      if (a.arg == 0)
        d.ClearBreakpoints();
      else
        EXPECT_EQ(d.AddLineBreakpoint(a.arg), a.arg);
      return d.stop();
    case Cmd::Key: d.Key(static_cast<uint8_t>(a.arg)); return d.stop();
    case Cmd::Slice: d.Continue(); return d.Slice({a.arg, {}});
    case Cmd::Pause: d.Pause(); return d.Slice();
  }
  return d.stop();
}

TEST(DebugController, ScriptsOfCommandsOverPrograms) {
  NEED_ENGINE();
  for (const Script& s : Scripts()) {
    std::string error;
    DebuggerOptions options;
    options.stepLimit = s.stepLimit;
    auto d = DebuggerFor(JoinLines(s.source), &error, options);
    ASSERT_NE(d, nullptr) << s.name << ": " << error;
    for (size_t i = 0; i < s.actions.size(); ++i) {
      const Action& a = s.actions[i];
      const std::string where = std::string(s.name) + ", action " + std::to_string(i + 1);
      const DebugStop stop = Perform(*d, a);
      if (a.cmd == Cmd::Break || a.cmd == Cmd::Key) continue;
      EXPECT_EQ(static_cast<int>(stop.kind), static_cast<int>(a.want))
          << where << ": " << stop.message;
      if (a.line != 0) {
        EXPECT_EQ(stop.line, a.line) << where;
      }
      CheckRegisters(*d, a.regs, where);
      CheckMemory(*d, a.memory, where);
      if (!a.words.empty()) {
        const std::string said =
            a.want == StopKind::Ended && a.cmd != Cmd::Into ? stop.message : d->LastStep();
        EXPECT_NE(said.find(a.words), std::string::npos) << where << ": \"" << said << "\"";
      }
    }
  }
}

// A slice with a time budget returns while the goal goes on, long before
// an endless loop reaches the step limit.
TEST(DebugController, ASliceReturnsWhenItsTimeIsUsed) {
  NEED_ENGINE();
  std::string error;
  DebuggerOptions options;
  options.stepLimit = 4'000'000'000;
  auto d = DebuggerFor(JoinLines(kLoopForever), &error, options);
  ASSERT_NE(d, nullptr) << error;
  d->Continue();
  const DebugStop stop = d->Slice({UINT64_MAX, std::chrono::milliseconds(2)});
  EXPECT_EQ(stop.kind, StopKind::Running);
  EXPECT_TRUE(d->running());
  EXPECT_GT(d->executed(), 0u);
  EXPECT_LT(d->executed(), options.stepLimit);
  d->Pause();
  EXPECT_FALSE(d->running());
  EXPECT_EQ(d->stop().kind, StopKind::Paused);
}

// The shapes step over and step out go by: the kind, and the length of
// the instructions it steps over.
TEST(DebugController, InstructionShapes) {
  const struct {
    std::vector<uint8_t> code;
    uint32_t bits;
    InsnKind kind;
    uint32_t length;
  } cases[] = {
      {{0xE8, 0x10, 0x00}, 16, InsnKind::Call, 3},
      {{0x66, 0xE8, 0x10, 0x00, 0x00, 0x00}, 16, InsnKind::Call, 6},
      {{0xE8, 0x10, 0x00, 0x00, 0x00}, 32, InsnKind::Call, 5},
      {{0xFF, 0x17}, 16, InsnKind::Call, 2},                    // CALL [BX]
      {{0xFF, 0x54, 0x02}, 16, InsnKind::Call, 3},              // CALL [SI+2]
      {{0xFF, 0x16, 0x34, 0x12}, 16, InsnKind::Call, 4},        // CALL [1234]
      {{0xFF, 0x1C}, 16, InsnKind::Call, 2},                    // CALL F.[SI]
      {{0xFF, 0xD3}, 32, InsnKind::Call, 2},                    // CALL EBX
      {{0xFF, 0x14, 0x24}, 32, InsnKind::Call, 3},              // CALL [ESP]
      {{0xFF, 0x15, 1, 2, 3, 4}, 32, InsnKind::Call, 6},        // CALL [disp32]
      {{0xFF, 0x94, 0x8B, 0, 1, 0, 0}, 32, InsnKind::Call, 7},  // CALL [EBX+ECX*4+100]
      {{0x67, 0xFF, 0x54, 0x02}, 32, InsnKind::Call, 4},        // 16-bit address in 32-bit code
      {{0x9A, 0x20, 0x00, 0x00, 0x10}, 16, InsnKind::Call, 5},
      {{0x9A, 0x20, 0, 0, 0, 0, 0x10}, 32, InsnKind::Call, 7},
      {{0xE2, 0xFE}, 16, InsnKind::Loop, 2},
      {{0xF3, 0xA4}, 16, InsnKind::String, 2},
      {{0xF3, 0x66, 0xAB}, 16, InsnKind::String, 3},
      {{0xCD, 0x21}, 16, InsnKind::Int, 2},
      {{0xC2, 0x04, 0x00}, 16, InsnKind::Ret, 3},
      {{0x66, 0xC3}, 16, InsnKind::Ret, 2},
      {{0x0F, 0x84, 0x10, 0x00}, 16, InsnKind::CondJump, 4},
      {{0xFF, 0xE0}, 16, InsnKind::Jump, 2},  // JMP AX
      {{0xFF, 0x36, 0x34, 0x12}, 16, InsnKind::Push, 0},
      {{0x3A, 0x44, 0x01}, 16, InsnKind::Compare, 0},
      {{0x88, 0x04}, 16, InsnKind::Other, 0},
      {{0xFF}, 16, InsnKind::Other, 0},  // cut short
      {{0xF4}, 16, InsnKind::Halt, 1},
      {{0x26, 0x66, 0xF4}, 32, InsnKind::Halt, 3},
  };
  for (const auto& c : cases) {
    const InsnShape s = ShapeOf(c.code, c.bits);
    std::string hex;
    for (uint8_t b : c.code) hex += std::to_string(b) + " ";
    EXPECT_EQ(static_cast<int>(s.kind), static_cast<int>(c.kind)) << hex;
    EXPECT_EQ(s.length, c.length) << hex;
  }
}

}  // namespace
}  // namespace quorix
