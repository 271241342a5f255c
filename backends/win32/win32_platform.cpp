#include "backends/win32/win32_platform.h"

#include <algorithm>
#include <cstdlib>

namespace quorix::win32 {

namespace {
constexpr UINT_PTR kTimerId = 1;
// One window per process: the window and timer procedures find it here.
Win32Platform* gPlatform = nullptr;
}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
  gPlatform = this;
  if (const char* path = std::getenv("QUORIX_STATS_FILE"); path != nullptr && path[0] != 0)
    stats_ = std::fopen(path, "a");
}

Win32Platform::~Win32Platform() {
  CloseSecondWindow();
  if (stats_) std::fclose(stats_);
  if (gPlatform == this) gPlatform = nullptr;
}

namespace {

// The program's own icon (resource 1, the emblem) when it has one.
HICON ProgramIcon(HINSTANCE instance, int size) {
  HICON icon = static_cast<HICON>(
      ::LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  return icon != nullptr ? icon : ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
}

// The screen's pixels per inch before there is a window to ask.
UINT SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

int Win32Platform::RunMainWindow(MessageSink& sink) {
  sink_ = &sink;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance_;
  wc.hIcon = ProgramIcon(instance_, ::GetSystemMetrics(SM_CXICON));
  wc.hIconSm = ProgramIcon(instance_, ::GetSystemMetrics(SM_CXSMICON));
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1);
  wc.lpszClassName = kMainClass;
  if (::RegisterClassExA(&wc) == 0) return -1;

  // The outer size that gives the client area the whole back buffer, at the
  // screen's scale; the system chooses the place.
  dpi_ = SystemDpi();
  RECT outer = OuterRect(dpi_);
  HWND hwnd = ::CreateWindowExA(0, kMainClass, kMainTitle, kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, instance_, nullptr);
  if (hwnd == nullptr) return -1;
  // The window's own monitor may have another scale than the first one.
  if (const UINT dpi = ::GetDpiForWindow(hwnd); dpi != 0 && dpi != dpi_) {
    dpi_ = dpi;
    outer = OuterRect(dpi_);
    ::SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd);

  MSG msg;
  int code = 0;
  for (;;) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) {
      code = -1;
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  CloseSecondWindow();
  ::DestroyWindow(hwnd);
  sink_ = nullptr;
  return code;
}

LRESULT CALLBACK Win32Platform::MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Win32Platform* self = gPlatform;
  if (self == nullptr || self->sink_ == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  if (self->hwnd_ == nullptr) self->hwnd_ = hwnd;
  if (msg == WM_CREATE && self->windowDc_ == nullptr) self->windowDc_ = ::GetDC(hwnd);
  if (msg == WM_DPICHANGED) {
    // The picture keeps its proportions: the window's new size follows
    // from the new scale, at the place the system suggests.
    self->dpi_ = HIWORD(wParam) != 0 ? HIWORD(wParam) : 96;
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    const RECT outer = OuterRect(self->dpi_);
    ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, outer.right - outer.left,
                   outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  // Message codes pass through unchanged; the pointer in lParam is in the
  // picture's pixels.
  if (msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP)
    lParam = static_cast<LPARAM>(self->PicturePoint(static_cast<uint32_t>(lParam)));
  const bool handled =
      self->sink_->WindowProc(msg, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam));
  if (msg == WM_DESTROY) {
    if (self->windowDc_ != nullptr) ::ReleaseDC(hwnd, self->windowDc_);
    self->windowDc_ = nullptr;
    self->hwnd_ = nullptr;
  }
  if (handled) return 0;
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void CALLBACK Win32Platform::TimerProc(HWND, UINT, UINT_PTR, DWORD time) {
  Win32Platform* self = gPlatform;
  if (self != nullptr && self->sink_ != nullptr) self->sink_->TimerTick(time);
}

Canvas* Win32Platform::CreateBackBuffer(int width, int height) {
  if (!backBuffer_) {
    auto canvas = std::make_unique<GdiCanvas>(windowDc_, width, height);
    if (!canvas->Valid()) return nullptr;
    backBuffer_ = std::move(canvas);
  }
  return backBuffer_.get();
}

void Win32Platform::ReleaseBackBuffer() { backBuffer_.reset(); }

void Win32Platform::Present(int x, int y) {
  if (backBuffer_ && windowDc_ != nullptr) {
    const int w = backBuffer_->Width(), h = backBuffer_->Height();
    if (dpi_ == 96) {
      ::BitBlt(windowDc_, x, y, w, h, backBuffer_->Dc(), 0, 0, SRCCOPY);
    } else {
      // Whole factors repeat each pixel; others blend neighbours.
      ::SetStretchBltMode(windowDc_, dpi_ % 96 == 0 ? COLORONCOLOR : HALFTONE);
      ::SetBrushOrgEx(windowDc_, 0, 0, nullptr);
      ::StretchBlt(windowDc_, Scale(x), Scale(y), Scale(w), Scale(h), backBuffer_->Dc(), 0, 0, w, h,
                   SRCCOPY);
    }
  }
  if (stats_) CountStep();
}

int Win32Platform::Scale(int pixels) const { return ::MulDiv(pixels, static_cast<int>(dpi_), 96); }

uint32_t Win32Platform::PicturePoint(uint32_t lParam) const {
  if (dpi_ == 96) return lParam;
  const int x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>(lParam >> 16);
  const int px = ::MulDiv(x, 96, static_cast<int>(dpi_)),
            py = ::MulDiv(y, 96, static_cast<int>(dpi_));
  return (static_cast<uint32_t>(static_cast<uint16_t>(py)) << 16) | static_cast<uint16_t>(px);
}

RECT OuterRect(UINT dpi) {
  RECT outer{0, 0, ::MulDiv(kClientWidth, static_cast<int>(dpi), 96),
             ::MulDiv(kClientHeight, static_cast<int>(dpi), 96)};
  ::AdjustWindowRectExForDpi(&outer, kMainStyle, FALSE, 0, dpi);
  return outer;
}

void Win32Platform::CountStep() {
  const uint64_t now = ::GetTickCount64();
  if (statsSecondStart_ == 0) statsSecondStart_ = now;
  ++statsSteps_;
  if (now - statsSecondStart_ >= 1000) {
    std::fprintf(stats_, "steps %u\n", statsSteps_);
    std::fflush(stats_);
    statsSecondStart_ = now;
    statsSteps_ = 0;
  }
}

void Win32Platform::PostQuit(int code) { ::PostQuitMessage(code); }

void Win32Platform::StartTimer(uint32_t periodMs) {
  // The system raises a period below its minimum to that minimum.
  if (hwnd_ != nullptr) timerRunning_ = ::SetTimer(hwnd_, kTimerId, periodMs, TimerProc) != 0;
}

void Win32Platform::StopTimer() {
  if (hwnd_ != nullptr && timerRunning_) ::KillTimer(hwnd_, kTimerId);
  timerRunning_ = false;
}

// ---- the second window --------------------------------------------------

Canvas* Win32Platform::OpenSecondWindow(int width, int height) {
  if (secondHwnd_ != nullptr) {
    ::SetForegroundWindow(secondHwnd_);
    return secondBuffer_.get();
  }
  if (width <= 0 || height <= 0) return nullptr;
  if (!secondClass_) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = SecondProc;
    wc.hInstance = instance_;
    wc.hIcon = ProgramIcon(instance_, ::GetSystemMetrics(SM_CXICON));
    wc.hIconSm = ProgramIcon(instance_, ::GetSystemMetrics(SM_CXSMICON));
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kSecondClass;
    secondClass_ = ::RegisterClassExA(&wc) != 0;
    if (!secondClass_) return nullptr;
  }
  // A fixed size, beside the main window.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT outer{0, 0, Scale(width), Scale(height)};
  ::AdjustWindowRectExForDpi(&outer, style, FALSE, 0, dpi_);
  RECT main{};
  if (hwnd_ != nullptr) ::GetWindowRect(hwnd_, &main);
  HWND hwnd = ::CreateWindowExA(0, kSecondClass, kSecondTitle, style, main.right, main.top,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, instance_, nullptr);
  if (hwnd == nullptr) return nullptr;
  secondHwnd_ = hwnd;
  secondDc_ = ::GetDC(hwnd);
  auto canvas = std::make_unique<GdiCanvas>(secondDc_, width, height);
  if (!canvas->Valid()) {
    CloseSecondWindow();
    return nullptr;
  }
  ::PatBlt(canvas->Dc(), 0, 0, width, height, BLACKNESS);
  secondBuffer_ = std::move(canvas);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  return secondBuffer_.get();
}

void Win32Platform::PresentSecondWindow(int left, int top, int right, int bottom) {
  if (secondBuffer_ == nullptr || secondDc_ == nullptr) return;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, secondBuffer_->Width());
  bottom = std::min(bottom, secondBuffer_->Height());
  if (left >= right || top >= bottom) return;
  CopyScaled(secondDc_, *secondBuffer_, left, top, right, bottom);
}

// The picture's pixels from left, top to right, bottom, at the window's
// scale (whole factors repeat pixels, others are smoothed).
void Win32Platform::CopyScaled(HDC to, const GdiCanvas& from, int left, int top, int right,
                               int bottom) const {
  if (dpi_ == 96) {
    ::BitBlt(to, left, top, right - left, bottom - top, from.Dc(), left, top, SRCCOPY);
    return;
  }
  ::SetStretchBltMode(to, dpi_ % 96 == 0 ? COLORONCOLOR : HALFTONE);
  ::SetBrushOrgEx(to, 0, 0, nullptr);
  ::StretchBlt(to, Scale(left), Scale(top), Scale(right) - Scale(left), Scale(bottom) - Scale(top),
               from.Dc(), left, top, right - left, bottom - top, SRCCOPY);
}

void Win32Platform::CloseSecondWindow() {
  secondBuffer_.reset();
  HWND hwnd = secondHwnd_;
  if (hwnd == nullptr) return;
  secondHwnd_ = nullptr;  // first: the destruction's messages find no window
  if (secondDc_ != nullptr) ::ReleaseDC(hwnd, secondDc_);
  secondDc_ = nullptr;
  ::DestroyWindow(hwnd);
}

bool Win32Platform::SecondMessage(UINT msg, WPARAM wParam, LPARAM lParam, uint32_t* out,
                                  uint32_t* w, uint32_t* l) const {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      const bool named =
          (wParam >= VK_F1 && wParam <= VK_F12) || wParam == VK_UP || wParam == VK_DOWN;
      if (!named) return false;
      *out = MsgKeyDown;
      *w = static_cast<uint32_t>(wParam);
      *l = ((::GetKeyState(VK_SHIFT) & 0x8000) ? ModShift : 0) |
           ((::GetKeyState(VK_CONTROL) & 0x8000) ? ModControl : 0);
      return true;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      *out = msg;
      *w = static_cast<uint32_t>(wParam);
      *l = PicturePoint(static_cast<uint32_t>(lParam));
      return true;
    case WM_CHAR:
    case WM_CLOSE:
      *out = msg;
      *w = static_cast<uint32_t>(wParam);
      *l = static_cast<uint32_t>(lParam);
      return true;
    default: return false;
  }
}

LRESULT CALLBACK Win32Platform::SecondProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Win32Platform* self = gPlatform;
  if (self == nullptr || self->secondHwnd_ != hwnd)
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_PAINT) {
    // Repainted from the back buffer; the workbench is not asked.
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    if (self->secondBuffer_ != nullptr) {
      // The picture's part under the damaged window pixels, a pixel more
      // round it where the scale is not whole.
      const RECT& r = ps.rcPaint;
      const int d = static_cast<int>(self->dpi_);
      self->CopyScaled(dc, *self->secondBuffer_, std::max(0, int(r.left) * 96 / d - 1),
                       std::max(0, int(r.top) * 96 / d - 1),
                       std::min(self->secondBuffer_->Width(), int(r.right) * 96 / d + 2),
                       std::min(self->secondBuffer_->Height(), int(r.bottom) * 96 / d + 2));
    }
    ::EndPaint(hwnd, &ps);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  uint32_t m = 0, w = 0, l = 0;
  if (self->sink_ != nullptr && self->SecondMessage(msg, wParam, lParam, &m, &w, &l)) {
    self->sink_->SecondWindowProc(m, w, l);
    return 0;  // F10 handled: no menu; the close box closes only through the workbench
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool FindTopLevelWindowTitle(const char* windowClass, char* title, size_t cap) {
  if (title == nullptr || cap == 0) return false;
  HWND w = ::FindWindowA(windowClass, nullptr);
  if (w == nullptr) return false;
  int n = ::GetWindowTextA(w, title, static_cast<int>(std::min<size_t>(cap, 0x7FFFFFFF)));
  title[std::min<size_t>(n < 0 ? 0 : size_t(n), cap - 1)] = 0;
  return true;
}

bool Win32Platform::FindWindowTitle(const char* windowClass, char* title, size_t cap) {
  return FindTopLevelWindowTitle(windowClass, title, cap);
}

// Window and GDI handles carry their meaning in the low 32 bits.
uint32_t Win32Platform::WindowHandle() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd_));
}

uint32_t Win32Platform::DeviceContextHandle() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(windowDc_));
}

}  // namespace quorix::win32
