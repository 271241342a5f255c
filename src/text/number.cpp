#include "text/number.h"

#include "model/common.h"

namespace quorix {

namespace {

bool EndsRun(uint8_t c) { return c == 0 || c == ' ' || c == 13; }

int DigitValue(uint8_t c, uint32_t base) {
  int d;
  if (c >= '0' && c <= '9')
    d = c - '0';
  else if (base == 16 && c >= 'A' && c <= 'F')
    d = c - 'A' + 10;
  else if (base == 16 && c >= 'a' && c <= 'f')
    d = c - 'a' + 10;
  else
    return -1;
  return d < static_cast<int>(base) ? d : -1;
}

bool EndsHexRun(uint8_t c) { return EndsRun(c) || c == ':'; }

// A digit run in the given base; ok is false when it cannot be read. With
// `suffix`, a hexadecimal run that begins with a decimal digit may end in H
// (21H, 0FFFFH): a run such as BEACH stays a word.
uint32_t Run(const uint8_t* p, uint32_t base, bool* ok, bool suffix = false) {
  uint32_t v = 0;
  *ok = true;
  for (const uint8_t* start = p;; ++p) {
    uint8_t c = *p;
    if (suffix && c == 'H' && p != start && *start >= '0' && *start <= '9' && EndsHexRun(p[1]))
      return v;
    if (EndsRun(c) || (base == 16 && c == ':')) {
      // No digits at all (an empty operand, "MOV AX," or "DW 1,,2") is no
      // number; its value stays 0 for the callers that do not check.
      if (p == start) *ok = false;
      return v;
    }
    int d = DigitValue(c, base);
    if (d < 0 || (base == 16 && v > 0x0FFFFFFF)) {  // hex beyond 32 bits fails
      *ok = false;
      return kFail;
    }
    v = v * base + static_cast<uint32_t>(d);
  }
}

}  // namespace

uint32_t ParseHex(const uint8_t* p) {
  bool ok;
  return Run(p, 16, &ok);
}

uint32_t ParseDecimal(const uint8_t* p) {
  bool ok;
  return Run(p, 10, &ok);
}

uint32_t ParseBinary(const uint8_t* p) {
  bool ok;
  return Run(p, 2, &ok);
}

uint32_t ParseNumberChecked(const uint8_t* p, bool* readable) {
  *readable = true;
  if (p[0] == '-') return 0u - Run(p + 1, 16, readable, true);
  if (p[0] == '#') {
    if (p[1] == '-') return 0u - Run(p + 2, 10, readable);
    if (p[1] == 'B') return Run(p + 2, 2, readable);
    return Run(p + 1, 10, readable);
  }
  if (p[0] == '\'')
    return uint32_t(p[1]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 8 | uint32_t(p[4]);
  if (p[0] == '0' && p[1] == 'X') return Run(p + 2, 16, readable);  // 0x1234
  return Run(p, 16, readable, true);
}

bool CharacterLiteral(const uint8_t* p, uint32_t* code) {
  if (p[0] != '\'' || p[1] == 0 || p[1] == 13 || p[2] != '\'') return false;
  const uint8_t after = p[3];
  if (!(EndsRun(after) || after == ',' || after == 9)) return false;
  *code = p[1];
  return true;
}

uint32_t ParseImmediate(const uint8_t* p, uint32_t bytes, bool* readable) {
  uint32_t code;
  if (bytes <= 2 && CharacterLiteral(p, &code)) {
    *readable = true;
    return code;
  }
  return ParseNumberChecked(p, readable);
}

uint32_t ParseNumber(const uint8_t* p) {
  bool readable;
  return ParseNumberChecked(p, &readable);
}

}  // namespace quorix
