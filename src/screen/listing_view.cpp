// The debug screen: the assembly listing, the Run box and the register panel.
#include <algorithm>
#include <cstring>

#include "model/record_views.h"
#include "screen/views.h"
#include "text/lines.h"

namespace quorix {

namespace {

constexpr uint32_t kLineBuffer = 1024;
constexpr uint32_t kListingRowChars = 15;  // one fewer is drawn: min(n, 15) - 1
constexpr uint32_t kMaxShownBytes = 10;

struct RegisterRow {
  const char* label;
  int word;
};
constexpr RegisterRow kRegisterRows[] = {
    {"EAX :", kRegEax}, {"EBX :", kRegEbx}, {"ECX :", kRegEcx},
    {"EDX :", kRegEdx}, {"ESI :", kRegEsi}, {"EDI :", kRegEdi},
};
// Below the six rows, in the same style: the other registers, then the flags.
constexpr RegisterRow kMoreRows[] = {
    {"ESP :", kRegEsp}, {"EBP :", kRegEbp}, {"EIP :", kRegEip},
    {"CS  :", kRegCs},  {"DS  :", kRegDs},  {"ES  :", kRegEs},
    {"SS  :", kRegSs},  {"FS  :", kRegFs},  {"GS  :", kRegGs},
};
struct FlagBit {
  const char* name;
  uint32_t bit;
};
constexpr FlagBit kFlagRows[2][4] = {
    {{"CF", 0}, {"ZF", 6}, {"SF", 7}, {"OF", 11}},
    {{"PF", 2}, {"AF", 4}, {"DF", 10}, {"IF", 9}},
};
constexpr int kRegisterRowStep = 15;
constexpr int kHexColumn = 490;

void DrawRegisterRow(Screen& screen, int y, const char* label, uint32_t value) {
  PutText(screen, 355, y, label, 5);
  char text[16];
  PutText(screen, 395, y, text, FormatDecimal(value, text));
  FormatHex8(value, text);
  PutText(screen, kHexColumn, y, text, 8);
}

// Count, offset and up to ten bytes of one listing row. Lines past the end of
// the current source, or whose record lies outside the LineRecord region,
// stay blank; bytes are only read inside the output region.
void DrawLineRecord(Screen& screen, Workspace& ws, const ContextRecord& r, uint32_t line, int y) {
  if (line == 0 || line >= r.LineCountsForFile) return;
  const LineRecords records = LineRecordsOf(r, ws);
  if (line - 1 >= records.size()) return;
  const uint32_t byteCount = records.Get(line - 1).ByteCount;
  const uint32_t address = records.Get(line - 1).Address;
  if (byteCount == 0) return;

  char text[16];
  PutText(screen, 375, y, text, FormatDecimal(byteCount, text));
  FormatHex8(address, text);
  PutText(screen, 435, y, text, 8);
  std::span<const uint8_t> output = OutputOf(r, ws);
  for (uint32_t j = 0; j < byteCount && j < kMaxShownBytes; ++j) {
    const uint64_t pos = uint64_t(address) + j;
    if (output.data() == nullptr || pos >= output.size()) break;
    FormatHex8(output[pos], text);
    PutText(screen, static_cast<int>(550 + 20 * j), y, text + 6, 2);
  }
}

}  // namespace

void DrawListingView(ContextRecord* record, CpuState* cpu, Screen& screen, Workspace& ws) {
  ContextRecord r = *record;
  CpuState c = *cpu;
  const Palette& p = screen.palette;
  if (r.PosSCL == 0) r.PosSCL = 1;
  const SourceText source = SourceOf(r, ws);

  uint8_t buf[kLineBuffer] = {};
  uint32_t line = r.PosSCL;
  for (uint32_t y = kFirstRowY; y < r.Tng / 4 * 3; y += kRowStep, ++line) {
    uint32_t n = FetchLine(source, line, buf);
    DrawBox(screen, 160, y, 150, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.GreenPen, 0);
    if (n != kFail) {
      n = CleanLine(buf, n);
      if (n != kFail && n != 0)
        PutText(screen, 165, static_cast<int>(y), buf, std::min(n, kListingRowChars) - 1);
    }
    ZeroBytes(buf, sizeof(buf));
    DrawLineRecord(screen, ws, r, line, static_cast<int>(y));
  }

  DrawBox(screen, 335, 15, 200, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.GreenPen, 0);
  PutText(screen, 345, 20, kColumnHead1, 21);
  DrawBox(screen, 540, 15, 200, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.GreenPen, 0);
  PutText(screen, 550, 20, kColumnHead2, 9);

  uint32_t hit = DrawBox(screen, 315, 15, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 101);
  if (hit == 101 && r.MouButt == 1) r.PosSCL += 1;
  hit = DrawBox(screen, 315, 45, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 102);
  if (hit == 102 && r.MouButt == 1) r.PosSCL -= 1;

  r.state2 = Idle;
  hit = DrawBox(screen, 160, 465, 150, 35, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, 103);
  if (hit == 103) {
    DrawBox(screen, 350, 100, 350, 350, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, 103);
    int yy = 110;
    for (const RegisterRow& row : kRegisterRows) {
      DrawRegisterRow(screen, yy, row.label, c.Regs[row.word]);
      yy += kRegisterRowStep;
    }
    for (const RegisterRow& row : kMoreRows) {
      DrawRegisterRow(screen, yy, row.label, c.Regs[row.word]);
      yy += kRegisterRowStep;
    }
    const uint32_t flags = c.Regs[kRegEflags];
    for (const auto& flagRow : kFlagRows) {
      int x = 355;
      for (const FlagBit& f : flagRow) {
        char text[5] = {f.name[0], f.name[1], ' ', char('0' + ((flags >> f.bit) & 1)), 0};
        PutText(screen, x, yy, text, 4);
        x += 60;
      }
      yy += kRegisterRowStep;
    }
    const char* width = c.CpuMode == 2                     ? "BITS: 32"
                        : c.CpuMode == 0 || c.CpuMode == 1 ? "BITS: 16"
                                                           : "BITS: ?";
    PutText(screen, 355, yy, width, static_cast<uint32_t>(std::strlen(width)));
    r.state2 = RunMarker;
  }
  PutText(screen, 170, 475, kRunText, 3);

  *cpu = c;
  *record = r;
}

}  // namespace quorix

namespace quorix {

void DrawConsoleStrip(Screen& screen, const ConsoleLog& console) {
  const Palette& p = screen.palette;
  screen.dc->Select(p.BlackBrush);
  screen.dc->Select(p.GreenPen);
  screen.dc->Rectangle(kConsoleLeft, kConsoleTop, kConsoleRight, kConsoleBottom);
  const std::deque<std::string>& lines = console.lines();
  // The last rows, the current (possibly empty) line at the bottom.
  size_t count = lines.size();
  if (count > 1 && lines.back().empty()) --count;
  const size_t first = count > kConsoleRows ? count - kConsoleRows : 0;
  int y = kConsoleTop + 3;
  for (size_t i = first; i < count; ++i, y += kConsoleRowStep) {
    const std::string& line = lines[i];
    // Long lines show their end, where the cursor is.
    const size_t from = line.size() > kConsoleColumns ? line.size() - kConsoleColumns : 0;
    PutText(screen, kConsoleLeft + 6, y, line.data() + from,
            static_cast<uint32_t>(line.size() - from));
  }
}

void ClearConsoleStrip(Screen& screen) {
  const Palette& p = screen.palette;
  screen.dc->Select(p.BlackBrush);
  screen.dc->Select(p.BlackPen);
  screen.dc->Rectangle(kConsoleLeft, kConsoleTop, kConsoleRight, kConsoleBottom);
}

}  // namespace quorix
