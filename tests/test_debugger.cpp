// The debug screen's Run box executing compiled programs: driven through
// the replay tool's script and through the window procedure, with what the
// register panel, the listing position and the console strip show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "apps/quorix-replay/replay.h"
#include "engine/machines.h"
#include "screen/views.h"
#include "sim/run_session.h"
#include "support/doubles.h"
#include "support/scratch_dir.h"

namespace quorix {
namespace {

namespace fs = std::filesystem;
using testing_support::CrLf;
using testing_support::RecordingPlatform;

#define NEED_ENGINE()                                                      \
  do {                                                                     \
    if (!DefaultMachineFactory()) GTEST_SKIP() << "built without Unicorn"; \
  } while (0)

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// A scratch directory with Compiler/OpCode.qrx and the bundled example as
// Compiler/TheFile.asm; scripts run in it.
class DebugDir : public testing_support::CompilerDirTest {
 protected:
  void SetUp() override {
    Enter("quorix-debug-", ReadFile(fs::path(QUORIX_SOURCE_DIR) / "examples/Compiler/TheFile.asm"));
  }
  void Script(ReplaySession& s, const std::string& text) {
    std::istringstream script(text);
    std::ostringstream out;
    std::string error;
    int line = 0;
    ASSERT_TRUE(s.Run(script, out, &error, &line)) << line << ": " << error;
  }
  static std::string LastNote(Workbench& wb) {
    const auto& lines = wb.run().console().lines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
      if (!it->empty()) return *it;
    return {};
  }
};

// Load through the editor link, compile, open Debug, rest on Run.
const char kCompileAndDebug[] =
    "tick 2\n"
    "editor Compiler\\TheFile.asm\n"
    "tick 1\n"
    "move 600 20\n"
    "down\n"
    "tick 1\n"
    "up\n"
    "move 20 80\n"
    "down\n"
    "tick 1\n"
    "up\n"
    "move 200 480\n";

TEST_F(DebugDir, TheExampleRunsOnTheRunBox) {
  NEED_ENGINE();
  HeadlessPlatform platform;
  ReplaySession session(platform, DefaultMachineFactory());
  Workbench& wb = session.workbench();
  Script(session, kCompileAndDebug);
  ASSERT_EQ(wb.record().state, StateDebug);
  EXPECT_EQ(wb.cpu().Regs[kRegEip], 0x100u);
  EXPECT_EQ(wb.cpu().Regs[kRegEsp], 0xFFFEu);
  EXPECT_EQ(wb.cpu().Regs[kRegCs], 0x1000u);
  EXPECT_EQ(wb.cpu().CpuMode, 1u);

  // One instruction per tick: the line the listing starts at after each.
  // The example's lines: 5 MOV AH / 6 MOV DX / 7 INT 21 / 8 MOV CX / 10 MOV
  // DX / 11 MOV AH / 12 INT 21 / 13 LOOP AGAIN / 14 MOV AX / 15 INT 21.
  std::vector<uint32_t> lines, ecx;
  for (int i = 0; i < 25; ++i) {
    Script(session, "tick 1\n");
    lines.push_back(wb.record().PosSCL);
    ecx.push_back(wb.cpu().Regs[kRegEcx]);
  }
  const std::vector<uint32_t> wantLines = {6,  7,  8,  10, 11, 12, 13, 10, 11, 12, 13, 10, 11,
                                           12, 13, 14, 15, 15, 15, 15, 15, 15, 15, 15, 15};
  EXPECT_EQ(lines, wantLines) << "LOOP goes back to the line after AGAIN: three times";
  // CX counts down as LOOP runs (the panel shows the state before the step).
  EXPECT_EQ(ecx[3], 3u);
  EXPECT_EQ(ecx[7], 2u);
  EXPECT_EQ(ecx[11], 1u);
  EXPECT_EQ(ecx[15], 0u);
  const auto& console = wb.run().console().lines();
  ASSERT_GE(console.size(), 2u);
  EXPECT_EQ(console[0], "HELLO FROM QUORIX...");
  EXPECT_EQ(LastNote(wb), "Program exited with code 0");

  // Ended: further steps change nothing.
  const CpuState before = wb.cpu();
  Script(session, "tick 10\n");
  EXPECT_EQ(wb.record().PosSCL, 15u);
  EXPECT_EQ(std::memcmp(&before, &wb.cpu(), sizeof before), 0);
  EXPECT_EQ(wb.run().program()->executed(), 18u);

  // Re-entering Debug from the menu starts the program over.
  Script(session, "move 130 300\ndown\ntick 1\nup\nmove 20 80\ndown\ntick 1\nup\ntick 1\n");
  EXPECT_EQ(wb.record().state, StateDebug);
  EXPECT_EQ(wb.cpu().Regs[kRegEip], 0x100u);
  EXPECT_EQ(wb.run().program()->status(), RunStatus::Ready);
  Script(session, "move 200 480\ntick 3\nshot debug.png\n");
  EXPECT_EQ(wb.cpu().Regs[kRegEip], 0x107u);
  EXPECT_EQ(wb.run().console().lines()[0], "HELLO FROM QUORIX");
  EXPECT_TRUE(fs::exists("debug.png"));
}

TEST_F(DebugDir, WithoutASuccessfulCompileTheLineStepperRuns) {
  NEED_ENGINE();
  // Never compiled, failed, and compiled but reloaded since: each steps
  // source lines, JMP going to its label's line, the registers staying 0.
  Write("Compiler/Jumps.asm", CrLf({"[ORG 100]", "START:", "  MOV AX, 1234", "AGAIN:", "  NOP",
                                    "  NOP", "  JMP AGAIN", "  INT 20"}));
  Write("Compiler/Bad.asm", CrLf({"[ORG 100]", "AGAIN:", "  NOP", "  MOV AX, [", "  JMP AGAIN"}));
  const struct {
    const char* name;
    std::string before;  // what happens before Debug is opened
    std::vector<uint32_t> lines;
  } cases[] = {
      {"never compiled", "", {3, 4, 5, 6, 7, 5, 6, 7, 5}},
      {"failed", "move 600 20\ndown\ntick 1\nup\n", {3, 4, 5, 3, 4, 5, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    HeadlessPlatform platform;
    ReplaySession session(platform, DefaultMachineFactory());
    Workbench& wb = session.workbench();
    const std::string file = std::string(c.name) == "failed" ? "Bad" : "Jumps";
    Script(session, "tick 2\neditor Compiler\\" + file + ".asm\ntick 1\n" + c.before +
                        "move 20 80\ndown\ntick 1\nup\n");
    wb.record().PosSCL = 1;
    Script(session, "move 200 480\ntick 1\n");
    std::vector<uint32_t> lines;
    for (size_t i = 0; i < c.lines.size(); ++i) {
      Script(session, "tick 1\n");
      lines.push_back(wb.record().PosSCL);
      EXPECT_EQ(wb.cpu().Regs[kRegEax], 0u) << c.name;
    }
    EXPECT_EQ(lines, c.lines) << c.name;
  }

  // Compiled, then loaded again from the editor: the compile no longer
  // holds for the text now loaded.
  HeadlessPlatform platform;
  ReplaySession session(platform, DefaultMachineFactory());
  Workbench& wb = session.workbench();
  Script(session, "tick 2\neditor Compiler\\Jumps.asm\ntick 1\nmove 600 20\ndown\ntick 1\nup\n");
  ASSERT_EQ(wb.record().state2, Compiled);
  Script(session, "move 20 20\ndown\ntick 1\nup\ntick 1\nmove 20 80\ndown\ntick 1\nup\n");
  ASSERT_EQ(wb.record().state, StateDebug);
  wb.record().PosSCL = 1;
  Script(session, "move 200 480\ntick 7\n");
  EXPECT_EQ(wb.record().PosSCL, 5u) << "JMP AGAIN stepped as a source line";
  for (int i = 0; i < kRegCount; ++i)
    EXPECT_EQ(wb.cpu().Regs[i], 0u) << "Load File left register " << i << " of the old program";
}

TEST_F(DebugDir, FaultsAndEndlessLoopsEndWithAMessage) {
  NEED_ENGINE();
  const struct {
    std::vector<std::string> source;
    std::string message;
    uint32_t line;  // where the listing stays
  } cases[] = {
      {{"[ORG 100]", "MOV AX, 5", "XOR BX, BX", "DIV BX", "INT 20"},
       "Stopped at 0105 (line 4: DIV BX): divide error",
       4},
      {{"[ORG 100]", "MOV AH, 2", "INT 13", "INT 20"},
       "Stopped at 0102 (line 3: INT 13): no service for INT 13h function 02h",
       3},
      {{"[ORG 100]", "MOV AX, 3000", "PUSH AX", "RET"},
       "Stopped at 3000: jump outside the program",
       4},
      {{"[ORG 100]", "AGAIN:", "INC AX", "JMP AGAIN"},
       "Stopped at 0100 (line 3: INC AX): step limit of 40 instructions reached",
       3},
  };
  for (const auto& c : cases) {
    std::string text;
    for (const std::string& line : c.source) text += line + "\r\n";
    Write("Compiler/TheFile.asm", text);
    HeadlessPlatform platform;
    ReplaySession session(platform, DefaultMachineFactory());
    Workbench& wb = session.workbench();
    wb.run().SetStepLimit(40);
    Script(session, kCompileAndDebug);
    Script(session, "tick 60\n");
    EXPECT_EQ(LastNote(wb), c.message);
    EXPECT_EQ(wb.record().PosSCL, c.line) << c.message;
    const CpuState before = wb.cpu();
    Script(session, "tick 20\n");
    EXPECT_EQ(std::memcmp(&before, &wb.cpu(), sizeof before), 0) << c.message;
    EXPECT_EQ(wb.record().PosSCL, c.line) << c.message;
    // The workbench still answers: the variables panel, and Debug again.
    Script(session, "move 130 300\ndown\ntick 1\nup\ntick 1\n");
    EXPECT_EQ(wb.record().state, StateVariables) << c.message;
    Script(session, "move 20 80\ndown\ntick 1\nup\ntick 1\n");
    EXPECT_EQ(wb.record().state, StateDebug);
    EXPECT_EQ(wb.run().program()->status(), RunStatus::Ready) << "restarted";
  }
}

TEST_F(DebugDir, TypedKeysFeedAWaitingProgram) {
  NEED_ENGINE();
  Write("Compiler/TheFile.asm", CrLf({"[ORG 100]", "MOV AH, 1", "INT 21", "MOV AH, 4C", "INT 21"}));
  HeadlessPlatform platform;
  ReplaySession session(platform, DefaultMachineFactory());
  Workbench& wb = session.workbench();
  Script(session, std::string(kCompileAndDebug) + "tick 5\n");
  EXPECT_TRUE(wb.run().waiting());
  EXPECT_EQ(wb.cpu().Regs[kRegEip], 0x102u);
  EXPECT_EQ(wb.record().PosSCL, 3u) << "the listing stays on the waiting INT";
  Script(session, "key 7\ntick 5\n");
  EXPECT_EQ(wb.run().console().lines()[0], "7");
  EXPECT_EQ(LastNote(wb), "Program exited with code 55");
}

TEST(ReplayKeys, BadKeyTextsAreRefused) {
  const char* scripts[] = {"key\n", "key \\q\n", "key \\x4\n", "key ab\\\n", "key \\xZZ\n"};
  for (const char* text : scripts) {
    HeadlessPlatform platform;
    ReplaySession session(platform);
    std::istringstream script(text);
    std::ostringstream out;
    std::string error;
    int line = 0;
    EXPECT_FALSE(session.Run(script, out, &error, &line)) << text;
    EXPECT_EQ(line, 1) << text;
  }
}

// What the debug screen draws while the program runs.
TEST(DebugScreen, PanelAndConsoleStripShowTheRunningProgram) {
  NEED_ENGINE();
  RecordingPlatform platform;
  Workbench wb(platform, DefaultMachineFactory());
  platform.files[kOpcodePath] = CrLf({"NOP||90"});
  platform.files["C:\\p.asm"] =
      CrLf({"[ORG 100]", "MOV DX, OFFSET T", "MOV AH, 9", "INT 21", "STC", "MOV AX, 4C03", "INT 21",
            "T:", "DB 4F,6E,65,0D,0A,54,77,6F,24"});
  wb.WindowProc(MsgCreate, 0, 0);
  platform.SetEditorTitle("C:\\p.asm");
  auto tick = [&](int n) {
    for (int i = 0; i < n; ++i) wb.TimerTick(0);
  };
  auto click = [&](uint32_t x, uint32_t y) {
    wb.WindowProc(MsgMouseMove, 0, PackPoint(x, y));
    wb.WindowProc(MsgLButtonDown, 1, 0);
    tick(1);
    wb.WindowProc(MsgLButtonUp, 0, 0);
  };
  tick(1);
  click(600, 20);
  ASSERT_EQ(wb.record().state2, Compiled);
  click(20, 80);
  wb.WindowProc(MsgMouseMove, 0, PackPoint(200, 480));
  tick(4);
  platform.recorder->Clear();
  tick(1);  // draws the state after four instructions, then runs the fifth
  auto& rec = *platform.recorder;
  const struct {
    int y;
    const char* label;
    const char* dec;
    const char* hex;
  } rows[] = {
      {110, "EAX :", "2340", "00000924"},  {155, "EDX :", "269", "0000010D"},
      {200, "ESP :", "65534", "0000FFFE"}, {230, "EIP :", "264", "00000108"},
      {245, "CS  :", "4096", "00001000"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(rec.TextAt(355, r.y), r.label);
    EXPECT_EQ(rec.TextAt(395, r.y), r.dec) << r.label;
    EXPECT_EQ(rec.TextAt(490, r.y), r.hex) << r.label;
  }
  EXPECT_EQ(rec.TextAt(355, 335), "CF 1");
  EXPECT_EQ(rec.TextAt(535, 350), "IF 1");
  EXPECT_EQ(rec.TextAt(355, 365), "BITS: 16");
  EXPECT_EQ(rec.TextAt(kConsoleLeft + 6, kConsoleTop + 3), "One");
  EXPECT_EQ(rec.TextAt(kConsoleLeft + 6, kConsoleTop + 3 + kConsoleRowStep), "Two");
  tick(1);
  EXPECT_EQ(wb.run().program()->exitCode(), 3);
  platform.recorder->Clear();
  tick(1);
  EXPECT_EQ(rec.TextAt(kConsoleLeft + 6, kConsoleTop + 3 + 2 * kConsoleRowStep),
            "Program exited with code 3");

  // Other screens blank the strip.
  click(130, 300);
  platform.recorder->Clear();
  tick(1);
  EXPECT_FALSE(rec.HasText("Two"));
}

TEST(DebugScreen, WithoutAnEngineCompiledCodeIsSteppedByLine) {
  RecordingPlatform platform;
  Workbench wb(platform);  // as the Windows build, which has no engine
  platform.files[kOpcodePath] = CrLf({"NOP||90"});
  platform.files["C:\\p.asm"] = CrLf({"[ORG 100]", "AGAIN:", "MOV AX, 5", "JMP AGAIN"});
  wb.WindowProc(MsgCreate, 0, 0);
  platform.SetEditorTitle("C:\\p.asm");
  wb.TimerTick(0);
  wb.WindowProc(MsgMouseMove, 0, PackPoint(600, 20));
  wb.WindowProc(MsgLButtonDown, 1, 0);
  wb.TimerTick(0);
  wb.WindowProc(MsgLButtonUp, 0, 0);
  ASSERT_EQ(wb.record().state2, Compiled);
  wb.WindowProc(MsgMouseMove, 0, PackPoint(20, 80));
  wb.WindowProc(MsgLButtonDown, 1, 0);
  wb.TimerTick(0);
  wb.WindowProc(MsgLButtonUp, 0, 0);
  wb.record().PosSCL = 1;
  wb.WindowProc(MsgMouseMove, 0, PackPoint(200, 480));
  std::vector<uint32_t> lines;
  for (int i = 0; i < 6; ++i) {
    wb.TimerTick(0);
    lines.push_back(wb.record().PosSCL);
  }
  EXPECT_EQ(lines, (std::vector<uint32_t>{2, 3, 4, 3, 4, 3}));
  EXPECT_EQ(wb.cpu().Regs[kRegEax], 0u);
  EXPECT_FALSE(platform.recorder->HasText("Program exited with code 0"));
}

}  // namespace
}  // namespace quorix
