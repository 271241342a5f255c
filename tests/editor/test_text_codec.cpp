#include "text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using nuvedo::Encoding;
using nuvedo::LineEnd;

namespace {

struct DetectCase {
  std::string bytes;
  LineEnd expected;
  bool mixed;
};

TEST(TextCodec, DetectsLineEnd) {
  const std::vector<DetectCase> cases = {
      {"", LineEnd::CrLf, false},
      {"MOV AX,1", LineEnd::CrLf, false},
      {"A\r\nB\r\n", LineEnd::CrLf, false},
      {"A\nB\n", LineEnd::Lf, false},
      {"A\r\nB\nC\r\n", LineEnd::CrLf, true},  // majority CR LF
      {"A\nB\nC\r\n", LineEnd::Lf, true},      // majority LF
      {"A\r\nB\n", LineEnd::CrLf, true},       // a tie keeps CR LF
      {"\r\n\n\n", LineEnd::Lf, true},
      {"A\rB\r", LineEnd::CrLf, true},  // lone CRs count for neither
      {"A\nB\rC\n", LineEnd::Lf, true},
      {"\n", LineEnd::Lf, false},
      {"\r\n", LineEnd::CrLf, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(nuvedo::DetectLineEnd(c.bytes), c.expected);
    EXPECT_EQ(nuvedo::CountLineEnds(c.bytes).Mixed(), c.mixed);
  }
}

struct RoundTripCase {
  std::string bytes;
  LineEnd lineEnd;
  Encoding encoding;
};

// A file loaded and saved without an edit comes back byte for byte.
TEST(TextCodec, UneditedFilesRoundTripExactly) {
  std::string everyByte;
  for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b == '\r' ? 'x' : b);
  const std::vector<RoundTripCase> cases = {
      {"", LineEnd::CrLf, Encoding::Utf8},
      {"[ORG 100]\r\nMOV AX,1\r\nINT 21\r\n", LineEnd::CrLf, Encoding::Utf8},
      {"START:\r\n\r\n\r\nJMP START", LineEnd::CrLf, Encoding::Utf8},
      {"MOV AX,1\nRET\n", LineEnd::Lf, Encoding::Utf8},
      {"\n\n", LineEnd::Lf, Encoding::Utf8},
      {"DB \"caf\xC3\xA9\"\r\n", LineEnd::CrLf, Encoding::Utf8},
      {"DB \"caf\xE9\"\r\n", LineEnd::CrLf, Encoding::Windows1252},
      {"; \x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF\n", LineEnd::Lf, Encoding::Windows1252},
      {everyByte, LineEnd::Lf, Encoding::Windows1252},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const auto result = nuvedo::DecodeFile(c.bytes);
    ASSERT_TRUE(result.decoded.has_value()) << result.error;
    const auto& doc = *result.decoded;
    EXPECT_EQ(doc.lineEnd, c.lineEnd);
    EXPECT_EQ(doc.encoding, c.encoding);
    EXPECT_FALSE(doc.mixedLineEnds);
    EXPECT_EQ(doc.text.find('\r'), std::string::npos);
    const auto saved = nuvedo::EncodeFile(doc.text, doc.lineEnd, doc.encoding);
    ASSERT_FALSE(saved.failure.has_value());
    EXPECT_EQ(saved.bytes, c.bytes);
  }
}

struct DecodeCase {
  std::string bytes;
  std::string text;  // UTF-8 with "\n"
  Encoding encoding;
};

TEST(TextCodec, DecodesUtf8OrWindows1252) {
  const std::vector<DecodeCase> cases = {
      {"caf\xC3\xA9", "caf\xC3\xA9", Encoding::Utf8},
      {"caf\xE9", "caf\xC3\xA9", Encoding::Windows1252},
      {"\x80", "\xE2\x82\xAC", Encoding::Windows1252},           // euro sign
      {"\x81\x9F", "\xC2\x81\xC5\xB8", Encoding::Windows1252},   // undefined byte, Y diaeresis
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", Encoding::Utf8},  // four-byte sequence
      {"\xC0\xAF", "\xC3\x80\xC2\xAF", Encoding::Windows1252},   // overlong '/'
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", Encoding::Windows1252},  // surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC",
       Encoding::Windows1252},                                        // > U+10FFFF
      {"A\xE2\x82", "A\xC3\xA2\xE2\x80\x9A", Encoding::Windows1252},  // truncated at the end
      {"A\r\nB\r\n", "A\nB\n", Encoding::Utf8},
      {"A\rB", "A\nB", Encoding::Utf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const auto result = nuvedo::DecodeFile(c.bytes);
    ASSERT_TRUE(result.decoded.has_value()) << result.error;
    EXPECT_EQ(result.decoded->text, c.text);
    EXPECT_EQ(result.decoded->encoding, c.encoding);
  }
}

TEST(TextCodec, RefusesNulBytes) {
  const std::string bytes("MOV AX,1\r\n\0RET", 15);
  const auto result = nuvedo::DecodeFile(bytes);
  EXPECT_FALSE(result.decoded.has_value());
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(result.errorOffset, 10u);
}

struct SaveCase {
  std::string bufferText;
  LineEnd lineEnd;
  Encoding encoding;
  std::string bytes;
};

// Buffer text written back: every line break becomes the file's line end,
// whatever form it has in the buffer (pasted text may bring CR LF or CR).
TEST(TextCodec, SavesWithFileLineEndAndEncoding) {
  const std::vector<SaveCase> cases = {
      {"MOV AX,1\nRET", LineEnd::CrLf, Encoding::Utf8, "MOV AX,1\r\nRET"},
      {"MOV AX,1\nRET\n", LineEnd::Lf, Encoding::Utf8, "MOV AX,1\nRET\n"},
      {"A\r\nB\rC\n", LineEnd::CrLf, Encoding::Utf8, "A\r\nB\r\nC\r\n"},
      {"A\r\nB\rC\n", LineEnd::Lf, Encoding::Utf8, "A\nB\nC\n"},
      {"\n\n", LineEnd::CrLf, Encoding::Utf8, "\r\n\r\n"},
      {"caf\xC3\xA9\n", LineEnd::CrLf, Encoding::Windows1252, "caf\xE9\r\n"},
      {"\xE2\x82\xAC \xC5\xB8", LineEnd::CrLf, Encoding::Windows1252, "\x80 \x9F"},
      {"caf\xC3\xA9\n", LineEnd::CrLf, Encoding::Utf8, "caf\xC3\xA9\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bufferText));
    const auto saved = nuvedo::EncodeFile(c.bufferText, c.lineEnd, c.encoding);
    ASSERT_FALSE(saved.failure.has_value());
    EXPECT_EQ(saved.bytes, c.bytes);
  }
}

// Mixed files: loading and saving unedited normalises to the majority.
TEST(TextCodec, MixedLineEndsAreNormalisedToTheDetectedOne) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A\nB\r\nC\r\n", "A\r\nB\r\nC\r\n"},
      {"A\nB\nC\r\n", "A\nB\nC\n"},
      {"A\rB\r\n", "A\r\nB\r\n"},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(testing::PrintToString(in));
    const auto doc = nuvedo::DecodeFile(in).decoded.value();
    EXPECT_TRUE(doc.mixedLineEnds);
    EXPECT_EQ(nuvedo::EncodeFile(doc.text, doc.lineEnd, doc.encoding).bytes, out);
  }
}

struct UnencodableCase {
  std::string bufferText;
  std::size_t line;
  std::size_t column;
  std::uint32_t codePoint;
};

// A Windows-1252 file must not be saved with characters silently replaced.
TEST(TextCodec, ReportsCharactersWithoutWindows1252Byte) {
  const std::vector<UnencodableCase> cases = {
      {"\xE2\x86\x92", 1, 1, 0x2192},  // arrow on the first line
      {"MOV AX,1\nJMP \xE2\x86\x92X", 2, 5, 0x2192},
      {"A\r\nB\r\n\xC2\x80", 3, 1, 0x80},  // C1 control whose byte means the euro sign
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", 1, 6, 0x1F600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bufferText));
    for (const LineEnd le : {LineEnd::CrLf, LineEnd::Lf}) {
      const auto saved = nuvedo::EncodeFile(c.bufferText, le, Encoding::Windows1252);
      ASSERT_TRUE(saved.failure.has_value());
      EXPECT_EQ(saved.failure->line, c.line);
      EXPECT_EQ(saved.failure->column, c.column);
      EXPECT_EQ(saved.failure->codePoint, c.codePoint);
      EXPECT_TRUE(saved.bytes.empty());
    }
  }
}

TEST(TextCodec, EveryWindows1252ByteMapsBackToItself) {
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = nuvedo::Windows1252ToUtf8(byte);
    EXPECT_TRUE(nuvedo::IsValidUtf8(utf8)) << b;
    const auto back = nuvedo::Utf8ToWindows1252(utf8);
    ASSERT_FALSE(back.failure.has_value()) << b;
    EXPECT_EQ(back.bytes, byte) << b;
  }
}

}  // namespace
