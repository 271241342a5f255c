// Turns X events into the workbench's window messages. Every event of the
// window becomes a message: the pointer and the left button become their
// mouse messages, a key that types a character becomes MsgChar (where the
// window asks for them, a function or arrow key MsgKeyDown), the window
// manager's close request becomes MsgClose, and everything else passes with
// the neutral code.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace quorix::x11 {

struct WindowMessage {
  uint32_t msg = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
};

// What the translation needs to know about the window.
struct EventContext {
  ::Window window = 0;
  Atom wmProtocols = 0;
  Atom wmDeleteWindow = 0;
  int width = 0;  // client area, for the pointer's inside test
  int height = 0;
  // Function keys (F1 to F12) and the Up and Down arrows become MsgKeyDown
  // with their key code and modifiers (the machine window); otherwise they
  // pass as MsgNull, since they type no character.
  bool namedKeys = false;
};

// Key and button flags of a mouse message's wParam, as the workbench's
// message codes define them.
inline constexpr uint32_t MkLButton = 0x0001;
inline constexpr uint32_t MkRButton = 0x0002;
inline constexpr uint32_t MkShift = 0x0004;
inline constexpr uint32_t MkControl = 0x0008;
inline constexpr uint32_t MkMButton = 0x0010;

// The message for one event. Pointer events outside the client area (which X
// still delivers to the window while a button is held) pass as MsgNull: the
// pointer fields keep the last position inside the window, and a release
// outside it is not seen, exactly as when the window does not capture the
// pointer.
WindowMessage TranslateEvent(const XEvent& event, const EventContext& context);

}  // namespace quorix::x11
