// gdi-replay [--line-stepper] SCRIPT: runs a replay script (editor PATH,
// noeditor, move X Y, down, up, tick N, shot FILE) against the workbench on
// the Win32 off-screen platform, with the engine's emulator behind the Run
// box (--line-stepper: without it), and writes each shot of the GDI back buffer as a binary PPM.
// Beside every shot FILE it writes FILE.text: one line "x y w h HEX" per text drawn by the command
// before the shot (the cell the view font's glyphs occupy, and the text's bytes in hexadecimal).
#include "backends/win32/windows_api.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "backends/win32/offscreen_platform.h"
#include "engine/machines.h"

namespace {

using quorix::Canvas;
using quorix::Rgb;

// Passes every call on to the GDI canvas and notes where text went.
class TextNotingCanvas : public Canvas {
 public:
  explicit TextNotingCanvas(quorix::win32::GdiCanvas& real) : real_(real) {}
  struct Box {
    int x, y, w, h;
    std::string text;
  };
  std::vector<Box> boxes;

  int Width() const override { return real_.Width(); }
  int Height() const override { return real_.Height(); }
  uint32_t CreateSolidBrush(Rgb c) override { return real_.CreateSolidBrush(c); }
  uint32_t CreatePen(Rgb c) override { return real_.CreatePen(c); }
  uint32_t StockBlackBrush() override { return real_.StockBlackBrush(); }
  uint32_t DefaultPen() override { return real_.DefaultPen(); }
  uint32_t CreateViewFont() override { return real_.CreateViewFont(); }
  void Select(uint32_t h) override { real_.Select(h); }
  void Rectangle(int l, int t, int r, int b) override { real_.Rectangle(l, t, r, b); }
  void RoundRect(int l, int t, int r, int b, int ew, int eh) override {
    real_.RoundRect(l, t, r, b, ew, eh);
  }
  void Ellipse(int l, int t, int r, int b) override { real_.Ellipse(l, t, r, b); }
  void SetTextColor(Rgb c) override { real_.SetTextColor(c); }
  void SetBackgroundTransparent() override { real_.SetBackgroundTransparent(); }
  void TextOut(int x, int y, const char* s, int n) override {
    if (n > 0) {
      SIZE e = real_.TextExtent(s, n);
      boxes.push_back({x, y, int(e.cx), int(e.cy), std::string(s, size_t(n))});
    }
    real_.TextOut(x, y, s, n);
  }

 private:
  quorix::win32::GdiCanvas& real_;
};

class NotingPlatform : public quorix::win32::OffscreenPlatform {
 public:
  std::unique_ptr<TextNotingCanvas> noting;
  Canvas* CreateBackBuffer(int w, int h) override {
    OffscreenPlatform::CreateBackBuffer(w, h);
    if (backBuffer() == nullptr) return nullptr;
    noting = std::make_unique<TextNotingCanvas>(*backBuffer());
    return noting.get();
  }
  void ReleaseBackBuffer() override {
    noting.reset();
    OffscreenPlatform::ReleaseBackBuffer();
  }
};

bool WriteShot(NotingPlatform& p, const std::string& file) {
  quorix::win32::GdiCanvas* bb = p.backBuffer();
  if (bb == nullptr) return false;
  std::ofstream out(file, std::ios::binary);
  out << "P6\n" << bb->Width() << " " << bb->Height() << "\n255\n";
  for (uint32_t v : bb->Pixels()) {
    const char px[3] = {char(v >> 16), char(v >> 8), char(v)};
    out.write(px, 3);
  }
  std::ofstream text(file + ".text");
  static const char kHex[] = "0123456789abcdef";
  for (const auto& b : p.noting->boxes) {
    text << b.x << " " << b.y << " " << b.w << " " << b.h << " ";
    for (unsigned char c : b.text) text << kHex[c >> 4] << kHex[c & 15];
    text << "\n";
  }
  return bool(out) && bool(text);
}

}  // namespace

int main(int argc, char** argv) {
  bool withEngine = true;
  if (argc > 1 && std::string(argv[1]) == "--line-stepper") {
    withEngine = false;
    --argc;
    ++argv;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: gdi-replay [--line-stepper] SCRIPT\n");
    return 2;
  }
  std::ifstream script(argv[1]);
  if (!script) {
    std::fprintf(stderr, "gdi-replay: cannot open %s\n", argv[1]);
    return 2;
  }
  NotingPlatform platform;
  quorix::Workbench wb(platform,
                       withEngine ? quorix::DefaultMachineFactory() : quorix::MachineFactory{});
  wb.WindowProc(quorix::MsgCreate, 0, 0);
  uint32_t pointer = 0, clock = 0;
  std::string line;
  int number = 0;
  while (std::getline(script, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string verb, arg;
    words >> verb;
    std::getline(words >> std::ws, arg);
    if (verb.empty() || verb[0] == '#') continue;
    // A shot notes the texts of the command before it (every step's, for a tick N).
    if (platform.noting && verb != "shot") platform.noting->boxes.clear();
    if (verb == "editor") {
      platform.SetEditorTitle(arg);
    } else if (verb == "noeditor") {
      platform.RemoveEditor();
    } else if (verb == "move") {
      unsigned x = 0, y = 0;
      std::istringstream(arg) >> x >> y;
      pointer = quorix::PackPoint(x, y);
      wb.WindowProc(quorix::MsgMouseMove, 0, pointer);
    } else if (verb == "down") {
      wb.WindowProc(quorix::MsgLButtonDown, MK_LBUTTON, pointer);
    } else if (verb == "up") {
      wb.WindowProc(quorix::MsgLButtonUp, 0, pointer);
    } else if (verb == "tick") {
      unsigned n = std::stoul(arg);
      for (unsigned i = 0; i < n && !platform.quitPosted(); ++i) wb.TimerTick(clock += 1);
    } else if (verb == "shot") {
      if (!WriteShot(platform, arg)) {
        std::fprintf(stderr, "gdi-replay:%d: cannot write %s\n", number, arg.c_str());
        return 1;
      }
    } else {
      std::fprintf(stderr, "gdi-replay:%d: unknown command %s\n", number, verb.c_str());
      return 1;
    }
  }
  wb.WindowProc(quorix::MsgDestroy, 0, 0);
  return 0;
}
