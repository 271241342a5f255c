#include "screen/drawing.h"

#include <charconv>

#include "model/context_record.h"

namespace quorix {

namespace {
// Opaque values shown for the back buffer's context and bitmap; the canvas
// itself is reached through Screen::dc.
constexpr uint32_t kMemoryDcHandle = 0x00000010;
constexpr uint32_t kBitmapHandle = 0x00000011;
}  // namespace

void CreateBackBuffer(ContextRecord* record, Screen& screen, Platform& platform) {
  ContextRecord r = *record;
  screen.dc = platform.CreateBackBuffer(static_cast<int>(r.Lbr), static_cast<int>(r.Tng));
  if (screen.dc != nullptr) {
    r.mDC = kMemoryDcHandle;
    r.hBmp = kBitmapHandle;
    screen.dc->Select(screen.dc->StockBlackBrush());
    screen.dc->Select(screen.dc->DefaultPen());
    screen.dc->Rectangle(0, 0, static_cast<int>(r.Lbr), static_cast<int>(r.Tng));
    screen.font = screen.dc->CreateViewFont();
    screen.dc->Select(screen.font);
  }
  *record = r;
}

void CreateDrawingObjects(Screen& screen) {
  Canvas* dc = screen.dc;
  if (dc == nullptr) return;
  Palette& p = screen.palette;
  p.BlackBrush = dc->CreateSolidBrush(kBlack);
  p.WhiteBrush = dc->CreateSolidBrush(kWhite);
  p.YellowBrush = dc->CreateSolidBrush(kYellow);
  p.GreenPen = dc->CreatePen(kGreen);
  p.RedPen = dc->CreatePen(kRed);
  p.WhitePen = dc->CreatePen(kWhite);
  p.YellowPen = dc->CreatePen(kYellow);
  p.BlackPen = dc->CreatePen(kBlack);
}

void ReleaseBackBuffer(Screen& screen, Platform& platform) {
  if (screen.dc == nullptr) return;
  platform.ReleaseBackBuffer();
  screen.dc = nullptr;
}

void PresentBackBuffer(const ContextRecord* record, Platform& platform) {
  platform.Present(static_cast<int>(record->PosX), static_cast<int>(record->PosY));
}

uint32_t PointInRect(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint32_t px,
                     uint32_t py) {
  return (left <= px && px < right && top <= py && py < bottom) ? 1 : 0;
}

uint32_t DrawBox(Screen& screen, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                 uint32_t px, uint32_t py, uint32_t highlight, uint32_t brush, uint32_t pen,
                 uint32_t id) {
  const uint32_t right = x + width;
  const uint32_t bottom = y + height;
  Canvas* dc = screen.dc;
  dc->Select(brush);
  dc->Select(pen);
  uint32_t result = PointInRect(x, y, right, bottom, px, py);
  if (result == 1 && (highlight & 0xFF) == 1) {
    dc->Select(screen.palette.WhiteBrush);
    result = id;
  }
  dc->Rectangle(static_cast<int>(x), static_cast<int>(y), static_cast<int>(right),
                static_cast<int>(bottom));
  return result;
}

void DrawEmblem(Screen& screen, int x, int y) {
  Canvas* dc = screen.dc;
  const Palette& p = screen.palette;
  dc->Select(p.YellowBrush);
  dc->Select(p.YellowPen);
  dc->Ellipse(x - 70, y - 120, x, y);
  dc->RoundRect(x - 48, y, x - 18, y + 120, 15, 15);
  dc->RoundRect(x - 18, y + 10, x + 42, y + 40, 15, 15);
  dc->RoundRect(x - 18, y + 45, x + 22, y + 75, 15, 15);
  dc->RoundRect(x - 88, y + 100, x + 32, y + 130, 15, 15);
  dc->Select(p.WhiteBrush);
  dc->Select(p.WhitePen);
  dc->Ellipse(x - 58, y - 95, x - 38, y - 55);
}

uint32_t FormatDecimal(uint32_t value, char* buf) {
  auto res = std::to_chars(buf, buf + 10, value);
  *res.ptr = 0;
  return static_cast<uint32_t>(res.ptr - buf);
}

void FormatHex8(uint32_t value, char* buf) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    buf[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  buf[8] = 0;
}

}  // namespace quorix
