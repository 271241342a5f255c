// The headless backend: POSIX files, a cairo back buffer, a window that is
// only an image, editor windows simulated in memory, and a timer whose ticks
// the caller drives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backends/headless/cairo_canvas.h"
#include "backends/posix/posix_services.h"
#include "platform/platform.h"

namespace quorix {

class HeadlessPlatform : public Platform, public PosixServices {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  // ---- the simulated companion editor ----
  void SetEditorTitle(const std::string& title) { editorTitle_ = title; }
  void RemoveEditor() { editorTitle_.reset(); }
  bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override;

  // ---- the window ----
  Canvas* CreateBackBuffer(int width, int height) override;
  void ReleaseBackBuffer() override;
  void Present(int x, int y) override;
  void PostQuit(int code) override;
  void StartTimer(uint32_t periodMs) override;
  void StopTimer() override;
  uint32_t WindowHandle() override { return kWindowHandle; }
  uint32_t DeviceContextHandle() override { return kDeviceContextHandle; }

  // ---- the second window: only its back buffer, shown as it is ----
  Canvas* OpenSecondWindow(int width, int height) override;
  void PresentSecondWindow(int, int, int, int) override { ++secondPresents_; }
  void CloseSecondWindow() override { secondBuffer_.reset(); }
  bool SecondWindowOpen() const override { return secondBuffer_ != nullptr; }
  // Null while the second window is closed.
  CairoCanvas* secondBuffer() { return secondBuffer_.get(); }
  uint64_t secondPresentCount() const { return secondPresents_; }

  CairoCanvas* backBuffer() { return backBuffer_.get(); }
  // The window's client area as last presented, in the back buffer's ARGB32
  // words, rows windowWidth() words apart; all zeros before the first present.
  // A present of the whole back buffer at (0, 0), the workbench's own, copies
  // nothing: from then on the window reads the back buffer's memory, which
  // holds the presented picture until the next step draws. A present at
  // another place copies the covered part; the rest of the window keeps the
  // back buffer's pixels as they are at that moment.
  std::span<const uint32_t> window() const;
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
  std::unique_ptr<CairoCanvas> backBuffer_;
  std::vector<uint32_t> window_;  // the window's pixels while it is not the back buffer
  bool windowIsBackBuffer_ = false;
  int windowWidth_ = 0, windowHeight_ = 0;
  // Ends the sharing: the window keeps the back buffer's pixels in window_.
  void UnshareWindow();

  uint64_t presents_ = 0;
  std::unique_ptr<CairoCanvas> secondBuffer_;
  uint64_t secondPresents_ = 0;
  bool timerRunning_ = false;
  uint32_t timerPeriod_ = 0;
  bool quitPosted_ = false;
  int exitCode_ = 0;
};

}  // namespace quorix
