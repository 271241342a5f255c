#include "text/lines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "model/common.h"

namespace quorix {

namespace {
uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void WriteLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The bytes of x that are zero, as their top bits. Above the lowest zero byte
// a flag may be wrong; the lowest flag is always right.
constexpr uint64_t ZeroBytes64(uint64_t x) {
  return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
}
constexpr uint64_t kAllCR = 0x0D0D0D0D0D0D0D0Dull;
constexpr uint64_t kAllLF = 0x0A0A0A0A0A0A0A0Aull;

}  // namespace

uint32_t FirstOf3(const uint8_t* p, uint32_t n, uint32_t readable, uint8_t a, uint8_t b,
                  uint8_t c) {
  uint32_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    const uint64_t wa = 0x0101010101010101ull * a, wb = 0x0101010101010101ull * b,
                   wc = 0x0101010101010101ull * c;
    // Whole words while they lie inside the readable bytes; a hit at or
    // past n does not count.
    for (; i < n && readable - i >= 8; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      const uint64_t hit = ZeroBytes64(w ^ wa) | ZeroBytes64(w ^ wb) | ZeroBytes64(w ^ wc);
      if (hit != 0) return std::min<uint32_t>(i + std::countr_zero(hit) / 8, n);
    }
  }
  for (; i < n; ++i)
    if (p[i] == a || p[i] == b || p[i] == c) return i;
  return n;
}

namespace {

// Offset of the first CR or LF in p[from, n), or n.
uint32_t NextCrOrLf(const uint8_t* p, uint32_t from, uint32_t n) {
  uint32_t i = from;
  if constexpr (std::endian::native == std::endian::little) {
    for (; n - i >= 8; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      const uint64_t hit = ZeroBytes64(w ^ kAllCR) | ZeroBytes64(w ^ kAllLF);
      if (hit != 0) return i + std::countr_zero(hit) / 8;
    }
  }
  for (; i < n; ++i)
    if (p[i] == kCR || p[i] == kLF) return i;
  return n;
}

// The first i in [from, n) where a line ends (EndsLineAt), or n.
uint32_t NextLineEnd(std::span<const uint8_t> text, uint32_t from, uint32_t n) {
  if (from >= n) return n;
  const uint32_t i = NextCrOrLf(text.data(), from, n);
  if (i >= n || EndsLineAt(text, i)) return i;
  // A CR with an LF behind it: the pair ends at the LF.
  return i + 1 < n ? i + 1 : n;
}
}  // namespace

bool EndsLineAt(std::span<const uint8_t> text, uint32_t i) {
  if (text[i] == kLF) return true;
  return text[i] == kCR && (i + 1 >= text.size() || text[i + 1] != kLF);
}

uint32_t CountLines(std::span<const uint8_t> text, uint32_t size) {
  uint32_t count = 2;
  const uint32_t n = std::min<size_t>(std::max<uint32_t>(size, 1), text.size());
  for (uint32_t i = NextLineEnd(text, 0, n); i < n; i = NextLineEnd(text, i + 1, n)) ++count;
  return count;
}

uint32_t BuildLineIndex(std::span<const uint8_t> text, std::span<uint8_t> index, uint32_t size) {
  const uint32_t capacity = index.size() / 4;
  if (capacity == 0) return 0;
  WriteLe32(index.data(), 0);
  uint32_t entries = 1;
  const uint32_t n = std::min<size_t>(std::max<uint32_t>(size, 1), text.size());
  for (uint32_t i = NextLineEnd(text, 0, n); i < n && entries < capacity;
       i = NextLineEnd(text, i + 1, n))
    WriteLe32(index.data() + 4 * entries++, i + 1);
  return entries;
}

uint32_t LineStart(uint32_t n, std::span<const uint8_t> index, uint32_t count) {
  if (n == 0 || n > count) return kFail;
  if (static_cast<uint64_t>(n) * 4 > index.size()) return kFail;
  return ReadLe32(index.data() + 4 * (n - 1));
}

uint32_t LineLength(std::span<const uint8_t> from, uint32_t limit) {
  const uint64_t n = std::min<uint64_t>(std::max<uint32_t>(limit, 1), from.size());
  const uint8_t* p = from.data();
  uint64_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time while they lie inside the span; a line end at or
    // past the n bytes examined does not count.
    for (; i < n && i + 8 <= from.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      const uint64_t hit = ZeroBytes64(w) | ZeroBytes64(w ^ kAllCR) | ZeroBytes64(w ^ kAllLF);
      if (hit != 0) {
        const uint64_t at = i + std::countr_zero(hit) / 8;
        return at < n ? static_cast<uint32_t>(at + 1) : kFail;
      }
    }
  }
  for (; i < n; ++i)
    if (IsLineEnd(p[i])) return static_cast<uint32_t>(i + 1);
  return kFail;
}

uint32_t FirstLineEnd(std::span<const uint8_t> text, uint32_t from, uint32_t n) {
  return NextLineEnd(text, from, static_cast<uint32_t>(std::min<size_t>(n, text.size())));
}

uint32_t ScanLineStart(uint32_t n, std::span<const uint8_t> text, uint32_t limit) {
  if (n <= 1) return 0;
  uint32_t lfs = 0;
  uint64_t end = std::min<uint64_t>(limit, text.size());
  for (uint64_t i = 0; i < end; ++i) {
    if (EndsLineAt(text, static_cast<uint32_t>(i)) && ++lfs == n - 1)
      return static_cast<uint32_t>(i + 1);
  }
  return kFail;
}

namespace {

uint32_t CopyOut(std::span<uint8_t> line, uint32_t chars, std::span<uint8_t> out) {
  // The CR of a CR LF pair becomes a NUL; a lone CR stays, since it alone
  // marks where the next line starts.
  if (line[chars] == kCR && chars + 1 < line.size() && line[chars + 1] == kLF) line[chars] = 0;
  for (uint8_t* tab = static_cast<uint8_t*>(std::memchr(line.data(), kTab, chars)); tab != nullptr;
       tab = static_cast<uint8_t*>(std::memchr(tab + 1, kTab, line.data() + chars - tab - 1)))
    *tab = ' ';
  uint32_t keep = std::min<uint32_t>(chars, out.size() - 1);
  std::memcpy(out.data(), line.data(), keep);
  out[keep] = 0;
  return keep + 1;
}

uint32_t FetchAt(uint32_t start, std::span<uint8_t> text, std::span<uint8_t> out, uint32_t limit) {
  if (start == kFail || start > text.size() || out.empty()) return kFail;
  std::span<uint8_t> line = text.subspan(start);
  // One byte more than the text's size: a text whose only line has no line
  // end still ends at the zero the loader keeps behind it.
  uint32_t len = LineLength(line, limit == kFail ? limit : limit + 1);
  if (len == kFail) return kFail;
  return CopyOut(line, len - 1, out);
}

}  // namespace

bool LocateLine(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                uint32_t limit, uint32_t count, const uint8_t** start, uint32_t* chars) {
  if (static_cast<int32_t>(n) >= static_cast<int32_t>(count)) return false;
  const uint32_t s = LineStart(n, index, count);
  if (s == kFail || s > text.size()) return false;
  const uint32_t len = LineLength(text.subspan(s), limit == kFail ? limit : limit + 1);
  if (len == kFail) return false;
  *start = text.data() + s;
  *chars = len - 1;
  return true;
}

uint32_t FetchLine(uint32_t n, std::span<uint8_t> text, std::span<const uint8_t> index,
                   std::span<uint8_t> out, uint32_t limit, uint32_t count) {
  if (static_cast<int32_t>(n) >= static_cast<int32_t>(count)) return kFail;
  return FetchAt(LineStart(n, index, count), text, out, limit);
}

bool LineHidesText(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                   uint32_t size, uint32_t count) {
  const uint8_t* start;
  uint32_t chars;
  if (!LocateLine(n, text, index, size, count, &start, &chars)) return false;
  return LocatedLineHidesText(n, text, index, size, count, start, chars);
}

bool LocatedLineHidesText(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                          uint32_t size, uint32_t count, const uint8_t* start, uint32_t chars) {
  const uint64_t end = static_cast<uint64_t>(start - text.data()) + chars;
  // A line that ends at its CR or LF is followed by nothing but its line end.
  if (end < text.size() && text[end] != 0) return false;
  uint64_t next = size;
  if (n + 1 < count) {
    const uint32_t s = LineStart(n + 1, index, count);
    if (s != kFail) next = s;
  }
  // Between the line's end and the next line only NULs and line end bytes
  // may stand (a CR LF pair's CR is a NUL once the line was fetched).
  for (uint64_t i = end; i < next && i < text.size(); ++i)
    if (text[i] != 0 && text[i] != kCR && text[i] != kLF) return true;
  return false;
}

uint32_t FetchLocatedLine(std::span<uint8_t> text, const uint8_t* start, uint32_t chars,
                          std::span<uint8_t> out) {
  if (out.empty()) return kFail;
  return CopyOut(text.subspan(static_cast<size_t>(start - text.data())), chars, out);
}

uint32_t FetchLineByScan(uint32_t n, std::span<uint8_t> text, std::span<uint8_t> out,
                         uint32_t limit, uint32_t count) {
  if (static_cast<int32_t>(n) >= static_cast<int32_t>(count)) return kFail;
  return FetchAt(ScanLineStart(n, text, limit), text, out, limit);
}

uint32_t CleanLine(std::span<uint8_t> buf, uint32_t n) {
  if (buf.empty()) return 0;
  n = std::min<uint32_t>(n, buf.size());
  const uint8_t* first = SkipBlanks(buf.data());
  const uint32_t k = static_cast<uint32_t>(first - buf.data());
  if (k >= n) return 0;  // empty or blank: the buffer stays as it is
  n -= k;
  // The kept text is the n bytes from the first non-blank (its characters
  // and the NUL), or the characters before a ';' when one comes first.
  uint32_t keep = n;
  const uint32_t stop = FirstOf3(first, n, static_cast<uint32_t>(buf.size() - k), ';', 0, kCR);
  if (stop < n && first[stop] == ';') keep = stop;
  if (k != 0) std::memmove(buf.data(), first, keep);
  if (keep < n) std::memset(buf.data() + keep, 0, n - keep);
  return keep;
}

uint32_t BytesEqual(const uint8_t* a, const uint8_t* b, uint32_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0 ? 1 : 0;
}

void ZeroBytes(uint8_t* p, uint32_t n) {
  if (n) std::memset(p, 0, n);
}

void CopyBytes(uint8_t* dst, const uint8_t* src, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) dst[i] = src[i];
}

uint32_t ListEntry(const char* list, std::span<char> out, uint32_t n) {
  if (n == 0 || out.size() < 2) return 0;
  const char* p = list;
  uint32_t len = 0;
  for (uint32_t i = 1; i <= n; ++i) {
    len = 0;
    size_t o = 0;
    for (;;) {
      unsigned char c = static_cast<unsigned char>(p[len]);
      if (c == 0) break;  // the list's end: not copied
      if (o + 1 < out.size()) out[o++] = static_cast<char>(c);
      if (c < 16) break;
      ++len;
    }
    out[o] = 0;
    // Past the control byte and the byte after it (the LF of CR LF), but
    // never past the list's closing NUL.
    if (p[len] != 0) {
      p += len + 1;
      if (*p != 0) ++p;
    } else {
      p += len;  // stays on the NUL: later entries are empty
    }
  }
  return len;
}

}  // namespace quorix
