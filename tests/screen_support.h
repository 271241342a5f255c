// Screen-test helpers: a canvas that records every drawing call while
// passing it on to the real cairo canvas, and a headless platform whose files
// live in memory and whose back buffer is such a recording canvas.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/offscreen_platform.h"
#else
#include "platform/headless/headless_platform.h"
#endif
#include "test_support.h"

namespace quorix::testing_support {

// The window-less platform the screen tests draw on: the cairo back buffer on
// Linux, the GDI one on Windows.
#ifdef _WIN32
using WindowlessPlatform = win32::OffscreenPlatform;
#else
using WindowlessPlatform = HeadlessPlatform;
#endif

struct TextCall {
  int seq;  // drawing order across texts and shapes
  int x, y;
  std::string text;  // exactly the n bytes passed
  Rgb color;
};

enum class Shape { Rectangle, RoundRect, Ellipse };

struct ShapeCall {
  int seq;
  Shape shape;
  int l, t, r, b;
  Rgb pen, brush;
};

class RecordingCanvas : public Canvas {
 public:
  explicit RecordingCanvas(Canvas& real) : real_(real) {
    kinds_[real.StockBlackBrush()] = {true, {0, 0, 0}};
    kinds_[real.DefaultPen()] = {false, {0, 0, 0}};
  }
  std::vector<TextCall> texts;
  std::vector<ShapeCall> shapes;
  void Clear() {
    texts.clear();
    shapes.clear();
  }

  // The texts drawn with their top-left at (x, y), in drawing order.
  std::vector<std::string> TextsAt(int x, int y) const {
    std::vector<std::string> out;
    for (const auto& t : texts)
      if (t.x == x && t.y == y) out.push_back(t.text);
    return out;
  }
  // The last text drawn at (x, y), if any.
  std::optional<std::string> TextAt(int x, int y) const {
    std::optional<std::string> out;
    for (const auto& t : texts)
      if (t.x == x && t.y == y) out = t.text;
    return out;
  }
  bool HasText(const std::string& s) const {
    return std::any_of(texts.begin(), texts.end(), [&](const TextCall& t) { return t.text == s; });
  }
  // Rectangles with exactly these bounds, in drawing order.
  std::vector<ShapeCall> RectsAt(int l, int t, int r, int b) const {
    std::vector<ShapeCall> out;
    for (const auto& s : shapes)
      if (s.shape == Shape::Rectangle && s.l == l && s.t == t && s.r == r && s.b == b)
        out.push_back(s);
    return out;
  }

  int Width() const override { return real_.Width(); }
  int Height() const override { return real_.Height(); }
  uint32_t CreateSolidBrush(Rgb c) override {
    uint32_t h = real_.CreateSolidBrush(c);
    kinds_[h] = {true, c};
    return h;
  }
  uint32_t CreatePen(Rgb c) override {
    uint32_t h = real_.CreatePen(c);
    kinds_[h] = {false, c};
    return h;
  }
  uint32_t StockBlackBrush() override { return real_.StockBlackBrush(); }
  uint32_t DefaultPen() override { return real_.DefaultPen(); }
  uint32_t CreateViewFont() override { return real_.CreateViewFont(); }
  void Select(uint32_t h) override {
    auto it = kinds_.find(h);
    if (it != kinds_.end()) (it->second.brush ? brush_ : pen_) = it->second.color;
    real_.Select(h);
  }
  void Rectangle(int l, int t, int r, int b) override {
    shapes.push_back({seq_++, Shape::Rectangle, l, t, r, b, pen_, brush_});
    real_.Rectangle(l, t, r, b);
  }
  void RoundRect(int l, int t, int r, int b, int ew, int eh) override {
    shapes.push_back({seq_++, Shape::RoundRect, l, t, r, b, pen_, brush_});
    real_.RoundRect(l, t, r, b, ew, eh);
  }
  void Ellipse(int l, int t, int r, int b) override {
    shapes.push_back({seq_++, Shape::Ellipse, l, t, r, b, pen_, brush_});
    real_.Ellipse(l, t, r, b);
  }
  void SetTextColor(Rgb c) override {
    text_ = c;
    real_.SetTextColor(c);
  }
  void SetBackgroundTransparent() override { real_.SetBackgroundTransparent(); }
  void TextOut(int x, int y, const char* s, int n) override {
    if (n > 0) texts.push_back({seq_++, x, y, std::string(s, static_cast<size_t>(n)), text_});
    real_.TextOut(x, y, s, n);
  }

 private:
  struct Kind {
    bool brush;
    Rgb color;
  };
  Canvas& real_;
  std::map<uint32_t, Kind> kinds_;
  Rgb pen_{0, 0, 0}, brush_{255, 255, 255}, text_{0, 0, 0};
  int seq_ = 0;
};

// Headless platform with in-memory files and a recording back buffer.
class RecordingPlatform : public testing_support::WithMemoryFiles<WindowlessPlatform> {
 public:
  std::unique_ptr<RecordingCanvas> recorder;

  Canvas* CreateBackBuffer(int w, int h) override {
    Canvas* real = WindowlessPlatform::CreateBackBuffer(w, h);
    recorder = std::make_unique<RecordingCanvas>(*real);
    return recorder.get();
  }
  void ReleaseBackBuffer() override {
    recorder.reset();
    WindowlessPlatform::ReleaseBackBuffer();
  }
};

// CR LF joined lines.
inline std::string CrLf(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

}  // namespace quorix::testing_support
