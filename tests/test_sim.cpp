// The step simulator: JMP to labels, [BITS n], the lines that do nothing,
// and the symbol table following reloads of the source.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/loading.h"
#include "asm/env.h"
#include "app/step_screen.h"
#include "sim/simulator.h"
#include "support/doubles.h"

namespace quorix {
namespace {

using testing_support::CrLf;
using testing_support::RecordingPlatform;

struct SimBench {
  Workspace ws;
  RecordingPlatform platform;
  SymbolIndex symbols;
  AsmEnv env{ws, platform, symbols, {}};
  ContextRecord r{};
  CpuState cpu{};

  SimBench() {
    r.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
    r.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    std::memcpy(ws.Bytes(Area::PathBuffer).data(), "s.asm", 6);
    platform.files[kOpcodePath] = "";
  }
  void Load(const std::string& source) {
    platform.files["s.asm"] = source;
    LoadWorkspace(&r, ws, platform);
  }
  // One debug-screen step on line `line`, as the shell does it.
  void Step(uint32_t line) {
    r.PosSCL = line;
    SimulateStep(&r, &cpu, env);
  }
};

TEST(Simulator, BitsSetsTheCodeWidth) {
  const struct {
    const char* line;
    uint32_t from, expect;
  } cases[] = {
      {"[BITS #32]", 0, 2},         {"[BITS 20]", 1, 2},
      {"[BITS 32]", 1, 0xFFFFFFFF}, {"[BITS 16]", 2, 0xFFFFFFFF},
      {"[BITS #16]", 2, 1},         {"[BITS 10]", 0xFFFFFFFF, 1},
      {"[  BITS   #32  ]", 1, 2},   {"[BITS]", 2, 0xFFFFFFFF},
      {"[BITS #32", 1, 1},          {"[MODE 32]", 0, 1},
      {"[ORG 100]", 2, 2},          {"[bits #32]", 1, 1},
      {"BITS #32", 1, 1},           {"NOP", 0, 1},
  };
  for (const auto& c : cases) {
    SimBench s;
    s.cpu.CpuMode = c.from;
    uint8_t line[64] = {};
    std::strcpy(reinterpret_cast<char*>(line), c.line);
    SimulateLine(&s.r.PosSCL, &s.cpu, line, s.env);
    EXPECT_EQ(s.cpu.CpuMode, c.expect) << c.line;
  }
}

TEST(Simulator, StepsThroughTheSource) {
  SimBench s;
  s.Load(
      CrLf({"; demo", "[bits #32]", "mov ax, 5", "add ax, bx", "again:", "sub ax, bx", "nop",
            "jmp again", "jmps again", "jmp nowhere", "", "   ; comment", "  Jmp  Again ; back"}));
  const struct {
    uint32_t line, posAfter;
  } steps[] = {
      {1, 1}, {2, 2},   {3, 3},   {4, 4},   {5, 5},  {6, 6},   {7, 7},   {8, 5},
      {9, 9}, {10, 10}, {11, 11}, {12, 12}, {13, 5}, {14, 14}, {99, 99},
  };
  for (const auto& st : steps) {
    s.Step(st.line);
    EXPECT_EQ(s.r.PosSCL, st.posAfter) << "line " << st.line;
  }
  EXPECT_EQ(s.cpu.CpuMode, 2u) << "the lower-case [bits #32] is upper-cased first";
  for (uint32_t w = 0; w < 25; ++w) EXPECT_EQ(s.cpu.Regs[w], 0u) << "no step changes a register";
}

TEST(Simulator, StepSetsTheDebugStateOnlyWhileTheButtonIsUp) {
  const struct {
    uint32_t button, line, expect;
  } cases[] = {{0, 1, StateDebug}, {1, 1, 7}, {0, 50, StateDebug}, {1, 50, 7}};
  for (const auto& c : cases) {
    SimBench s;
    s.Load(CrLf({"NOP"}));
    s.r.state = 7;
    s.r.MouButt = c.button;
    s.Step(c.line);
    EXPECT_EQ(s.r.state, c.expect);
  }
}

TEST(Simulator, LabelsFollowAReloadedSource) {
  SimBench s;
  s.Load(CrLf({"NOP", "NOP", "HERE:", "JMP HERE"}));
  s.Step(4);
  EXPECT_EQ(s.r.PosSCL, 3u);
  // Same length of text, the label now on another line: a table kept from
  // the first load would still answer 3.
  s.Load(CrLf({"HERE:", "NOP", "NOP", "JMP HERE"}));
  s.Step(4);
  EXPECT_EQ(s.r.PosSCL, 1u);
  s.Load(CrLf({"NOP", "NOP", "NOP", "JMP HERE"}));
  s.Step(4);
  EXPECT_EQ(s.r.PosSCL, 4u) << "a label that is gone is not found";
  EXPECT_EQ(s.symbols.generation, s.ws.load().generation);
}

}  // namespace
}  // namespace quorix
