// The X11 backend's pure parts: title conversion, event translation and
// pixel conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/x11/event_map.h"
#include "backends/x11/pixel_convert.h"
#include "backends/x11/title_codec.h"
#include "platform/platform.h"

namespace quorix::x11 {
namespace {

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::string expected;
};

TEST(TitleCodec, Utf8To1252) {
  const Utf8Case cases[] = {
      {"ascii path", "/home/ann/Compiler/TheFile.asm", "/home/ann/Compiler/TheFile.asm"},
      {"latin letter", "/tmp/caf\xC3\xA9.asm", "/tmp/caf\xE9.asm"},
      {"euro sign", "\xE2\x82\xAC", "\x80"},
      {"s caron and y diaeresis", "\xC5\xA0\xC5\xB8", "\x8A\x9F"},
      {"typographic quotes", "\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},
      {"no-break space", "\xC2\xA0", "\xA0"},
      {"arrow not representable",
       "a\xE2\x86\x92"
       "b",
       "a?b"},
      {"four-byte emoji is one character", "\xF0\x9F\x98\x80", "?"},
      {"C1 control has no 1252 byte", "\xC2\x81", "?"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"surrogate half", "\xED\xA0\x80", "???"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"truncated at the end", "ab\xE2\x82", "ab?"},
      {"broken by an ASCII byte",
       "\xE2\x82"
       "A",
       "?A"},
      {"stray continuation", "\x80x", "?x"},
      {"NUL ends the title", std::string("ab\0cd", 5), "ab"},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Utf8To1252(c.utf8), c.expected) << c.name;
  }
}

// A title names a file: in Windows-1252 when it can be written so, else in
// its own UTF-8 bytes, which are the file's name, never a path of '?'.
TEST(TitleCodec, TitleBecomesAPathThatStillNamesTheFile) {
  const Utf8Case cases[] = {
      {"ascii", "/tmp/a.asm", "/tmp/a.asm"},
      {"representable accents", "/tmp/caf\xC3\xA9 \xE2\x82\xAC.asm", "/tmp/caf\xE9 \x80.asm"},
      {"a literal question mark", "/tmp/what?.asm", "/tmp/what?.asm"},
      {"CJK and an arrow stay UTF-8", "/tmp/\xE6\x97\xA5\xE2\x86\x92.asm",
       "/tmp/\xE6\x97\xA5\xE2\x86\x92.asm"},
      {"mixed: all of it stays UTF-8", "/tmp/\xC3\xA9\xE6\x97\xA5.asm",
       "/tmp/\xC3\xA9\xE6\x97\xA5.asm"},
      {"emoji", "/tmp/\xF0\x9F\x98\x80.asm", "/tmp/\xF0\x9F\x98\x80.asm"},
      {"NUL ends it", std::string("/tmp/\xE6\x97\xA5\0x", 9), "/tmp/\xE6\x97\xA5"},
  };
  for (const Utf8Case& c : cases) EXPECT_EQ(Utf8TitleToPath(c.utf8), c.expected) << c.name;
}

TEST(TitleCodec, Latin1To1252) {
  const std::pair<std::string, std::string> cases[] = {
      {"/tmp/\xE9t\xE9.asm", "/tmp/\xE9t\xE9.asm"},  // the upper half is the same
      {"\xA0\xFF", "\xA0\xFF"},
      {"a\x80"
       "b\x9F",
       "a?b?"},  // Latin-1 C1 controls
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Latin1To1252(in), out) << in;
}

TEST(TitleCodec, CopyCStringKeepsAtMostCapMinusOneBytes) {
  const std::string title300(300, 'x');
  const struct {
    std::string text;
    size_t cap;
    size_t kept;
  } cases[] = {
      {title300, 250, 249}, {std::string(249, 'x'), 250, 249}, {"abc", 250, 3}, {"abc", 1, 0}};
  for (const auto& c : cases) {
    std::vector<char> buf(c.cap + 8, '#');
    EXPECT_EQ(CopyCString(c.text, buf.data(), c.cap), c.kept);
    EXPECT_EQ(std::strlen(buf.data()), c.kept);
    EXPECT_EQ(buf[c.cap], '#') << "wrote past the buffer";
  }
  char untouched = '#';
  EXPECT_EQ(CopyCString("abc", &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

// ---- events ----------------------------------------------------------------

constexpr ::Window kSelf = 42;
constexpr Atom kProtocols = 100, kDelete = 101, kPing = 102;

XEvent Motion(int x, int y, unsigned state = 0) {
  XEvent e{};
  e.xmotion.type = MotionNotify;
  e.xmotion.window = kSelf;
  e.xmotion.x = x;
  e.xmotion.y = y;
  e.xmotion.state = state;
  return e;
}

XEvent Button(int type, unsigned button, int x, int y, unsigned state) {
  XEvent e{};
  e.xbutton.type = type;
  e.xbutton.window = kSelf;
  e.xbutton.button = button;
  e.xbutton.x = x;
  e.xbutton.y = y;
  e.xbutton.state = state;
  return e;
}

XEvent Enter(int x, int y) {
  XEvent e{};
  e.xcrossing.type = EnterNotify;
  e.xcrossing.window = kSelf;
  e.xcrossing.x = x;
  e.xcrossing.y = y;
  return e;
}

XEvent Client(Atom type, Atom what) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = kSelf;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(what);
  return e;
}

XEvent Destroyed(::Window w) {
  XEvent e{};
  e.xdestroywindow.type = DestroyNotify;
  e.xdestroywindow.event = w;
  e.xdestroywindow.window = w;
  return e;
}

XEvent Simple(int type) {
  XEvent e{};
  e.xany.type = type;
  e.xany.window = kSelf;
  return e;
}

TEST(EventMap, EveryEventBecomesOneMessage) {
  const EventContext window{kSelf, kProtocols, kDelete, 810, 600};
  const EventContext wider{kSelf, kProtocols, kDelete, 1000, 600};
  const struct {
    const char* name;
    XEvent event;
    EventContext context;
    WindowMessage expected;
  } cases[] = {
      {"move", Motion(5, 7), window, {MsgMouseMove, 0, PackPoint(5, 7)}},
      {"move to the last pixel", Motion(809, 599), window, {MsgMouseMove, 0, PackPoint(809, 599)}},
      {"move with left button and shift",
       Motion(100, 200, Button1Mask | ShiftMask),
       window,
       {MsgMouseMove, MkLButton | MkShift, PackPoint(100, 200)}},
      {"move right of the window (button held)", Motion(810, 10, Button1Mask), window, {}},
      {"move left of the window", Motion(-1, 10, Button1Mask), window, {}},
      {"move below the window", Motion(10, 600, Button1Mask), window, {}},
      {"move inside a widened window",
       Motion(900, 10),
       wider,
       {MsgMouseMove, 0, PackPoint(900, 10)}},
      {"pointer enters", Enter(30, 40), window, {MsgMouseMove, 0, PackPoint(30, 40)}},
      {"left press",
       Button(ButtonPress, Button1, 650, 27, 0),
       window,
       {MsgLButtonDown, MkLButton, PackPoint(650, 27)}},
      {"left press with control",
       Button(ButtonPress, Button1, 1, 2, ControlMask),
       window,
       {MsgLButtonDown, MkLButton | MkControl, PackPoint(1, 2)}},
      {"left release",
       Button(ButtonRelease, Button1, 650, 27, Button1Mask),
       window,
       {MsgLButtonUp, 0, PackPoint(650, 27)}},
      {"left release outside", Button(ButtonRelease, Button1, 900, 27, Button1Mask), window, {}},
      {"right press", Button(ButtonPress, Button3, 10, 10, 0), window, {}},
      {"wheel", Button(ButtonPress, Button4, 10, 10, 0), window, {}},
      {"close request", Client(kProtocols, kDelete), window, {MsgClose, 0, 0}},
      {"other protocol", Client(kProtocols, kPing), window, {}},
      {"delete atom in another message", Client(kPing, kDelete), window, {}},
      {"window destroyed by another client", Destroyed(kSelf), window, {MsgClose, 0, 0}},
      {"other window destroyed", Destroyed(kSelf + 1), window, {}},
      {"expose", Simple(Expose), window, {}},
      {"key", Simple(KeyPress), window, {}},
      {"focus", Simple(FocusIn), window, {}},
  };
  for (const auto& c : cases) {
    WindowMessage m = TranslateEvent(c.event, c.context);
    EXPECT_EQ(m.msg, c.expected.msg) << c.name;
    EXPECT_EQ(m.wParam, c.expected.wParam) << c.name;
    EXPECT_EQ(m.lParam, c.expected.lParam) << c.name;
  }
}

// ---- pixels ----------------------------------------------------------------

TEST(PixelConvert, OnePixelInEachLayout) {
  const uint32_t argb = 0xFF123456;  // r 12, g 34, b 56
  const struct {
    const char* name;
    PixelFormat format;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"xRGB, LSB first", {0xFF0000, 0xFF00, 0xFF, 32, false}, {0x56, 0x34, 0x12}},
      {"xRGB, MSB first", {0xFF0000, 0xFF00, 0xFF, 32, true}, {0x00, 0x12, 0x34, 0x56}},
      {"xBGR, LSB first", {0xFF, 0xFF00, 0xFF0000, 32, false}, {0x12, 0x34, 0x56, 0x00}},
      {"RGB565, LSB first", {0xF800, 0x07E0, 0x001F, 16, false}, {0xAA, 0x11}},
      {"RGB565, MSB first", {0xF800, 0x07E0, 0x001F, 16, true}, {0x11, 0xAA}},
      {"packed 24-bit", {0xFF0000, 0xFF00, 0xFF, 24, false}, {0x56, 0x34, 0x12}},
      {"10-bit channels", {0x3FF00000, 0xFFC00, 0x3FF, 32, false}, {0x58, 0x41, 0x83, 0x04}},
  };
  for (const auto& c : cases) {
    uint8_t src[4];
    std::memcpy(src, &argb, 4);
    std::vector<uint8_t> dst(4, 0xEE);
    ConvertPixels(src, 4, dst.data(), 4, 1, 1, c.format);
    // Only the pixel's colour bytes are compared; a 32-bit pixel's unused
    // byte may hold anything.
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + c.bytes.size()), c.bytes) << c.name;
  }
}

TEST(PixelConvert, RowsFollowBothStrides) {
  // 2x2 pixels, source rows padded to 12 bytes, destination rows (RGB565) to 6.
  uint32_t src[6] = {0xFFFF0000, 0xFF00FF00, 0xDEADBEEF, 0xFF0000FF, 0xFFFFFFFF, 0xDEADBEEF};
  std::vector<uint8_t> dst(12, 0xEE);
  const PixelFormat rgb565{0xF800, 0x07E0, 0x001F, 16, false};
  ConvertPixels(reinterpret_cast<const uint8_t*>(src), 12, dst.data(), 6, 2, 2, rgb565);
  const std::vector<uint8_t> expected = {0x00, 0xF8, 0xE0, 0x07, 0xEE, 0xEE,   // red, green
                                         0x1F, 0x00, 0xFF, 0xFF, 0xEE, 0xEE};  // blue, white
  EXPECT_EQ(dst, expected);
}

TEST(PixelConvert, BackgroundGreyPacks) {
  EXPECT_EQ(PackRgb({0xFF0000, 0xFF00, 0xFF, 32, false}, 160, 160, 160), 0xA0A0A0u);
  EXPECT_EQ(PackRgb({0xF800, 0x07E0, 0x001F, 16, false}, 160, 160, 160),
            (20u << 11) | (40u << 5) | 20u);
}

}  // namespace
}  // namespace quorix::x11
