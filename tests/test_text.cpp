#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/context_record.h"
#include "text/lines.h"

namespace quorix {
namespace {

// A loaded text in a zero-filled region with its index, as the loader makes it.
struct Loaded {
  std::vector<uint8_t> text;
  std::vector<uint8_t> index;
  uint32_t size = 0;
  uint32_t count = 0;
  uint32_t entries = 0;

  explicit Loaded(const std::string& s, size_t region = 4096, size_t indexEntries = 64)
      : text(region, 0), index(indexEntries * 4, 0) {
    std::copy(s.begin(), s.end(), text.begin());
    size = static_cast<uint32_t>(s.size());
    count = CountLines(text, size);
    entries = BuildLineIndex(text, index, size);
  }
  // Returns the fetched text, or "<fail>".
  std::string Fetch(uint32_t n, size_t bufSize = 1024, uint32_t* len = nullptr) {
    std::vector<uint8_t> buf(bufSize, 0xAA);
    uint32_t r = FetchLine(n, text, index, buf, size, count);
    if (len) *len = r;
    if (r == kFail) return "<fail>";
    return std::string(reinterpret_cast<char*>(buf.data()));
  }
  uint32_t Entry(uint32_t k) const {
    return index[4 * k] | index[4 * k + 1] << 8 | index[4 * k + 2] << 16 | index[4 * k + 3] << 24;
  }
};

struct LineCase {
  const char* name;
  std::string text;
  uint32_t count;
  std::vector<uint32_t> index;
  std::vector<std::string> lines;  // lines 1 .. count-1
};

TEST(LineAccess, CountIndexAndFetchAgree) {
  const LineCase cases[] = {
      {"crlf with final end", "a\r\nb\r\n", 4, {0, 3, 6}, {"a", "b", ""}},
      {"crlf without final end", "a\r\nb", 3, {0, 3}, {"a", "b"}},
      {"lf only, every line reachable",
       "one\ntwo\nthree\n",
       5,
       {0, 4, 8, 14},
       {"one", "two", "three", ""}},
      {"lf only without final end", "x\ny\nz", 4, {0, 2, 4}, {"x", "y", "z"}},
      {"empty text", "", 2, {0}, {""}},
      {"mixed line ends", "a\r\nb\nc", 4, {0, 3, 5}, {"a", "b", "c"}},
      {"lone CR ends a line", "a\rb\r\n", 4, {0, 2, 5}, {"a", "b", ""}},
      {"CR-only line ends", "MOV AX, 1\rNOP\rHLT", 4, {0, 10, 14}, {"MOV AX, 1", "NOP", "HLT"}},
      {"CR CR LF is two line ends", "a\r\r\nb", 4, {0, 2, 4}, {"a", "", "b"}},
      {"LF CR: the CR ends an empty line", "a\n\rb", 4, {0, 2, 3}, {"a", "", "b"}},
      {"final lone CR", "a\r", 3, {0, 2}, {"a", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded t(c.text);
    EXPECT_EQ(t.count, c.count);
    ASSERT_EQ(t.entries, c.index.size());
    EXPECT_EQ(t.entries, t.count - 1) << "count must match the index";
    for (size_t k = 0; k < c.index.size(); ++k) EXPECT_EQ(t.Entry(k), c.index[k]) << k;
    for (size_t n = 1; n <= c.lines.size(); ++n) EXPECT_EQ(t.Fetch(n), c.lines[n - 1]) << n;
    EXPECT_EQ(t.Fetch(t.count), "<fail>");
    EXPECT_EQ(t.Fetch(0), "<fail>");
  }
}

// The line scans read eight bytes at a time; they must find exactly what a
// byte-by-byte reading finds, wherever the CR, LF or NUL falls in a word and
// wherever the limit or the span ends.
uint32_t LineLengthByBytes(std::span<const uint8_t> from, uint32_t limit) {
  const uint64_t n = std::min<uint64_t>(std::max<uint32_t>(limit, 1), from.size());
  for (uint64_t i = 0; i < n; ++i)
    if (IsLineEnd(from[i])) return static_cast<uint32_t>(i + 1);
  return kFail;
}

std::vector<uint32_t> LineEndsByBytes(std::span<const uint8_t> text, uint32_t size) {
  std::vector<uint32_t> ends;
  const uint32_t n = std::min<size_t>(std::max<uint32_t>(size, 1), text.size());
  for (uint32_t i = 0; i < n; ++i)
    if (EndsLineAt(text, i)) ends.push_back(i + 1);
  return ends;
}

TEST(LineAccess, WordAtATimeScansMatchByteScans) {
  std::mt19937 rng(7);
  const uint8_t alphabet[] = {'A', ' ', kCR, kLF, 0, 0x8D, 0x0A + 0x80, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    // Mostly letters, with line end bytes and NULs sprinkled in; lengths
    // around the word size and past it.
    const size_t len = rng() % 40;
    std::vector<uint8_t> text(len);
    for (auto& b : text) b = rng() % 4 == 0 ? alphabet[rng() % 8] : 'A' + rng() % 26;
    const std::span<const uint8_t> all(text);
    for (size_t from = 0; from <= len; ++from) {
      for (uint32_t limit : {0u, 1u, 7u, 8u, 9u, 16u, static_cast<uint32_t>(len), kFail}) {
        ASSERT_EQ(LineLength(all.subspan(from), limit), LineLengthByBytes(all.subspan(from), limit))
            << "round " << round << " from " << from << " limit " << limit;
      }
    }
    for (uint32_t size = 0; size <= len; ++size) {
      const std::vector<uint32_t> ends = LineEndsByBytes(all, size);
      ASSERT_EQ(CountLines(all, size), ends.size() + 2) << "round " << round << " size " << size;
      std::vector<uint8_t> index(4 * 64, 0xEE);
      const uint32_t entries = BuildLineIndex(all, index, size);
      ASSERT_EQ(entries, std::min<size_t>(ends.size() + 1, 64)) << "round " << round;
      for (uint32_t k = 1; k < entries; ++k) {
        const uint32_t at =
            index[4 * k] | index[4 * k + 1] << 8 | index[4 * k + 2] << 16 | index[4 * k + 3] << 24;
        ASSERT_EQ(at, ends[k - 1]) << "round " << round << " entry " << k;
      }
    }
  }
}

TEST(LineAccess, FetchResultIsLengthPlusOneAndRepeatable) {
  Loaded t("A\r\nB\r\n");
  uint32_t len = 0;
  EXPECT_EQ(t.Fetch(1, 1024, &len), "A");
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(t.Fetch(3, 1024, &len), "");
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(t.Fetch(1, 1024, &len), "A");
  EXPECT_EQ(len, 2u);
}

TEST(LineAccess, TabsBecomeSpacesAndCleanDropsIndent) {
  Loaded t("\tMOV\tAX,1\r\n");
  std::vector<uint8_t> buf(1024, 0);
  uint32_t n = FetchLine(1, t.text, t.index, buf, t.size, t.count);
  EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), " MOV AX,1");
  n = CleanLine(buf, n);
  EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "MOV AX,1");
  EXPECT_EQ(n, 9u);
}

TEST(LineAccess, LongLineIsCutToTheBufferAndNothingIsWrittenPastIt) {
  std::string line(600, 'X');
  Loaded t(line + "\r\nNEXT\r\n");
  std::vector<uint8_t> buf(256 + 16, 0xEE);
  std::span<uint8_t> view(buf.data(), 256);
  uint32_t n = FetchLine(1, t.text, t.index, view, t.size, t.count);
  EXPECT_EQ(n, 256u);
  EXPECT_EQ(buf[255], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data())), std::string(255, 'X'));
  for (size_t i = 256; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << "overrun at " << i;
  std::vector<uint8_t> scan(256 + 16, 0xEE);
  std::span<uint8_t> scanView(scan.data(), 256);
  EXPECT_EQ(FetchLineByScan(1, t.text, scanView, t.size, t.count), 256u);
  for (size_t i = 256; i < scan.size(); ++i) ASSERT_EQ(scan[i], 0xEE);
  EXPECT_EQ(t.Fetch(2), "NEXT");
}

TEST(LineAccess, LineWithoutTerminatorInsideItsRegionCannotBeFetched) {
  std::vector<uint8_t> text(8, 'A');  // fills the region, no CR/LF/NUL
  std::vector<uint8_t> index(8, 0);
  BuildLineIndex(text, index, 8);
  std::vector<uint8_t> buf(64, 0);
  EXPECT_EQ(FetchLine(1, text, index, buf, 100000, 2), kFail);
}

TEST(LineAccess, ScanLineStart) {
  const std::string s = "a\r\nbb\r\nccc";
  std::vector<uint8_t> text(s.begin(), s.end());
  text.push_back(0);
  EXPECT_EQ(ScanLineStart(0, text, 100), 0u);
  EXPECT_EQ(ScanLineStart(1, text, 100), 0u);
  EXPECT_EQ(ScanLineStart(2, text, 100), 3u);
  EXPECT_EQ(ScanLineStart(3, text, 100), 7u);
  EXPECT_EQ(ScanLineStart(4, text, 100), kFail);
  EXPECT_EQ(ScanLineStart(3, text, 5), kFail);  // limit reached first
}

TEST(LineAccess, ErrorDisplayScanStillWorksAfterFetchesOfLfText) {
  Loaded t("NOP\nBAD LINE\nNOP\n");
  EXPECT_EQ(t.Fetch(1), "NOP");
  EXPECT_EQ(t.Fetch(2), "BAD LINE");
  std::vector<uint8_t> buf(256, 0);
  ASSERT_NE(FetchLineByScan(2, t.text, buf, t.size, t.count), kFail);
  EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "BAD LINE");
}

TEST(LineAccess, ScanAndIndexAgreeOnEveryLineEndBeforeAndAfterFetches) {
  // The error display finds a line by scanning; it must find the line the
  // assembler fetched through the index, also once fetches changed the text.
  const std::string texts[] = {"A\rB\rC", "A\r\nB\rC\nD", "\r\r\nX\n\rY", "A\r\r\r\nB"};
  for (const std::string& s : texts) {
    SCOPED_TRACE(::testing::PrintToString(s));
    Loaded t(s);
    for (int round = 0; round < 2; ++round) {
      for (uint32_t n = 1; n < t.count; ++n) {
        const std::string byIndex = t.Fetch(n);
        std::vector<uint8_t> buf(256, 0);
        ASSERT_NE(FetchLineByScan(n, t.text, buf, t.size, t.count), kFail) << n;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data())), byIndex) << n;
      }
    }
  }
}

TEST(LineAccess, TextHiddenBehindANul) {
  const struct {
    std::string text;
    uint32_t line;
    bool hides;
  } cases[] = {
      {std::string("MOV AX, 1\0 ; x\r\nNOP", 19), 1, true},
      {std::string("AB\0CD", 5), 1, true},
      {std::string("NOP\0\r\nHLT", 9), 1, false},  // nothing but line end bytes behind it
      {std::string("NOP\0\0\nHLT", 9), 1, false},
      {std::string("NOP\r\nHLT\0X\n", 11), 2, true},
      {std::string("NOP\r\nHLT", 8), 1, false},
      {std::string("NOP\rHLT", 7), 1, false},
      {std::string("NOP", 3), 1, false},
      {std::string("", 0), 1, false},
  };
  for (const auto& c : cases) {
    Loaded t(c.text);
    EXPECT_EQ(LineHidesText(c.line, t.text, t.index, t.size, t.count), c.hides)
        << ::testing::PrintToString(c.text);
    t.Fetch(c.line);  // a fetch turns a CR LF's CR into a NUL: still no hidden text
    EXPECT_EQ(LineHidesText(c.line, t.text, t.index, t.size, t.count), c.hides)
        << "after a fetch: " << ::testing::PrintToString(c.text);
  }
}

struct CleanCase {
  std::string in;
  std::string out;
  uint32_t result;
};

TEST(CleanLine, Table) {
  const CleanCase cases[] = {
      {"   ; comment", "", 0},
      {"NOP ; comment", "NOP ", 4},
      {"NOP", "NOP", 4},
      {"  MOV AX,1  ", "MOV AX,1  ", 11},
      {"", "", 0},
      {"    ", "", 0},
      {";", "", 0},
      {"DB \"A;B\"", "DB \"A", 5},  // ';' starts a comment even inside quotes
      {"  X;", "X", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::vector<uint8_t> buf(1024, 0);
    std::copy(c.in.begin(), c.in.end(), buf.begin());
    uint32_t r = CleanLine(buf, static_cast<uint32_t>(c.in.size() + 1));
    EXPECT_EQ(r, c.result);
    if (r != 0) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data())), c.out);
    }
  }
}

TEST(TextPrimitives, SkipBlanksFindCharBytesEqual) {
  const uint8_t twoSpacesNul[] = {' ', ' ', 0, 'Z'};
  EXPECT_EQ(SkipBlanks(twoSpacesNul), twoSpacesNul + 3);
  const uint8_t twoSpacesX[] = {' ', '\t', 'X', 0};
  EXPECT_EQ(SkipBlanks(twoSpacesX), twoSpacesX + 2);
  const uint8_t cr[] = {' ', 13, 'X', 0};
  EXPECT_EQ(SkipBlanks(cr), cr + 2);

  const uint8_t axcr[] = {'A', 'X', 13, ',', 'B', 'X', 0};
  EXPECT_EQ(FindChar(axcr, ','), kFail);
  const uint8_t ok[] = "MOV AX,BX";
  EXPECT_EQ(FindChar(ok, ','), 7u);
  EXPECT_EQ(FindChar(ok, 'M'), 1u);

  EXPECT_EQ(BytesEqual(ok, axcr, 0), 1u);
  EXPECT_EQ(BytesEqual(ok, ok, 9), 1u);
  EXPECT_EQ(BytesEqual(ok, axcr, 1), 0u);
}

TEST(TextPrimitives, ListEntry) {
  const char* menu = " \r\nLoad File\r\nCompile\r\n";
  char buf[64];
  EXPECT_EQ(ListEntry(menu, buf, 2), 9u);
  EXPECT_STREQ(buf, "Load File\r");
  EXPECT_EQ(ListEntry(menu, buf, 1), 1u);
  EXPECT_EQ(ListEntry(menu, buf, 3), 7u);
  EXPECT_EQ(ListEntry(menu, buf, 4), 0u);  // the list's end
  EXPECT_EQ(ListEntry(menu, buf, 9), 0u);
  EXPECT_EQ(ListEntry(menu, buf, 0), 0u);
  char tiny[4];
  EXPECT_EQ(ListEntry(menu, tiny, 2), 9u);  // length reported, copy cut to fit
  EXPECT_STREQ(tiny, "Loa");
}

TEST(TextPrimitives, ListEntryNeverStepsOverTheListsEnd) {
  // A last entry ended by a lone LF just before the closing NUL: the next
  // entry is the list's end, not whatever lies behind the NUL.
  const char block[] = "A\r\nB\n\0XYZ\r\n";
  const struct {
    uint32_t n;
    uint32_t length;
    const char* text;
  } cases[] = {{1, 1, "A\r"}, {2, 1, "B\n"}, {3, 0, ""}, {4, 0, ""}};
  for (const auto& c : cases) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(ListEntry(block, buf, c.n), c.length) << c.n;
    if (c.length) {
      EXPECT_STREQ(buf, c.text) << c.n;
    }
  }
  // The same in a block of exactly its own size (a sanitizer build reports
  // any read past it).
  auto list = std::make_unique<char[]>(6);
  std::memcpy(list.get(), "A\r\nB\n", 6);
  char buf[16];
  EXPECT_EQ(ListEntry(list.get(), buf, 3), 0u);
}

}  // namespace
}  // namespace quorix
