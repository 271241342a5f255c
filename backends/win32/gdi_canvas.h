// A Canvas drawn straight through GDI: a memory device context with a bitmap
// selected into it, solid brushes and pens, the stock black brush, the view
// font from a LOGFONT, transparent text and TextOutA.
//
// The bitmap is either compatible with a window's device context (the
// window's back buffer) or a 32-bit top-down DIB section whose pixels can be
// read directly (the off-screen back buffer of the tests and gdi-replay).
#pragma once

#include "backends/win32/windows_api.h"

#include <cstdint>
#include <vector>

#include "platform/window.h"

namespace quorix::win32 {

class GdiCanvas : public Canvas {
 public:
  // Compatible with reference (a window's DC); a DIB section when reference
  // is null. Valid() tells whether GDI gave what was asked.
  GdiCanvas(HDC reference, int width, int height);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  bool Valid() const { return dc_ != nullptr && bitmap_ != nullptr; }
  HDC Dc() const { return dc_; }
  HBITMAP Bitmap() const { return bitmap_; }

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  uint32_t CreateSolidBrush(Rgb color) override;
  uint32_t CreatePen(Rgb color) override;
  uint32_t StockBlackBrush() override { return stockBlackBrush_; }
  uint32_t DefaultPen() override { return defaultPen_; }
  uint32_t CreateViewFont() override;
  void Select(uint32_t object) override;
  void Rectangle(int l, int t, int r, int b) override;
  void RoundRect(int l, int t, int r, int b, int ew, int eh) override;
  void Ellipse(int l, int t, int r, int b) override;
  void SetTextColor(Rgb color) override;
  void SetBackgroundTransparent() override;
  void TextOut(int x, int y, const char* text, int n) override;

  // The pixel at (x, y); black outside the buffer.
  Rgb PixelAt(int x, int y) const;
  // All pixels, rows top to bottom, as 0x00RRGGBB words.
  std::vector<uint32_t> Pixels() const;
  // The width and height in pixels of n characters of the view font.
  SIZE TextExtent(const char* text, int n) const;

 private:
  uint32_t Add(HGDIOBJ object, bool owned);

  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ initialBitmap_ = nullptr, initialFont_ = nullptr;
  HGDIOBJ initialBrush_ = nullptr, initialPen_ = nullptr;
  uint32_t* dibBits_ = nullptr;  // the DIB section's pixels, when it is one
  struct Object {
    HGDIOBJ handle;
    bool owned;  // created here, deleted with the canvas
  };
  std::vector<Object> objects_;
  uint32_t stockBlackBrush_ = 0, defaultPen_ = 0;
};

}  // namespace quorix::win32
