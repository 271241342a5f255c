// Line access over the loaded texts and the small text primitives that the
// assembler grammar is built from. Results are 32-bit values; kFail (all ones)
// is "failure / not found"; found positions are 1-based.
//
// Texts live in workspace regions and are handed in as spans, so no operation
// can read or write outside the region it was given. Fixed-size line buffers
// carry their size as well: a line longer than its buffer is cut to fit.
#pragma once

#include <cstdint>
#include <span>

#include "model/source_text.h"

#include "model/common.h"

namespace quorix {

inline constexpr uint8_t kCR = 13;
inline constexpr uint8_t kLF = 10;
inline constexpr uint8_t kTab = 9;

inline bool IsLineEnd(uint8_t c) { return c == 0 || c == kCR || c == kLF; }

// True when a line ends with the byte at i: an LF, or a CR that no LF
// follows (a CR LF pair is one line end, ending at its LF).
bool EndsLineAt(std::span<const uint8_t> text, uint32_t i);

// Line count of a text: 2 plus the number of line ends among its first
// `size` bytes (the first byte is examined even when size is 0). A line end
// is an LF, a CR LF pair, or a CR without LF after it.
uint32_t CountLines(std::span<const uint8_t> text, uint32_t size);
// Writes the LineIndex of the text: entry 0 = 0, then p+1 for every line end
// whose last byte is at p.
// Returns the number of entries written (never more than the index holds).
uint32_t BuildLineIndex(std::span<const uint8_t> text, std::span<uint8_t> index, uint32_t size);

// Entry n-1 of the index; kFail when n is 0 or above count, or the entry
// lies outside the index.
uint32_t LineStart(uint32_t n, std::span<const uint8_t> index, uint32_t count);
// Characters before the first CR, LF or NUL, plus one; kFail when none of
// the first `limit` bytes (and none inside the span) is one.
uint32_t LineLength(std::span<const uint8_t> from, uint32_t limit);
// Offset of the first of the bytes a, b and c among p[0, n), or n. Reads
// eight bytes at a time, never past the first `readable` bytes (readable >= n).
uint32_t FirstOf3(const uint8_t* p, uint32_t n, uint32_t readable, uint8_t a, uint8_t b, uint8_t c);
// The first i in [from, n) where a line ends (EndsLineAt), or n (n is cut
// to the text's size).
uint32_t FirstLineEnd(std::span<const uint8_t> text, uint32_t from, uint32_t n);
// Start offset of line n found by counting line ends (n = 0 counts as 1).
uint32_t ScanLineStart(uint32_t n, std::span<const uint8_t> text, uint32_t limit);

// Finds line n as FetchLine would, without changing anything: its first byte
// and its number of characters (before its CR, LF or NUL).
bool LocateLine(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                uint32_t limit, uint32_t count, const uint8_t** start, uint32_t* chars);

// Fetches line n of a loaded text into out, NUL-terminated, tabs turned into
// spaces (in the text as well; the CR of a CR LF terminator becomes a NUL
// there). Returns
// the number of characters copied plus one, or kFail when the line cannot be
// fetched. A line longer than out.size()-1 characters is cut to fit.
uint32_t FetchLine(uint32_t n, std::span<uint8_t> text, std::span<const uint8_t> index,
                   std::span<uint8_t> out, uint32_t limit, uint32_t count);
// True when a NUL ends line n before its line end and text other than NULs
// and line end bytes stands between it and the next line: text that no
// fetch would ever show.
bool LineHidesText(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                   uint32_t size, uint32_t count);
// The same two for a line LocateLine has found (start and chars as it gave
// them), without finding it again.
uint32_t FetchLocatedLine(std::span<uint8_t> text, const uint8_t* start, uint32_t chars,
                          std::span<uint8_t> out);
bool LocatedLineHidesText(uint32_t n, std::span<const uint8_t> text, std::span<const uint8_t> index,
                          uint32_t size, uint32_t count, const uint8_t* start, uint32_t chars);
uint32_t FetchLineByScan(uint32_t n, std::span<uint8_t> text, std::span<uint8_t> out,
                         uint32_t limit, uint32_t count);

// The same readers over a SourceText.
inline bool LocateLine(const SourceText& t, uint32_t n, const uint8_t** start, uint32_t* chars) {
  return LocateLine(n, t.bytes, t.index, t.size, t.lineCount, start, chars);
}
inline uint32_t FetchLine(const SourceText& t, uint32_t n, std::span<uint8_t> out) {
  return FetchLine(n, t.bytes, t.index, out, t.size, t.lineCount);
}
inline bool LocatedLineHidesText(const SourceText& t, uint32_t n, const uint8_t* start,
                                 uint32_t chars) {
  return LocatedLineHidesText(n, t.bytes, t.index, t.size, t.lineCount, start, chars);
}
inline uint32_t FetchLineByScan(const SourceText& t, uint32_t n, std::span<uint8_t> out) {
  return FetchLineByScan(n, t.bytes, out, t.size, t.lineCount);
}

// Removes leading blanks and the ';' comment of a fetched line in place.
// Returns 0 when nothing is left; otherwise the kept characters plus one when
// no comment was cut, or exactly the characters before the ';'.
uint32_t CleanLine(std::span<uint8_t> buf, uint32_t n);

// The primitives below work on NUL-terminated texts in the caller's buffers.
// Address of the first byte that is neither c nor a tab; when a NUL or CR
// comes first, the address just past it.
inline const uint8_t* SkipBlanks(const uint8_t* p, uint8_t c = ' ') {
  for (;; ++p) {
    if (*p == 0 || *p == kCR) return p + 1;
    if (*p != c && *p != kTab) return p;
  }
}
inline uint8_t* SkipBlanks(uint8_t* p, uint8_t c = ' ') {
  return const_cast<uint8_t*>(SkipBlanks(static_cast<const uint8_t*>(p), c));
}
// 1-based position of the first c; kFail when a CR or NUL comes first.
inline uint32_t FindChar(const uint8_t* text, uint8_t c) {
  for (uint32_t i = 0;; ++i) {
    if (text[i] == c) return i + 1;
    if (text[i] == 0 || text[i] == kCR) return kFail;
  }
}
// 1 when the first n bytes are equal (n = 0 gives 1), else 0.
uint32_t BytesEqual(const uint8_t* a, const uint8_t* b, uint32_t n);
void ZeroBytes(uint8_t* p, uint32_t n);
void CopyBytes(uint8_t* dst, const uint8_t* src, uint32_t n);
// Entry n (1-based) of a CR LF separated list, copied into out with its
// ending control byte and a NUL; returns its length (0 and no output for n 0).
uint32_t ListEntry(const char* list, std::span<char> out, uint32_t n);

}  // namespace quorix
