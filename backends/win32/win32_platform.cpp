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
  if (stats_) std::fclose(stats_);
  if (gPlatform == this) gPlatform = nullptr;
}

int Win32Platform::RunMainWindow(MessageSink& sink) {
  sink_ = &sink;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance_;
  wc.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1);
  wc.lpszClassName = kMainClass;
  if (::RegisterClassExA(&wc) == 0) return -1;

  // The outer size that gives the client area the whole back buffer.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&outer, style, FALSE, 0);
  HWND hwnd = ::CreateWindowExA(0, kMainClass, kMainTitle, style, 0, 0, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, instance_, nullptr);
  if (hwnd == nullptr) return -1;
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
  ::DestroyWindow(hwnd);
  sink_ = nullptr;
  return code;
}

LRESULT CALLBACK Win32Platform::MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Win32Platform* self = gPlatform;
  if (self == nullptr || self->sink_ == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  if (self->hwnd_ == nullptr) self->hwnd_ = hwnd;
  if (msg == WM_CREATE && self->windowDc_ == nullptr) self->windowDc_ = ::GetDC(hwnd);
  // Message codes pass through unchanged; so does the pointer in lParam.
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
  if (backBuffer_ && windowDc_ != nullptr)
    ::BitBlt(windowDc_, x, y, backBuffer_->Width(), backBuffer_->Height(), backBuffer_->Dc(), 0, 0,
             SRCCOPY);
  if (stats_) CountStep();
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
