#include "backends/x11/title_codec.h"

#include <algorithm>
#include <cstring>

namespace quorix::x11 {

namespace {

// Code points of the Windows-1252 bytes 0x80..0x9F; 0 where a byte is unassigned.
constexpr uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98..9F
};

// Length of the UTF-8 sequence led by byte b, 0 for a byte that cannot lead.
int SequenceLength(uint8_t b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

}  // namespace

uint8_t CodePointTo1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh1252[i] != 0 && kHigh1252[i] == cp) return static_cast<uint8_t>(0x80 + i);
  }
  return '?';
}

std::string Utf8To1252(std::string_view utf8, bool* lossless) {
  bool exact = true;
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint8_t b = static_cast<uint8_t>(utf8[i]);
    if (b == 0) break;
    int len = SequenceLength(b);
    if (len == 0) {
      out.push_back('?');
      exact = false;
      ++i;
      continue;
    }
    if (len == 1) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    uint32_t cp = b & (0x7F >> len);
    // The second byte's range excludes overlong forms, surrogates and code
    // points above U+10FFFF; the others are plain continuation bytes.
    uint8_t lo = 0x80, hi = 0xBF;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
    size_t j = 1;
    for (; j < static_cast<size_t>(len) && i + j < utf8.size(); ++j) {
      uint8_t c = static_cast<uint8_t>(utf8[i + j]);
      if (c < lo || c > hi) break;
      cp = (cp << 6) | (c & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    if (j == static_cast<size_t>(len)) {
      const uint8_t c = CodePointTo1252(cp);
      if (c == '?') exact = false;
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('?');  // the well-formed prefix counts as one bad character
      exact = false;
    }
    i += j;
  }
  if (lossless) *lossless = exact;
  return out;
}

std::string Utf8TitleToPath(std::string_view utf8) {
  bool lossless = false;
  std::string text = Utf8To1252(utf8, &lossless);
  if (lossless) return text;
  return std::string(utf8.substr(0, std::min(utf8.find('\0'), utf8.size())));
}

std::string Latin1To1252(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    uint8_t b = static_cast<uint8_t>(ch);
    if (b == 0) break;
    out.push_back(static_cast<char>(CodePointTo1252(b)));
  }
  return out;
}

size_t CopyCString(std::string_view text, char* dst, size_t cap) {
  if (cap == 0) return 0;
  size_t n = std::min(text.size(), cap - 1);
  std::memcpy(dst, text.data(), n);
  dst[n] = 0;
  return n;
}

}  // namespace quorix::x11
