// The machine window: programs driven through quorix-replay's script with
// the window's keys and clicks, checked against its dump; what its panels
// draw; and the pieces it is built from (data labels, watch values, the
// layout's hit test).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/machine_window.h"
#include "apps/quorix-replay/replay.h"
#include "engine/machines.h"
#include "screen/machine_view.h"
#include "support/doubles.h"
#include "support/scratch_dir.h"
#include "text/lines.h"

namespace quorix {
namespace {

namespace fs = std::filesystem;
using testing_support::CrLf;

#define NEED_ENGINE()                                                      \
  do {                                                                     \
    if (!DefaultMachineFactory()) GTEST_SKIP() << "built without Unicorn"; \
  } while (0)

std::string ReadSource(const std::string& name) {
  for (const char* dir : {"tests/data/machine/", "tests/data/screen/"}) {
    std::ifstream f(fs::path(QUORIX_SOURCE_DIR) / (dir + name), std::ios::binary);
    if (f) return std::string(std::istreambuf_iterator<char>(f), {});
  }
  ADD_FAILURE() << "no source " << name;
  return {};
}

std::string Repeat(const std::string& command, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += command + "\n";
  return s;
}

// Compile the source through the editor link, then choose Debug with the
// pointer away from Run: the machine window opens on the program's start.
const char kOpenMachineWindow[] =
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
    "move 5 560\n"
    "tick 1\n"
    "window machine\n";

bool HasLine(const std::string& dump, const std::string& line) {
  return ("\n" + dump).find("\n" + line + "\n") != std::string::npos;
}

struct ProgramCase {
  const char* program;
  std::string script;
  std::vector<std::string> expect;  // whole lines of the dump
  uint64_t stepLimit = 0;
};

class MachineWindowDir : public testing_support::CompilerDirTest {
 protected:
  void SetUp() override {}
  // Runs the script on a fresh workbench with `program` as the source;
  // returns what it printed.
  std::string Run(const std::string& program, const std::string& script, uint64_t stepLimit = 0) {
    Enter("quorix-machine-", ReadSource(program));
    HeadlessPlatform platform;
    ReplaySession session(platform, DefaultMachineFactory());
    if (stepLimit != 0) session.workbench().run().SetStepLimit(stepLimit);
    std::istringstream in(kOpenMachineWindow + script);
    std::ostringstream out;
    std::string error;
    int line = 0;
    EXPECT_TRUE(session.Run(in, out, &error, &line)) << program << ":" << line << ": " << error;
    return out.str();
  }
  void CheckCases(const std::vector<ProgramCase>& cases) {
    for (const ProgramCase& c : cases) {
      const std::string dump = Run(c.program, c.script, c.stepLimit);
      for (const std::string& line : c.expect)
        EXPECT_TRUE(HasLine(dump, line)) << c.program << ": no line \"" << line << "\" in\n"
                                         << dump;
      TearDown();
    }
  }
};

// bubble.asm: line 16 swaps a pair; line 25 holds LIST.
TEST_F(MachineWindowDir, BubbleSort) {
  NEED_ENGINE();
  CheckCases({
      {"bubble.asm",
       "keydown F5\ntick 20\ndump\n",
       {"state: ended", "status: Program exited with code 0 (139 steps)", "line: 0",
        "watch LIST: 01 02 03 05 08 09", "memory: LIST",
        "mem0: 1000:0125 01 02 03 05 08 09 00 00 00 00 00 00 00 00 00 00"}},
      // The first swap: 5 and 3, at the list's start.
      {"bubble.asm",
       Repeat("keydown Down", 9) + "keydown F9\nkeydown F5\ntick 2\ndump\n",
       {"state: paused", "line: 16", "selected: 16", "breakpoints: 16", "EAX: 00000005",
        "EBX: 00000003", "ESI: 00000125", "CF: 0", "ZF: 0", "watch LIST: 05 03 08 01 09 02"}},
      // One step on: the swap's first byte, highlighted as written.
      {"bubble.asm",
       Repeat("keydown Down", 9) + "keydown F9\nkeydown F5\ntick 2\nkeydown F11\ndump\n",
       {"line: 17", "steps: 8", "watch LIST: 03 03 08 01 09 02", "changed: IP", "written: 0"}},
      // Twice on: the breakpoint stops the second swap (8 and 1).
      {"bubble.asm",
       Repeat("keydown Down", 9) + "keydown F9\nkeydown F5\ntick 2\nkeydown F5\ntick 2\ndump\n",
       {"line: 16", "EAX: 00000008", "EBX: 00000001", "ESI: 00000127",
        "watch LIST: 03 05 08 01 09 02"}},
  });
}

// recurse.asm: FACT calls itself from line 18; its RET is line 22.
TEST_F(MachineWindowDir, RecursiveProcedure) {
  NEED_ENGINE();
  const std::string toRet = Repeat("keydown Down", 15) + "keydown F9\nkeydown F5\ntick 2\n";
  CheckCases({
      // The deepest call: four returns to line 19 and one to line 9.
      {"recurse.asm",
       toRet + "dump\n",
       {"line: 22", "EAX: 00000001", "ESP: 0000FFEC", "stack0: FFEC 011C SP ret 19",
        "stack1: FFEE 0002", "stack2: FFF0 011C ret 19", "stack6: FFF8 011C ret 19",
        "stack7: FFFA 0005", "stack8: FFFC 0106 ret 9", "stack9: FFFE 0000"}},
      // The next return: 2 * 1, one frame fewer.
      {"recurse.asm",
       toRet + "keydown F5\ntick 2\ndump\n",
       {"line: 22", "EAX: 00000002", "EBX: 00000002", "stack0: FFF0 011C SP ret 19",
        "stack6: FFFC 0106 ret 9"}},
      // Stepping over the first call runs the whole recursion.
      {"recurse.asm",
       "keydown F11\nkeydown F10\ntick 2\ndump\n",
       {"state: paused", "line: 9", "EAX: 00000078", "ESP: 0000FFFE", "steps: 37"}},
      // Stepping out of the first FACT returns to line 9 with the product.
      {"recurse.asm",
       "keydown F11\nkeydown F11\nkeydown Shift+F11\ntick 2\ndump\n",
       {"state: paused", "line: 9", "EAX: 00000078", "stack0: FFFE 0000 SP"}},
      // Stepping back undoes the call: the return address leaves the stack.
      {"recurse.asm",
       "keydown F11\nkeydown F11\nkeydown F7\ndump\n",
       {"line: 8", "steps: 1", "ESP: 0000FFFE", "changed: AX IP", "stack0: FFFE 0000 SP"}},
      // Without the breakpoint it ends with 5! in RESULT.
      {"recurse.asm",
       toRet + "keydown F9\nkeydown F5\ntick 2\ndump\n",
       {"state: ended", "breakpoints:", "watch RESULT: 78 00", "stack0: FFFE 0000 SP"}},
  });
}

// The text screen: direct writes to B800:0000, the BIOS cursor and writes,
// window scrolls.
TEST_F(MachineWindowDir, TextScreenPrograms) {
  NEED_ENGINE();
  const std::string toEnd = "keydown F5\ntick 20\ndump\n";
  CheckCases({
      {"b800.asm",
       toEnd,
       {"state: ended", "screen2:           HELLO, SCREEN",
        "screen24: " + std::string(79, '-') + "!", "cursor: 0 0", "screen0:"}},
      {"cursor.asm",
       toEnd,
       {"status: Program exited with code 78 (35 steps)", "screen5:                 BCCAA",
        "screen10: Z", "screen24:" + std::string(78, ' ') + " XX", "cursor: 24 78"}},
      {"scroll.asm",
       toEnd,
       {"screen0: AACCCCCCCCAA    AAAA", "screen1: BBDDDDDDDDBBAAAABBBB",
        "screen3: DD        DDCCCCDDDD", "screen5: FFFFFFFFFFFFEEEEFFFF", "screen6:", "screen10:"}},
      // Stepping the scroll program's letters: the screen follows each step.
      {"scroll.asm",
       Repeat("keydown F11", 9) + "dump\n",
       {"screen0: A", "cursor: 0 1", "line: 24",
        "last: CX 0014 -> 0013, jumped back to line 24 (LETTER)"}},
  });
}

// keys.asm waits in line 10 for each key; Enter ends it.
TEST_F(MachineWindowDir, KeyboardReader) {
  NEED_ENGINE();
  CheckCases({
      {"keys.asm",
       "keydown F5\ntick 3\ndump\n",
       {"state: running", "status: waiting for a key at line 9, 3 steps", "line: 9"}},
      {"keys.asm",
       "keydown F5\ntick 3\nkey ab\ntick 3\ndump\n",
       {"state: running", "screen0: ab", "watch BUF: 61 62 00 00 00 00 00 00", "ECX: 00000002"}},
      {"keys.asm",
       "keydown F5\ntick 3\nkey ab\ntick 3\nkey \\r\ntick 3\ndump\n",
       {"state: ended", "status: Program exited with code 2 (25 steps)"}},
      // Keys typed in the main window reach the program too.
      {"keys.asm",
       "keydown F5\ntick 3\nwindow main\nkey xyz\\r\ntick 3\nwindow machine\ndump\n",
       {"state: ended", "watch BUF: 78 79 7A 00 00 00 00 00", "screen0: xyz"}},
  });
}

// fault.asm divides by zero on line 9; an endless loop meets the step limit.
TEST_F(MachineWindowDir, FaultsAndLimits) {
  NEED_ENGINE();
  CheckCases({
      {"fault.asm",
       "keydown F5\ntick 3\ndump\n",
       {"state: stopped", "status: Stopped at 0109 (line 9: DIV BL): divide error (4 steps)",
        "line: 0", "EAX: 00001234", "ECX: 00000002"}},
      // A step back out of the fault: before the division, which can run again.
      {"fault.asm",
       "keydown F5\ntick 3\nkeydown F7\ndump\nkeydown F11\ndump\n",
       {"state: paused", "line: 9", "last: CX 0003 -> 0002", "state: stopped", "steps: 4"}},
      // Stepping into the fault ends the same way; further steps do nothing.
      {"fault.asm", Repeat("keydown F11", 7) + "dump\n", {"state: stopped", "steps: 4"}},
      {"fault.asm",
       "keydown F5\ntick 3\nkeydown Ctrl+F5\ndump\n",
       {"state: paused", "steps: 0", "line: 4", "EAX: 00000000"}},
      {"bubble.asm",
       "keydown F5\ntick 3\ndump\n",
       {"state: stopped",
        "status: Stopped at 010F (line 15: JBE KEEP): step limit of 50 instructions "
        "reached (50 steps)"},
       50},
  });
}

// Continue runs in slices of a few milliseconds per tick; pause stops it
// within the tick; the Run box's step limit ends it, and the status says so.
TEST_F(MachineWindowDir, ContinueRunsInSlicesUntilPausedOrTheStepLimit) {
  NEED_ENGINE();
  const std::string dump = Run("spin.asm",
                               "keydown F5\ntick 1\ndump\ntick 2\nkeydown F6\ndump\ntick 5\ndump\n"
                               "keydown F5\ntick 400\ndump\n",
                               2'000'000);
  std::vector<uint64_t> steps;
  std::vector<std::string> states;
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("steps: ", 0) == 0) steps.push_back(std::stoull(line.substr(7)));
    if (line.rfind("state: ", 0) == 0) states.push_back(line.substr(7));
  }
  ASSERT_EQ(steps.size(), 4u) << dump;
  EXPECT_EQ(states, (std::vector<std::string>{"running", "paused", "paused", "stopped"}));
  EXPECT_GT(steps[0], 0u) << "the first tick runs a slice";
  EXPECT_LT(steps[0], 2'000'000u) << "a slice is a few milliseconds, not the whole run";
  EXPECT_GT(steps[1], steps[0]);
  EXPECT_EQ(steps[2], steps[1]) << "paused: nothing runs";
  EXPECT_EQ(steps[3], 2'000'000u);
  EXPECT_NE(dump.find("status: Stopped at 0100 (line 4: INC BX): step limit of 2000000 "
                      "instructions reached (2000000 steps)"),
            std::string::npos)
      << dump;
}

// Pause, run to a line, the selection and the breakpoints by key and click.
TEST_F(MachineWindowDir, ControlsAndSelection) {
  NEED_ENGINE();
  CheckCases({
      // Selected line 16, run to it: the first swap.
      {"bubble.asm",
       Repeat("keydown Down", 9) + "keydown Ctrl+F10\ntick 2\ndump\n",
       {"state: paused", "line: 16", "breakpoints:", "EBX: 00000003"}},
      // Up stops at line 1; F9 on a line without bytes marks the next one with bytes.
      {"bubble.asm",
       Repeat("keydown Up", 12) + "keydown F9\ndump\n",
       {"selected: 1", "breakpoints: 7"}},
      {"bubble.asm", Repeat("keydown Down", 40) + "dump\n", {"selected: 27"}},
      // A click selects a row (the third of the view, which starts at line 1
      // while the next line is well inside it); a second click toggles its
      // breakpoint, which a comment line hands on to the next line with bytes.
      {"bubble.asm",
       "move 900 64\ndown\nup\ndump\ndown\nup\ndump\n",
       {"selected: 3", "breakpoints:", "breakpoints: 7"}},
      // The view follows the next line once it nears the bottom: with the
      // program on line 22 the first row shows line 19.
      {"bubble.asm",
       Repeat("keydown Down", 15) + "keydown Ctrl+F10\ntick 2\nmove 900 32\ndown\nup\ndump\n",
       {"line: 22", "selected: 19"}},
      // Continue, then pause at once: the program stays where it was.
      {"recurse.asm", "keydown F5\nkeydown F6\ntick 5\ndump\n", {"state: paused", "steps: 0"}},
      // A closed window is opened again by Debug, with the selection on the
      // next line; the program goes on where it was.
      {"bubble.asm",
       "keydown F11\nkeydown F11\nkeydown Up\nclose\nwindow main\nmove 20 80\ndown\ntick 1\n"
       "up\nwindow machine\nshot reopened.png\ndump\n",
       {"state: paused", "selected: 10", "line: 10", "steps: 2"}},
      // Entering Debug from another screen starts the program over.
      {"bubble.asm",
       "keydown F11\nkeydown F11\nclose\nwindow main\nmove 20 50\ndown\ntick 1\nup\n"
       "move 20 80\ndown\ntick 1\nup\ntick 1\nwindow machine\nshot reopened.png\ndump\n",
       {"state: paused", "selected: 7", "line: 7", "steps: 0"}},
  });
}

TEST_F(MachineWindowDir, MemoryPanelFollowsAnAddressALabelOrARegisterPair) {
  NEED_ENGINE();
  // The address box at (90..288, 528..544), DS:SI beside it; the first watch row at y 434.
  CheckCases({
      {"bubble.asm",
       "move 100 530\ndown\nup\nkey 1000:100\\r\ndump\n",
       {"memory: 0100", "mem0: 1000:0100 B9 05 00 BE 25 01 8B D1 8A 04 8A 5C 01 3A C3 0F"}},
      {"bubble.asm", "move 100 530\ndown\nup\nkey list\\r\ndump\n", {"memory: LIST"}},
      {"bubble.asm",
       "move 300 530\ndown\nup\n" + Repeat("keydown F11", 4) + "dump\n",
       {"memory: DS:SI", "mem0: 1000:0125 05 03 08 01 09 02 00 00 00 00 00 00 00 00 00 00"}},
      {"bubble.asm", "move 100 530\ndown\nup\nkey nowhere\\r\ndump\n", {"memory: LIST"}},
      // A click on a row of the data panel shows that label's bytes.
      {"bubble.asm",
       "move 100 530\ndown\nup\nkey 100\\r\ndump\nmove 1030 440\ndown\nup\ndump\n",
       {"memory: 0100", "memory: LIST"}},
  });
}

TEST_F(MachineWindowDir, ThirtyTwoBitCodeHasThirtyTwoBitRegisters) {
  NEED_ENGINE();
  CheckCases({
      {"flat32.asm",
       Repeat("keydown F11", 4) + "dump\n",
       {"EAX: 1234567C", "ECX: 00000004", "ESI: 00400016", "line: 10", "memory: COUNT",
        "mem0: 00400016 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}},
      {"flat32.asm",
       "keydown F5\ntick 3\ndump\n",
       {"state: ended", "watch COUNT: 04 00 00 00", "EAX: 12345682"}},
  });
}

// A draw paints only the rows that changed: after any history of steps the
// window shows exactly what one full drawing of the same state shows.
TEST_F(MachineWindowDir, RowByRowDrawingEndsAsAFullDrawing) {
  NEED_ENGINE();
  const struct {
    const char* program;
    std::string script;
  } cases[] = {
      {"bubble.asm", Repeat("keydown F11", 30) + "keydown F7\nkeydown Down\nkeydown F9\n"},
      {"recurse.asm", Repeat("keydown Down", 15) + "keydown F9\nkeydown F5\ntick 2\nmove 900 40\n"},
      {"scroll.asm", "move 30 20\n" + Repeat("keydown F11", 25) + "keydown F5\ntick 9\n"},
      {"b800.asm", "move 300 530\ndown\nup\n" + Repeat("keydown F11", 20)},
      {"flat32.asm", Repeat("keydown F11", 3) + "move 100 530\ndown\nup\nkey 4000\n"},
  };
  for (const auto& c : cases) {
    Enter("quorix-machine-", ReadSource(c.program));
    HeadlessPlatform platform;
    ReplaySession session(platform, DefaultMachineFactory());
    std::istringstream in(kOpenMachineWindow + c.script);
    std::ostringstream out;
    std::string error;
    int line = 0;
    ASSERT_TRUE(session.Run(in, out, &error, &line)) << c.program << ":" << line << ": " << error;
    CairoCanvas* drawn = platform.secondBuffer();
    ASSERT_NE(drawn, nullptr);
    HeadlessPlatform fresh;
    MachineScreen full;
    full.dc = fresh.OpenSecondWindow(kMachineWindowWidth, kMachineWindowHeight);
    CreateMachineObjects(full);
    DrawMachineWindow(full, session.workbench().machine().Refresh());
    const CairoCanvas& a = *drawn;
    const CairoCanvas& b = *fresh.secondBuffer();
    int differ = 0;
    for (int y = 0; y < a.Height(); ++y)
      differ += std::memcmp(a.Data() + size_t(y) * a.Stride(), b.Data() + size_t(y) * b.Stride(),
                            size_t(a.Width()) * 4) != 0;
    EXPECT_EQ(differ, 0) << c.program << ": rows of pixels that differ";
    TearDown();
  }
}

// Without the emulator the debug screen steps lines: nothing runs.
TEST_F(MachineWindowDir, WithoutAProgramNothingRuns) {
  Enter("quorix-machine-", ReadSource("bubble.asm"));
  HeadlessPlatform platform;
  ReplaySession session(platform);
  std::istringstream in(std::string(kOpenMachineWindow) +
                        "keydown F11\nkeydown F5\ntick 3\ndump\n");
  std::ostringstream out;
  std::string error;
  int line = 0;
  ASSERT_TRUE(session.Run(in, out, &error, &line)) << line << ": " << error;
  const std::string dump = out.str();
  for (const char* expect : {"state: none", "status: no program running", "steps: 0", "line: 0"})
    EXPECT_TRUE(HasLine(dump, expect)) << expect << " in\n" << dump;
  EXPECT_EQ(dump.find("screen0:"), std::string::npos);
  EXPECT_NE(platform.secondBuffer(), nullptr) << "Debug opens the window all the same";
}

// ---- the pieces ----------------------------------------------------------------

TEST(MachineData, DataLabelsAreLabelsFollowedByDataLines) {
  const std::string text =
      CrLf({"[ORG 100]", "START:", "  MOV AX, 1", "MSG:", "  DB \"HI$\"", "COUNT:", "", "  DW 1,2",
            "  DW 3", "CODE:", "  NOP", "BIG DATA", "  DD 1", "LAST:"});
  std::vector<uint8_t> bytes(text.begin(), text.end());
  std::vector<uint8_t> index(4 * 32);
  SourceText source;
  source.bytes = bytes;
  source.size = static_cast<uint32_t>(bytes.size());
  source.index = index;
  BuildLineIndex(bytes, index, source.size);
  source.lineCount = CountLines(bytes, source.size);
  // Line k's record: its byte count and offset.
  std::vector<uint8_t> region(8 * 16, 0);
  LineRecords records(region);
  const std::pair<uint32_t, uint32_t> counts[] = {{3, 3}, {5, 3}, {8, 4}, {9, 2}, {11, 1}, {13, 4}};
  uint32_t offset = 0;
  for (const auto& [line, count] : counts) {
    records.Set(line - 1, {count, offset});
    offset += count;
  }
  const std::vector<DataLabel> labels = FindDataLabels(source, records, 0x100);
  ASSERT_EQ(labels.size(), 3u);
  const struct {
    const char* name;
    uint32_t line, address, size, unit;
    bool text;
  } expect[] = {{"MSG", 4, 0x103, 3, 1, true},
                {"COUNT", 6, 0x106, 6, 2, false},
                {"BIG", 12, 0x10D, 4, 4, false}};
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(labels[i].name, expect[i].name);
    EXPECT_EQ(labels[i].line, expect[i].line) << expect[i].name;
    EXPECT_EQ(labels[i].address, expect[i].address) << expect[i].name;
    EXPECT_EQ(labels[i].size, expect[i].size) << expect[i].name;
    EXPECT_EQ(labels[i].unit, expect[i].unit) << expect[i].name;
    EXPECT_EQ(labels[i].text, expect[i].text) << expect[i].name;
  }
}

TEST(MachineView, WatchValuesInTheirUnits) {
  const struct {
    WatchRow watch;
    const char* text;
  } cases[] = {
      {{"A", 0, 1, false, {0x2A}, 1}, "2A (42)"},
      {{"W", 0, 2, false, {0x34, 0x12}, 2}, "1234 (4660)"},
      {{"D", 0, 4, false, {0x78, 0x56, 0x34, 0x12}, 4}, "12345678 (305419896)"},
      {{"L", 0, 2, false, {1, 0, 2, 0, 3, 0}, 6}, "0001 0002 0003"},
      {{"S", 0, 1, true, {'H', 'I', 0x0D, '$'}, 4}, "\"HI.$\""},
      {{"T", 0, 1, true, {'A', 'B'}, 40}, "\"AB..\""},
      {{"M", 0, 1, false, {1, 2}, 40}, "01 02 .."},
  };
  for (const auto& c : cases) EXPECT_EQ(WatchValueText(c.watch), c.text) << c.watch.name;
}

TEST(MachineView, RegisterNamesFollowTheCodeWidth) {
  EXPECT_STREQ(RegisterName(Reg::Eax, 16), "AX");
  EXPECT_STREQ(RegisterName(Reg::Eax, 32), "EAX");
  EXPECT_STREQ(RegisterName(Reg::Eflags, 16), "FLAGS");
  EXPECT_STREQ(RegisterName(Reg::Ds, 32), "DS");
}

// Draws a snapshot on a recording back buffer.
struct DrawnWindow {
  HeadlessPlatform platform;
  std::unique_ptr<testing_support::RecordingCanvas> canvas;
  MachineScreen screen;
  explicit DrawnWindow(const MachineSnapshot& snap) {
    canvas = std::make_unique<testing_support::RecordingCanvas>(
        *platform.OpenSecondWindow(kMachineWindowWidth, kMachineWindowHeight));
    screen.dc = canvas.get();
    CreateMachineObjects(screen);
    DrawMachineWindow(screen, snap);
  }
};

TEST(MachineView, RegisterLabelsNeverTouchTheirDigits) {
  for (uint32_t bits : {16u, 32u}) {
    MachineSnapshot snap;
    snap.state = MachineState::Paused;
    snap.bits = bits;
    for (int i = 0; i < kRegCount; ++i) snap.regs[i] = 0xFFFFFFFF;
    DrawnWindow w(snap);
    const auto& texts = w.canvas->texts;
    int checked = 0;
    for (size_t i = 0; i + 1 < texts.size(); ++i) {
      const std::string& label = texts[i].text;
      if (label.size() < 3 || label.back() != ':' || texts[i + 1].y != texts[i].y) continue;
      if (label == "Memory:" || label.find(' ') != std::string::npos) continue;
      // The colon's cell ends a blank cell before the first digit.
      EXPECT_LE(texts[i].x + int(label.size() + 1) * kMachineCharWidth, texts[i + 1].x)
          << label << " in " << bits << "-bit code";
      ++checked;
    }
    EXPECT_EQ(checked, 16) << bits;
  }
}

TEST(MachineView, TheTextScreenKeepsItsColours) {
  MachineSnapshot snap;
  snap.state = MachineState::Paused;
  snap.hasScreen = true;
  snap.screen[0] = {'A', 0x1E};  // yellow on blue
  snap.screen[1] = {'B', 0x1E};
  snap.screen[80] = {'C', 0x4F};  // white on red
  snap.cursorVisible = true;
  snap.cursorRow = 1;
  snap.cursorColumn = 3;
  DrawnWindow w(snap);
  const auto& texts = w.canvas->texts;
  auto find = [&](const std::string& s) {
    return std::find_if(texts.begin(), texts.end(), [&](const auto& t) { return t.text == s; });
  };
  ASSERT_NE(find("AB"), texts.end());
  EXPECT_EQ(find("AB")->color, ScreenColor(14));
  ASSERT_NE(find("C"), texts.end());
  EXPECT_EQ(find("C")->color, ScreenColor(15));
  const int cellX = find("AB")->x, cellY = find("AB")->y;
  const auto& shapes = w.canvas->shapes;
  auto filled = [&](int x, int y, Rgb color) {
    return std::any_of(shapes.begin(), shapes.end(), [&](const auto& s) {
      return s.shape == testing_support::Shape::Rectangle && s.l <= x && x < s.r && s.t <= y &&
             y < s.b && s.brush == color;
    });
  };
  EXPECT_TRUE(filled(cellX + 1, cellY + 1, ScreenColor(1)));
  EXPECT_TRUE(filled(cellX + kMachineCharWidth + 1, cellY + 1, ScreenColor(1)));
  EXPECT_FALSE(filled(cellX + 2 * kMachineCharWidth + 1, cellY + 1, ScreenColor(1)));
  EXPECT_TRUE(filled(cellX + 1, cellY + kMachineRowHeight + 1, ScreenColor(4)));
  // The cursor: a bar at the bottom of row 1, column 3.
  EXPECT_TRUE(
      filled(cellX + 3 * kMachineCharWidth + 1, cellY + 2 * kMachineRowHeight - 2, ScreenColor(7)));
}

TEST(MachineView, ClicksFindButtonsLinesAndWatches) {
  MachineSnapshot snap;
  for (uint32_t line = 40; line < 60; ++line) snap.source.push_back({line, 0, false, false, ""});
  snap.watches.resize(3);
  DrawnWindow w(snap);
  // Every button's label lies on the button it names.
  const struct {
    const char* label;
    MachineControl control;
  } buttons[] = {{"Continue", MachineControl::Continue}, {"Pause", MachineControl::Pause},
                 {"Into", MachineControl::StepInto},     {"Over", MachineControl::StepOver},
                 {"Out", MachineControl::StepOut},       {"Back", MachineControl::StepBack},
                 {"Restart", MachineControl::Restart},   {"To line", MachineControl::RunToLine},
                 {"Break", MachineControl::Breakpoint},  {"DS:SI", MachineControl::FollowSi},
                 {"ES:DI", MachineControl::FollowDi}};
  for (const auto& b : buttons) {
    auto it = std::find_if(w.canvas->texts.begin(), w.canvas->texts.end(),
                           [&](const auto& t) { return t.text == b.label; });
    ASSERT_NE(it, w.canvas->texts.end()) << b.label;
    EXPECT_EQ(HitMachineWindow(snap, it->x + 2, it->y + 5).control, b.control) << b.label;
  }
  // Rows of the source view, from the one under the first line's number on.
  auto number = std::find_if(w.canvas->texts.begin(), w.canvas->texts.end(),
                             [](const auto& t) { return t.text == "  40"; });
  ASSERT_NE(number, w.canvas->texts.end());
  const int x = number->x + 20, y = number->y + 5;
  EXPECT_EQ(HitMachineWindow(snap, x, y).line, 40u);
  EXPECT_EQ(HitMachineWindow(snap, x, y + 3 * kMachineRowHeight).line, 43u);
  EXPECT_EQ(HitMachineWindow(snap, x, y + (kSourceRows - 1) * kMachineRowHeight).line,
            40u + kSourceRows - 1);
  EXPECT_EQ(HitMachineWindow(snap, x, y + kSourceRows * kMachineRowHeight).line, 0u);
  EXPECT_EQ(HitMachineWindow(snap, 1, 1).control, MachineControl::None);
}

}  // namespace
}  // namespace quorix
