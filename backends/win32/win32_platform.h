// The workbench's window on Win32: class "QuorixClassEx", a window titled
// "Quorix V-1.0" whose client area shows the 800x600 back buffer, the
// GetMessage/TranslateMessage/DispatchMessage loop, a 1 ms SetTimer callback
// and a GDI back buffer compatible with the window's device context.
//
// The window follows the screen's scale: at 144 pixels per inch its client
// area is 1.5 times the picture's size (whole factors repeat pixels, others
// are smoothed), and pointer positions reach the sink in picture pixels.
//
// Every message reaches the sink first (the workbench's window procedure,
// which runs StepScreen); DefWindowProc gets the ones the sink leaves.
//
// Setting QUORIX_STATS_FILE to a file name appends one line per second to it:
// "steps N" (the back buffer was presented N times in that second).
#pragma once

#include "backends/win32/windows_api.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "backends/win32/gdi_canvas.h"
#include "backends/win32/win32_services.h"
#include "platform/platform.h"

namespace quorix::win32 {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // True when the message was handled; false asks for the default handling.
  virtual bool WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) = 0;
  // A message of the second window, in the workbench's codes.
  virtual bool SecondWindowProc(uint32_t /*msg*/, uint32_t /*wParam*/, uint32_t /*lParam*/) {
    return false;
  }
  virtual void TimerTick(uint32_t timeMs) = 0;
};

inline constexpr char kMainClass[] = "QuorixClassEx";
inline constexpr char kMainTitle[] = "Quorix V-1.0";
inline constexpr int kClientWidth = 810;
inline constexpr int kClientHeight = 600;
inline constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW;
// The main window's outer rectangle for a client area of the picture's size
// at dpi pixels per inch (96 is the picture's own scale).
RECT OuterRect(UINT dpi);
inline constexpr char kSecondClass[] = "QuorixMachineClass";
inline constexpr char kSecondTitle[] = "Quorix machine";

// Finds a top-level window of the class (FindWindowA) and copies its title
// (GetWindowTextA), at most cap-1 bytes and a zero: the window's lookup of
// the editor, reachable without a window of one's own.
bool FindTopLevelWindowTitle(const char* windowClass, char* title, size_t cap);

class Win32Platform : public Platform, public Win32Services {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;

  // Registers the class, creates and shows the window (its creation message
  // reaches the sink), runs the loop until the quit message, destroys the
  // window (its destruction message reaches the sink too) and returns the
  // quit message's code. -1 when the window could not be made.
  int RunMainWindow(MessageSink& sink);

  bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override;
  Canvas* CreateBackBuffer(int width, int height) override;
  void ReleaseBackBuffer() override;
  void Present(int x, int y) override;
  void PostQuit(int code) override;
  void StartTimer(uint32_t periodMs) override;
  void StopTimer() override;
  uint32_t WindowHandle() override;
  uint32_t DeviceContextHandle() override;

  // The second window: class "QuorixMachineClass", "Quorix machine", a
  // client area of the back buffer's size beside the main window. Its key
  // presses of F1 to F12 and the Up and Down arrows reach the sink as
  // MsgKeyDown (F10 too, which Windows sends as a system key), its
  // characters as MsgChar, the pointer and the left button as they are, the
  // close box as MsgClose; it repaints itself from its back buffer.
  Canvas* OpenSecondWindow(int width, int height) override;
  void PresentSecondWindow(int left, int top, int right, int bottom) override;
  void CloseSecondWindow() override;
  bool SecondWindowOpen() const override { return secondHwnd_ != nullptr; }

 private:
  static LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static void CALLBACK TimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
  static LRESULT CALLBACK SecondProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // The workbench's message for one of the second window's; false when it
  // has none.
  bool SecondMessage(UINT msg, WPARAM wParam, LPARAM lParam, uint32_t* out, uint32_t* w,
                     uint32_t* l) const;
  void CountStep();
  // Picture pixels in window pixels, and a packed window point in the
  // picture's pixels.
  int Scale(int pixels) const;
  uint32_t PicturePoint(uint32_t lParam) const;
  void CopyScaled(HDC to, const GdiCanvas& from, int left, int top, int right, int bottom) const;

  HINSTANCE instance_;
  MessageSink* sink_ = nullptr;
  HWND hwnd_ = nullptr;
  HDC windowDc_ = nullptr;
  std::unique_ptr<GdiCanvas> backBuffer_;
  HWND secondHwnd_ = nullptr;
  HDC secondDc_ = nullptr;
  std::unique_ptr<GdiCanvas> secondBuffer_;
  bool secondClass_ = false;
  bool timerRunning_ = false;
  UINT dpi_ = 96;  // the main window's pixels per inch
  // Steps per second, when asked for.
  std::FILE* stats_ = nullptr;
  uint64_t statsSecondStart_ = 0;
  uint32_t statsSteps_ = 0;
};

}  // namespace quorix::win32
