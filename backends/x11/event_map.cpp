#include "backends/x11/event_map.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "platform/window.h"

namespace quorix::x11 {

namespace {

uint32_t KeyFlags(unsigned int state) {
  uint32_t flags = 0;
  if (state & Button1Mask) flags |= MkLButton;
  if (state & Button3Mask) flags |= MkRButton;
  if (state & ShiftMask) flags |= MkShift;
  if (state & ControlMask) flags |= MkControl;
  if (state & Button2Mask) flags |= MkMButton;
  return flags;
}

bool Inside(int x, int y, const EventContext& c) {
  return x >= 0 && y >= 0 && x < c.width && y < c.height;
}

WindowMessage Pointer(uint32_t msg, uint32_t flags, int x, int y, const EventContext& c) {
  if (!Inside(x, y, c)) return {};
  return {msg, flags, PackPoint(static_cast<uint32_t>(x), static_cast<uint32_t>(y))};
}

// MsgKeyDown for a function key or an arrow up or down; MsgNull otherwise.
WindowMessage NamedKey(KeySym sym, unsigned int state) {
  uint32_t key = 0;
  if (sym >= XK_F1 && sym <= XK_F12)
    key = KeyF1 + static_cast<uint32_t>(sym - XK_F1);
  else if (sym == XK_Up || sym == XK_KP_Up)
    key = KeyUp;
  else if (sym == XK_Down || sym == XK_KP_Down)
    key = KeyDown;
  else
    return {};
  uint32_t modifiers = 0;
  if (state & ShiftMask) modifiers |= ModShift;
  if (state & ControlMask) modifiers |= ModControl;
  return {MsgKeyDown, key, modifiers};
}

}  // namespace

WindowMessage TranslateEvent(const XEvent& e, const EventContext& c) {
  switch (e.type) {
    case MotionNotify:
      return Pointer(MsgMouseMove, KeyFlags(e.xmotion.state), e.xmotion.x, e.xmotion.y, c);
    case EnterNotify:
      // The pointer arriving over the window is a move to where it now is.
      return Pointer(MsgMouseMove, KeyFlags(e.xcrossing.state), e.xcrossing.x, e.xcrossing.y, c);
    case ButtonPress:
      if (e.xbutton.button != Button1) return {};
      // state holds the buttons before this press.
      return Pointer(MsgLButtonDown, KeyFlags(e.xbutton.state) | MkLButton, e.xbutton.x,
                     e.xbutton.y, c);
    case ButtonRelease:
      if (e.xbutton.button != Button1) return {};
      return Pointer(MsgLButtonUp, KeyFlags(e.xbutton.state) & ~MkLButton, e.xbutton.x, e.xbutton.y,
                     c);
    case KeyPress: {
      // A key that types a character becomes the character message, as the
      // Windows message loop's translation makes it: Enter gives CR,
      // Backspace 8, Escape 27. Keys without a character pass as MsgNull.
      if (e.xkey.display == nullptr) return {};  // the keymap lives on the display
      XKeyEvent key = e.xkey;
      char text[8] = {};
      KeySym sym = 0;
      int n = XLookupString(&key, text, sizeof text, &sym, nullptr);
      if (c.namedKeys) {
        // Ctrl with a function key may be looked up as a character-less
        // key either way; the key symbol decides.
        const KeySym plain = XLookupKeysym(&key, 0);
        WindowMessage named = NamedKey(plain, key.state);
        if (named.msg != MsgNull) return named;
      }
      if (n != 1) return {};
      return {MsgChar, static_cast<uint8_t>(text[0]), 1};
    }
    case ClientMessage:
      if (e.xclient.message_type == c.wmProtocols && e.xclient.format == 32 &&
          static_cast<Atom>(e.xclient.data.l[0]) == c.wmDeleteWindow) {
        return {MsgClose, 0, 0};
      }
      return {};
    case DestroyNotify:
      // Someone else destroyed the window: end the program as if it had been
      // closed.
      if (e.xdestroywindow.window == c.window) return {MsgClose, 0, 0};
      return {};
    default: return {};
  }
}

}  // namespace quorix::x11
