#include "backends/win32/gdi_canvas.h"

#include <cstring>

namespace quorix::win32 {

namespace {
COLORREF Ref(Rgb c) { return RGB(c.r, c.g, c.b); }
}  // namespace

GdiCanvas::GdiCanvas(HDC reference, int width, int height) : width_(width), height_(height) {
  dc_ = ::CreateCompatibleDC(reference);
  if (dc_ == nullptr) return;
  if (reference != nullptr) {
    bitmap_ = ::CreateCompatibleBitmap(reference, width, height);
  } else {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    dibBits_ = static_cast<uint32_t*>(bits);
  }
  if (bitmap_ == nullptr) return;
  initialBitmap_ = ::SelectObject(dc_, bitmap_);
  initialBrush_ = ::GetCurrentObject(dc_, OBJ_BRUSH);
  initialPen_ = ::GetCurrentObject(dc_, OBJ_PEN);
  initialFont_ = ::GetCurrentObject(dc_, OBJ_FONT);
  stockBlackBrush_ = Add(::GetStockObject(BLACK_BRUSH), false);
  defaultPen_ = Add(initialPen_, false);
}

GdiCanvas::~GdiCanvas() {
  if (dc_ != nullptr) {
    // Put the context's own objects back so ours can be deleted.
    if (initialBrush_) ::SelectObject(dc_, initialBrush_);
    if (initialPen_) ::SelectObject(dc_, initialPen_);
    if (initialFont_) ::SelectObject(dc_, initialFont_);
    if (initialBitmap_) ::SelectObject(dc_, initialBitmap_);
  }
  for (const Object& o : objects_)
    if (o.owned) ::DeleteObject(o.handle);
  if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
  if (dc_ != nullptr) ::DeleteDC(dc_);
}

uint32_t GdiCanvas::Add(HGDIOBJ object, bool owned) {
  if (object == nullptr) return 0;
  objects_.push_back({object, owned});
  return static_cast<uint32_t>(objects_.size());
}

uint32_t GdiCanvas::CreateSolidBrush(Rgb color) {
  return Add(::CreateSolidBrush(Ref(color)), true);
}

uint32_t GdiCanvas::CreatePen(Rgb color) { return Add(::CreatePen(PS_SOLID, 1, Ref(color)), true); }

uint32_t GdiCanvas::CreateViewFont() {
  LOGFONTA lf{};
  lf.lfHeight = -15;  // character height 15 pixels
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_STROKE_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DRAFT_QUALITY;
  lf.lfPitchAndFamily = FF_SWISS | DEFAULT_PITCH;
  std::strcpy(lf.lfFaceName, "Lucida Console");
  return Add(::CreateFontIndirectA(&lf), true);
}

void GdiCanvas::Select(uint32_t object) {
  if (dc_ == nullptr || object == 0 || object > objects_.size()) return;
  ::SelectObject(dc_, objects_[object - 1].handle);
}

void GdiCanvas::Rectangle(int l, int t, int r, int b) {
  if (dc_) ::Rectangle(dc_, l, t, r, b);
}

void GdiCanvas::RoundRect(int l, int t, int r, int b, int ew, int eh) {
  if (dc_) ::RoundRect(dc_, l, t, r, b, ew, eh);
}

void GdiCanvas::Ellipse(int l, int t, int r, int b) {
  if (dc_) ::Ellipse(dc_, l, t, r, b);
}

void GdiCanvas::SetTextColor(Rgb color) {
  if (dc_) ::SetTextColor(dc_, Ref(color));
}

void GdiCanvas::SetBackgroundTransparent() {
  if (dc_) ::SetBkMode(dc_, TRANSPARENT);
}

void GdiCanvas::TextOut(int x, int y, const char* text, int n) {
  if (dc_ && text != nullptr && n > 0) ::TextOutA(dc_, x, y, text, n);
}

Rgb GdiCanvas::PixelAt(int x, int y) const {
  if (dc_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0};
  uint32_t v;
  if (dibBits_ != nullptr) {
    ::GdiFlush();
    v = dibBits_[size_t(y) * width_ + x];
  } else {
    COLORREF c = ::GetPixel(dc_, x, y);
    v = uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
  }
  return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

std::vector<uint32_t> GdiCanvas::Pixels() const {
  std::vector<uint32_t> out(size_t(width_) * height_, 0);
  if (dc_ == nullptr) return out;
  if (dibBits_ != nullptr) {
    ::GdiFlush();
    for (size_t i = 0; i < out.size(); ++i) out[i] = dibBits_[i] & 0xFFFFFF;
    return out;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width_;
  bi.bmiHeader.biHeight = -height_;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  ::GetDIBits(dc_, bitmap_, 0, height_, out.data(), &bi, DIB_RGB_COLORS);
  for (uint32_t& v : out) v &= 0xFFFFFF;
  return out;
}

SIZE GdiCanvas::TextExtent(const char* text, int n) const {
  SIZE s{0, 0};
  if (dc_ && n > 0) ::GetTextExtentPoint32A(dc_, text, n, &s);
  return s;
}

}  // namespace quorix::win32
