#include "backends/headless/cairo_canvas.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps a few bytes of its parsed configuration unreachable for the
// life of the process; that is not ours to free.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

namespace quorix {

namespace {

constexpr double kCharHeight = 15.0;  // the view font's character (em) height in pixels
constexpr const char* kFaceChoices[] = {"Lucida Console", "DejaVu Sans Mono"};

uint32_t Argb(Rgb c) { return 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

// Asks fontconfig for a regular face of the family at the view font's size.
// With exact set, only a face of that very family is accepted (fontconfig
// otherwise answers with its nearest substitute).
FcPattern* MatchFace(const char* family, bool exact) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, kCharHeight);
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  // A fixed language keeps the choice independent of the machine's locale.
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("en"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return nullptr;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    FcPatternDestroy(match);
    return nullptr;
  }
  if (!exact) return match;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) return match;
  }
  FcPatternDestroy(match);
  return nullptr;
}

int Utf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | (cp >> 12));
  out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (cp & 0x3F));
  return 3;
}

}  // namespace

uint32_t CodePoint1252(uint8_t c) {
  static constexpr uint16_t k80[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (c >= 0x80 && c < 0xA0) return k80[c - 0x80];
  return c;
}

CairoCanvas::CairoCanvas(int width, int height) : width_(width), height_(height) {
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  Init();
}

CairoCanvas::CairoCanvas(int width, int height, uint8_t* data, int stride)
    : width_(width), height_(height) {
  surface_ = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, stride);
  Init();
}

int CairoCanvas::StrideFor(int width) {
  return cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
}

void CairoCanvas::Init() {
  cairo_surface_flush(surface_);
  stride_ = cairo_image_surface_get_stride(surface_);
  pixels_ = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_));
  if (pixels_ == nullptr) width_ = height_ = 0;  // creation failed: draw nothing
  for (int y = 0; y < height_; ++y) FillSpan(y, 0, width_, Argb({0, 0, 0}));
  stockBlackBrush_ = AddObject(Kind::Brush, {0, 0, 0});
  stockWhiteBrush_ = AddObject(Kind::Brush, {255, 255, 255});
  defaultPen_ = AddObject(Kind::Pen, {0, 0, 0});
  brush_ = stockWhiteBrush_;  // a fresh context's brush is white, its pen black
  pen_ = defaultPen_;
}

CairoCanvas::~CairoCanvas() { cairo_surface_destroy(surface_); }

void CairoCanvas::RunGuard() {
  guardArmed_ = false;
  guard_();
}

uint32_t CairoCanvas::AddObject(Kind kind, Rgb color) {
  objects_.push_back({kind, color});
  return static_cast<uint32_t>(objects_.size());
}

uint32_t CairoCanvas::CreateSolidBrush(Rgb color) { return AddObject(Kind::Brush, color); }
uint32_t CairoCanvas::CreatePen(Rgb color) { return AddObject(Kind::Pen, color); }

uint32_t CairoCanvas::CreateViewFont() {
  BuildGlyphs();
  return AddObject(Kind::Font, {0, 0, 0});
}

void CairoCanvas::Select(uint32_t object) {
  if (object == 0 || object > objects_.size()) return;
  switch (objects_[object - 1].kind) {
    case Kind::Brush: brush_ = object; break;
    case Kind::Pen: pen_ = object; break;
    case Kind::Font: font_ = object; break;
  }
}

void CairoCanvas::FillSpan(int y, int x0, int x1, uint32_t argb) {
  if (y < 0 || y >= height_) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, width_);
  if (x0 >= x1) return;
  uint32_t* row = Row(y);
  std::fill(row + x0, row + x1, argb);
}

void CairoCanvas::Rectangle(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (l == r || t == b) return;
  BeforeWrite();
  const uint32_t pen = Argb(objects_[pen_ - 1].color);
  const uint32_t brush = Argb(objects_[brush_ - 1].color);
  const int y0 = std::max(t, 0), y1 = std::min(b, height_);
  const int x0 = std::max(l, 0), x1 = std::min(r, width_);
  int model = -1;  // the first inner row drawn; the others are copies of it
  for (int y = y0; y < y1; ++y) {
    if (y == t || y == b - 1) {
      FillSpan(y, l, r, pen);
    } else if (model >= 0 && x0 < x1) {
      std::memcpy(Row(y) + x0, Row(model) + x0, size_t(x1 - x0) * 4);
    } else {
      FillSpan(y, l, l + 1, pen);
      FillSpan(y, l + 1, r - 1, brush);
      if (r - 1 > l) FillSpan(y, r - 1, r, pen);
      model = y;
    }
  }
}

void CairoCanvas::RoundedShape(int l, int t, int r, int b, double rx, double ry) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (l == r || t == b) return;
  BeforeWrite();
  rx = std::min(rx, (r - l) / 2.0);
  ry = std::min(ry, (b - t) / 2.0);
  const int rows = b - t;
  spanLo_.assign(rows, 0);
  spanHi_.assign(rows, 0);
  for (int i = 0; i < rows; ++i) {
    const double cy = t + i + 0.5;
    double d = 0;
    if (ry > 0 && cy < t + ry) d = (t + ry - cy) / ry;
    if (ry > 0 && cy > b - ry) d = (cy - (b - ry)) / ry;
    if (d > 1) continue;
    const double inset = rx * (1 - std::sqrt(1 - d * d));
    spanLo_[i] = static_cast<int>(std::ceil(l + inset - 0.5));
    spanHi_[i] = static_cast<int>(std::floor(r - inset - 0.5)) + 1;
    if (spanHi_[i] < spanLo_[i]) spanHi_[i] = spanLo_[i];
  }
  const uint32_t pen = Argb(objects_[pen_ - 1].color);
  const uint32_t brush = Argb(objects_[brush_ - 1].color);
  for (int i = 0; i < rows; ++i) {
    const int lo = spanLo_[i], hi = spanHi_[i];
    if (lo >= hi) continue;
    // A pixel is inside the frame when its four neighbours are in the shape.
    int in0 = lo + 1, in1 = hi - 1;
    if (i == 0 || i == rows - 1) {
      in1 = in0;
    } else {
      in0 = std::max({in0, spanLo_[i - 1], spanLo_[i + 1]});
      in1 = std::min({in1, spanHi_[i - 1], spanHi_[i + 1]});
    }
    const int y = t + i;
    if (in0 < in1) {
      FillSpan(y, lo, in0, pen);
      FillSpan(y, in0, in1, brush);
      FillSpan(y, in1, hi, pen);
    } else {
      FillSpan(y, lo, hi, pen);
    }
  }
}

void CairoCanvas::RoundRect(int l, int t, int r, int b, int ew, int eh) {
  RoundedShape(l, t, r, b, std::abs(ew) / 2.0, std::abs(eh) / 2.0);
}

void CairoCanvas::Ellipse(int l, int t, int r, int b) {
  RoundedShape(l, t, r, b, std::abs(r - l) / 2.0, std::abs(b - t) / 2.0);
}

void CairoCanvas::TextOut(int x, int y, const char* text, int n) {
  if (n <= 0 || text == nullptr) return;
  if (!glyphsBuilt_) BuildGlyphs();
  BeforeWrite();
  const uint32_t color = Argb(text_);
  // Text wholly inside the canvas, as the workbench's is, needs no clipping
  // span by span.
  int lo = width_, hi = 0, pen = x;
  for (int i = 0; i < n; ++i) {
    const Glyph& g = glyphs_[static_cast<uint8_t>(text[i])];
    if (g.x0 < g.x1) {
      lo = std::min(lo, pen + g.x0);
      hi = std::max(hi, pen + g.x1);
    }
    pen += g.advance;
  }
  if (lo >= 0 && hi <= width_ && y + glyphTop_ >= 0 && y + glyphBottom_ <= height_) {
    for (int i = 0; i < n; ++i) {
      const Glyph& g = glyphs_[static_cast<uint8_t>(text[i])];
      for (uint32_t s = g.first; s < g.first + g.count; ++s) {
        const Span& sp = glyphSpans_[s];
        uint32_t* row = Row(y + sp.dy) + x;
        std::fill(row + sp.x0, row + sp.x1, color);
      }
      x += g.advance;
    }
    return;
  }
  for (int i = 0; i < n; ++i) {
    const Glyph& g = glyphs_[static_cast<uint8_t>(text[i])];
    for (uint32_t s = g.first; s < g.first + g.count; ++s) {
      const Span& sp = glyphSpans_[s];
      FillSpan(y + sp.dy, x + sp.x0, x + sp.x1, color);
    }
    x += g.advance;
  }
}

// The runs of set pixels of the glyph drawn in the scratch surface, relative
// to the point (pad, pad).
void CairoCanvas::AppendInkRuns(cairo_surface_t* scratch, int side, int pad) {
  cairo_surface_flush(scratch);
  const uint8_t* data = cairo_image_surface_get_data(scratch);
  const int stride = cairo_image_surface_get_stride(scratch);
  for (int row = 0; row < side; ++row) {
    const uint8_t* p = data + size_t(row) * stride;
    for (int col = 0; col < side;) {
      if (p[col] < 128) {
        ++col;
        continue;
      }
      int end = col;
      while (end < side && p[end] >= 128) ++end;
      glyphSpans_.push_back({static_cast<int16_t>(row - pad), static_cast<int16_t>(col - pad),
                             static_cast<int16_t>(end - pad)});
      col = end;
    }
  }
}

// The glyph's runs since g.first: its count, its horizontal extent, and the
// rows that any glyph covers.
void CairoCanvas::NoteGlyphBounds(Glyph& g) {
  g.count = static_cast<uint32_t>(glyphSpans_.size()) - g.first;
  for (uint32_t s = g.first; s < g.first + g.count; ++s) {
    const Span& sp = glyphSpans_[s];
    g.x0 = s == g.first ? sp.x0 : std::min<int>(g.x0, sp.x0);
    g.x1 = s == g.first ? sp.x1 : std::max<int>(g.x1, sp.x1);
    const bool firstOfAll = glyphTop_ == glyphBottom_;
    glyphTop_ = firstOfAll ? sp.dy : std::min<int>(glyphTop_, sp.dy);
    glyphBottom_ = firstOfAll ? sp.dy + 1 : std::max(glyphBottom_, sp.dy + 1);
  }
}

// Rasterises every byte's glyph once, without anti-aliasing, into runs of
// set pixels relative to the text's top-left reference point.
void CairoCanvas::BuildGlyphs() {
  glyphsBuilt_ = true;
  FcPattern* match = nullptr;
  for (const char* family : kFaceChoices) {
    if ((match = MatchFace(family, true)) != nullptr) break;
  }
  if (match == nullptr) match = MatchFace("monospace", false);
  if (match == nullptr) return;  // no face at all: text draws nothing
  FcChar8* value = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch)
    fontChoice_.family = reinterpret_cast<const char*>(value);
  if (FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch)
    fontChoice_.file = reinterpret_cast<const char*>(value);

  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_matrix_t size, identity;
  cairo_matrix_init_scale(&size, kCharHeight, kCharHeight);
  cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* font = cairo_scaled_font_create(face, &size, &identity, options);

  cairo_font_extents_t fe;
  cairo_scaled_font_extents(font, &fe);
  fontChoice_.ascent = static_cast<int>(std::lround(fe.ascent));
  const int pad = 8;
  const int side = 2 * pad + 3 * static_cast<int>(kCharHeight);
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, side, side);
  cairo_t* cr = cairo_create(scratch);
  cairo_set_scaled_font(cr, font);
  cairo_set_font_options(cr, options);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);

  int spaceAdvance = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int c = 0; c < 256; ++c) {
      // The space first, so control bytes can take its advance.
      if ((pass == 0) != (c == ' ')) continue;
      Glyph& g = glyphs_[c];
      g.first = static_cast<uint32_t>(glyphSpans_.size());
      g.advance = spaceAdvance;
      const uint32_t cp = c < 0x20 || c == 0x7F ? 0 : CodePoint1252(static_cast<uint8_t>(c));
      if (cp == 0) continue;
      char utf8[4];
      const int len = Utf8(cp, utf8);
      cairo_glyph_t* glyphs = nullptr;
      int count = 0;
      if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8, len, &glyphs, &count, nullptr, nullptr,
                                           nullptr) != CAIRO_STATUS_SUCCESS ||
          count < 1) {
        cairo_glyph_free(glyphs);
        continue;
      }
      cairo_text_extents_t te;
      cairo_scaled_font_glyph_extents(font, glyphs, 1, &te);
      g.advance = static_cast<int>(std::lround(te.x_advance));
      if (c == ' ') spaceAdvance = g.advance;

      cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
      cairo_paint(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      cairo_set_source_rgba(cr, 0, 0, 0, 1);
      glyphs[0].x = pad;
      glyphs[0].y = pad + fontChoice_.ascent;
      cairo_show_glyphs(cr, glyphs, 1);
      cairo_glyph_free(glyphs);
      AppendInkRuns(scratch, side, pad);
      NoteGlyphBounds(g);
    }
  }
  fontChoice_.advance = spaceAdvance;

  cairo_destroy(cr);
  cairo_surface_destroy(scratch);
  cairo_scaled_font_destroy(font);
  cairo_font_options_destroy(options);
  cairo_font_face_destroy(face);
  FcPatternDestroy(match);
}

uint8_t* CairoCanvas::Data() {
  BeforeWrite();
  return reinterpret_cast<uint8_t*>(pixels_);
}
const uint8_t* CairoCanvas::Data() const { return reinterpret_cast<const uint8_t*>(pixels_); }

void CairoCanvas::MarkDirty() { cairo_surface_mark_dirty(surface_); }

Rgb CairoCanvas::PixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0};
  uint32_t v = reinterpret_cast<const uint32_t*>(Data() + size_t(y) * stride_)[x];
  return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

bool CairoCanvas::WritePng(const std::string& path) {
  MarkDirty();
  return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace quorix
