#include "text_codec.h"

#include <array>

namespace nuvedo {

namespace {

// Code points of the Windows-1252 bytes 0x80 to 0x9F. The five bytes the
// code page leaves undefined keep their own number (C1 controls), which is
// also how browsers decode them.
constexpr std::array<std::uint16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::uint32_t Windows1252CodePoint(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
  return b;
}

std::optional<unsigned char> Windows1252Byte(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at pos. On success stores the code point,
// advances pos and returns true; malformed input leaves pos unchanged.
bool NextCodePoint(std::string_view s, std::size_t& pos, std::uint32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  std::size_t len = 0;
  std::uint32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (s.size() - pos < len) return false;
  for (std::size_t i = 1; i < len; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += len;
  return true;
}

template <typename Emit>
void ForEachLineBreak(std::string_view text, Emit&& emitBreak, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      emitBreak(out);
    } else if (c == '\n') {
      emitBreak(out);
    } else {
      out += c;
    }
  }
}

}  // namespace

const char* LineEndName(LineEnd le) { return le == LineEnd::CrLf ? "CR LF" : "LF"; }

const char* EncodingName(Encoding enc) { return enc == Encoding::Utf8 ? "UTF-8" : "Windows-1252"; }

LineEndCounts CountLineEnds(std::string_view bytes) {
  LineEndCounts n;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
        ++n.crlf;
        ++i;
      } else {
        ++n.cr;
      }
    } else if (bytes[i] == '\n') {
      ++n.lf;
    }
  }
  return n;
}

LineEnd DetectLineEnd(std::string_view bytes) {
  const LineEndCounts n = CountLineEnds(bytes);
  return n.lf > n.crlf ? LineEnd::Lf : LineEnd::CrLf;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  std::uint32_t cp = 0;
  while (pos < bytes.size()) {
    if (!NextCodePoint(bytes, pos, cp)) return false;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c)));
  return out;
}

Windows1252Result Utf8ToWindows1252(std::string_view utf8) {
  Windows1252Result result;
  result.bytes.reserve(utf8.size());
  std::size_t line = 1;
  std::size_t column = 1;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::uint32_t cp = 0;
    const std::size_t start = pos;
    const bool ok = NextCodePoint(utf8, pos, cp);
    const auto mapped = ok ? Windows1252Byte(cp) : std::nullopt;
    if (!mapped) {
      result.failure =
          EncodeFailure{line, column, ok ? cp : static_cast<unsigned char>(utf8[start])};
      result.bytes.clear();
      return result;
    }
    result.bytes += static_cast<char>(*mapped);
    const bool crlfTail = cp == '\n' && start > 0 && utf8[start - 1] == '\r';
    if (cp == '\r' || (cp == '\n' && !crlfTail)) {
      ++line;
      column = 1;
    } else if (!crlfTail) {
      ++column;
    }
  }
  return result;
}

std::string ToLf(std::string_view text) { return WithLineEnd(text, LineEnd::Lf); }

std::string WithLineEnd(std::string_view text, LineEnd le) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  if (le == LineEnd::CrLf) {
    ForEachLineBreak(
        text, [](std::string& o) { o += "\r\n"; }, out);
  } else {
    ForEachLineBreak(
        text, [](std::string& o) { o += '\n'; }, out);
  }
  return out;
}

DecodeResult DecodeFile(std::string_view bytes) {
  DecodeResult result;
  if (const auto nul = bytes.find('\0'); nul != std::string_view::npos) {
    result.error = "the file contains a NUL byte; it is not a text file";
    result.errorOffset = nul;
    return result;
  }
  DecodedText decoded;
  decoded.lineEnd = DetectLineEnd(bytes);
  decoded.mixedLineEnds = CountLineEnds(bytes).Mixed();
  if (IsValidUtf8(bytes)) {
    decoded.encoding = Encoding::Utf8;
    decoded.text = ToLf(bytes);
  } else {
    decoded.encoding = Encoding::Windows1252;
    decoded.text = ToLf(Windows1252ToUtf8(bytes));
  }
  result.decoded = std::move(decoded);
  return result;
}

EncodeResult EncodeFile(std::string_view text, LineEnd le, Encoding enc) {
  EncodeResult result;
  std::string converted = WithLineEnd(text, le);
  if (enc == Encoding::Utf8) {
    result.bytes = std::move(converted);
    return result;
  }
  auto w = Utf8ToWindows1252(converted);
  result.bytes = std::move(w.bytes);
  result.failure = w.failure;
  return result;
}

}  // namespace nuvedo
