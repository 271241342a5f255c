// Copies the back buffer (cairo ARGB32: native-endian 0xAARRGGBB words) into
// an XImage of a TrueColor visual.
#pragma once

#include <cstdint>

namespace quorix::x11 {

struct PixelFormat {
  uint32_t redMask = 0;
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
  int bitsPerPixel = 32;  // 8, 16, 24 or 32
  bool msbFirst = false;  // the image's byte order
};

// The pixel value of (r, g, b) in the format, each channel scaled to its mask.
uint32_t PackRgb(const PixelFormat& f, uint8_t r, uint8_t g, uint8_t b);

// True when the format is the ARGB32 layout itself (32 bits, masks FF0000,
// FF00, FF, in this machine's byte order): rows are copied as they are.
bool IsNativeArgb(const PixelFormat& f);

// Converts width x height pixels; strides are in bytes.
void ConvertPixels(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width,
                   int height, const PixelFormat& f);

}  // namespace quorix::x11
