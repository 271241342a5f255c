// The program's 80x25 text screen: what programs leave on it through video
// memory, the BIOS and DOS, and the services that keep the cursor, the
// interrupt table, the clock and the keyboard status. The programs of
// tests/data/screen/ run in DOSBox too (script.screen_vs_dosbox).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "sim/dos_program.h"
#include "sim/text_screen.h"
#include "support/asm_support.h"
#include "support/program_support.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;
using testing_support::Capture;
using testing_support::ScriptKeys;

#define NEED_ENGINE()                                                          \
  do {                                                                         \
    if (!DefaultMachineFactory()) {                                            \
      if (QUORIX_EXPECT_ENGINE) FAIL() << "built with Unicorn but no machine"; \
      GTEST_SKIP() << "built without Unicorn";                                 \
    }                                                                          \
  } while (0)

// Thursday 29 February 2024, 13:45:30.99.
class FixedClock : public ProgramClock {
 public:
  ClockReading Now() override { return {2024, 2, 29, 4, 13, 45, 30, 99}; }
};

// A source of tests/data/screen/, its lines ended with CR LF.
std::string DataSource(const std::string& name) {
  std::ifstream in(std::string(QUORIX_SOURCE_DIR) + "/tests/data/screen/" + name);
  std::string text, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line + "\r\n";
  }
  return text;
}

struct ScreenRun {
  std::unique_ptr<Machine> machine;
  ScriptKeys keys;
  Capture output;
  FixedClock clock;
  std::unique_ptr<DosProgram> program;
  AsmRun assembled;

  ScreenRun(const std::string& source, std::string input = "", bool keyboard = true)
      : keys(std::move(input), keyboard) {
    machine = DefaultMachineFactory()();
    AsmHarness h;
    assembled = h.Run(source);
    if (assembled.state2 != Compiled) return;
    program = std::make_unique<DosProgram>(*machine, keys, output);
    program->SetClock(clock);
    ProgramImage image;
    image.bytes = assembled.bytes;
    image.origin = LoadOrigin(assembled.report.origin, assembled.report.entryBits);
    image.bits = assembled.report.entryBits;
    program->Load(image);
  }
  TextScreen& screen() { return program->screen(); }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (int r = 0; r < TextScreen::kRows; ++r) rows.push_back(screen().RowText(r));
    return rows;
  }
};

std::string Blanks(int n) { return std::string(static_cast<size_t>(n), ' '); }

// The 25 rows: `top` first, blank rows after it.
std::vector<std::string> Screen(std::vector<std::string> top) {
  top.resize(TextScreen::kRows);
  return top;
}

// The 25 rows: blank but for the ones given.
std::vector<std::string> ScreenWith(const std::vector<std::pair<int, std::string>>& rows) {
  std::vector<std::string> all(TextScreen::kRows);
  for (const auto& [row, text] : rows) all[static_cast<size_t>(row)] = text;
  return all;
}

struct Attr {
  int row, column;
  uint8_t attribute;
};
struct RegValue {
  Reg reg;
  uint32_t mask, value;
};

struct ScreenCase {
  const char* name;
  std::string source;  // a file of tests/data/screen/ (ending in .asm) or the lines
  std::string keys;
  bool keyboard;
  std::vector<std::string> rows;
  int cursorRow, cursorColumn;
  std::vector<Attr> attributes;
  std::string out;  // what handle 1 received
  int exitCode;
  std::vector<RegValue> registers;  // after the program ended
};

std::string Lines(const std::vector<std::string>& lines) { return AsmHarness::Join(lines); }

std::vector<ScreenCase> ProgramCases() {
  std::vector<std::string> teletype;
  std::string lines;
  for (char c = '0'; c <= 'K'; ++c) {
    if (c >= '5') teletype.push_back(std::string("L") + c);
    lines += std::string("L") + c + "\r\n";
  }
  teletype.push_back(std::string(80, 'W'));
  teletype.push_back("WWWWW");
  std::string printed;
  for (char c = 'A'; c <= 'F'; ++c) printed += std::string(20, c) + "\r\n";
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01";
  return {
      {"direct writes to B800:0000",
       "b800.asm",
       "",
       true,
       ScreenWith({{2, Blanks(10) + "HELLO, SCREEN"}, {24, std::string(79, '-') + "!"}}),
       0,
       0,
       {{2, 10, 0x1E}, {2, 22, 0x1E}, {2, 23, 0x07}, {24, 0, 0x70}, {24, 79, 0x4F}},
       "",
       0,
       {}},
      {"BIOS cursor and character writes",
       "cursor.asm",
       "",
       true,
       ScreenWith({{5, Blanks(16) + "BCCAA"}, {10, "Z"}, {24, Blanks(78) + "XX"}}),
       24,
       78,
       {{5, 16, 0x1F}, {5, 20, 0x1F}, {5, 21, 0x07}, {10, 0, 0x07}, {24, 78, 0x4E}},
       "BZ",
       78,
       {{Reg::Edx, 0xFFFF, 0x184E}, {Reg::Ecx, 0xFFFF, 0x0607}}},
      {"window scrolls up and down",
       "scroll.asm",
       "",
       true,
       Screen({"AACCCCCCCCAA    AAAA", "BBDDDDDDDDBBAAAABBBB", "CCEEEEEEEECCBBBBCCCC",
               "DD        DDCCCCDDDD", "EE        EEDDDDEEEE", "FFFFFFFFFFFFEEEEFFFF"}),
       6,
       0,
       {{3, 2, 0x1E},
        {4, 9, 0x1E},
        {3, 10, 0x07},
        {0, 12, 0x2F},
        {0, 16, 0x07},
        {10, 69, 0x07},
        {10, 70, 0x4F},
        {12, 79, 0x4F},
        {13, 79, 0x07}},
       printed,
       0,
       {}},
      {"DOS text: tabs, backspace, CR, wrapping, both handles",
       "text.asm",
       "",
       true,
       Screen({"HELLO   TAB     END", "ABD", "XY3456789",
               (letters + letters + letters).substr(0, 80), "YZ01", "OUT ERR"}),
       5,
       7,
       {},
       "HELLO\tTAB\tEND\r\nABC\bD\a\r\n123456789\rXY\r\n" + letters + letters + letters +
           "\r\nOUT ",
       0,
       {}},
      {"lines past the bottom scroll, a long line wraps",
       "teletype.asm",
       "",
       true,
       Screen(teletype),
       24,
       5,
       {{19, 0, 0x1F}, {19, 79, 0x1F}, {18, 0, 0x07}, {23, 0, 0x07}, {24, 79, 0x07}},
       lines + std::string(85, 'W'),
       0,
       {}},
      {"more lines than the window has clear it",
       Lines({"MOV AX, 0941", "MOV BX, 7", "MOV CX, #400", "INT 10", "MOV AX, 0609", "MOV BH, 3F",
              "MOV CX, 0100", "MOV DX, 024F", "INT 10", "INT 20"}),
       "",
       true,
       Screen({std::string(80, 'A'), "", "", std::string(80, 'A'), std::string(80, 'A')}),
       0,
       0,
       {{0, 79, 0x07}, {1, 0, 0x3F}, {2, 79, 0x3F}, {3, 0, 0x07}},
       "",
       0,
       {}},
      {"a cursor off the screen hides it and drops the writes",
       Lines({"MOV AH, 2", "MOV DX, 1900", "INT 10", "MOV AX, 0941", "MOV BX, 7", "MOV CX, 3",
              "INT 10", "MOV AH, 3", "INT 10", "INT 20"}),
       "",
       true,
       Screen({}),
       25,
       0,
       {},
       "",
       0,
       {{Reg::Edx, 0xFFFF, 0x1900}}},
      {"the BIOS teletype shows a TAB as a character",
       Lines({"MOV AX, 0E09", "INT 10", "MOV AL, 41", "INT 10", "INT 20"}),
       "",
       true,
       Screen({".A"}),
       0,
       2,
       {},
       "\tA",
       0,
       {}},
      {"typed input is echoed on the screen",
       Lines({"MOV AH, 9", "MOV DX, OFFSET P", "INT 21", "MOV AH, 0A", "MOV DX, OFFSET B", "INT 21",
              "MOV AH, 1", "INT 21", "MOV AH, 4C", "INT 21", "P:", "DB \"NAME? $\"",
              "B:", "DB 10,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"}),
       "ab\bc\rz",
       true,
       Screen({"zAME? ac"}),
       0,
       1,
       {},
       "NAME? ab\b \bc\rz",
       'z',
       {}},
      {"mode and cursor shape",
       Lines(
           {"MOV AH, 0F", "MOV BX, 7755", "INT 10", "MOV SI, AX", "MOV AH, 3", "INT 10", "INT 20"}),
       "",
       true,
       Screen({}),
       0,
       0,
       {},
       "",
       0,
       {{Reg::Esi, 0xFFFF, 0x5003},
        {Reg::Ebx, 0xFFFF, 0x0055},
        {Reg::Ecx, 0xFFFF, 0x0607},
        {Reg::Edx, 0xFFFF, 0x0000}}},
      {"vectors set and read back through the table at 0000:0000",
       Lines({"MOV AX, 3521", "INT 21", "MOV DI, ES", "MOV SI, BX", "MOV AX, 2560", "MOV DX, 1234",
              "INT 21", "XOR AX, AX", "MOV DS, AX", "MOV BX, 180", "MOV CX, [BX]", "MOV DX, [BX+2]",
              "MOV AX, 3560", "INT 21", "INT 20"}),
       "",
       true,
       Screen({}),
       0,
       0,
       {},
       "",
       0,
       {{Reg::Ebx, 0xFFFF, 0x1234},
        {Reg::Es, 0xFFFF, 0x1000},
        {Reg::Esi, 0xFFFF, 0},
        {Reg::Edi, 0xFFFF, 0},
        {Reg::Ecx, 0xFFFF, 0x1234},
        {Reg::Edx, 0xFFFF, 0x1000}}},
      {"a program's own INT 21h vector does not replace the service",
       Lines({"MOV AX, 2521", "XOR DX, DX", "INT 21", "MOV AH, 9", "MOV DX, OFFSET T", "INT 21",
              "INT 20", "T:", "DB \"STILL$\""}),
       "",
       true,
       Screen({"STILL"}),
       0,
       5,
       {},
       "STILL",
       0,
       {}},
      {"time from the program's clock",
       Lines({"MOV AH, 2C", "INT 21", "INT 20"}),
       "",
       true,
       Screen({}),
       0,
       0,
       {},
       "",
       0,
       {{Reg::Ecx, 0xFFFF, 0x0D2D}, {Reg::Edx, 0xFFFF, 0x1E63}}},
      {"date from the program's clock",
       Lines({"MOV AH, 2A", "INT 21", "INT 20"}),
       "",
       true,
       Screen({}),
       0,
       0,
       {},
       "",
       0,
       {{Reg::Ecx, 0xFFFF, 2024}, {Reg::Edx, 0xFFFF, 0x021D}, {Reg::Eax, 0xFF, 4}}},
  };
}

TEST(TextScreen, ProgramsLeaveTheirScreens) {
  NEED_ENGINE();
  for (const ScreenCase& c : ProgramCases()) {
    const bool file = c.source.ends_with(".asm");
    ScreenRun r(file ? DataSource(c.source) : "[ORG 100]\r\n" + c.source, c.keys, c.keyboard);
    ASSERT_NE(r.program, nullptr) << c.name << ": line " << r.assembled.state3;
    EXPECT_EQ(r.program->Run(100000), RunStatus::Exited) << c.name << ": " << r.program->message();
    EXPECT_EQ(r.program->exitCode(), c.exitCode) << c.name;
    EXPECT_EQ(r.Rows(), c.rows) << c.name;
    EXPECT_EQ(r.screen().row(), c.cursorRow) << c.name;
    EXPECT_EQ(r.screen().column(), c.cursorColumn) << c.name;
    for (const Attr& a : c.attributes)
      EXPECT_EQ(r.screen().At(a.row, a.column).attribute, a.attribute)
          << c.name << " at " << a.row << "," << a.column;
    EXPECT_EQ(r.output.out, c.out) << c.name;
    for (const RegValue& v : c.registers)
      EXPECT_EQ(r.machine->Get(v.reg) & v.mask, v.value)
          << c.name << ": register " << static_cast<int>(v.reg);
    // The cells are the machine's memory at B8000h.
    std::vector<uint8_t> memory(TextScreen::kBytes);
    ASSERT_TRUE(r.machine->Read(TextScreen::kBase, memory)) << c.name;
    EXPECT_EQ(memory, r.screen().Bytes()) << c.name;
  }
}

TEST(TextScreen, InputStatusSaysWhetherAKeyIsPending) {
  NEED_ENGINE();
  const struct {
    std::string keys;
    bool keyboard;
    uint8_t al;
  } cases[] = {
      {"k", true, 0xFF},   // pending, and not taken: function 08h reads it next
      {"", true, 0x00},    // a keyboard with none typed: no wait
      {"k", false, 0xFF},  // a stream with bytes left
      {"", false, 0x00},   // a stream at its end has no key
  };
  for (const auto& c : cases) {
    ScreenRun r("[ORG 100]\r\nMOV AH, 0B\r\nINT 21\r\nMOV BL, AL\r\nINT 20", c.keys, c.keyboard);
    ASSERT_NE(r.program, nullptr);
    EXPECT_EQ(r.program->Run(100), RunStatus::Exited) << r.program->message();
    EXPECT_EQ(r.machine->Get(Reg::Ebx) & 0xFF, c.al) << "keys '" << c.keys << "'";
    EXPECT_EQ(r.keys.taken(), 0u);
  }
}

TEST(TextScreen, OtherVideoAndVectorCallsStop) {
  NEED_ENGINE();
  const struct {
    std::string source;
    const char* message;
  } cases[] = {
      {"MOV AX, 13\r\nINT 10", "no service for INT 10h function 00h"},  // a graphics mode
      {"MOV AH, 2\r\nMOV BH, 1\r\nINT 10", "no service for INT 10h function 02h"},  // page 1
      {"MOV AH, 3\r\nMOV BH, 1\r\nINT 10", "no service for INT 10h function 03h"},
      {"MOV AX, 0941\r\nMOV BX, 207\r\nMOV CX, 1\r\nINT 10", "no service for INT 10h function 09h"},
      {"MOV AH, 1\r\nMOV CX, 2000\r\nINT 10", "no service for INT 10h function 01h"},
      {"MOV AH, 5\r\nINT 10", "no service for INT 10h function 05h"},
      {"MOV AH, 0C\r\nINT 21", "no service for INT 21h function 0Ch"},
      {"[BITS #32]\r\nMOV AX, 2560\r\nINT 21", "no service for INT 21h function 25h"},
      {"[BITS #32]\r\nMOV AX, 3560\r\nINT 21", "no service for INT 21h function 35h"},
  };
  for (const auto& c : cases) {
    ScreenRun r("[ORG 100]\r\n" + c.source);
    ASSERT_NE(r.program, nullptr) << c.source;
    EXPECT_EQ(r.program->Run(100), RunStatus::Stopped) << c.source;
    EXPECT_EQ(r.program->message(), c.message) << c.source;
  }
}

TEST(TextScreen, FlatProgramsHaveTheScreenAtB8000UnlessTheirImageLiesThere) {
  NEED_ENGINE();
  // Video memory mapped: the direct write and DOS's text share the screen.
  ScreenRun mapped(
      Lines({"[BITS #32]", "[ORG 400000]", "MOV EDI, B8000", "MOV AX, 1F41", "MOV [EDI+2], AX",
             "MOV EDX, OFFSET T", "MOV AH, 9", "INT 21", "RET", "T:", "DB \"Z$\""}));
  ASSERT_NE(mapped.program, nullptr);
  EXPECT_EQ(mapped.program->Run(100), RunStatus::Exited) << mapped.program->message();
  EXPECT_TRUE(mapped.screen().attached());
  EXPECT_EQ(mapped.screen().RowText(0), "ZA");
  EXPECT_EQ(mapped.screen().At(0, 1).attribute, 0x1F);

  // The program's own bytes at B8000h: the screen keeps its cells apart and
  // the program runs on unharmed.
  ScreenRun own(Lines({"[BITS #32]", "[ORG B8000]", "MOV EDX, OFFSET T", "MOV AH, 9", "INT 21",
                       "INT 21", "RET", "T:", "DB \"HI$\""}));
  ASSERT_NE(own.program, nullptr);
  EXPECT_EQ(own.program->Run(100), RunStatus::Exited) << own.program->message();
  EXPECT_FALSE(own.screen().attached());
  EXPECT_EQ(own.screen().RowText(0), "HIHI");
  std::vector<uint8_t> image(own.assembled.bytes.size());
  ASSERT_TRUE(own.machine->Read(TextScreen::kBase, image));
  EXPECT_EQ(image, own.assembled.bytes);
}

// The model on its own cells, as when no video memory is mapped.
TEST(TextScreen, RowsReadAsPrintableTextAndWritesStopAtTheLastCell) {
  const struct {
    const char* name;
    std::string console;  // DOS output first
    int row, column;      // then the cursor
    uint8_t c;            // and 5 of these (attribute 2Eh) from it
    std::vector<std::string> rows;
    bool visible;
  } cases[] = {
      {"control characters and NUL", std::string("A\0B\x01\x7F\xB0  ", 8), 1, 0, 0x1B,
       Screen({"A B..\xB0", "....."}), true},
      {"trailing NULs are blanks", "", 0, 75, 0, Screen({}), true},
      {"the last cell", "", 24, 77, 'X', ScreenWith({{24, Blanks(77) + "XXX"}}), true},
      {"column 80 is the next row's first cell", "", 3, 80, 'Y', Screen({"", "", "", "", "YYYYY"}),
       false},
  };
  for (const auto& c : cases) {
    TextScreen s;
    s.Clear();
    s.Console(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(c.console.data()),
                                       c.console.size()));
    s.SetCursor(c.row, c.column);
    EXPECT_EQ(s.cursorVisible(), c.visible) << c.name;
    s.Repeat(c.c, 0x2E, 5);
    std::vector<std::string> rows;
    for (int r = 0; r < TextScreen::kRows; ++r) rows.push_back(s.RowText(r));
    EXPECT_EQ(rows, c.rows) << c.name;
    EXPECT_EQ(s.Bytes().size(), TextScreen::kBytes) << c.name;
  }
}

}  // namespace
}  // namespace quorix
