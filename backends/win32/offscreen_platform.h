// A Win32 platform without a window, for tests and gdi-replay: the real Win32
// files and upper-casing, a GDI back buffer on a DIB section, a "window" that
// is the copy of the back buffer last presented, companion-editor windows
// simulated in memory, and a timer whose ticks the caller drives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/win32/gdi_canvas.h"
#include "backends/win32/win32_services.h"
#include "platform/platform.h"

namespace quorix::win32 {

class OffscreenPlatform : public Platform, public Win32Services {
 public:
  void SetEditorTitle(const std::string& title) { editorTitle_ = title; }
  void RemoveEditor() { editorTitle_.reset(); }
  bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override;

  Canvas* CreateBackBuffer(int width, int height) override;
  void ReleaseBackBuffer() override { backBuffer_.reset(); }
  void Present(int x, int y) override;
  void PostQuit(int code) override {
    quitPosted_ = true;
    exitCode_ = code;
  }
  void StartTimer(uint32_t periodMs) override {
    timerRunning_ = true;
    timerPeriod_ = periodMs;
  }
  void StopTimer() override { timerRunning_ = false; }
  uint32_t WindowHandle() override { return kWindowHandle; }
  uint32_t DeviceContextHandle() override { return kDeviceContextHandle; }

  GdiCanvas* backBuffer() { return backBuffer_.get(); }
  // The client area as last presented, 0xFFRRGGBB words.
  const std::vector<uint32_t>& window() const { return window_; }
  int windowWidth() const { return windowWidth_; }
  int windowHeight() const { return windowHeight_; }
  uint64_t presentCount() const { return presents_; }
  bool timerRunning() const { return timerRunning_; }
  uint32_t timerPeriod() const { return timerPeriod_; }
  bool quitPosted() const { return quitPosted_; }
  int exitCode() const { return exitCode_; }

  static constexpr uint32_t kWindowHandle = 0x00010024;
  static constexpr uint32_t kDeviceContextHandle = 0x01010057;

 private:
  std::optional<std::string> editorTitle_;
  std::unique_ptr<GdiCanvas> backBuffer_;
  std::vector<uint32_t> window_;
  int windowWidth_ = 0, windowHeight_ = 0;
  uint64_t presents_ = 0;
  bool timerRunning_ = false;
  uint32_t timerPeriod_ = 0;
  bool quitPosted_ = false;
  int exitCode_ = 0;
};

}  // namespace quorix::win32
