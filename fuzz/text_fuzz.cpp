// The number and line primitives on arbitrary bytes. Every text sits in a
// heap block of exactly its own size (plus the zero the loader keeps behind
// a text), so a read past it is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "model/context_record.h"
#include "text/lines.h"
#include "text/number.h"

using namespace quorix;

namespace {

void CheckLines(const uint8_t* data, size_t size) {
  // The text as loaded: its bytes and one zero behind them.
  std::vector<uint8_t> text(data, data + size);
  text.push_back(0);
  const uint32_t n = static_cast<uint32_t>(size);
  const uint32_t count = CountLines(text, n);
  FUZZ_CHECK(count >= 2);
  std::vector<uint8_t> index(4 * (count - 1));
  FUZZ_CHECK(BuildLineIndex(text, index, n) == count - 1);

  const uint32_t last = std::min<uint32_t>(count - 1, 64);
  for (uint32_t line = 1; line <= last; ++line) {
    const uint8_t* raw = nullptr;
    uint32_t chars = 0;
    const bool located = LocateLine(line, text, index, n, count, &raw, &chars);
    uint8_t a[33], b[33];
    std::memset(a, 0x55, sizeof a);
    std::memset(b, 0x55, sizeof b);
    const uint32_t got = FetchLine(line, text, index, std::span(a, 32), n, count);
    FUZZ_CHECK(located == (got != kFail));
    if (got == kFail) continue;
    FUZZ_CHECK(got >= 1 && got <= 32);
    FUZZ_CHECK(got == std::min<uint32_t>(chars, 31) + 1);
    FUZZ_CHECK(a[got - 1] == 0);
    FUZZ_CHECK(a[32] == 0x55);  // never written past the buffer
    for (uint32_t i = 0; i + 1 < got; ++i) FUZZ_CHECK(a[i] != kTab && !IsLineEnd(a[i]));
    // A second fetch, and a fetch that finds the line by scanning, give the
    // same line.
    FUZZ_CHECK(FetchLine(line, text, index, std::span(b, 32), n, count) == got);
    FUZZ_CHECK(std::memcmp(a, b, got) == 0);
    std::memset(b, 0x55, sizeof b);
    FUZZ_CHECK(FetchLineByScan(line, text, std::span(b, 32), n, count) == got);
    FUZZ_CHECK(std::memcmp(a, b, got) == 0);

    const uint32_t cleaned = CleanLine(std::span(a, 32), got);
    FUZZ_CHECK(cleaned <= got);
    if (cleaned != 0) FUZZ_CHECK(a[0] != ' ' && a[0] != kTab);
    FUZZ_CHECK(std::memchr(a, ';', strnlen(reinterpret_cast<char*>(a), 32)) == nullptr);
  }
  FUZZ_CHECK(FetchLine(count, text, index, std::span<uint8_t>(), n, count) == kFail);
}

void CheckWords(const uint8_t* data, size_t size) {
  // A NUL-terminated copy with the four-byte guard a line buffer keeps.
  std::unique_ptr<uint8_t[]> s(new uint8_t[size + 5]());
  std::memcpy(s.get(), data, size);
  bool readable = false;
  const uint32_t value = ParseNumberChecked(s.get(), &readable);
  FUZZ_CHECK(ParseNumber(s.get()) == value);
  const uint8_t* p = SkipBlanks(s.get());
  FUZZ_CHECK(p >= s.get() && p <= s.get() + size + 1);
  const uint32_t comma = FindChar(s.get(), ',');
  if (comma != kFail) FUZZ_CHECK(comma <= size && s[comma - 1] == ',');

  // A list as the menu and the variables panel keep theirs.
  std::unique_ptr<char[]> list(new char[size + 1]());
  std::memcpy(list.get(), data, size);
  char out[48];
  for (uint32_t e = 0; e <= 6; ++e) {
    std::memset(out, 0x55, sizeof out);
    ListEntry(list.get(), std::span(out, 40), e);
    FUZZ_CHECK(out[40] == 0x55);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  CheckLines(data, size);
  CheckWords(data, size);
  return 0;
}
