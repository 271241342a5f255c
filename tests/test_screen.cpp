// Drawing primitives, the cairo canvas' GDI semantics, the menu panel and
// the views, each checked by what lands on the back buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/loading.h"
#include "backends/headless/cairo_canvas.h"
#include "screen/views.h"
#include "support/doubles.h"

namespace quorix {
namespace {

using testing_support::CrLf;
using testing_support::RecordingCanvas;
using testing_support::RecordingPlatform;
using testing_support::Shape;

// No text handed to the canvas carries a line terminator: GDI would draw a
// box for it.
void ExpectNoTerminators(const RecordingCanvas& rec) {
  for (const auto& t : rec.texts)
    EXPECT_EQ(t.text.find_first_of(std::string("\0\r\n", 3)), std::string::npos)
        << "at (" << t.x << "," << t.y << "): " << t.text;
}

constexpr Rgb kBlackC{0, 0, 0};

// A screen over a recording canvas and a workspace loaded from memory files.
struct ViewBench {
  CairoCanvas real{800, 600};
  RecordingCanvas rec{real};
  Screen screen;
  Workspace ws;
  RecordingPlatform files;
  ContextRecord r{};

  ViewBench() {
    screen.dc = &rec;
    screen.font = rec.CreateViewFont();
    rec.Select(screen.font);
    CreateDrawingObjects(screen);
    rec.SetBackgroundTransparent();
    rec.SetTextColor(kYellow);
    r.Lbr = 800;
    r.Tng = 600;
    r.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
    r.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    std::memcpy(ws.Bytes(Area::PathBuffer).data(), "t.asm", 6);
  }
  void Load(const std::string& opcode, const std::string& source) {
    files.files[kOpcodePath] = opcode;
    files.files["t.asm"] = source;
    LoadWorkspace(&r, ws, files);
  }
  // LineRecord for source line `line` and its bytes in the output region.
  void Record(uint32_t line, uint32_t address, const std::string& bytes) {
    uint32_t at = r.lpASCIIResult + 8 * (line - 1);
    ws.Write32(at, static_cast<uint32_t>(bytes.size()));
    ws.Write32(at + 4, address);
    std::memcpy(ws.Tail(r.lpMemHexResult).data() + address, bytes.data(), bytes.size());
  }
};

TEST(ScreenPrimitives, PointInRectEdges) {
  const struct {
    uint32_t x, y, expect;
  } cases[] = {
      {10, 10, 1}, {109, 34, 1}, {110, 20, 0},        {20, 35, 0},
      {9, 20, 0},  {20, 9, 0},   {0xFFFFFFFF, 20, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PointInRect(10, 10, 110, 35, c.x, c.y), c.expect) << c.x << "," << c.y;
}

TEST(ScreenPrimitives, NumberFormats) {
  const struct {
    uint32_t value;
    const char* dec;
    const char* hex;
  } cases[] = {
      {0, "0", "00000000"},
      {255, "255", "000000FF"},
      {0x53494D55, "1397312853", "53494D55"},
      {4294967295u, "4294967295", "FFFFFFFF"},
      {0x0ABCDEF0, "180150000", "0ABCDEF0"},
  };
  for (const auto& c : cases) {
    char buf[16];
    std::memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(FormatDecimal(c.value, buf), std::strlen(c.dec));
    EXPECT_STREQ(buf, c.dec);
    std::memset(buf, 'x', sizeof(buf));
    FormatHex8(c.value, buf);
    EXPECT_STREQ(buf, c.hex);
  }
}

TEST(ScreenPrimitives, DrawBoxResultAndHighlight) {
  ViewBench v;
  const Palette& p = v.screen.palette;
  const struct {
    uint32_t px, py, highlight, expect;
    Rgb inside;
  } cases[] = {
      {50, 20, 1, 7, kWhite},      // on the box: its id, white inside
      {10, 10, 1, 7, kWhite},      // left/top edge is inside
      {110, 20, 1, 0, kBlackC},    // right edge is outside
      {50, 35, 1, 0, kBlackC},     // bottom edge is outside
      {50, 20, 0, 1, kBlackC},     // no highlight: plain pointer test
      {50, 20, 0x101, 7, kWhite},  // only the flag's low byte counts
  };
  for (const auto& c : cases) {
    v.real.Select(v.real.StockBlackBrush());
    v.real.Select(v.real.DefaultPen());
    v.real.Rectangle(0, 0, 800, 600);
    EXPECT_EQ(
        DrawBox(v.screen, 10, 10, 100, 25, c.px, c.py, c.highlight, p.BlackBrush, p.RedPen, 7),
        c.expect);
    EXPECT_EQ(v.real.PixelAt(50, 22), c.inside);
    EXPECT_EQ(v.real.PixelAt(10, 10), kRed);
    EXPECT_EQ(v.real.PixelAt(109, 34), kRed);
    EXPECT_EQ(v.real.PixelAt(110, 34), kBlackC);
    EXPECT_EQ(v.real.PixelAt(109, 35), kBlackC);
  }
  // A box with id 0 is highlighted but never reports the pointer.
  EXPECT_EQ(DrawBox(v.screen, 10, 10, 100, 25, 50, 20, 1, p.BlackBrush, p.RedPen, 0), 0u);
  EXPECT_EQ(v.real.PixelAt(50, 22), kWhite);
}

TEST(CairoCanvas, ShapesStayInsideTheirBounds) {
  CairoCanvas c(300, 300);
  uint32_t brush = c.CreateSolidBrush(kYellow);
  uint32_t pen = c.CreatePen(kWhite);
  c.Select(brush);
  c.Select(pen);
  struct Box {
    Shape shape;
    int l, t, r, b;
  };
  const Box boxes[] = {{Shape::Ellipse, 20, 20, 90, 140},
                       {Shape::RoundRect, 150, 20, 180, 140},
                       {Shape::Rectangle, 200, 200, 260, 230}};
  for (const Box& b : boxes) {
    if (b.shape == Shape::Ellipse) c.Ellipse(b.l, b.t, b.r, b.b);
    if (b.shape == Shape::RoundRect) c.RoundRect(b.l, b.t, b.r, b.b, 15, 15);
    if (b.shape == Shape::Rectangle) c.Rectangle(b.l, b.t, b.r, b.b);
    const int cx = (b.l + b.r) / 2, cy = (b.t + b.b) / 2;
    EXPECT_EQ(c.PixelAt(cx, cy), kYellow) << "brush inside";
    // Nothing on the rows and columns just outside the bounds.
    for (int x = b.l - 1; x <= b.r; ++x) {
      EXPECT_EQ(c.PixelAt(x, b.t - 1), kBlackC);
      EXPECT_EQ(c.PixelAt(x, b.b), kBlackC);
    }
    for (int y = b.t - 1; y <= b.b; ++y) {
      EXPECT_EQ(c.PixelAt(b.l - 1, y), kBlackC);
      EXPECT_EQ(c.PixelAt(b.r, y), kBlackC);
    }
    // The pen frames the shape on its outermost pixels.
    EXPECT_EQ(c.PixelAt(cx, b.t), kWhite);
    EXPECT_EQ(c.PixelAt(cx, b.b - 1), kWhite);
    EXPECT_EQ(c.PixelAt(b.l, cy), kWhite);
    EXPECT_EQ(c.PixelAt(b.r - 1, cy), kWhite);
    EXPECT_EQ(c.PixelAt(b.l + 1, cy), b.r - b.l > 2 ? kYellow : kWhite);
    const bool rounded = b.shape != Shape::Rectangle;
    EXPECT_EQ(c.PixelAt(b.l, b.t), rounded ? kBlackC : kWhite) << "corners are cut when rounded";
  }
}

TEST(CairoCanvas, TextIsTransparentAndAnchoredTopLeft) {
  CairoCanvas c(200, 100);
  c.CreateViewFont();
  ASSERT_GT(c.font().advance, 0) << "a monospace face must be found";
  EXPECT_EQ(c.font().family, "DejaVu Sans Mono");
  c.SetTextColor(kYellow);
  c.SetBackgroundTransparent();
  c.TextOut(40, 30, "HW", 2);
  int inside = 0, outside = 0;
  const int right = 40 + 2 * c.font().advance;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      Rgb p = c.PixelAt(x, y);
      ASSERT_TRUE(p == kYellow || p == kBlackC) << "no blending, no background";
      if (p == kYellow) (x >= 40 && x < right && y >= 30 && y < 30 + 18 ? inside : outside)++;
    }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  // The capital H reaches the baseline and starts near the cell's top.
  bool topRow = false;
  for (int y = 31; y <= 35; ++y)
    for (int x = 40; x < right; ++x) topRow |= c.PixelAt(x, y) == kYellow;
  EXPECT_TRUE(topRow);
}

TEST(MenuPanel, HitTesting) {
  const struct {
    uint32_t x, y, button, expect;
  } cases[] = {
      {20, 80, 1, 4},    {20, 80, 0, 99},   {130, 10, 1, 1},  {144, 509, 1, 1},
      {145, 300, 1, 99}, {120, 510, 1, 99}, {20, 37, 1, 99},  {20, 12, 1, 2},
      {109, 34, 1, 2},   {110, 20, 1, 99},  {20, 105, 1, 5},  {20, 140, 1, 6},
      {20, 165, 1, 7},   {20, 290, 1, 11},  {20, 320, 1, 12}, {20, 336, 1, 99},
  };
  for (const auto& c : cases) {
    ViewBench v;
    v.r.state = 99;
    v.r.MouX = c.x;
    v.r.MouY = c.y;
    v.r.MouButt = c.button;
    DrawMenuPanel(&v.r, v.screen);
    EXPECT_EQ(v.r.state, c.expect) << c.x << "," << c.y;
  }
}

TEST(MenuPanel, EntriesAndTexts) {
  ViewBench v;
  v.r.MouX = 20;
  v.r.MouY = 80;  // on "Debug", button up
  DrawMenuPanel(&v.r, v.screen);
  const struct {
    int y;
    const char* text;
  } rows[] = {{10, "Load File"}, {40, "Compile"}, {70, "Debug"}, {100, "Exit"},
              {130, "Command"},  {160, " "},      {280, " "}};
  for (const auto& row : rows) EXPECT_EQ(v.rec.TextAt(15, row.y), row.text) << row.y;
  EXPECT_FALSE(v.rec.TextAt(15, 310)) << "entry 12 has a box but no text";
  EXPECT_EQ(v.rec.texts.size(), 10u);
  EXPECT_EQ(v.rec.RectsAt(120, 10, 145, 510).size(), 1u);
  for (int y = 10; y <= 310; y += 30) {
    auto box = v.rec.RectsAt(10, y, 110, y + 25);
    ASSERT_EQ(box.size(), 1u) << y;
    EXPECT_EQ(box[0].pen, kRed);
    EXPECT_EQ(box[0].brush, y == 70 ? kWhite : kBlackC);
  }
  EXPECT_EQ(v.r.state, 0u) << "the button is up";
}

TEST(VariablesPanel, LabelsAndValues) {
  ViewBench v;
  v.r.state2 = RunMarker;
  v.r.state3 = 4294967295u;
  v.r.MouX = 321;
  const ContextRecord before = v.r;
  DrawVariablesPanel(&v.r, v.screen);
  EXPECT_EQ(std::memcmp(&before, &v.r, sizeof(before)), 0);
  const struct {
    int y;
    const char* label;
    const char* value;
  } rows[] = {
      {15, "hWnd:", "0"},
      {105, "Lbr:", "800"},
      {120, "Tng:", "600"},
      {135, "MouX:", "321"},
      {390, "AddrFunct", "0"},
      {405, "state:", "0"},
      {420, "state2:", "1397312853"},
      {435, "state3:", "4294967295"},
      {210, "lpSourceCodeFileName:", "65536"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(v.rec.TextAt(160, row.y), row.label) << row.y;
    EXPECT_EQ(v.rec.TextAt(450, row.y), row.value) << row.y;
  }
  EXPECT_EQ(v.rec.texts.size(), 58u);
  EXPECT_FALSE(v.rec.TextAt(160, 450));
}

TEST(OpcodeTable, FieldsAndScrolling) {
  ViewBench v;
  v.Load(CrLf({"MOV|r16, imm16|B8+r iw", "NOP||90", "PLAIN", "ONE|only"}), "");
  DrawOpcodeTable(&v.r, v.screen, v.ws);
  EXPECT_EQ(v.r.PosSFC, 1u) << "0 is read as 1 and stored";
  EXPECT_EQ(v.rec.TextAt(165, 20), "MOV");
  EXPECT_EQ(v.rec.TextAt(275, 20), "r16, imm16");
  EXPECT_EQ(v.rec.TextAt(165, 50), "NOP");
  EXPECT_FALSE(v.rec.TextAt(275, 50)) << "an empty field draws nothing";
  EXPECT_FALSE(v.rec.TextAt(165, 80)) << "a line without '|' shows two empty cells";
  EXPECT_EQ(v.rec.TextAt(165, 110), "ONE");
  EXPECT_FALSE(v.rec.TextAt(275, 110));
  for (int y = 15; y < 450; y += 30) {
    ASSERT_EQ(v.rec.RectsAt(160, y, 260, y + 25).size(), 1u) << y;
    ASSERT_EQ(v.rec.RectsAt(270, y, 370, y + 25).size(), 1u) << y;
    EXPECT_EQ(v.rec.RectsAt(270, y, 370, y + 25)[0].pen, kWhite);
  }
  EXPECT_TRUE(v.rec.RectsAt(160, 465, 260, 490).empty()) << "15 rows";

  const struct {
    uint32_t x, y, button, from, to;
  } scroll[] = {{380, 20, 1, 3, 4}, {380, 50, 1, 3, 2}, {380, 20, 0, 3, 3}, {380, 50, 1, 1, 0}};
  for (const auto& s : scroll) {
    v.r.PosSFC = s.from;
    v.r.MouX = s.x;
    v.r.MouY = s.y;
    v.r.MouButt = s.button;
    DrawOpcodeTable(&v.r, v.screen, v.ws);
    EXPECT_EQ(v.r.PosSFC, s.to);
  }
}

TEST(SourceView, RowsButtonsAndErrorRow) {
  ViewBench v;
  v.Load("", CrLf({"  MOV AX, 5 ; set", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "   ; only a comment",
                   "\tNOP", "BAD"}));
  v.r.state = StateCompile;
  v.r.state2 = CompileFailed;
  v.r.state3 = 5;
  DrawSourceView(&v.r, v.screen, v.ws);
  EXPECT_EQ(v.rec.TextAt(405, 15), "MOV AX, 5 ");
  EXPECT_EQ(v.rec.TextAt(405, 45), "ABCDEFGHIJKLMNO") << "15 characters at most";
  EXPECT_FALSE(v.rec.TextAt(405, 75)) << "a comment-only line shows an empty row";
  EXPECT_EQ(v.rec.TextAt(405, 105), "NOP");
  EXPECT_EQ(v.rec.TextAt(405, 135), "BAD");
  ExpectNoTerminators(v.rec);
  auto failing = v.rec.RectsAt(400, 135, 550, 160);
  ASSERT_EQ(failing.size(), 2u);
  EXPECT_EQ(failing[0].pen, kGreen);
  EXPECT_EQ(failing[1].pen, kRed);
  EXPECT_EQ(v.rec.RectsAt(400, 105, 550, 130).size(), 1u);
  EXPECT_EQ(v.rec.TextAt(620, 16), "Compile");
  EXPECT_EQ(v.rec.RectsAt(590, 15, 720, 40).size(), 1u);

  // The button is absent while a compile is pending or done; any other
  // state2, WriteFailed included, shows it.
  const struct {
    uint32_t state2;
    bool button;
  } buttons[] = {{Idle, true},      {CompileRequested, false}, {CompileFailed, true},
                 {Compiled, false}, {WriteFailed, true},       {RunMarker, true}};
  for (const auto& b : buttons) {
    v.rec.Clear();
    v.r.state2 = b.state2;
    DrawSourceView(&v.r, v.screen, v.ws);
    EXPECT_EQ(v.rec.TextAt(620, 16).has_value(), b.button) << b.state2;
  }

  const struct {
    uint32_t x, y, button, state2, posScl, expectState2, expectPos;
  } clicks[] = {
      {600, 20, 1, Idle, 1, CompileRequested, 1},
      {600, 20, 0, Idle, 1, Idle, 1},
      {600, 20, 1, Compiled, 1, Compiled, 1},
      {560, 20, 1, Idle, 4, Idle, 5},
      {560, 50, 1, Idle, 4, Idle, 3},
      {560, 50, 1, Idle, 0, Idle, 0},  // 0 reads as 1, minus 1
  };
  for (const auto& c : clicks) {
    v.r.MouX = c.x;
    v.r.MouY = c.y;
    v.r.MouButt = c.button;
    v.r.state2 = c.state2;
    v.r.PosSCL = c.posScl;
    DrawSourceView(&v.r, v.screen, v.ws);
    EXPECT_EQ(v.r.state2, c.expectState2);
    EXPECT_EQ(v.r.PosSCL, c.expectPos);
  }
}

TEST(SourceView, FirstLineBeyondTheText) {
  ViewBench v;
  v.Load("", CrLf({"NOP"}));
  v.r.PosSCL = 40;
  DrawSourceView(&v.r, v.screen, v.ws);
  for (const auto& t : v.rec.texts) EXPECT_FALSE(t.x == 405) << t.text;
  EXPECT_EQ(v.rec.RectsAt(400, 435, 550, 460).size(), 1u) << "frames stay";
  EXPECT_EQ(v.rec.RectsAt(555, 45, 565, 70).size(), 1u);
}

TEST(CompileStatus, ErrorDisplay) {
  ViewBench v;
  std::string longLine(300, 'L');
  v.Load("", CrLf({"NOP", "BAD LINE", longLine.c_str()}));
  v.r.state2 = CompileFailed;
  v.r.state3 = 2;
  DrawCompileStatus(&v.r, v.screen, v.ws, "");
  EXPECT_EQ(v.rec.TextAt(570, 80), "Error at Line:");
  EXPECT_EQ(v.rec.TextAt(570, 100), "2");
  EXPECT_EQ(v.rec.TextAt(570, 120), "BAD LINE");
  ExpectNoTerminators(v.rec);

  v.rec.Clear();
  v.r.state3 = 3;  // longer than the 256-byte buffer: cut, nothing written past it
  DrawCompileStatus(&v.r, v.screen, v.ws, "");
  EXPECT_EQ(v.rec.TextAt(570, 120), std::string(255, 'L'));

  v.rec.Clear();
  v.r.state3 = 9;  // no such line: the text row stays empty
  DrawCompileStatus(&v.r, v.screen, v.ws, "");
  EXPECT_EQ(v.rec.TextAt(570, 100), "9");
  EXPECT_FALSE(v.rec.TextAt(570, 120));

  v.rec.Clear();
  v.r.state2 = Compiled;
  DrawCompileStatus(&v.r, v.screen, v.ws, "");
  EXPECT_TRUE(v.rec.texts.empty());
}

TEST(CompileStatus, WriteFailedShowsTheOutputPath) {
  const struct {
    const char* path;
    const char* shown;
  } cases[] = {
      {"t.com", "t.com"},
      {"Compiler\\TheFile.com", "Compiler\\TheFile.com"},
      {"/home/someone/work/Compiler/TheFile.com", "..mpiler/TheFile.com"},
  };
  for (const auto& c : cases) {
    ViewBench v;
    v.Load("", CrLf({"NOP"}));
    v.r.state2 = WriteFailed;
    DrawCompileStatus(&v.r, v.screen, v.ws, c.path, "the output would overwrite the source");
    EXPECT_EQ(v.rec.TextAt(570, 80), "Output not written:");
    EXPECT_EQ(v.rec.TextAt(570, 100), c.shown);
    // The reason, word-wrapped under the path.
    EXPECT_EQ(v.rec.TextAt(570, 120), "the output would");
    EXPECT_EQ(v.rec.TextAt(570, 140), "overwrite the source");
    EXPECT_FALSE(v.rec.HasText("Error at Line:"));
  }
}

TEST(CompileStatus, LoadNoticeForCutTexts) {
  const struct {
    bool source, opcode;
    const char* text;
  } cases[] = {{false, false, nullptr},
               {true, false, "Source text too large: cut to fit, not compiled"},
               {false, true, "OpCode text too large: cut to fit"},
               {true, true, "Source and OpCode text too large: cut to fit"}};
  for (const auto& c : cases) {
    ViewBench v;
    v.ws.load().sourceCut = c.source;
    v.ws.load().opcodeCut = c.opcode;
    DrawLoadNotice(v.screen, v.ws);
    if (c.text)
      EXPECT_EQ(v.rec.TextAt(160, 475), c.text);
    else
      EXPECT_TRUE(v.rec.texts.empty());
  }
}

TEST(ListingView, RowsCountsOffsetsAndBytes) {
  ViewBench v;
  v.Load("", CrLf({"[ORG 100]", "START: ; entry", "MOV AX, 1234", "DB 1,2,3,4,5,6,7,8,9,A,B,C",
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "NOP"}));
  v.Record(3, 0, "\xB8\x34\x12");
  v.Record(4, 3, "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C");
  v.Record(6, 15, "\x90");
  CpuState cpu{};
  v.r.MouX = 5;
  v.r.MouY = 5;
  DrawListingView(&v.r, &cpu, v.screen, v.ws);
  EXPECT_EQ(v.r.PosSCL, 1u);
  EXPECT_EQ(v.r.state2, Idle);
  EXPECT_EQ(v.rec.TextAt(165, 15), "[ORG 100]");
  EXPECT_EQ(v.rec.TextAt(165, 45), "START:") << "the comment is cut";
  EXPECT_EQ(v.rec.TextAt(165, 75), "MOV AX, 1234");
  EXPECT_EQ(v.rec.TextAt(165, 135), "ABCDEFGHIJKLMN") << "one character fewer than the source view";
  EXPECT_EQ(v.rec.TextAt(165, 165), "NOP");
  EXPECT_EQ(v.rec.TextAt(375, 75), "3");
  EXPECT_EQ(v.rec.TextAt(435, 75), "00000000");
  EXPECT_EQ(v.rec.TextsAt(550, 75), std::vector<std::string>{"B8"});
  EXPECT_EQ(v.rec.TextAt(570, 75), "34");
  EXPECT_EQ(v.rec.TextAt(590, 75), "12");
  EXPECT_FALSE(v.rec.TextAt(610, 75));
  EXPECT_EQ(v.rec.TextAt(375, 105), "12");
  EXPECT_EQ(v.rec.TextAt(435, 105), "00000003");
  EXPECT_EQ(v.rec.TextAt(730, 105), "0A") << "the tenth byte";
  EXPECT_FALSE(v.rec.TextAt(750, 105)) << "at most ten bytes";
  EXPECT_EQ(v.rec.TextAt(435, 165), "0000000F");
  EXPECT_FALSE(v.rec.TextAt(375, 45)) << "a line without bytes shows only its text";
  EXPECT_EQ(v.rec.TextAt(345, 20), "CS(Dec) - Offset(Hex)");
  EXPECT_EQ(v.rec.TextAt(550, 20), "OpCode(P)");
  EXPECT_EQ(v.rec.TextAt(170, 475), "Run");
  auto run = v.rec.RectsAt(160, 465, 310, 500);
  ASSERT_EQ(run.size(), 1u);
  EXPECT_EQ(run[0].pen, kRed);
  EXPECT_EQ(v.rec.RectsAt(160, 15, 310, 40)[0].pen, kGreen);
  EXPECT_EQ(v.rec.RectsAt(315, 15, 325, 40)[0].pen, kWhite);
  EXPECT_TRUE(v.rec.RectsAt(350, 100, 700, 450).empty()) << "no register panel off Run";
  EXPECT_FALSE(v.rec.HasText("EAX :"));
}

TEST(ListingView, FirstRowValuesLieUnderTheColumnHeads) {
  ViewBench v;
  v.Load("", CrLf({"NOP"}));
  v.Record(1, 0, "\x90");
  CpuState cpu{};
  DrawListingView(&v.r, &cpu, v.screen, v.ws);
  int count = -1, head = -1;
  for (const auto& t : v.rec.texts)
    if (t.x == 375 && t.y == 15) count = t.seq;
  for (const auto& s : v.rec.RectsAt(335, 15, 535, 40)) head = s.seq;
  ASSERT_GE(count, 0);
  EXPECT_GT(head, count) << "the head is drawn over the first row's count";
}

TEST(ListingView, RowsPastTheSourceOrTheRecordsStayBlank) {
  ViewBench v;
  v.Load("", CrLf({"NOP", "NOP", "NOP", "NOP", "NOP", "NOP"}));
  for (uint32_t line = 1; line <= 10; ++line) v.Record(line, line, "\x90");
  // A shorter source is loaded; records 7 to 10 are left from the earlier one.
  v.Load("", CrLf({"NOP", "NOP"}));
  CpuState cpu{};
  v.r.PosSCL = 2;
  DrawListingView(&v.r, &cpu, v.screen, v.ws);
  EXPECT_EQ(v.rec.TextAt(375, 45), "1") << "line 3 is the empty last line";
  for (int y = 75; y < 450; y += 30) EXPECT_FALSE(v.rec.TextAt(375, y)) << y;

  // Far past the LineRecord region, and a record that points outside the
  // output region: nothing is read outside either.
  v.rec.Clear();
  v.r.LineCountsForFile = 0x7FFFFFFF;
  v.r.PosSCL = 237'495;
  v.ws.Write32(v.r.lpASCIIResult + 8 * 237'495, 5);
  v.ws.Write32(v.r.lpASCIIResult + 8 * 237'495 + 4, 1'999'998);
  DrawListingView(&v.r, &cpu, v.screen, v.ws);
  EXPECT_EQ(v.rec.TextAt(375, 45), "5");
  EXPECT_EQ(v.rec.TextsAt(550, 45).size() + v.rec.TextsAt(570, 45).size(), 2u);
  EXPECT_FALSE(v.rec.TextAt(590, 45)) << "bytes past the output region are not shown";
  for (int y = 165; y < 450; y += 30) EXPECT_FALSE(v.rec.TextAt(375, y)) << y;
}

TEST(ListingView, RegisterPanelWhileOnRun) {
  ViewBench v;
  v.Load("", CrLf({"NOP"}));
  CpuState cpu{};
  const uint32_t values[] = {11, 22, 33, 44, 55, 66};  // EAX EBX ECX EDX ESI EDI
  cpu.Regs[kRegEax] = values[0];
  cpu.Regs[kRegEbx] = values[1];
  cpu.Regs[kRegEcx] = values[2];
  cpu.Regs[kRegEdx] = values[3];
  cpu.Regs[kRegEsi] = values[4];
  cpu.Regs[kRegEdi] = values[5];
  const CpuState before = cpu;
  v.r.MouX = 200;
  v.r.MouY = 480;
  DrawListingView(&v.r, &cpu, v.screen, v.ws);
  EXPECT_EQ(v.r.state2, RunMarker) << "the button need not be down";
  EXPECT_EQ(std::memcmp(&before, &cpu, sizeof(cpu)), 0);
  auto panel = v.rec.RectsAt(350, 100, 700, 450);
  ASSERT_EQ(panel.size(), 1u);
  EXPECT_EQ(panel[0].pen, kRed);
  const char* labels[] = {"EAX :", "EBX :", "ECX :", "EDX :", "ESI :", "EDI :"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(v.rec.TextAt(355, 110 + 15 * i), labels[i]);
    EXPECT_EQ(v.rec.TextAt(395, 110 + 15 * i), std::to_string(values[i]));
  }
  EXPECT_EQ(v.rec.RectsAt(160, 465, 310, 500)[0].brush, kWhite);
}

}  // namespace
}  // namespace quorix
