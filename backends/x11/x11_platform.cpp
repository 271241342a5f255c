#include "backends/x11/x11_platform.h"

#include <X11/Xatom.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "backends/x11/error_trap.h"
#include "backends/x11/title_codec.h"

namespace quorix::x11 {

namespace {

constexpr char kTitle[] = "Quorix V-1.0";
constexpr char kClassName[] = "QuorixClassEx";
constexpr char kInstanceName[] = "quorix";
constexpr char kSecondTitle[] = "Quorix machine";
constexpr char kSecondClassName[] = "QuorixMachine";
constexpr char kSecondInstanceName[] = "quorix-machine";
// How long to wait for the server to report a shared-memory put as done.
constexpr int kShmWaitMs = 1000;
// Timer periods up to this one may delay window events until the next tick.
constexpr uint64_t kShortPeriodNs = 2000000;
constexpr uint64_t kNsPerMs = 1000000;
constexpr uint64_t kNsPerSecond = 1000000000;

uint64_t NowNs(clockid_t clock = CLOCK_MONOTONIC) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * kNsPerSecond + static_cast<uint64_t>(ts.tv_nsec);
}

PixelFormat MasksOf(const Visual* v) {
  PixelFormat f;
  f.redMask = static_cast<uint32_t>(v->red_mask);
  f.greenMask = static_cast<uint32_t>(v->green_mask);
  f.blueMask = static_cast<uint32_t>(v->blue_mask);
  return f;
}

struct ShmMatch {
  int type;
  ::Window window;
};

Bool IsShmCompletion(Display*, XEvent* event, XPointer arg) {
  const ShmMatch* m = reinterpret_cast<const ShmMatch*>(arg);
  return event->type == m->type &&
         reinterpret_cast<const XShmCompletionEvent*>(event)->drawable == m->window;
}

void SetUtf8Property(Display* d, ::Window w, const char* name, const char* value) {
  Atom prop = XInternAtom(d, name, False);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, w, prop, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(value),
                  static_cast<int>(std::strlen(value)));
}

}  // namespace

X11Platform::X11Platform(X11Options options) : options_(options) {}

X11Platform::~X11Platform() {
  CloseSecondWindow();
  ReleaseBackBuffer();
  DestroyMainWindow();
  if (display_ != nullptr) {
    if (ownColormap_) XFreeColormap(display_, colormap_);
    finder_.reset();
    XCloseDisplay(display_);
  }
}

bool X11Platform::Open(const char* displayName, std::string& error) {
  InstallErrorHandler();
  display_ = XOpenDisplay(displayName);
  if (display_ == nullptr) {
    const char* name = XDisplayName(displayName);
    if (name == nullptr || *name == 0) {
      error = "no X display: DISPLAY is not set";
    } else {
      error = std::string("cannot open the X display \"") + name + "\"";
    }
    return false;
  }
  screen_ = DefaultScreen(display_);
  if (!ChooseVisual(error)) return false;
  finder_ = std::make_unique<WindowFinder>(display_);
  return true;
}

bool X11Platform::ChooseVisual(std::string& error) {
  visual_ = DefaultVisual(display_, screen_);
  depth_ = DefaultDepth(display_, screen_);
  colormap_ = DefaultColormap(display_, screen_);
  if (visual_->c_class == TrueColor) return true;
  XVisualInfo info;
  if (!XMatchVisualInfo(display_, screen_, 24, TrueColor, &info)) {
    error = "the X server offers no TrueColor visual";
    return false;
  }
  visual_ = info.visual;
  depth_ = info.depth;
  colormap_ = XCreateColormap(display_, RootWindow(display_, screen_), visual_, AllocNone);
  ownColormap_ = true;
  return true;
}

bool X11Platform::CreateMainWindow(std::string& error) {
  XSetWindowAttributes a{};
  a.background_pixel = PackRgb(MasksOf(visual_), kBackground.r, kBackground.g, kBackground.b);
  a.border_pixel = 0;
  a.colormap = colormap_;
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | StructureNotifyMask | PointerMotionMask | ButtonPressMask |
                 ButtonReleaseMask | EnterWindowMask | LeaveWindowMask | KeyPressMask |
                 KeyReleaseMask | FocusChangeMask;
  window_ =
      XCreateWindow(display_, RootWindow(display_, screen_), 0, 0, kClientWidth, kClientHeight, 0,
                    depth_, InputOutput, visual_,
                    CWBackPixel | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &a);
  if (window_ == 0) {
    error = "cannot create the window";
    return false;
  }

  XSizeHints* size = XAllocSizeHints();
  size->flags = PPosition | PSize;
  size->x = 0;
  size->y = 0;
  size->width = kClientWidth;
  size->height = kClientHeight;
  XWMHints* wm = XAllocWMHints();
  wm->flags = InputHint | StateHint;
  wm->input = True;
  wm->initial_state = NormalState;
  XClassHint* cls = XAllocClassHint();
  cls->res_name = const_cast<char*>(kInstanceName);
  cls->res_class = const_cast<char*>(kClassName);
  XTextProperty name{};
  char* title = const_cast<char*>(kTitle);
  XStringListToTextProperty(&title, 1, &name);
  XSetWMProperties(display_, window_, &name, &name, nullptr, 0, size, wm, cls);
  XFree(name.value);
  XFree(size);
  XFree(wm);
  XFree(cls);
  SetUtf8Property(display_, window_, "_NET_WM_NAME", kTitle);
  SetUtf8Property(display_, window_, "_NET_WM_ICON_NAME", kTitle);
  long pid = getpid();
  XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);

  eventContext_.window = window_;
  eventContext_.wmProtocols = XInternAtom(display_, "WM_PROTOCOLS", False);
  eventContext_.wmDeleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  eventContext_.width = kClientWidth;
  eventContext_.height = kClientHeight;
  XSetWMProtocols(display_, window_, &eventContext_.wmDeleteWindow, 1);

  XGCValues values{};
  values.graphics_exposures = False;
  gc_ = XCreateGC(display_, window_, GCGraphicsExposures, &values);
  return true;
}

void X11Platform::ShowMainWindow() {
  if (window_ == 0) return;
  XMapWindow(display_, window_);
  XFlush(display_);
}

void X11Platform::DestroyMainWindow() {
  if (display_ == nullptr) return;
  CloseSecondWindow();
  if (gc_ != nullptr) {
    XFreeGC(display_, gc_);
    gc_ = nullptr;
  }
  if (window_ != 0 && !windowGone_) XDestroyWindow(display_, window_);
  window_ = 0;
  XSync(display_, False);
}

// ---- back buffer ---------------------------------------------------------

bool X11Platform::CreateImage(int width, int height) {
  if (options_.allowShm && XShmQueryExtension(display_)) {
    image_ = XShmCreateImage(display_, visual_, depth_, ZPixmap, nullptr, &shmInfo_, width, height);
    if (image_ != nullptr) {
      shmInfo_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height,
                              IPC_CREAT | 0600);
      if (shmInfo_.shmid >= 0) {
        void* addr = shmat(shmInfo_.shmid, nullptr, 0);
        if (addr != reinterpret_cast<void*>(-1)) {
          shmInfo_.shmaddr = image_->data = static_cast<char*>(addr);
          shmInfo_.readOnly = False;
          // A server on another machine refuses the segment.
          ErrorTrap trap(display_);
          bool attached = XShmAttach(display_, &shmInfo_) && !trap.SyncFailed();
          // Marked for removal now, the segment goes away with the last
          // detach, even if this process dies.
          shmctl(shmInfo_.shmid, IPC_RMID, nullptr);
          if (attached) {
            shmImage_ = true;
            shmCompletionType_ = XShmGetEventBase(display_) + ShmCompletion;
          } else {
            shmdt(addr);
          }
        } else {
          shmctl(shmInfo_.shmid, IPC_RMID, nullptr);
        }
      }
      if (!shmImage_) {
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
      }
    }
  }
  if (image_ == nullptr) {
    image_ = XCreateImage(display_, visual_, depth_, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (image_ == nullptr) return false;
    image_->data = static_cast<char*>(
        std::calloc(static_cast<size_t>(image_->bytes_per_line), static_cast<size_t>(height)));
    if (image_->data == nullptr) {
      XDestroyImage(image_);
      image_ = nullptr;
      return false;
    }
  }
  format_ = MasksOf(visual_);
  format_.redMask = static_cast<uint32_t>(image_->red_mask);
  format_.greenMask = static_cast<uint32_t>(image_->green_mask);
  format_.blueMask = static_cast<uint32_t>(image_->blue_mask);
  format_.bitsPerPixel = image_->bits_per_pixel;
  format_.msbFirst = image_->byte_order == MSBFirst;
  return true;
}

void X11Platform::DestroyImage() {
  if (image_ == nullptr) return;
  if (shmImage_) {
    WaitForShmCompletion();
    XShmDetach(display_, &shmInfo_);
    XSync(display_, False);
    shmdt(shmInfo_.shmaddr);
    image_->data = nullptr;
    shmImage_ = false;
  }
  XDestroyImage(image_);  // frees a plain image's pixels too
  image_ = nullptr;
}

Canvas* X11Platform::CreateBackBuffer(int width, int height) {
  ReleaseBackBuffer();
  if (display_ != nullptr && !CreateImage(width, height)) {
    std::fprintf(stderr, "quorix: cannot create a %dx%d image; the window stays empty\n", width,
                 height);
  }
  sharedCanvas_ = shmImage_ && IsNativeArgb(format_) && image_->width == width &&
                  image_->height == height &&
                  image_->bytes_per_line == CairoCanvas::StrideFor(width);
  if (sharedCanvas_) {
    canvas_ = std::make_unique<CairoCanvas>(width, height, reinterpret_cast<uint8_t*>(image_->data),
                                            image_->bytes_per_line);
    canvas_->SetWriteGuard([this] { WaitForShmCompletion(); });
  } else {
    canvas_ = std::make_unique<CairoCanvas>(width, height);
  }
  return canvas_.get();
}

void X11Platform::ReleaseBackBuffer() {
  canvas_.reset();  // first: it may draw into the image's memory
  sharedCanvas_ = false;
  if (display_ != nullptr) DestroyImage();
}

void X11Platform::WaitForShmCompletion() {
  if (!shmPending_) return;
  ShmMatch match{shmCompletionType_, window_};
  uint64_t deadline = NowNs() + kShmWaitMs * kNsPerMs;
  for (;;) {
    XEvent event;
    if (XCheckIfEvent(display_, &event, IsShmCompletion, reinterpret_cast<XPointer>(&match))) {
      break;
    }
    uint64_t now = NowNs();
    if (now >= deadline) break;  // the put failed and will never complete
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    poll(&p, 1, static_cast<int>((deadline - now) / kNsPerMs) + 1);
    XEventsQueued(display_, QueuedAfterReading);
  }
  shmPending_ = false;
}

void X11Platform::Present(int x, int y) {
  if (canvas_ == nullptr || image_ == nullptr || window_ == 0 || windowGone_) return;
  if (shmImage_) WaitForShmCompletion();
  int w = std::min(canvas_->Width(), image_->width);
  int h = std::min(canvas_->Height(), image_->height);
  if (!sharedCanvas_) {
    ConvertPixels(std::as_const(*canvas_).Data(), canvas_->Stride(),
                  reinterpret_cast<uint8_t*>(image_->data), image_->bytes_per_line, w, h, format_);
  }
  if (shmImage_) {
    XShmPutImage(display_, window_, gc_, image_, 0, 0, x, y, static_cast<unsigned>(w),
                 static_cast<unsigned>(h), True);
    shmPending_ = true;
    // The server reads the back buffer itself: the next drawing waits.
    if (sharedCanvas_) canvas_->ArmWriteGuard();
  } else {
    XPutImage(display_, window_, gc_, image_, 0, 0, x, y, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
  }
  XFlush(display_);
  ++stats_.presents;
}

uint32_t X11Platform::DeviceContextHandle() {
  return gc_ != nullptr ? static_cast<uint32_t>(XGContextFromGC(gc_)) : 0;
}

// ---- other windows -------------------------------------------------------

bool X11Platform::FindWindowTitle(const char* windowClass, char* title, size_t cap) {
  if (finder_ == nullptr) return false;
  std::optional<std::string> found = finder_->FindTitle(windowClass);
  if (!found) return false;
  CopyCString(*found, title, cap);
  return true;
}

// ---- the second window -----------------------------------------------------

Canvas* X11Platform::OpenSecondWindow(int width, int height) {
  if (second_.window != 0) {
    XRaiseWindow(display_, second_.window);
    XFlush(display_);
    return second_.canvas.get();
  }
  if (display_ == nullptr || width <= 0 || height <= 0) return nullptr;
  second_.image = XCreateImage(display_, visual_, depth_, ZPixmap, 0, nullptr,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (second_.image == nullptr) return nullptr;
  second_.image->data = static_cast<char*>(
      std::calloc(static_cast<size_t>(second_.image->bytes_per_line), static_cast<size_t>(height)));
  PixelFormat& f = second_.format;
  f.redMask = static_cast<uint32_t>(second_.image->red_mask);
  f.greenMask = static_cast<uint32_t>(second_.image->green_mask);
  f.blueMask = static_cast<uint32_t>(second_.image->blue_mask);
  f.bitsPerPixel = second_.image->bits_per_pixel;
  f.msbFirst = second_.image->byte_order == MSBFirst;
  XSetWindowAttributes a{};
  a.background_pixel = 0;
  a.border_pixel = 0;
  a.colormap = colormap_;
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | StructureNotifyMask | PointerMotionMask | ButtonPressMask |
                 ButtonReleaseMask | EnterWindowMask | KeyPressMask;
  // Beside the main window, where a window manager leaves the placing to us.
  const int x = kClientWidth + 10;
  second_.window =
      XCreateWindow(display_, RootWindow(display_, screen_), x, 0, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, depth_, InputOutput, visual_,
                    CWBackPixel | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &a);
  if (second_.window == 0 || second_.image->data == nullptr) {
    CloseSecondWindow();
    return nullptr;
  }
  // A window of a fixed size, as the main one.
  XSizeHints* size = XAllocSizeHints();
  size->flags = PPosition | PSize | PMinSize | PMaxSize;
  size->x = x;
  size->y = 0;
  size->width = size->min_width = size->max_width = width;
  size->height = size->min_height = size->max_height = height;
  XClassHint* cls = XAllocClassHint();
  cls->res_name = const_cast<char*>(kSecondInstanceName);
  cls->res_class = const_cast<char*>(kSecondClassName);
  XTextProperty name{};
  char* title = const_cast<char*>(kSecondTitle);
  XStringListToTextProperty(&title, 1, &name);
  XSetWMProperties(display_, second_.window, &name, &name, nullptr, 0, size, nullptr, cls);
  XFree(name.value);
  XFree(size);
  XFree(cls);
  SetUtf8Property(display_, second_.window, "_NET_WM_NAME", kSecondTitle);
  second_.context = eventContext_;
  second_.context.window = second_.window;
  second_.context.width = width;
  second_.context.height = height;
  second_.context.namedKeys = true;
  XSetWMProtocols(display_, second_.window, &second_.context.wmDeleteWindow, 1);
  XGCValues values{};
  values.graphics_exposures = False;
  second_.gc = XCreateGC(display_, second_.window, GCGraphicsExposures, &values);
  second_.canvas = std::make_unique<CairoCanvas>(width, height);
  XMapRaised(display_, second_.window);
  // Once this returns the window exists for every client (a flush alone
  // left other connections asking for a window the server had not made).
  XSync(display_, False);
  return second_.canvas.get();
}

void X11Platform::PresentSecondWindow(int left, int top, int right, int bottom) {
  SecondWindow& w = second_;
  if (w.window == 0 || w.gone || w.canvas == nullptr) return;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, w.canvas->Width());
  bottom = std::min(bottom, w.canvas->Height());
  if (left >= right || top >= bottom) return;
  const CairoCanvas& canvas = *w.canvas;
  const int bytes = (w.image->bits_per_pixel + 7) / 8;
  ConvertPixels(canvas.Data() + size_t(top) * canvas.Stride() + size_t(left) * 4, canvas.Stride(),
                reinterpret_cast<uint8_t*>(w.image->data) + size_t(top) * w.image->bytes_per_line +
                    size_t(left) * bytes,
                w.image->bytes_per_line, right - left, bottom - top, w.format);
  XPutImage(display_, w.window, w.gc, w.image, left, top, left, top,
            static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
  XFlush(display_);
}

void X11Platform::CloseSecondWindow() {
  SecondWindow& w = second_;
  if (display_ != nullptr) {
    if (w.gc != nullptr) XFreeGC(display_, w.gc);
    if (w.window != 0 && !w.gone) XDestroyWindow(display_, w.window);
    if (w.image != nullptr) XDestroyImage(w.image);  // and its pixels
    if (w.window != 0) XFlush(display_);
  }
  w = SecondWindow{};
}

bool X11Platform::DispatchSecond(const XEvent& event, MessageSink& sink) {
  SecondWindow& w = second_;
  if (w.window == 0 || event.xany.window != w.window) return false;
  switch (event.type) {
    case Expose:
      // The server lost part of the window: put it back from the back buffer.
      PresentSecondWindow(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                          event.xexpose.y + event.xexpose.height);
      return true;
    case ConfigureNotify:
      w.context.width = event.xconfigure.width;
      w.context.height = event.xconfigure.height;
      return true;
    case DestroyNotify: w.gone = true; break;
    default: break;
  }
  const WindowMessage m = TranslateEvent(event, w.context);
  ++stats_.messages;
  if (m.msg != MsgNull) sink.SecondWindowProc(m.msg, m.wParam, m.lParam);
  return true;
}

// ---- loop ----------------------------------------------------------------

void X11Platform::PostQuit(int code) {
  quitPosted_ = true;
  quitCode_ = code;
}

void X11Platform::StartTimer(uint32_t periodMs) {
  timerRunning_ = true;
  periodNs_ = std::max<uint32_t>(periodMs, 1) * kNsPerMs;
  nextTickNs_ = NowNs() + periodNs_;
}

void X11Platform::StopTimer() { timerRunning_ = false; }

void X11Platform::Dispatch(const XEvent& event, MessageSink& sink) {
  if (shmImage_ && event.type == shmCompletionType_) {
    // The transfer's own notice, not an event of the window.
    shmPending_ = false;
    return;
  }
  if (DispatchSecond(event, sink)) return;
  switch (event.type) {
    case ConfigureNotify:
      if (event.xconfigure.window == window_) {
        eventContext_.width = event.xconfigure.width;
        eventContext_.height = event.xconfigure.height;
      }
      break;
    case MappingNotify: {
      XMappingEvent mapping = event.xmapping;
      XRefreshKeyboardMapping(&mapping);
      break;
    }
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) windowGone_ = true;
      break;
    default: break;
  }
  WindowMessage m = TranslateEvent(event, eventContext_);
  ++stats_.messages;
  // Nothing is left for a default handling to do on X: the window is closed
  // by the program's own exit, and every repaint is the next step.
  sink.WindowProc(m.msg, m.wParam, m.lParam);
}

void X11Platform::PrintStats(uint64_t elapsedNs, uint64_t cpuNs, const LoopStats& since) {
  double seconds = static_cast<double>(elapsedNs) / kNsPerSecond;
  uint64_t ticks = stats_.ticks - since.ticks;
  uint64_t messages = stats_.messages - since.messages;
  std::fprintf(stderr,
               "quorix-stats: seconds=%.3f ticks=%llu messages=%llu presents=%llu "
               "steps_per_second=%.1f cpu_percent=%.1f present=%s copy=%s\n",
               seconds, static_cast<unsigned long long>(ticks),
               static_cast<unsigned long long>(messages),
               static_cast<unsigned long long>(stats_.presents - since.presents),
               seconds > 0 ? static_cast<double>(ticks + messages) / seconds : 0.0,
               elapsedNs > 0 ? 100.0 * static_cast<double>(cpuNs) / elapsedNs : 0.0,
               shmImage_ ? "MIT-SHM" : "XPutImage", sharedCanvas_ ? "none" : "convert");
}

int X11Platform::Run(MessageSink& sink, bool statsEverySecond) {
  const int fd = ConnectionNumber(display_);
  uint64_t statsStart = NowNs();
  uint64_t cpuStart = NowNs(CLOCK_PROCESS_CPUTIME_ID);
  LoopStats statsBase = stats_;
  while (!quitPosted_) {
    // Window events go first; the timer only fires when none is waiting.
    while (!quitPosted_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      Dispatch(event, sink);
    }
    if (quitPosted_) break;

    uint64_t now = NowNs();
    if (statsEverySecond && now - statsStart >= kNsPerSecond) {
      uint64_t cpu = NowNs(CLOCK_PROCESS_CPUTIME_ID);
      PrintStats(now - statsStart, cpu - cpuStart, statsBase);
      statsStart = now;
      cpuStart = cpu;
      statsBase = stats_;
    }
    int64_t waitNs = -1;
    if (timerRunning_) {
      if (now >= nextTickNs_) {
        // A late tick does not make up for the ones it missed: the next one
        // is a period after this one was due, or at once if that is past too.
        nextTickNs_ = std::max(nextTickNs_ + periodNs_, now);
        ++stats_.ticks;
        sink.TimerTick(static_cast<uint32_t>(now / kNsPerMs));
        continue;
      }
      waitNs = static_cast<int64_t>(nextTickNs_ - now);
    }
    if (statsEverySecond) {
      int64_t untilStats = static_cast<int64_t>(statsStart + kNsPerSecond - now);
      if (waitNs < 0 || untilStats < waitNs) waitNs = std::max<int64_t>(untilStats, 0);
    }
    XFlush(display_);
    // Right after a shared-memory put the server's next message is most
    // likely its completion notice, which only the next drawing needs. With
    // a fast timer, sleep until the tick instead of waking for it: events
    // that come meanwhile wait at most one short period.
    const bool sleepThrough = shmPending_ && timerRunning_ && periodNs_ <= kShortPeriodNs &&
                              waitNs >= 0 && static_cast<uint64_t>(waitNs) <= periodNs_;
    pollfd p{sleepThrough ? -1 : fd, POLLIN, 0};
    timespec ts{static_cast<time_t>(waitNs / static_cast<int64_t>(kNsPerSecond)),
                static_cast<long>(waitNs % static_cast<int64_t>(kNsPerSecond))};
    if (ppoll(&p, 1, waitNs < 0 ? nullptr : &ts, nullptr) < 0 && errno != EINTR) {
      std::fprintf(stderr, "quorix: waiting for the X server failed: %s\n", std::strerror(errno));
      return 1;
    }
  }
  if (statsEverySecond) {
    PrintStats(NowNs() - statsStart, NowNs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart, statsBase);
  }
  return quitCode_;
}

}  // namespace quorix::x11
