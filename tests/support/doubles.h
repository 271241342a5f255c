// The platform doubles of the tests, the Windows tests, the benchmarks and
// the fuzz targets, all in one place:
//   SystemServices       this system's real services (files, upper-casing,
//                        memory): PosixServices, or Win32Services on Windows
//   InertPlatform        a full Platform of those services whose window does
//                        nothing (Windowless<SystemServices>)
//   WithMemoryFiles<B>   any platform B with its files kept in memory;
//                        MemoryPlatform is an InertPlatform with them
//   EditorCanvasPlatform a MemoryPlatform with a simulated editor window and
//                        a back buffer the test hands it
//   ScreenPlatform       the window-less platform the screen tests draw on:
//                        the cairo back buffer (HeadlessPlatform), or the GDI
//                        one on Windows (win32::OffscreenPlatform)
//   RecordingCanvas      a canvas that records every drawing call while
//                        passing it on; RecordingPlatform is a ScreenPlatform
//                        with memory files whose back buffer records
// and two text helpers, Bytes and CrLf.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/context_record.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "backends/win32/offscreen_platform.h"
#include "backends/win32/win32_services.h"
#else
#include "backends/headless/headless_platform.h"
#include "backends/posix/posix_services.h"
#endif

namespace quorix::testing_support {

#ifdef _WIN32
using SystemServices = win32::Win32Services;
using ScreenPlatform = win32::OffscreenPlatform;
#else
using SystemServices = PosixServices;
using ScreenPlatform = HeadlessPlatform;
#endif

// The real files and upper-casing of the system; the window side is inert.
using InertPlatform = Windowless<SystemServices>;

// Any platform, with its files kept in memory instead.
template <class Base>
class WithMemoryFiles : public Base {
 public:
  std::map<std::string, std::string> files;
  // Paths that exist but read with the given failure (a folder, no
  // permission, ...).
  std::map<std::string, ReadStatus> unreadable;
  bool failWrites = false;
  // The folder relative paths start from, as CurrentFolder tells it.
  std::string currentFolder = "C:\\work";

  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                               ReadMode mode) override {
    FileReadResult r;
    if (auto u = unreadable.find(path); u != unreadable.end()) {
      r.status = u->second;
      return r;
    }
    if (files.count(path) == 0 && mode == ReadMode::Existing) return r;
    const std::string& f = files[path];  // CreateMissing: an empty file
    r.opened = true;
    r.status = ReadStatus::Ok;
    r.fileSize = f.size();
    r.bytesRead = static_cast<uint32_t>(std::min<size_t>({f.size(), size_t(limit), buf.size()}));
    std::memcpy(buf.data(), f.data(), r.bytesRead);
    return r;
  }
  FileWriteResult WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                 const FileIdentity&) override {
    FileWriteResult w;
    if (failWrites) return w;  // Failed, nothing written
    files[path] = std::string(data.begin(), data.end());
    w.status = WriteStatus::Ok;
    w.bytesWritten = static_cast<uint32_t>(data.size());
    return w;
  }
  bool DeleteFile(const char* path) override { return files.erase(path) > 0; }
  bool FileExists(const char* path) override {
    return files.count(path) > 0 || unreadable.count(path) > 0;
  }
  std::string CurrentFolder() override { return currentFolder; }
  // Names that differ only in ASCII case or in '/' for '\\' are one file,
  // as the real file layer resolves them.
  bool SameFile(const char* a, const char* b) override {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c == '/' ? '\\' : c; };
    std::string x(a), y(b);
    std::transform(x.begin(), x.end(), x.begin(), fold);
    std::transform(y.begin(), y.end(), y.begin(), fold);
    if (x != y) return false;
    for (const auto& [path, text] : files) {
      std::string p(path);
      std::transform(p.begin(), p.end(), p.begin(), fold);
      if (p == x) return true;
    }
    return false;
  }
};

using MemoryPlatform = WithMemoryFiles<InertPlatform>;

// In-memory files, an editor window that exists while editorRunning and is
// titled editorTitle, and a back buffer that is the canvas the test sets
// (none when it is null).
class EditorCanvasPlatform : public MemoryPlatform {
 public:
  std::string editorTitle;
  bool editorRunning = true;
  Canvas* canvas = nullptr;

  bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override {
    if (!editorRunning || cap == 0 || std::strcmp(windowClass, kEditorClass) != 0) return false;
    size_t n = std::min(editorTitle.size(), cap - 1);
    std::memcpy(title, editorTitle.data(), n);
    title[n] = 0;
    return true;
  }
  Canvas* CreateBackBuffer(int, int) override { return canvas; }
};

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

// A ScreenPlatform with in-memory files and a recording back buffer.
class RecordingPlatform : public WithMemoryFiles<ScreenPlatform> {
 public:
  std::unique_ptr<RecordingCanvas> recorder;

  Canvas* CreateBackBuffer(int w, int h) override {
    Canvas* real = ScreenPlatform::CreateBackBuffer(w, h);
    recorder = std::make_unique<RecordingCanvas>(*real);
    return recorder.get();
  }
  void ReleaseBackBuffer() override {
    recorder.reset();
    ScreenPlatform::ReleaseBackBuffer();
  }
};

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

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
