// A Canvas on a cairo ARGB32 image surface with GDI semantics: a rectangle
// from (l, t) to (r, b) covers l..r-1 and t..b-1, the 1-pixel pen frames the
// shape inside those bounds and the brush fills the rest; ellipses and
// rounded rectangles follow the same rule. Nothing is anti-aliased. Text is
// drawn from its top-left reference point, transparently, in the text colour,
// with glyphs rasterised once when the view font is created.
//
// Shared by the headless and the X11 backends. The canvas owns its pixels or
// draws into memory it is given (the X11 backend's shared-memory image, which
// the server reads straight from).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

typedef struct _cairo_surface cairo_surface_t;

namespace quorix {

// What fontconfig chose for the view font.
struct FontChoice {
  std::string family;  // empty when no face could be loaded
  std::string file;
  int advance = 0;  // pixels per character cell
  int ascent = 0;   // pixels from the reference point's top to the baseline
};

class CairoCanvas : public Canvas {
 public:
  CairoCanvas(int width, int height);
  // Draws into width x height ARGB32 words at data, rows stride bytes apart;
  // the memory must outlive the canvas and stride must be StrideFor(width).
  // The canvas starts black, as one with its own pixels does.
  CairoCanvas(int width, int height, uint8_t* data, int stride);
  ~CairoCanvas() override;
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

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
  void SetTextColor(Rgb color) override { text_ = color; }
  void SetBackgroundTransparent() override {}  // text never paints a background
  void TextOut(int x, int y, const char* text, int n) override;

  // Pixels: premultiplied ARGB32 words, alpha always 0xFF, rows Stride()
  // bytes apart. Direct writes must be followed by MarkDirty(); asking for
  // the writable pointer counts as a write for the write guard.
  uint8_t* Data();
  const uint8_t* Data() const;
  int Stride() const { return stride_; }
  // The row length in bytes of an ARGB32 image of that width.
  static int StrideFor(int width);

  // Someone else reads the pixels for a while (the X server, from shared
  // memory): after ArmWriteGuard the guard runs once, before the next change
  // to any pixel, and must return only when the reader is done.
  void SetWriteGuard(std::function<void()> guard) { guard_ = std::move(guard); }
  void ArmWriteGuard() { guardArmed_ = static_cast<bool>(guard_); }
  cairo_surface_t* Surface() { return surface_; }
  void MarkDirty();
  Rgb PixelAt(int x, int y) const;
  bool WritePng(const std::string& path);

  const FontChoice& font() const { return fontChoice_; }

 private:
  enum class Kind : uint8_t { Brush, Pen, Font };
  struct Object {
    Kind kind;
    Rgb color;
  };
  struct Span {
    int16_t dy, x0, x1;  // relative to the text origin; x1 exclusive
  };
  struct Glyph {
    uint32_t first = 0, count = 0;  // spans in glyphSpans_
    int advance = 0;
    int x0 = 0, x1 = 0;  // the spans' extent; x0 == x1 without spans
  };

  void Init();
  void BeforeWrite() {
    if (guardArmed_) [[unlikely]]
      RunGuard();
  }
  void RunGuard();
  uint32_t AddObject(Kind kind, Rgb color);
  void FillSpan(int y, int x0, int x1, uint32_t argb);
  uint32_t* Row(int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels_) + size_t(y) * stride_);
  }
  // Rows of a rounded shape inside [l, r) x [t, b) with corner radii rx, ry.
  void RoundedShape(int l, int t, int r, int b, double rx, double ry);
  void BuildGlyphs();
  void AppendInkRuns(cairo_surface_t* scratch, int side, int pad);
  void NoteGlyphBounds(Glyph& g);

  int width_, height_, stride_;
  cairo_surface_t* surface_ = nullptr;
  uint32_t* pixels_ = nullptr;
  std::function<void()> guard_;
  bool guardArmed_ = false;
  std::vector<Object> objects_;
  uint32_t stockBlackBrush_ = 0, stockWhiteBrush_ = 0, defaultPen_ = 0;
  uint32_t brush_ = 0, pen_ = 0, font_ = 0;
  Rgb text_{0, 0, 0};
  std::vector<int> spanLo_, spanHi_;  // per-row scratch of the shape rasteriser
  bool glyphsBuilt_ = false;
  Glyph glyphs_[256];
  std::vector<Span> glyphSpans_;
  int glyphTop_ = 0, glyphBottom_ = 0;  // rows dy of all spans: [top, bottom)
  FontChoice fontChoice_;
};

// Unicode code point of a Windows-1252 byte (0 for the five unassigned ones).
uint32_t CodePoint1252(uint8_t c);

}  // namespace quorix
