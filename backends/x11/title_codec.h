// Window titles as the workbench reads them: 8-bit Windows-1252 text. X
// clients publish titles as UTF-8 (_NET_WM_NAME) or Latin-1 (WM_NAME of type
// STRING); both are converted here. A title with characters that
// Windows-1252 cannot represent is kept in UTF-8 (Utf8TitleToPath).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorix::x11 {

// The Windows-1252 byte of a Unicode code point, or '?' when it has none.
// The five unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) and the C1
// controls have no character and are never produced.
uint8_t CodePointTo1252(uint32_t cp);

// Decodes UTF-8 strictly (no overlong forms, surrogates or code points above
// U+10FFFF); every ill-formed sequence becomes one '?'. Decoding stops at a
// NUL byte, as the title is a C string for the core. *lossless (when given)
// tells whether every character had a Windows-1252 byte.
std::string Utf8To1252(std::string_view utf8, bool* lossless = nullptr);

// A UTF-8 title as a path for the core: in Windows-1252 when every
// character has a byte there; otherwise the UTF-8 bytes unchanged (up to a
// NUL), which are the file's name on a UTF-8 file system, so the file still
// loads instead of a path of '?'.
std::string Utf8TitleToPath(std::string_view utf8);

// Latin-1 bytes are code points U+0000..U+00FF.
std::string Latin1To1252(std::string_view latin1);

// Copies text into dst as a C string of at most cap-1 bytes; returns the
// number of bytes copied. Nothing is written when cap is 0.
size_t CopyCString(std::string_view text, char* dst, size_t cap);

}  // namespace quorix::x11
