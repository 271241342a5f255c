// Drawing resources and primitives of the workbench screen: the palette, the
// view font, the framed box with its pointer test, the start-screen emblem and
// the two number formatters the views use. Everything draws into the back
// buffer (the Canvas the platform created); nothing here creates objects
// after start-up.
#pragma once

#include <cstdint>

#include "model/context_record.h"
#include "platform/platform.h"

namespace quorix {

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kGreen{0, 175, 0};
inline constexpr Rgb kRed{255, 0, 0};

// Handles of the fixed palette, created once and never deleted.
struct Palette {
  uint32_t BlackBrush = 0;
  uint32_t WhiteBrush = 0;
  uint32_t YellowBrush = 0;
  uint32_t GreenPen = 0;
  uint32_t RedPen = 0;
  uint32_t WhitePen = 0;
  uint32_t YellowPen = 0;
  uint32_t BlackPen = 0;
};

// The drawing side of the process globals: the back buffer (mDC), its palette
// and its font.
struct Screen {
  Canvas* dc = nullptr;
  Palette palette;
  uint32_t font = 0;
};

// Creates the back buffer through the platform (width Lbr by Tng of the
// record), fills it black with the context's default pen, creates ViewFont and
// selects it. Sets mDC and hBmp in the record (copy-in/copy-out). The
// workspace block itself is allocated by the caller.
void CreateBackBuffer(ContextRecord* record, Screen& screen, Platform& platform);
void CreateDrawingObjects(Screen& screen);
void ReleaseBackBuffer(Screen& screen, Platform& platform);
// Copies the back buffer to the window at (PosX, PosY); reads the record only.
void PresentBackBuffer(const ContextRecord* record, Platform& platform);

// 1 when left <= px < right and top <= py < bottom (unsigned), else 0.
uint32_t PointInRect(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint32_t px,
                     uint32_t py);

// Draws the framed box (x, y, width, height) with the given brush and pen.
// While the pointer is inside and the highlight flag's low byte is 1 the box is
// filled white and the result is id; otherwise the result is the pointer test
// (0 or 1). The white brush stays selected afterwards.
uint32_t DrawBox(Screen& screen, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                 uint32_t px, uint32_t py, uint32_t highlight, uint32_t brush, uint32_t pen,
                 uint32_t id);

// The start-screen picture around the anchor (x, y).
void DrawEmblem(Screen& screen, int x, int y);

// Unsigned decimal with a terminating zero into buf (at least 11 bytes);
// returns the number of digits.
uint32_t FormatDecimal(uint32_t value, char* buf);
// Exactly eight upper-case hexadecimal digits and a zero (buf >= 9 bytes).
void FormatHex8(uint32_t value, char* buf);

// Text output helper: n bytes of text at (x, y); negative counts draw nothing.
// Draws n bytes of text. The counts the views pass may include the line's
// terminator (a fetched line's length counts its closing NUL); a terminator
// is never handed to the canvas, since GDI draws a box for it.
inline void PutText(Screen& screen, int x, int y, const void* text, uint32_t n) {
  if (static_cast<int32_t>(n) <= 0) return;
  const char* t = static_cast<const char*>(text);
  while (n > 0 && (t[n - 1] == 0 || t[n - 1] == '\r' || t[n - 1] == '\n')) --n;
  if (n > 0) screen.dc->TextOut(x, y, t, int(n));
}

}  // namespace quorix
