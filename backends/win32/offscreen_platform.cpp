#include "backends/win32/offscreen_platform.h"

#include <algorithm>
#include <cstring>

#include "model/context_record.h"

namespace quorix::win32 {

bool OffscreenPlatform::FindWindowTitle(const char* windowClass, char* title, size_t cap) {
  if (!editorTitle_ || windowClass == nullptr || std::strcmp(windowClass, kEditorClass) != 0 ||
      title == nullptr || cap == 0)
    return false;
  size_t n = std::min(editorTitle_->size(), cap - 1);
  std::memcpy(title, editorTitle_->data(), n);
  title[n] = 0;
  return true;
}

Canvas* OffscreenPlatform::CreateBackBuffer(int width, int height) {
  if (!backBuffer_) {
    auto canvas = std::make_unique<GdiCanvas>(nullptr, width, height);
    if (!canvas->Valid()) return nullptr;
    backBuffer_ = std::move(canvas);
  }
  windowWidth_ = width;
  windowHeight_ = height;
  window_.assign(size_t(width) * height, 0);
  return backBuffer_.get();
}

void OffscreenPlatform::Present(int x, int y) {
  ++presents_;
  if (!backBuffer_) return;
  const int w = backBuffer_->Width();
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, windowWidth_);
  const int y1 = std::min(y + backBuffer_->Height(), windowHeight_);
  if (x0 >= x1) return;
  const std::vector<uint32_t> pixels = backBuffer_->Pixels();
  for (int wy = y0; wy < y1; ++wy)
    for (int wx = x0; wx < x1; ++wx)
      window_[size_t(wy) * windowWidth_ + wx] = 0xFF000000u | pixels[size_t(wy - y) * w + (wx - x)];
}

}  // namespace quorix::win32
