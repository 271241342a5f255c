// The workbench driven through its window procedure and timer on the
// headless backend: screen states, clicks as levels, the compile and debug
// screens, and what the user sees at each step.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "app/output_file.h"
#include "app/workbench.h"
#include "asm/driver.h"
#include "screen/views.h"
#include "support/doubles.h"

namespace quorix {
namespace {

using testing_support::CrLf;
using testing_support::RecordingCanvas;
using testing_support::RecordingPlatform;

constexpr char kSourcePath[] = "C:\\src\\prog.asm";
constexpr char kOutputPath[] = "C:\\src\\prog.com";

const std::string kGoodSource = CrLf({"[ORG 100]", "START:", "  MOV AX, 1234", "AGAIN:", "  NOP",
                                      "  NOP", "  JMP AGAIN", "  INT 20"});

struct Bench {
  RecordingPlatform platform;
  Workbench wb{platform};

  Bench() { platform.files[kOpcodePath] = CrLf({"MOV|r16, imm16|B8+r iw", "NOP||90"}); }
  void Create() { wb.WindowProc(MsgCreate, 0, 0); }
  void Move(uint32_t x, uint32_t y) { wb.WindowProc(MsgMouseMove, 0, PackPoint(x, y)); }
  void Down() { wb.WindowProc(MsgLButtonDown, 1, 0); }
  void Up() { wb.WindowProc(MsgLButtonUp, 0, 0); }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) wb.TimerTick(static_cast<uint32_t>(i));
  }
  // A full click on (x, y): move, press, one tick, release.
  void Click(uint32_t x, uint32_t y) {
    Move(x, y);
    Down();
    Tick();
    Up();
  }
  RecordingCanvas& rec() { return *platform.recorder; }
  ContextRecord& r() { return wb.record(); }
  std::string Path() {
    char buf[512];
    wb.workspace().ReadCString(r().lpSourceCodeFileName, buf);
    return buf;
  }
  // Created, editor running with `source`, on the compile screen.
  void OpenSource(const std::string& source) {
    platform.files[kSourcePath] = source;
    Create();
    platform.SetEditorTitle(kSourcePath);
    Tick();
    Move(5, 560);  // a neutral place below the menu
  }
};

TEST(Workbench, MessagesBeforeCreationHaveNoEffect) {
  Bench b;
  b.platform.SetEditorTitle(kSourcePath);
  EXPECT_FALSE(b.wb.WindowProc(0x0081, 0, 0)) << "default handling";
  b.Move(30, 40);
  b.Down();
  const ContextRecord zero{};
  EXPECT_EQ(std::memcmp(&b.r(), &zero, sizeof(zero)), 0);
  EXPECT_EQ(b.platform.backBuffer(), nullptr);
  EXPECT_EQ(b.platform.presentCount(), 0u);
  EXPECT_FALSE(b.platform.timerRunning());
}

TEST(Workbench, CreationSetsUpRecordBufferAndTimer) {
  Bench b;
  b.platform.files["Compiler\\TheFile.asm"] = CrLf({"NOP", "NOP"});
  EXPECT_TRUE(b.wb.WindowProc(MsgCreate, 0, 0));
  const ContextRecord& r = b.r();
  EXPECT_EQ(r.hWnd, testing_support::ScreenPlatform::kWindowHandle);
  EXPECT_EQ(r.wHDC, testing_support::ScreenPlatform::kDeviceContextHandle);
  EXPECT_EQ(r.Lbr, 800u);
  EXPECT_EQ(r.Tng, 600u);
  EXPECT_EQ(r.PosX, 0u);
  EXPECT_NE(r.gMemHnd, 0u);
  EXPECT_EQ(b.Path(), "Compiler\\TheFile.asm");
  EXPECT_EQ(r.lpMemForCompiler, Workspace::Address(Area::OpcodeText));
  EXPECT_EQ(r.AddrFunct, Workspace::Address(Area::Symbols));
  EXPECT_EQ(r.LineCountsForCompiler, 4u);
  EXPECT_EQ(r.LineCountsForFile, 4u) << "the default source is loaded at creation";
  EXPECT_EQ(r.state, StateStart);
  EXPECT_TRUE(b.platform.timerRunning());
  EXPECT_EQ(b.platform.timerPeriod(), 1u);
  EXPECT_EQ(b.rec().TextAt(15, 10), "Load File") << "the menu is drawn once";
  EXPECT_EQ(b.platform.backBuffer()->PixelAt(400, 300), (Rgb{0, 0, 0}));
  EXPECT_EQ(b.platform.backBuffer()->PixelAt(799, 599), (Rgb{0, 0, 0}));
}

TEST(Workbench, StartScreenWaitsForTheEditor) {
  Bench b;
  b.platform.files[kSourcePath] = kGoodSource;
  b.Create();
  b.rec().Clear();
  b.Tick(3);
  EXPECT_EQ(b.r().state, StateStart);
  EXPECT_FALSE(b.rec().HasText(kEditorMissing)) << "the start screen waits silently";
  bool emblem = false;
  for (const auto& s : b.rec().shapes)
    emblem |= s.shape == testing_support::Shape::Ellipse && s.l == 230 && s.t == 80 && s.r == 300 &&
              s.b == 200;
  EXPECT_TRUE(emblem);
  EXPECT_EQ(b.platform.backBuffer()->PixelAt(250, 150), kYellow);
  EXPECT_EQ(b.Path(), "Compiler\\TheFile.asm");

  b.platform.SetEditorTitle(kSourcePath);
  b.Tick();
  EXPECT_EQ(b.r().state, StateCompile) << "loads on the first step that finds the editor";
  EXPECT_EQ(b.Path(), kSourcePath);
  EXPECT_EQ(b.r().LineCountsForFile, 10u);
}

// Whatever the editor's title names, the program compiled is the one in
// that file: a file that could not be loaded is named on the screen and
// nothing is compiled, least of all the previous program under the new name.
TEST(Workbench, EditorTitlesAndTheLoadScreen) {
  const std::string longPath = "C:\\" + std::string(300, 'd') + "\\long.asm";
  const struct {
    const char* name;
    std::string title;
    std::string path;  // as the record keeps it
    ReadStatus read;   // Ok: the file holds kGoodSource
    bool exists;       // the file is there at all
    const char* why;   // nullptr: loaded and compiled
  } cases[] = {
      {"a long path loads whole", longPath, longPath, ReadStatus::Ok, true, nullptr},
      {"249 characters, no such file", std::string(249, 'a'), std::string(249, 'a'), ReadStatus::Ok,
       false, "no such file"},
      {"longer than the path buffer", std::string(600, 'c'), std::string(511, 'c'), ReadStatus::Ok,
       true, "path too long"},
      {"a folder", "C:\\src\\dir.asm", "C:\\src\\dir.asm", ReadStatus::NotRegular, true,
       "not a regular file"},
      {"no permission", "C:\\src\\locked.asm", "C:\\src\\locked.asm", ReadStatus::Denied, true,
       "permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.platform.files[kDefaultSourcePath] = "NOP";  // the program loaded at creation
    if (c.exists && c.read == ReadStatus::Ok) b.platform.files[c.title] = kGoodSource;
    if (c.read != ReadStatus::Ok) b.platform.unreadable[c.title] = c.read;
    b.Create();
    b.platform.SetEditorTitle(c.title);
    b.Tick();
    EXPECT_EQ(b.Path(), c.path);
    EXPECT_EQ(b.r().state, StateCompile) << "a title that names no file still moves on";
    const auto filesBefore = b.platform.files;
    b.Move(5, 560);
    b.rec().Clear();
    b.Tick();
    b.Click(600, 20);  // where the Compile button stands
    b.Tick();
    if (c.why == nullptr) {
      EXPECT_EQ(b.r().state2, Compiled);
      EXPECT_EQ(b.platform.files.count(OutputNameFor(c.path.c_str())), 1u);
      continue;
    }
    EXPECT_FALSE(b.rec().TextAt(620, 16)) << "no Compile button";
    EXPECT_EQ(b.rec().TextAt(405, 15), "Cannot load:");
    // The rows under the head spell the path (a path too long for them keeps
    // its end, which names the file), then the reason.
    std::string rows;
    int y = 45;
    for (; b.rec().TextAt(405, y + 30); y += 30) rows += *b.rec().TextAt(405, y);
    EXPECT_EQ(b.rec().TextAt(405, y), c.why);
    const size_t room = 12 * 37;
    EXPECT_EQ(rows,
              c.path.size() <= room ? c.path : ".." + c.path.substr(c.path.size() - room + 2));
    EXPECT_NE(b.r().state2, Compiled);
    EXPECT_EQ(b.platform.files, filesBefore) << "nothing compiled, nothing written";
  }

  Bench b;
  b.Create();
  b.Click(20, 20);  // "Load File", no editor running
  b.r().state2 = CompileFailed;
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.r().state, StateLoad);
  EXPECT_EQ(b.r().state2, Idle);
  EXPECT_EQ(b.rec().TextAt(160, 30), kEditorMissing);
  EXPECT_EQ(std::string(kEditorMissing).size(), 72u);
}

TEST(Workbench, NoLoadWithoutTheOpcodeFile) {
  Bench b;
  b.platform.files.erase(kOpcodePath);
  b.wb.WindowProc(MsgCreate, 0, 0);
  b.platform.files.erase(kOpcodePath);  // creation's read made an empty one
  b.platform.SetEditorTitle(kSourcePath);
  b.Tick(2);
  EXPECT_EQ(b.r().state, StateStart);
  EXPECT_EQ(b.Path(), kSourcePath) << "the title is taken all the same";
}

// Started from a folder without the opcode file, the load screen names the
// file and the folder it was looked in, under the editor's notice when the
// editor is missing too; the start screen stays silent, and once the file
// is there the load goes ahead.
TEST(Workbench, TheLoadScreenNamesTheFolderWithoutTheOpcodeFile) {
  const std::string longFolder = "C:\\" + std::string(700, 'f');
  const struct {
    const char* name;
    bool editor;
    std::string folder;
    int headY;
    std::vector<std::string> folderRows;
  } cases[] = {
      {"editor running", true, "C:\\Users\\me\\Desk top", 30, {"C:\\Users\\me\\Desk top"}},
      {"no editor either", false, "C:\\other", 70, {"C:\\other"}},
      {"a folder over two rows",
       true,
       std::string(100, 'x'),
       30,
       {std::string(72, 'x'), std::string(28, 'x')}},
      {"a folder longer than the rows keeps its end",
       true,
       longFolder,
       30,
       {".." + std::string(70, 'f'), std::string(72, 'f'), std::string(72, 'f'),
        std::string(72, 'f'), std::string(72, 'f'), std::string(72, 'f'), std::string(72, 'f'),
        std::string(72, 'f')}},
      {"the folder cannot be told", true, "", 30, {"(the current folder cannot be told)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.platform.currentFolder = c.folder;
    b.Create();
    b.platform.files.erase(kOpcodePath);  // creation's read made an empty one
    if (c.editor) b.platform.SetEditorTitle(kSourcePath);
    b.rec().Clear();
    b.Tick(2);
    EXPECT_FALSE(b.rec().HasText(std::string(kOpcodePath) + kOpcodeMissing)) << "start screen";
    b.Click(20, 20);  // "Load File"
    b.Move(5, 560);
    b.rec().Clear();
    b.Tick();
    EXPECT_EQ(b.r().state, StateLoad);
    EXPECT_EQ(b.rec().TextAt(160, 30) == kEditorMissing, !c.editor);
    EXPECT_EQ(b.rec().TextAt(160, c.headY), std::string(kOpcodePath) + kOpcodeMissing);
    int y = c.headY;
    for (const std::string& row : c.folderRows) EXPECT_EQ(b.rec().TextAt(160, y += 20), row);
    EXPECT_EQ(b.rec().TextAt(160, y + 20), kOpcodeMissingHint);
    EXPECT_FALSE(b.rec().TextAt(160, y + 40)) << "nothing more";
  }

  Bench b;
  b.Create();
  b.platform.files.erase(kOpcodePath);
  b.platform.SetEditorTitle(kSourcePath);
  b.platform.files[kSourcePath] = kGoodSource;
  b.Click(20, 20);
  b.Tick();
  b.platform.files[kOpcodePath] = "MOV|r16\r\n";
  b.Tick();
  EXPECT_EQ(b.r().state, StateCompile) << "the load goes ahead once the file is there";
  b.rec().Clear();
  b.Tick();
  EXPECT_FALSE(b.rec().HasText(std::string(kOpcodePath) + kOpcodeMissing));
}

TEST(Workbench, HoldingLoadFileReloadsOnEveryStep) {
  Bench b;
  b.OpenSource(kGoodSource);
  const uint32_t g0 = b.wb.workspace().load().generation;
  b.Move(20, 20);
  b.Down();
  b.Tick(4);
  EXPECT_EQ(b.wb.workspace().load().generation, g0 + 4) << "one reload per tick after the press";
  b.Up();
  const uint32_t g1 = b.wb.workspace().load().generation;
  b.Tick(3);
  EXPECT_EQ(b.wb.workspace().load().generation, g1);
  EXPECT_EQ(b.r().state, StateCompile);
}

TEST(Workbench, CompileFromTheSourceView) {
  Bench b;
  b.OpenSource(kGoodSource);
  b.Move(600, 20);
  b.Down();  // the views see the press from the next step on
  EXPECT_EQ(b.r().state2, Idle);
  EXPECT_EQ(b.platform.files.count(kOutputPath), 0u);
  b.Tick();
  EXPECT_EQ(b.r().state2, Compiled) << "assembled in the step that saw the click";
  EXPECT_EQ(b.platform.files.count(kOutputPath), 1u);
  EXPECT_EQ(b.platform.files[kOutputPath].substr(0, 3), "\xB8\x34\x12");
  b.Up();
  b.rec().Clear();
  b.Tick();
  EXPECT_FALSE(b.rec().TextAt(620, 16)) << "no Compile button after a successful compile";
  EXPECT_FALSE(b.rec().HasText(kErrorAtLine));
  EXPECT_EQ(b.rec().TextAt(405, 75), std::string("MOV AX, 1234"));

  b.Click(20, 80);  // Debug resets state2
  b.Click(20, 50);  // back to the compile screen
  b.rec().Clear();
  b.Move(5, 560);
  b.Tick();
  EXPECT_EQ(b.r().state, StateCompile);
  EXPECT_EQ(b.rec().TextAt(620, 16), "Compile");
}

// A UTF-16 source is named on the load screen with what to do, and never
// compiled; a UTF-8 byte-order mark is left out of the source view.
TEST(Workbench, SourceEncodings) {
  using namespace std::string_literals;
  Bench b;
  b.platform.files["C:\\src\\u.asm"] = "\xFF\xFEN\0O\0P\0"s;
  b.platform.files["C:\\src\\m.asm"] = "\xEF\xBB\xBFNOP\r\nCLTS"s;
  b.Create();
  b.platform.SetEditorTitle("C:\\src\\u.asm");
  b.Tick();
  const auto filesBefore = b.platform.files;
  b.Click(600, 20);
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(405, 15), "Cannot load:");
  EXPECT_EQ(b.rec().TextAt(405, 45), "C:\\src\\u.asm");
  EXPECT_EQ(b.rec().TextAt(405, 75), "the source is UTF-16 text; save it as");
  EXPECT_EQ(b.rec().TextAt(405, 105), "ANSI (Windows-1252)");
  EXPECT_NE(b.r().state2, Compiled);
  EXPECT_EQ(b.platform.files, filesBefore);

  b.platform.SetEditorTitle("C:\\src\\m.asm");
  b.Click(20, 20);
  b.Tick();
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(405, 15), "NOP");
  b.Click(600, 20);
  b.rec().Clear();
  b.Tick();
  ASSERT_EQ(b.r().state2, Compiled);
  EXPECT_EQ(b.platform.files["C:\\src\\m.com"], "\x90");
  EXPECT_EQ(b.rec().TextAt(160, 490), "2 warnings:");
  EXPECT_EQ(b.rec().TextAt(kConsoleLeft + 10, kConsoleTop),
            "line 1 starts with a UTF-8 byte-order mark, which was skipped: NOP");
}

TEST(Workbench, CompileScreenListsTheFirstWarnings) {
  const struct {
    std::string source;
    std::vector<std::string> notice;  // the count, then the rows under it; empty: nothing
  } cases[] = {
      {CrLf({"[ORG 100]", "START:", "MOV AX, 1234", "NOP"}), {}},
      {CrLf({"START:", "INVD", "MOV AX, 1234", "CLTS ; kept", "WORK PROC", "DB 1", "; c", ""}),
       {"2 warnings:", "line 2 produces no bytes: INVD", "line 4 produces no bytes: CLTS "}},
      {CrLf({"@@", "DB \"ok\"", "NOP"}),
       {"1 warning:",  // cut to the strip's 70 columns
        "line 2 has lower-case letters inside quotes, which become upper case: "}},
      {CrLf({"A1", "A2", "A3", "NOP", "A4", "A5", "A6"}),
       {"6 warnings; the first 5:", "line 1 has an unknown mnemonic and produces no bytes: A1",
        "line 2 has an unknown mnemonic and produces no bytes: A2",
        "line 3 has an unknown mnemonic and produces no bytes: A3",
        "line 5 has an unknown mnemonic and produces no bytes: A4",
        "line 6 has an unknown mnemonic and produces no bytes: A5"}},
  };
  for (const auto& c : cases) {
    Bench b;
    b.OpenSource(c.source);
    b.Click(600, 20);
    ASSERT_EQ(b.r().state2, Compiled);
    b.rec().Clear();
    b.Tick();
    if (c.notice.empty()) {
      EXPECT_FALSE(b.rec().TextAt(160, 490)) << c.source;
      continue;
    }
    EXPECT_EQ(b.rec().TextAt(160, 490), c.notice[0]) << c.source;
    for (size_t i = 1; i < c.notice.size(); ++i)
      EXPECT_EQ(b.rec().TextAt(kConsoleLeft + 10, kConsoleTop + int(i - 1) * kConsoleRowStep),
                c.notice[i])
          << c.source;
    // The list goes with the compile screen: the variables panel clears all
    // of its place, also right of the work area, and draws no row again.
    b.rec().Clear();
    b.Click(130, 300);
    EXPECT_FALSE(b.rec().RectsAt(kConsoleLeft, kConsoleTop, 800, 600).empty()) << c.source;
    b.rec().Clear();
    b.Tick();
    EXPECT_FALSE(b.rec().TextAt(kConsoleLeft + 10, kConsoleTop)) << c.source;
  }
}

TEST(Workbench, CompileErrorIsShownFromTheNextStep) {
  Bench b;
  b.OpenSource(CrLf({"NOP", "NOP", "DB \"THIS STRING IS FAR TOO LONG FOR A LINE\"", "NOP"}));
  b.Move(600, 20);
  b.Down();
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.r().state2, CompileFailed);
  EXPECT_EQ(b.r().state3, 3u);
  EXPECT_FALSE(b.rec().HasText(kErrorAtLine)) << "not in the step that assembled";
  b.Up();
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(570, 80), "Error at Line:");
  EXPECT_EQ(b.rec().TextAt(570, 100), "3");
  EXPECT_EQ(b.rec().TextAt(570, 120), std::string("DB \"THIS STRING IS FAR TOO LONG FOR A LINE\""));
  // The reason, in rows of the status column under the line.
  EXPECT_EQ(b.rec().TextAt(570, 140), "a data line holds at");
  EXPECT_EQ(b.rec().TextAt(570, 160), "most 28 bytes; go on");
  EXPECT_EQ(b.rec().TextAt(570, 180), "in another line");
  auto row = b.rec().RectsAt(400, 75, 550, 100);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(row[1].pen, kRed);
  EXPECT_EQ(b.rec().TextAt(620, 16), "Compile");
  EXPECT_EQ(b.platform.files.count("C:\\src\\prog.com"), 0u);

  // Scrolled so that line 3 is off the view: no red row.
  b.r().PosSCL = 4;
  b.rec().Clear();
  b.Tick();
  for (int y = 15; y < 450; y += 30) EXPECT_EQ(b.rec().RectsAt(400, y, 550, y + 25).size(), 1u);

  // A visit to the debug screen ends the error display.
  b.Click(20, 80);
  b.Click(20, 50);
  b.rec().Clear();
  b.Tick();
  EXPECT_FALSE(b.rec().HasText(kErrorAtLine));
  // The line's text ran past the work area's right edge; none of it stays.
  const auto* bb = b.platform.backBuffer();
  for (int y = 118; y < 140; ++y)
    for (int x = 752; x < 800; ++x) ASSERT_EQ(bb->PixelAt(x, y), (Rgb{0, 0, 0})) << x << "," << y;
}

// An empty opcode table hides nothing, and a source too large to load
// whole is shown but not compiled.
TEST(Workbench, EmptyOpcodeTableAndCutSource) {
  {
    Bench b;
    b.platform.files[kOpcodePath] = "";
    b.OpenSource(kGoodSource);
    b.rec().Clear();
    b.Tick();
    EXPECT_EQ(b.rec().TextAt(405, 75), std::string("MOV AX, 1234"));
    b.Click(600, 20);
    EXPECT_EQ(b.r().state2, Compiled);
  }
  {
    Bench b;
    std::string big;
    while (big.size() <= 1'000'000) big += "MOV AX, 1234\r\n";
    b.OpenSource(big);
    b.rec().Clear();
    b.Tick();
    EXPECT_EQ(b.rec().TextAt(405, 15), std::string("MOV AX, 1234"));
    EXPECT_FALSE(b.rec().TextAt(620, 16)) << "no Compile button for a cut source";
    EXPECT_EQ(b.rec().TextAt(160, 475), "Source text too large: cut to fit, not compiled");
    b.Click(600, 20);
    b.Tick();
    EXPECT_NE(b.r().state2, Compiled);
    EXPECT_EQ(b.platform.files.count(kOutputPath), 0u);
  }
}

// The output is never the source, however the source's name is spelt.
TEST(Workbench, SourceNamedLikeItsOutputIsNotOverwritten) {
  Bench b;
  b.platform.files["C:\\src\\PROG.COM"] = kGoodSource;
  b.Create();
  b.platform.SetEditorTitle("C:\\src\\PROG.COM");
  b.Tick();
  b.Click(600, 20);
  EXPECT_EQ(b.r().state2, WriteFailed);
  EXPECT_EQ(b.platform.files["C:\\src\\PROG.COM"], kGoodSource);
  EXPECT_EQ(b.platform.files.count("C:\\src\\PROG.com"), 0u);
}

// After a compile, loading a shorter source leaves nothing of the earlier
// listing: no byte counts, offsets or bytes of lines that are gone.
TEST(Workbench, ReloadLeavesNoStaleListingRows) {
  Bench b;
  b.OpenSource(kGoodSource);
  b.Click(600, 20);
  ASSERT_EQ(b.r().state2, Compiled);
  b.platform.files[kSourcePath] = CrLf({"NOP", "NOP"});
  b.Click(20, 20);  // Load File: the editor saved a shorter text
  b.Tick();
  b.Click(20, 80);  // Debug, without compiling
  b.rec().Clear();
  b.Move(5, 560);
  b.Tick();
  EXPECT_FALSE(b.rec().HasText("B8 34 12")) << "bytes of the earlier compile";
  for (const auto& t : b.rec().texts) EXPECT_EQ(t.text.find("B8"), std::string::npos) << t.text;
  uint32_t count = 9;
  for (uint32_t k = 0; k < 9; ++k) {
    b.wb.workspace().Read32(b.r().lpASCIIResult + 8 * k, count);
    EXPECT_EQ(count, 0u) << "record " << k;
  }
}

TEST(Workbench, UnwritableOutputIsNotASuccess) {
  Bench b;
  b.OpenSource(kGoodSource);
  b.platform.failWrites = true;
  b.Move(600, 20);
  b.Down();
  b.Tick();
  b.Up();
  EXPECT_EQ(b.r().state2, WriteFailed);
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(570, 80), "Output not written:");
  EXPECT_EQ(b.rec().TextAt(570, 100), kOutputPath);
  EXPECT_EQ(b.rec().TextAt(570, 120), "the output file") << "the reason, under the path";
  EXPECT_EQ(b.rec().TextAt(570, 140), "could not be written");
  EXPECT_EQ(b.rec().TextAt(620, 16), "Compile") << "the user can try again";
}

TEST(Workbench, RunStepsTheSimulatorWhileThePointerRests) {
  Bench b;
  b.OpenSource(kGoodSource);
  b.Move(600, 20);
  b.Down();
  b.Tick();
  b.Up();
  ASSERT_EQ(b.r().state2, Compiled);
  b.Click(20, 80);
  b.r().PosSCL = 1;
  b.Move(200, 480);  // onto Run; this step's view still saw the old pointer
  EXPECT_EQ(b.r().PosSCL, 1u);
  EXPECT_EQ(b.r().state2, Idle);
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.r().state2, RunMarker);
  EXPECT_EQ(b.r().PosSCL, 2u);
  EXPECT_EQ(b.rec().TextAt(355, 110), "EAX :");
  EXPECT_EQ(b.rec().TextAt(395, 185), "0");
  // Lines 2 to 7, then JMP AGAIN (line 7) goes back to line 4 and on from 5.
  const uint32_t expected[] = {3, 4, 5, 6, 7, 5, 6, 7, 5};
  for (uint32_t want : expected) {
    b.Tick();
    EXPECT_EQ(b.r().PosSCL, want);
  }
  EXPECT_EQ(b.r().state, StateDebug);
  EXPECT_EQ(b.rec().TextAt(165, 15 + 30 * 0).has_value(), true);

  b.Move(600, 300);  // off Run: the view saw Run once more in this step
  const uint32_t pos = b.r().PosSCL;
  b.rec().Clear();
  b.Tick(3);
  EXPECT_EQ(b.r().PosSCL, pos);
  EXPECT_EQ(b.r().state2, Idle);
  EXPECT_FALSE(b.rec().HasText("EAX :"));
}

TEST(Workbench, MenuChoicesAndExit) {
  Bench b;
  b.OpenSource(kGoodSource);
  const struct { uint32_t x, y, state; } entries[] = {{20, 140, 6}, {20, 170, 7}, {20, 320, 12}};
  for (const auto& e : entries) {
    b.Click(e.x, e.y);
    b.Move(5, 560);
    b.rec().Clear();
    b.Tick();
    EXPECT_EQ(b.r().state, e.state);
    for (const auto& t : b.rec().texts) EXPECT_LT(t.x, 150) << "empty work area: " << t.text;
    EXPECT_EQ(b.rec().RectsAt(150, 10, 750, 510).size(), 1u);
    EXPECT_EQ(b.rec().RectsAt(150, 10, 750, 510)[0].pen, kRed);
  }

  b.Click(20, 50);  // the Compile entry only shows the screen
  EXPECT_EQ(b.r().state, StateCompile);
  EXPECT_EQ(b.r().state2, Idle);

  EXPECT_FALSE(b.platform.quitPosted());
  b.Move(20, 110);
  b.Down();
  b.Tick();
  EXPECT_TRUE(b.platform.quitPosted());
  EXPECT_EQ(b.platform.exitCode(), 0);
}

TEST(Workbench, CloseQuitsAndDestroyReleases) {
  Bench b;
  b.Create();
  EXPECT_TRUE(b.wb.WindowProc(MsgClose, 0, 0));
  EXPECT_TRUE(b.platform.quitPosted());
  EXPECT_EQ(b.platform.exitCode(), 0);
  EXPECT_NE(b.platform.backBuffer(), nullptr) << "closing does not destroy";
  EXPECT_TRUE(b.wb.WindowProc(MsgDestroy, 0, 0));
  EXPECT_FALSE(b.platform.timerRunning());
  EXPECT_EQ(b.platform.backBuffer(), nullptr);
  const uint64_t presents = b.platform.presentCount();
  b.Move(10, 10);
  b.Tick();
  EXPECT_EQ(b.platform.presentCount(), presents);
}

TEST(Workbench, VariablesPanelShowsTheStepsCopy) {
  Bench b;
  b.Create();
  b.Click(130, 300);  // the tall bar
  EXPECT_EQ(b.r().state, StateVariables);
  b.Move(500, 300);  // the panel is drawn before the pointer fields change
  EXPECT_EQ(b.rec().TextAt(450, 135), "130");
  EXPECT_EQ(b.r().MouX, 500u);
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(450, 135), "500");
  EXPECT_EQ(b.rec().TextAt(450, 165), "0") << "MouButt";
  b.r().state2 = RunMarker;
  b.rec().Clear();
  b.Tick();
  EXPECT_EQ(b.rec().TextAt(450, 420), "1397312853");
}

TEST(Workbench, EveryStepPresentsTheBackBuffer) {
  Bench b;
  b.OpenSource(kGoodSource);
  const uint64_t before = b.platform.presentCount();
  b.Tick(5);
  b.Move(40, 40);
  EXPECT_EQ(b.platform.presentCount(), before + 6);
  const auto& bb = *b.platform.backBuffer();
  const std::span<const uint32_t> win = b.platform.window();
  ASSERT_EQ(win.size(), size_t(800) * 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      uint32_t v = win[size_t(y) * 800 + x];
      ASSERT_EQ(bb.PixelAt(x, y), (Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}))
          << x << "," << y;
    }
}

TEST(Workbench, ReleaseOutsideTheWindowKeepsTheButtonDown) {
  Bench b;
  b.OpenSource(kGoodSource);
  b.Move(560, 20);  // the source view's scroll-down button
  b.Down();
  const uint32_t start = b.r().PosSCL;
  b.Tick(3);  // a held button scrolls one line per step
  EXPECT_EQ(b.r().PosSCL, start + 3);
  EXPECT_EQ(b.r().MouButt, 1u);
}

}  // namespace
}  // namespace quorix
