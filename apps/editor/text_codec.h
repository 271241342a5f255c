// Byte-level handling of the files nuvedo edits: line-end and encoding
// detection on load, and the exact inverse on save.
//
// The editing buffer always holds UTF-8 with "\n" line breaks. A file is
// decoded into that form together with the facts needed to write it back
// the way it came: its line end (CR LF or LF) and its encoding (UTF-8 when
// the bytes are valid UTF-8, Windows-1252 otherwise). Nothing in here
// depends on GTK or GLib so it can be tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nuvedo {

enum class LineEnd { CrLf, Lf };
enum class Encoding { Utf8, Windows1252 };

const char* LineEndName(LineEnd le);     // "CR LF" / "LF"
const char* EncodingName(Encoding enc);  // "UTF-8" / "Windows-1252"

struct LineEndCounts {
  std::size_t crlf = 0;
  std::size_t lf = 0;  // LF not preceded by CR
  std::size_t cr = 0;  // CR not followed by LF
  // Writing the text back with a single line end changes its bytes: both
  // CR LF and bare LF occur, or there are lone CRs.
  bool Mixed() const { return (crlf > 0 && lf > 0) || cr > 0; }
};
LineEndCounts CountLineEnds(std::string_view bytes);

// CR LF unless bare LF line ends outnumber CR LF ones. A text without any
// line end (including the empty text) gets CR LF, the form the assembler
// workbench reads. A lone CR counts for neither side.
LineEnd DetectLineEnd(std::string_view bytes);

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequences.
bool IsValidUtf8(std::string_view bytes);

// Windows-1252 <-> UTF-8. Every byte has a mapping: the five bytes that
// Windows-1252 leaves undefined (81 8D 8F 90 9D) map to the C1 control
// characters of the same number, so any byte string round-trips exactly.
std::string Windows1252ToUtf8(std::string_view bytes);

struct EncodeFailure {
  std::size_t line = 0;    // 1-based line of the first character that has no byte
  std::size_t column = 0;  // 1-based, in characters
  std::uint32_t codePoint = 0;
};

// Converts valid UTF-8 to Windows-1252. Fails on the first character that
// Windows-1252 cannot represent (or on malformed input) and says where.
struct Windows1252Result {
  std::string bytes;
  std::optional<EncodeFailure> failure;
};
Windows1252Result Utf8ToWindows1252(std::string_view utf8);

// Replaces every line break (CR LF, lone LF, lone CR) by "\n".
std::string ToLf(std::string_view text);

// Replaces every line break (CR LF, lone LF, lone CR) by the given line end.
std::string WithLineEnd(std::string_view text, LineEnd le);

struct DecodedText {
  std::string text;  // UTF-8, "\n" line breaks
  LineEnd lineEnd = LineEnd::CrLf;
  Encoding encoding = Encoding::Utf8;
  // The file mixed line ends (or had lone CRs); saving writes lineEnd
  // everywhere, so the bytes change even without an edit.
  bool mixedLineEnds = false;
};

struct DecodeResult {
  std::optional<DecodedText> decoded;
  std::string error;  // set when decoded is empty
  std::size_t errorOffset = 0;
};

// Decodes the bytes of a file. Refuses bytes containing NUL: such a file is
// not text and could not be written back unchanged.
DecodeResult DecodeFile(std::string_view bytes);

struct EncodeResult {
  std::string bytes;
  std::optional<EncodeFailure> failure;  // set when the text cannot be encoded
};

// Turns buffer text (UTF-8, any line breaks) into the bytes of the file.
EncodeResult EncodeFile(std::string_view text, LineEnd le, Encoding enc);

}  // namespace nuvedo
