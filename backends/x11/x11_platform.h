// The X11 backend: the workbench's window on an X server, its message loop
// with the periodic timer, the back buffer presented with MIT-SHM (or plain
// XPutImage where the server cannot share memory with us), and the lookup of
// other programs' windows. Files and upper-casing come from PosixServices.
//
// When the visual's pixels are laid out as the back buffer's (32 bits,
// 0x00RRGGBB words in this machine's byte order) and MIT-SHM works, the back
// buffer draws straight into the shared segment and a present is one
// XShmPutImage. The server reads the segment after the call returns, so the
// canvas' write guard waits for the put's completion notice before the next
// drawing changes a pixel. Other visuals and the plain path convert the
// pixels into the image at each present.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>
#include <string>

#include "backends/headless/cairo_canvas.h"
#include "backends/posix/posix_services.h"
#include "backends/x11/editor_link.h"
#include "backends/x11/event_map.h"
#include "backends/x11/pixel_convert.h"
#include "platform/platform.h"

namespace quorix::x11 {

// Where the loop delivers messages and timer ticks (the Workbench, in the
// program).
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // False asks for the backend's default handling, which on X is nothing.
  virtual bool WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) = 0;
  // A message of the second window (its events that mean something).
  virtual bool SecondWindowProc(uint32_t /*msg*/, uint32_t /*wParam*/, uint32_t /*lParam*/) {
    return false;
  }
  virtual void TimerTick(uint32_t timeMs) = 0;
};

struct X11Options {
  bool allowShm = true;  // false: always present with XPutImage
};

// What the loop did, for measurements.
struct LoopStats {
  uint64_t ticks = 0;     // TimerTick calls
  uint64_t messages = 0;  // WindowProc calls from X events
  uint64_t presents = 0;
};

class X11Platform : public Platform, public PosixServices {
 public:
  static constexpr int kClientWidth = 810;
  static constexpr int kClientHeight = 600;
  static constexpr Rgb kBackground{160, 160, 160};  // the button-shadow grey

  explicit X11Platform(X11Options options = {});
  ~X11Platform() override;
  X11Platform(const X11Platform&) = delete;
  X11Platform& operator=(const X11Platform&) = delete;

  // Connects to the server (nullptr: $DISPLAY). On failure returns false and
  // says why in error.
  bool Open(const char* displayName, std::string& error);
  // The 810x600 window "Quorix V-1.0" of class "QuorixClassEx", not yet shown.
  bool CreateMainWindow(std::string& error);
  void ShowMainWindow();
  void DestroyMainWindow();
  // Delivers events and timer ticks until PostQuit; returns its code. With
  // statsEverySecond set, writes one line of counters per second to stderr.
  int Run(MessageSink& sink, bool statsEverySecond = false);

  // ---- Window ----
  bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override;
  Canvas* CreateBackBuffer(int width, int height) override;
  void ReleaseBackBuffer() override;
  void Present(int x, int y) override;
  void PostQuit(int code) override;
  void StartTimer(uint32_t periodMs) override;
  void StopTimer() override;
  uint32_t WindowHandle() override { return static_cast<uint32_t>(window_); }
  uint32_t DeviceContextHandle() override;

  // ---- the second window ----
  // "Quorix machine" (class "QuorixMachine"), of the back buffer's size,
  // shown at once. Its back buffer has pixels of its own; a present
  // converts and puts only the part given. The server's exposures of it are
  // repainted from the back buffer without the workbench.
  Canvas* OpenSecondWindow(int width, int height) override;
  void PresentSecondWindow(int left, int top, int right, int bottom) override;
  void CloseSecondWindow() override;
  bool SecondWindowOpen() const override { return second_.window != 0; }
  ::Window secondWindow() const { return second_.window; }
  CairoCanvas* secondCanvas() const { return second_.canvas.get(); }

  Display* display() const { return display_; }
  ::Window window() const { return window_; }
  bool usingShm() const { return shmImage_; }
  // The back buffer is the shared image itself: presents copy nothing.
  bool drawsIntoSharedImage() const { return sharedCanvas_; }
  bool quitPosted() const { return quitPosted_; }
  const LoopStats& stats() const { return stats_; }
  CairoCanvas* canvas() const { return canvas_.get(); }

 private:
  bool ChooseVisual(std::string& error);
  bool CreateImage(int width, int height);
  void DestroyImage();
  // The server reads a shared image while it handles the put; wait for its
  // completion notice before the pixels are overwritten.
  void WaitForShmCompletion();
  void Dispatch(const XEvent& event, MessageSink& sink);
  // An event of the second window; false when it belongs to another one.
  bool DispatchSecond(const XEvent& event, MessageSink& sink);
  void PrintStats(uint64_t elapsedNs, uint64_t cpuNs, const LoopStats& since);

  X11Options options_;
  Display* display_ = nullptr;
  int screen_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  Colormap colormap_ = 0;
  bool ownColormap_ = false;
  PixelFormat format_;
  ::Window window_ = 0;
  bool windowGone_ = false;
  GC gc_ = nullptr;
  EventContext eventContext_;
  std::unique_ptr<WindowFinder> finder_;

  std::unique_ptr<CairoCanvas> canvas_;
  XImage* image_ = nullptr;
  bool shmImage_ = false;
  bool sharedCanvas_ = false;  // canvas_ draws into image_'s shared segment
  XShmSegmentInfo shmInfo_{};
  int shmCompletionType_ = -1;
  bool shmPending_ = false;

  bool timerRunning_ = false;
  uint64_t periodNs_ = 0;
  uint64_t nextTickNs_ = 0;

  struct SecondWindow {
    ::Window window = 0;
    bool gone = false;  // destroyed by someone else
    GC gc = nullptr;
    XImage* image = nullptr;  // in the visual's format, pixels of its own
    PixelFormat format;
    std::unique_ptr<CairoCanvas> canvas;
    EventContext context;
  };
  SecondWindow second_;

  bool quitPosted_ = false;
  int quitCode_ = 0;
  LoopStats stats_;
};

}  // namespace quorix::x11
