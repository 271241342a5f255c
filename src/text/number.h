// Number literals of the dialect. A bare digit run is hexadecimal; '#' makes
// it decimal, '#B' binary; a leading '-' negates; an apostrophe takes the next
// four bytes as a big-endian value. Textbook forms: a hexadecimal run that
// begins with a digit may end in H (21H, 0FFFFH), and 0X begins one (0X1234). kFail (all ones) is
// the failure value, indistinguishable from a literal whose value has all bits set.
#pragma once

#include <cstdint>

namespace quorix {

// The four bytes after an apostrophe are read whatever they are, so the text
// must have at least four readable bytes after its NUL (line buffers keep a
// zeroed guard for this).
uint32_t ParseNumber(const uint8_t* text);
// The same value; *readable is false when the digit run could not be read
// (so an all-ones value can be told from a failed literal).
uint32_t ParseNumberChecked(const uint8_t* text, bool* readable);
// A character in apostrophes ('A'), followed by the end of its operand: its
// code. False for any other text.
bool CharacterLiteral(const uint8_t* text, uint32_t* code);
// The value of an immediate `bytes` wide: in a 1- or 2-byte field a
// character literal gives its code (its four-byte reading never fits there);
// otherwise ParseNumberChecked.
uint32_t ParseImmediate(const uint8_t* text, uint32_t bytes, bool* readable);
uint32_t ParseHex(const uint8_t* text);
uint32_t ParseDecimal(const uint8_t* text);
uint32_t ParseBinary(const uint8_t* text);

}  // namespace quorix
