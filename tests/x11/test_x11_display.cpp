// The X11 backend against a real X server (run on a private Xvfb): finding
// the editor's window and reading its title in the ways window managers and
// toolkits publish them, the workbench window's properties, presenting the
// back buffer with and without MIT-SHM, and the message loop.

// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "backends/x11/event_map.h"
#include "backends/x11/x11_platform.h"
#include "platform/platform.h"

namespace quorix::x11 {
namespace {

constexpr char kEditorClass[] = "TQuorixClassTE";

Atom A(Display* d, const char* name) { return XInternAtom(d, name, False); }

void SetLongs(Display* d, ::Window w, const char* prop, Atom type, std::vector<long> values) {
  XChangeProperty(d, w, A(d, prop), type, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(values.data()), static_cast<int>(values.size()));
}

void SetBytes(Display* d, ::Window w, Atom prop, Atom type, const std::string& bytes) {
  XChangeProperty(d, w, prop, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<int>(bytes.size()));
}

// ---- finding the editor ----------------------------------------------------

enum class NameKind { Absent, String, Compound };

// One window of a scene, with the properties a toolkit or window manager
// would have put on it.
struct Win {
  std::string cls = kEditorClass;
  std::optional<std::string> netWmName;  // UTF-8
  NameKind wmNameKind = NameKind::Absent;
  std::string wmName;  // Latin-1 for String, UTF-8 text for Compound
  bool mapped = true;
  std::optional<long> wmState;  // NormalState, IconicState, WithdrawnState
  bool framed = false;          // reparented into a mapped frame window
  bool overrideRedirect = false;

  Win& Class(std::string c) {
    cls = std::move(c);
    return *this;
  }
  Win& Title(std::string t) {
    netWmName = std::move(t);
    return *this;
  }
  Win& WmName(NameKind k, std::string t) {
    wmNameKind = k;
    wmName = std::move(t);
    return *this;
  }
  Win& Unmapped() {
    mapped = false;
    return *this;
  }
  Win& State(long s) {
    wmState = s;
    return *this;
  }
  Win& Framed() {
    framed = true;
    return *this;
  }
  Win& OverrideRedirect() {
    overrideRedirect = true;
    return *this;
  }
};

Win Editor(std::string title) { return Win().Title(std::move(title)); }

enum class Ewmh { Absent, Live, Stale };

struct Scene {
  const char* name;
  std::vector<Win> windows;
  Ewmh ewmh = Ewmh::Absent;
  std::vector<int> clientList;               // indices into windows; -1: a destroyed window
  std::optional<std::string> expectedTitle;  // nullopt: no editor found
};

class X11Display : public ::testing::Test {
 protected:
  void SetUp() override {
    d_ = XOpenDisplay(nullptr);
    ASSERT_NE(d_, nullptr) << "no X display";
    root_ = DefaultRootWindow(d_);
  }
  void TearDown() override {
    if (d_ == nullptr) return;
    for (::Window w : created_) XDestroyWindow(d_, w);
    XDeleteProperty(d_, root_, A(d_, "_NET_CLIENT_LIST"));
    XDeleteProperty(d_, root_, A(d_, "_NET_SUPPORTING_WM_CHECK"));
    XCloseDisplay(d_);
  }

  ::Window NewWindow(::Window parent, bool overrideRedirect = false) {
    XSetWindowAttributes a{};
    a.override_redirect = overrideRedirect;
    ::Window w = XCreateWindow(d_, parent, 0, 0, 50, 50, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect, &a);
    if (parent == root_) created_.push_back(w);
    return w;
  }

  ::Window Build(const Win& want) {
    ::Window top = want.framed ? NewWindow(root_) : 0;
    ::Window w = NewWindow(want.framed ? top : root_, want.overrideRedirect);
    std::string hint = "editor";
    hint += '\0';
    hint += want.cls;
    hint += '\0';
    SetBytes(d_, w, XA_WM_CLASS, XA_STRING, hint);
    if (want.netWmName)
      SetBytes(d_, w, A(d_, "_NET_WM_NAME"), A(d_, "UTF8_STRING"), *want.netWmName);
    if (want.wmNameKind == NameKind::String) SetBytes(d_, w, XA_WM_NAME, XA_STRING, want.wmName);
    if (want.wmNameKind == NameKind::Compound) {
      XTextProperty p{};
      char* list[] = {const_cast<char*>(want.wmName.c_str())};
      EXPECT_EQ(Xutf8TextListToTextProperty(d_, list, 1, XCompoundTextStyle, &p), Success);
      EXPECT_EQ(p.encoding, A(d_, "COMPOUND_TEXT"));
      XSetWMName(d_, w, &p);
      XFree(p.value);
    }
    if (want.wmState) SetLongs(d_, w, "WM_STATE", A(d_, "WM_STATE"), {*want.wmState, 0});
    if (want.mapped) XMapWindow(d_, w);
    if (want.framed) XMapWindow(d_, top);
    return w;
  }

  Display* d_ = nullptr;
  ::Window root_ = 0;
  std::vector<::Window> created_;
};

TEST_F(X11Display, FindsTheEditorAndReadsItsTitle) {
  const std::string longTitle(300, '\xE9');  // Latin-1 e-acute, kept to 249
  std::string longUtf8;
  for (int i = 0; i < 300; ++i) longUtf8 += "\xC3\xA9";
  X11Platform platform;
  std::string error;
  ASSERT_TRUE(platform.Open(nullptr, error)) << error;
  const Win helper = Editor("/helper").Unmapped();  // a toolkit's hidden window of the class

  const Scene scenes[] = {
      {"UTF-8 _NET_WM_NAME",
       {Editor("/tmp/caf\xC3\xA9 \xE2\x82\xAC.asm")},
       Ewmh::Absent,
       {},
       "/tmp/caf\xE9 \x80.asm"},
      {"WM_NAME only, Latin-1",
       {Win().WmName(NameKind::String, "/tmp/\xE9t\xE9.asm")},
       Ewmh::Absent,
       {},
       "/tmp/\xE9t\xE9.asm"},
      {"WM_NAME only, compound text",
       {Win().WmName(NameKind::Compound, "/tmp/\xC3\xA9.asm")},
       Ewmh::Absent,
       {},
       "/tmp/\xE9.asm"},
      {"_NET_WM_NAME wins over WM_NAME",
       {Editor("/a/right.asm").WmName(NameKind::String, "/a/wrong.asm")},
       Ewmh::Absent,
       {},
       "/a/right.asm"},
      {"no title at all", {Win()}, Ewmh::Absent, {}, ""},
      {"unrepresentable characters",
       {Editor("/tmp/\xE6\x97\xA5\xE2\x86\x92.asm")},
       Ewmh::Absent,
       {},
       "/tmp/\xE6\x97\xA5\xE2\x86\x92.asm"},  // kept in UTF-8: the file's own name
      {"long UTF-8 title cut after conversion",
       {Editor(longUtf8)},
       Ewmh::Absent,
       {},
       longTitle.substr(0, 249)},
      {"other class", {Editor("/x").Class("TQuorixClassTEX")}, Ewmh::Absent, {}, std::nullopt},
      {"class compared exactly",
       {Editor("/x").Class("tquorixclasste")},
       Ewmh::Absent,
       {},
       std::nullopt},
      {"hidden helper window is not the editor", {helper}, Ewmh::Absent, {}, std::nullopt},
      {"hidden helper, then the editor",
       {helper, Editor("/real.asm")},
       Ewmh::Absent,
       {},
       "/real.asm"},
      {"override-redirect popup",
       {Editor("/popup").OverrideRedirect()},
       Ewmh::Absent,
       {},
       std::nullopt},
      {"framed by a window manager",
       {Editor("/framed.asm").State(NormalState).Framed()},
       Ewmh::Absent,
       {},
       "/framed.asm"},
      {"iconified under a window manager",
       {Editor("/iconic.asm").Unmapped().State(IconicState).Framed()},
       Ewmh::Absent,
       {},
       "/iconic.asm"},
      {"withdrawn",
       {Editor("/gone.asm").Unmapped().State(WithdrawnState)},
       Ewmh::Absent,
       {},
       std::nullopt},
      {"EWMH client list is what counts",
       {Editor("/unlisted.asm"), Editor("/listed.asm").Unmapped()},
       Ewmh::Live,
       {1},
       "/listed.asm"},
      {"EWMH list with a destroyed window",
       {Editor("/listed.asm").Unmapped()},
       Ewmh::Live,
       {-1, 0},
       "/listed.asm"},
      {"list of a window manager that has gone",
       {Editor("/unlisted.asm"), Editor("/listed.asm").Unmapped()},
       Ewmh::Stale,
       {1},
       "/unlisted.asm"},
      {"no editor", {Editor("/x").Class("SomethingElse")}, Ewmh::Absent, {}, std::nullopt},
  };

  for (const Scene& s : scenes) {
    std::vector<::Window> windows;
    for (const Win& w : s.windows) windows.push_back(Build(w));
    if (s.ewmh != Ewmh::Absent) {
      ::Window check = NewWindow(root_);
      SetLongs(d_, check, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(check)});
      SetLongs(d_, root_, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(check)});
      ::Window dead = NewWindow(root_);
      XDestroyWindow(d_, dead);
      created_.pop_back();
      if (s.ewmh == Ewmh::Stale) {
        XDestroyWindow(d_, check);
        created_.erase(std::find(created_.begin(), created_.end(), check));
      }
      std::vector<long> list;
      for (int i : s.clientList) list.push_back(static_cast<long>(i < 0 ? dead : windows[i]));
      SetLongs(d_, root_, "_NET_CLIENT_LIST", XA_WINDOW, list);
    }
    XSync(d_, False);

    // The title as the workbench gets it: a C string of at most 249 bytes.
    char buf[250 + 8];
    std::memset(buf, '#', sizeof buf);
    ::testing::internal::CaptureStderr();
    bool found = platform.FindWindowTitle(kEditorClass, buf, 250);
    // Windows that vanish under the search are expected, not reported.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << s.name;
    EXPECT_EQ(found, s.expectedTitle.has_value()) << s.name;
    if (found && s.expectedTitle) {
      EXPECT_EQ(std::string(buf), *s.expectedTitle) << s.name;
    }
    EXPECT_EQ(buf[250], '#') << s.name;

    for (::Window w : created_) XDestroyWindow(d_, w);
    created_.clear();
    XDeleteProperty(d_, root_, A(d_, "_NET_CLIENT_LIST"));
    XDeleteProperty(d_, root_, A(d_, "_NET_SUPPORTING_WM_CHECK"));
    XSync(d_, False);
  }
}

// ---- the workbench window --------------------------------------------------

std::string ReadString(Display* d, ::Window w, Atom prop, Atom type) {
  Atom actual;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, prop, 0, 1024, False, type, &actual, &format, &n, &after, &data) !=
          Success ||
      data == nullptr) {
    return "<missing>";
  }
  std::string s(reinterpret_cast<char*>(data), n);
  XFree(data);
  return s;
}

Rgb PixelOf(Display* d, ::Window w, int x, int y) {
  XImage* img = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (img == nullptr) return {1, 2, 3};
  unsigned long p = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
}

TEST_F(X11Display, WindowIsTheWorkbenchs) {
  X11Platform platform;
  std::string error;
  ASSERT_TRUE(platform.Open(nullptr, error)) << error;
  ASSERT_TRUE(platform.CreateMainWindow(error)) << error;
  platform.ShowMainWindow();
  ::Window w = platform.window();
  EXPECT_EQ(platform.WindowHandle(), static_cast<uint32_t>(w));

  EXPECT_EQ(ReadString(d_, w, XA_WM_CLASS, XA_STRING), std::string("quorix\0QuorixClassEx\0", 21));
  EXPECT_EQ(ReadString(d_, w, XA_WM_NAME, XA_STRING), "Quorix V-1.0");
  EXPECT_EQ(ReadString(d_, w, A(d_, "_NET_WM_NAME"), A(d_, "UTF8_STRING")), "Quorix V-1.0");
  Atom* protocols = nullptr;
  int count = 0;
  ASSERT_TRUE(XGetWMProtocols(d_, w, &protocols, &count));
  std::vector<Atom> list(protocols, protocols + count);
  XFree(protocols);
  EXPECT_EQ(list, std::vector<Atom>{A(d_, "WM_DELETE_WINDOW")});
  XWindowAttributes attrs;
  ASSERT_TRUE(XGetWindowAttributes(d_, w, &attrs));
  EXPECT_EQ(attrs.width, 810);
  EXPECT_EQ(attrs.height, 600);
}

// Every pixel of the window's 800x600 corner against the back buffer.
void ExpectWindowShows(X11Platform& platform, const char* what) {
  XImage* img =
      XGetImage(platform.display(), platform.window(), 0, 0, 800, 600, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr) << what;
  const CairoCanvas& bb = *platform.canvas();
  int wrong = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      const Rgb got{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                    static_cast<uint8_t>(p)};
      if (got != bb.PixelAt(x, y) && wrong++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  XDestroyImage(img);
  EXPECT_EQ(wrong, 0) << what << ": first at " << firstX << "," << firstY;
}

class PresentPath : public X11Display, public ::testing::WithParamInterface<bool> {
 protected:
  // The window shown with an 800x600 back buffer, MIT-SHM allowed or not.
  Canvas* Show(X11Platform& platform) {
    std::string error;
    EXPECT_TRUE(platform.Open(nullptr, error)) << error;
    EXPECT_TRUE(platform.CreateMainWindow(error)) << error;
    platform.ShowMainWindow();
    return platform.CreateBackBuffer(800, 600);
  }
};

// A step draws right after the previous present; where the server reads
// the back buffer itself, that drawing must wait until the put is done, or
// the window would show a mix of the two pictures.
TEST_P(PresentPath, DrawingAfterAPresentDoesNotReachTheWindow) {
  const bool allowShm = GetParam();
  X11Platform platform(X11Options{allowShm});
  Canvas* canvas = Show(platform);
  ASSERT_NE(canvas, nullptr);
  const uint32_t brushes[] = {canvas->CreateSolidBrush({0, 0, 255}),
                              canvas->CreateSolidBrush({255, 255, 0})};
  canvas->Select(canvas->DefaultPen());
  for (int step = 0; step < 20; ++step) {
    canvas->Select(brushes[step % 2]);
    canvas->Rectangle(0, 0, 800, 600);
    canvas->Select(brushes[(step + 1) % 2]);
    canvas->Rectangle(100 + step, 50, 700, 550);
    platform.Present(0, 0);
    // What the window must show from now on.
    const Rgb outer = platform.canvas()->PixelAt(1, 1);
    const Rgb inner = platform.canvas()->PixelAt(400, 300);
    // The next step's picture, at once, in the other colours, never presented.
    canvas->Select(brushes[(step + 1) % 2]);
    canvas->Rectangle(0, 0, 800, 600);
    XSync(platform.display(), False);
    const struct {
      int x, y;
      Rgb rgb;
    } probes[] = {{1, 1, outer},     {798, 598, outer}, {99 + step, 300, outer},
                  {400, 300, inner}, {698, 548, inner}, {800, 300, X11Platform::kBackground}};
    for (const auto& p : probes)
      ASSERT_EQ(PixelOf(d_, platform.window(), p.x, p.y), p.rgb)
          << "step " << step << " at " << p.x << "," << p.y;
  }
  platform.Present(0, 0);
  XSync(platform.display(), False);
  ExpectWindowShows(platform, "the last drawing presented");
}

TEST_P(PresentPath, BackBufferReachesTheWindow) {
  const bool allowShm = GetParam();
  X11Platform platform(X11Options{allowShm});
  Canvas* canvas = Show(platform);
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(platform.usingShm(), allowShm) << "Xvfb offers MIT-SHM to a local client";

  // On Xvfb's depth-24 visual the shared image is the back buffer itself.
  EXPECT_EQ(platform.drawsIntoSharedImage(), allowShm);

  canvas->Select(canvas->StockBlackBrush());
  canvas->Select(canvas->DefaultPen());
  canvas->Rectangle(0, 0, 800, 600);
  canvas->Select(canvas->CreateSolidBrush({0, 175, 0}));
  canvas->Select(canvas->CreatePen({255, 0, 0}));
  canvas->Rectangle(350, 100, 700, 450);
  // Twice: with MIT-SHM the second put must wait for the first one.
  for (int i = 0; i < 2; ++i) platform.Present(0, 0);
  XSync(platform.display(), False);
  ExpectWindowShows(platform, "after two presents");

  const struct {
    int x, y;
    Rgb rgb;
  } probes[] = {
      {350, 100, {255, 0, 0}},
      {699, 449, {255, 0, 0}},
      {351, 101, {0, 175, 0}},
      {700, 450, {0, 0, 0}},
      {0, 0, {0, 0, 0}},
      {799, 599, {0, 0, 0}},
      {800, 0, X11Platform::kBackground},
      {809, 599, X11Platform::kBackground},
  };
  for (const auto& p : probes) {
    EXPECT_EQ(PixelOf(d_, platform.window(), p.x, p.y), p.rgb) << p.x << "," << p.y;
  }
  EXPECT_EQ(platform.stats().presents, 2u);
  platform.ReleaseBackBuffer();
  platform.Present(0, 0);  // after release: nothing to present, and no crash
  EXPECT_EQ(platform.stats().presents, 2u);
}

INSTANTIATE_TEST_SUITE_P(ShmAndPlain, PresentPath, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "MitShm" : "XPutImage"; });

// Drives the loop the way a user would: the pointer moves over the window,
// then the window manager asks it to close.
class ScriptedSink : public MessageSink {
 public:
  ScriptedSink(X11Platform& platform, Display* other) : platform_(platform), other_(other) {}

  bool WindowProc(uint32_t msg, uint32_t, uint32_t lParam) override {
    messages.push_back({msg, lParam});
    if (msg == MsgMouseMove && lParam == PackPoint(123, 45) && !closeSent_) {
      closeSent_ = true;
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = platform_.window();
      e.xclient.message_type = A(other_, "WM_PROTOCOLS");
      e.xclient.format = 32;
      e.xclient.data.l[0] = static_cast<long>(A(other_, "WM_DELETE_WINDOW"));
      XSendEvent(other_, platform_.window(), False, NoEventMask, &e);
      XFlush(other_);
    }
    if (msg == MsgClose) platform_.PostQuit(7);
    return true;
  }
  void TimerTick(uint32_t timeMs) override {
    tickTimes.push_back(timeMs);
    if (tickTimes.size() == 200 && !warped_) {
      // The window has been mapped for a while now.
      warped_ = true;
      XWarpPointer(other_, None, platform_.window(), 0, 0, 0, 0, 123, 45);
      XFlush(other_);
    }
    if (tickTimes.size() > 20000) platform_.PostQuit(99);  // the script got stuck
  }

  std::vector<std::pair<uint32_t, uint32_t>> messages;
  std::vector<uint32_t> tickTimes;

 private:
  X11Platform& platform_;
  Display* other_;
  bool warped_ = false;
  bool closeSent_ = false;
};

TEST_F(X11Display, LoopDeliversEventsAndTicks) {
  X11Platform platform;
  std::string error;
  ASSERT_TRUE(platform.Open(nullptr, error)) << error;
  ASSERT_TRUE(platform.CreateMainWindow(error)) << error;
  platform.ShowMainWindow();
  platform.StartTimer(1);
  ScriptedSink sink(platform, d_);

  auto start = std::chrono::steady_clock::now();
  int code = platform.Run(sink);
  double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(code, 7) << "quits with the code the close handling posted";
  auto move = std::find(sink.messages.begin(), sink.messages.end(),
                        std::pair<uint32_t, uint32_t>{MsgMouseMove, PackPoint(123, 45)});
  EXPECT_NE(move, sink.messages.end()) << "the warped pointer arrives as a move in window pixels";
  ASSERT_FALSE(sink.messages.empty());
  EXPECT_EQ(sink.messages.back().first, MsgClose) << "nothing is delivered after the quit";
  EXPECT_EQ(platform.stats().ticks, sink.tickTimes.size());
  // A 1 ms timer: never more ticks than milliseconds (no bursts of missed
  // ticks), and not far fewer on an idle server.
  ASSERT_GE(sink.tickTimes.size(), 200u);
  EXPECT_LE(static_cast<double>(sink.tickTimes.size()), elapsedMs + 2);
  EXPECT_GE(static_cast<double>(sink.tickTimes.size()), elapsedMs / 10);
  for (size_t i = 1; i < sink.tickTimes.size(); ++i) {
    ASSERT_GE(sink.tickTimes[i], sink.tickTimes[i - 1]) << "tick times are milliseconds, in order";
  }
  EXPECT_LE(sink.tickTimes.back() - sink.tickTimes.front(), elapsedMs + 1);
}

// The second window: its back buffer reaches it (only the part presented),
// and its events reach the sink as the second window's, never the main's.
class TwoWindowSink : public MessageSink {
 public:
  TwoWindowSink(X11Platform& platform, Display* other) : platform_(platform), other_(other) {}

  bool WindowProc(uint32_t msg, uint32_t, uint32_t) override {
    if (msg != MsgNull) main.push_back(msg);
    return true;
  }
  bool SecondWindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) override {
    second.push_back({msg, wParam, lParam});
    if (msg == MsgClose) platform_.PostQuit(5);
    return true;
  }
  void TimerTick(uint32_t) override {
    if (++ticks_ == 100) {
      // F5, Shift+F11 and a typed 'a' at the second window, then its close box.
      const ::Window w = platform_.secondWindow();
      for (const auto& [sym, state] : {std::pair<KeySym, unsigned>{XK_F5, 0u},
                                       {XK_F11, ShiftMask},
                                       {XK_Up, ControlMask},
                                       {XK_a, 0u}}) {
        XEvent e{};
        e.xkey.type = KeyPress;
        e.xkey.window = w;
        e.xkey.root = DefaultRootWindow(other_);
        e.xkey.keycode = XKeysymToKeycode(other_, sym);
        e.xkey.state = state;
        e.xkey.same_screen = True;
        XSendEvent(other_, w, False, KeyPressMask, &e);
      }
      XWarpPointer(other_, None, w, 0, 0, 0, 0, 30, 40);
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = w;
      e.xclient.message_type = A(other_, "WM_PROTOCOLS");
      e.xclient.format = 32;
      e.xclient.data.l[0] = static_cast<long>(A(other_, "WM_DELETE_WINDOW"));
      XSendEvent(other_, w, False, NoEventMask, &e);
      XFlush(other_);
    }
    if (ticks_ > 20000) platform_.PostQuit(99);
  }

  struct Message {
    uint32_t msg, wParam, lParam;
    friend bool operator==(const Message&, const Message&) = default;
  };
  std::vector<uint32_t> main;
  std::vector<Message> second;

 private:
  X11Platform& platform_;
  Display* other_;
  int ticks_ = 0;
};

TEST_F(X11Display, SecondWindowShowsWhatIsPresentedAndSendsItsOwnEvents) {
  X11Platform platform;
  std::string error;
  ASSERT_TRUE(platform.Open(nullptr, error)) << error;
  ASSERT_TRUE(platform.CreateMainWindow(error)) << error;
  platform.ShowMainWindow();
  EXPECT_FALSE(platform.SecondWindowOpen());
  Canvas* canvas = platform.OpenSecondWindow(300, 200);
  ASSERT_NE(canvas, nullptr);
  EXPECT_TRUE(platform.SecondWindowOpen());
  EXPECT_EQ(platform.OpenSecondWindow(300, 200), canvas) << "open again: the same window";
  EXPECT_EQ(ReadString(d_, platform.secondWindow(), XA_WM_NAME, XA_STRING), "Quorix machine");
  EXPECT_EQ(ReadString(d_, platform.secondWindow(), XA_WM_CLASS, XA_STRING),
            std::string("quorix-machine\0QuorixMachine\0", 29));
  // Wait until it is mapped, then paint it all, then only a part of it.
  for (int i = 0; i < 200; ++i) {
    XWindowAttributes a{};
    XGetWindowAttributes(d_, platform.secondWindow(), &a);
    if (a.map_state == IsViewable) break;
    XSync(platform.display(), False);
  }
  canvas->Select(canvas->CreateSolidBrush({0, 0, 255}));
  canvas->Select(canvas->DefaultPen());
  canvas->Rectangle(0, 0, 300, 200);
  platform.PresentSecondWindow(0, 0, 300, 200);
  canvas->Select(canvas->CreateSolidBrush({255, 255, 0}));
  canvas->Rectangle(0, 0, 300, 200);
  platform.PresentSecondWindow(100, 50, 200, 150);
  XSync(platform.display(), False);
  const struct {
    int x, y;
    Rgb rgb;
  } probes[] = {{1, 1, {0, 0, 255}},       {99, 100, {0, 0, 255}},  {100, 50, {255, 255, 0}},
                {199, 149, {255, 255, 0}}, {200, 100, {0, 0, 255}}, {298, 198, {0, 0, 255}}};
  for (const auto& p : probes)
    EXPECT_EQ(PixelOf(d_, platform.secondWindow(), p.x, p.y), p.rgb) << p.x << "," << p.y;

  platform.StartTimer(1);
  TwoWindowSink sink(platform, d_);
  EXPECT_EQ(platform.Run(sink), 5) << "the second window's close box reached its sink";
  using M = TwoWindowSink::Message;
  std::vector<M> keys;
  for (const M& m : sink.second)
    if (m.msg == MsgKeyDown || m.msg == MsgChar) keys.push_back(m);
  EXPECT_EQ(keys, (std::vector<M>{{MsgKeyDown, KeyF5, 0},
                                  {MsgKeyDown, KeyF11, ModShift},
                                  {MsgKeyDown, KeyUp, ModControl},
                                  {MsgChar, 'a', 1}}));
  EXPECT_NE(
      std::find(sink.second.begin(), sink.second.end(), M{MsgMouseMove, 0, PackPoint(30, 40)}),
      sink.second.end());
  EXPECT_EQ(sink.second.back().msg, MsgClose);
  for (uint32_t msg : sink.main)
    EXPECT_TRUE(msg != MsgKeyDown && msg != MsgChar && msg != MsgClose) << std::hex << msg;
  platform.CloseSecondWindow();
  EXPECT_FALSE(platform.SecondWindowOpen());
  EXPECT_EQ(platform.secondWindow(), 0u);
}

// Keys reach the workbench as character messages, through the display's
// keyboard map: the character the key types, none for a key that types none.
TEST_F(X11Display, KeyPressesBecomeCharacterMessages) {
  const struct {
    KeySym sym;
    unsigned state;
    uint32_t msg, wParam;
  } cases[] = {
      {XK_a, 0, quorix::MsgChar, 'a'},       {XK_a, ShiftMask, quorix::MsgChar, 'A'},
      {XK_5, 0, quorix::MsgChar, '5'},       {XK_Return, 0, quorix::MsgChar, '\r'},
      {XK_BackSpace, 0, quorix::MsgChar, 8}, {XK_space, 0, quorix::MsgChar, ' '},
      {XK_Shift_L, 0, quorix::MsgNull, 0},   {XK_Left, 0, quorix::MsgNull, 0},
  };
  quorix::x11::EventContext context;
  context.window = 1;
  for (const auto& c : cases) {
    const KeyCode code = XKeysymToKeycode(d_, c.sym);
    if (code == 0) continue;  // not on this keyboard map
    XEvent e{};
    e.type = KeyPress;
    e.xkey.display = d_;
    e.xkey.window = 1;
    e.xkey.keycode = code;
    e.xkey.state = c.state;
    quorix::x11::WindowMessage m = quorix::x11::TranslateEvent(e, context);
    EXPECT_EQ(m.msg, c.msg) << XKeysymToString(c.sym);
    EXPECT_EQ(m.wParam, c.wParam) << XKeysymToString(c.sym);
  }
}

}  // namespace
}  // namespace quorix::x11
