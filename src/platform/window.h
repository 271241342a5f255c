// The workbench's windows as the portable core sees them: a back buffer drawn
// with GDI semantics (Canvas), presenting it, the periodic timer, quitting,
// finding the companion editor's window, and a second window of the
// workbench with a back buffer of its own (the machine window). The core speaks in the
// workbench's own message codes, which are the values of the matching Win32
// messages, so the Win32 backend can pass messages through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

// Message codes.
inline constexpr uint32_t MsgNull = 0x0000;  // neutral: any event without a meaning here
inline constexpr uint32_t MsgCreate = 0x0001;
inline constexpr uint32_t MsgDestroy = 0x0002;
inline constexpr uint32_t MsgClose = 0x0010;
inline constexpr uint32_t MsgChar = 0x0102;     // a typed character: wParam is its code
inline constexpr uint32_t MsgKeyDown = 0x0100;  // a key pressed: wParam its Key code,
                                                // lParam its modifiers (Mod*)
inline constexpr uint32_t MsgCommand = 0x0111;
inline constexpr uint32_t MsgTimer = 0x0113;
inline constexpr uint32_t MsgMouseMove = 0x0200;
inline constexpr uint32_t MsgLButtonDown = 0x0201;
inline constexpr uint32_t MsgLButtonUp = 0x0202;

// Key codes of MsgKeyDown (the Win32 virtual-key values) and its modifiers.
inline constexpr uint32_t KeyEscape = 0x1B;
inline constexpr uint32_t KeyUp = 0x26;
inline constexpr uint32_t KeyDown = 0x28;
inline constexpr uint32_t KeyF1 = 0x70;  // F1 to F12 follow one another
inline constexpr uint32_t KeyF5 = KeyF1 + 4;
inline constexpr uint32_t KeyF6 = KeyF1 + 5;
inline constexpr uint32_t KeyF7 = KeyF1 + 6;
inline constexpr uint32_t KeyF9 = KeyF1 + 8;
inline constexpr uint32_t KeyF10 = KeyF1 + 9;
inline constexpr uint32_t KeyF11 = KeyF1 + 10;
inline constexpr uint32_t KeyF12 = KeyF1 + 11;
inline constexpr uint32_t ModShift = 0x1;
inline constexpr uint32_t ModControl = 0x2;

// The workbench's windows, as the backends tell the workbench where an
// event came from.
enum class WindowId : uint32_t { Main = 0, Second = 1 };

// Pointer position packed into lParam: x in the low 16 bits, y in the high 16.
inline constexpr uint32_t PackPoint(uint32_t x, uint32_t y) {
  return (x & 0xFFFF) | ((y & 0xFFFF) << 16);
}

struct Rgb {
  uint8_t r, g, b;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

// An off-screen raster with GDI semantics: a rectangle from (l, t) to (r, b)
// covers l..r-1 and t..b-1; the 1-pixel pen frames it inside those bounds and
// the selected brush fills it. No anti-aliasing. Objects are created once and
// then only selected.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Object handles are small non-zero numbers, valid for the canvas' life.
  virtual uint32_t CreateSolidBrush(Rgb color) = 0;
  virtual uint32_t CreatePen(Rgb color) = 0;  // solid, width 1
  virtual uint32_t StockBlackBrush() = 0;
  virtual uint32_t DefaultPen() = 0;  // the context's initial pen (black)
  virtual uint32_t CreateViewFont() = 0;
  virtual void Select(uint32_t object) = 0;
  virtual void Rectangle(int l, int t, int r, int b) = 0;
  virtual void RoundRect(int l, int t, int r, int b, int ew, int eh) = 0;
  virtual void Ellipse(int l, int t, int r, int b) = 0;
  virtual void SetTextColor(Rgb color) = 0;
  virtual void SetBackgroundTransparent() = 0;
  // Draws n bytes of 8-bit (Windows-1252) text with its top-left at (x, y).
  virtual void TextOut(int x, int y, const char* text, int n) = 0;
};

class Window {
 public:
  virtual ~Window() = default;

  // ---- other programs' windows ----
  // Finds a top-level window of the given class; on success copies its title
  // (at most cap-1 bytes, NUL-terminated) into title and returns true.
  virtual bool FindWindowTitle(const char* windowClass, char* title, size_t cap) = 0;

  // ---- the workbench window ----
  // The back buffer, created on demand with the given size.
  virtual Canvas* CreateBackBuffer(int width, int height) = 0;
  virtual void ReleaseBackBuffer() = 0;
  // Copies the back buffer to the window at (x, y).
  virtual void Present(int x, int y) = 0;
  virtual void PostQuit(int code) = 0;
  virtual void StartTimer(uint32_t periodMs) = 0;
  virtual void StopTimer() = 0;

  // ---- the second window ----
  // A window of the workbench besides the main one, with a back buffer of
  // its own size. Open creates (or shows again) the window and returns its
  // back buffer, filled black, or null when the platform has no second
  // window. The back buffer lives until the window is closed: the drawing
  // objects made on it must be made again after the next open. Its events
  // reach the workbench with WindowId::Second (the close box as MsgClose,
  // which closes nothing by itself).
  virtual Canvas* OpenSecondWindow(int /*width*/, int /*height*/) { return nullptr; }
  // Shows the part of the back buffer from (left, top) to (right, bottom),
  // exclusive, which the workbench has drawn since the last present.
  virtual void PresentSecondWindow(int /*left*/, int /*top*/, int /*right*/, int /*bottom*/) {}
  virtual void CloseSecondWindow() {}
  virtual bool SecondWindowOpen() const { return false; }

  // Opaque handles shown by the variables panel.
  virtual uint32_t WindowHandle() { return 0; }
  virtual uint32_t DeviceContextHandle() { return 0; }
};

}  // namespace quorix
