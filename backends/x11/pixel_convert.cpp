#include "backends/x11/pixel_convert.h"

#include <bit>
#include <cstring>

namespace quorix::x11 {

namespace {

// Places an 8-bit channel value into the bits of mask (any width, any shift).
uint32_t Scale(uint8_t v, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  int bits = std::popcount(mask);
  uint32_t value = bits >= 8 ? static_cast<uint32_t>(v) << (bits - 8) : v >> (8 - bits);
  return (value << shift) & mask;
}

void Store(uint8_t* p, uint32_t value, int bytes, bool msbFirst) {
  for (int i = 0; i < bytes; ++i) {
    int shift = msbFirst ? 8 * (bytes - 1 - i) : 8 * i;
    p[i] = static_cast<uint8_t>(value >> shift);
  }
}

}  // namespace

uint32_t PackRgb(const PixelFormat& f, uint8_t r, uint8_t g, uint8_t b) {
  return Scale(r, f.redMask) | Scale(g, f.greenMask) | Scale(b, f.blueMask);
}

bool IsNativeArgb(const PixelFormat& f) {
  return f.bitsPerPixel == 32 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 &&
         f.blueMask == 0xFF && f.msbFirst == (std::endian::native == std::endian::big);
}

void ConvertPixels(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width,
                   int height, const PixelFormat& f) {
  if (IsNativeArgb(f)) {
    for (int y = 0; y < height; ++y) {
      std::memcpy(dst + y * dstStride, src + y * srcStride, static_cast<size_t>(width) * 4);
    }
    return;
  }
  int bytes = f.bitsPerPixel / 8;
  uint32_t red[256], green[256], blue[256];
  for (int v = 0; v < 256; ++v) {
    red[v] = Scale(static_cast<uint8_t>(v), f.redMask);
    green[v] = Scale(static_cast<uint8_t>(v), f.greenMask);
    blue[v] = Scale(static_cast<uint8_t>(v), f.blueMask);
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = src + y * srcStride;
    uint8_t* d = dst + y * dstStride;
    for (int x = 0; x < width; ++x) {
      uint32_t argb;
      std::memcpy(&argb, s + 4 * x, 4);
      uint32_t v = red[(argb >> 16) & 0xFF] | green[(argb >> 8) & 0xFF] | blue[argb & 0xFF];
      Store(d + x * bytes, v, bytes, f.msbFirst);
    }
  }
}

}  // namespace quorix::x11
