#include "backends/headless/headless_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "model/context_record.h"

namespace quorix {

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

bool HeadlessPlatform::FindWindowTitle(const char* windowClass, char* title, size_t cap) {
  if (!editorTitle_ || std::strcmp(windowClass, kEditorClass) != 0) return false;
  if (cap == 0) return true;
  size_t n = std::min(editorTitle_->size(), cap - 1);
  std::memcpy(title, editorTitle_->data(), n);
  title[n] = 0;
  return true;
}

Canvas* HeadlessPlatform::CreateBackBuffer(int width, int height) {
  backBuffer_ = std::make_unique<CairoCanvas>(width, height);
  windowWidth_ = width;
  windowHeight_ = height;
  window_.assign(size_t(width) * height, 0);
  windowIsBackBuffer_ = false;
  return backBuffer_.get();
}

Canvas* HeadlessPlatform::OpenSecondWindow(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (secondBuffer_ == nullptr || secondBuffer_->Width() != width ||
      secondBuffer_->Height() != height)
    secondBuffer_ = std::make_unique<CairoCanvas>(width, height);
  return secondBuffer_.get();
}

void HeadlessPlatform::ReleaseBackBuffer() {
  UnshareWindow();
  backBuffer_.reset();
}

std::span<const uint32_t> HeadlessPlatform::window() const {
  if (windowIsBackBuffer_) {
    return {reinterpret_cast<const uint32_t*>(std::as_const(*backBuffer_).Data()), window_.size()};
  }
  return window_;
}

void HeadlessPlatform::UnshareWindow() {
  if (!windowIsBackBuffer_) return;
  windowIsBackBuffer_ = false;
  const CairoCanvas& bb = *backBuffer_;
  for (int wy = 0; wy < windowHeight_; ++wy) {
    std::memcpy(&window_[size_t(wy) * windowWidth_], bb.Data() + size_t(wy) * bb.Stride(),
                size_t(windowWidth_) * 4);
  }
}

void HeadlessPlatform::Present(int x, int y) {
  ++presents_;
  if (!backBuffer_) return;
  const CairoCanvas& bb = *backBuffer_;
  if (x == 0 && y == 0 && bb.Width() == windowWidth_ && bb.Height() == windowHeight_ &&
      bb.Stride() == windowWidth_ * 4) {
    windowIsBackBuffer_ = true;
    return;
  }
  UnshareWindow();
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + bb.Width(), windowWidth_);
  const int y1 = std::min(y + bb.Height(), windowHeight_);
  if (x0 >= x1) return;
  for (int wy = y0; wy < y1; ++wy) {
    const uint32_t* src =
        reinterpret_cast<const uint32_t*>(bb.Data() + size_t(wy - y) * bb.Stride()) + (x0 - x);
    std::memcpy(&window_[size_t(wy) * windowWidth_ + x0], src, size_t(x1 - x0) * 4);
  }
}

void HeadlessPlatform::PostQuit(int code) {
  quitPosted_ = true;
  exitCode_ = code;
}

void HeadlessPlatform::StartTimer(uint32_t periodMs) {
  timerRunning_ = true;
  timerPeriod_ = periodMs;
}

void HeadlessPlatform::StopTimer() { timerRunning_ = false; }

}  // namespace quorix
