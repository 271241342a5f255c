#include "text/number.h"

#include "app/context_record.h"

namespace quorix {

namespace {
bool EndsRun(uint8_t c) { return c == 0 || c == ' ' || c == 13; }
}  // namespace

uint32_t ParseHex(const uint8_t* p) {
  uint32_t v = 0;
  for (;; ++p) {
    uint8_t c = *p;
    if (EndsRun(c) || c == ':') return v;
    uint32_t d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return kFail;
    if (v > 0x0FFFFFFF) return kFail;  // would need more than 32 bits
    v = v * 16 + d;
  }
}

uint32_t ParseDecimal(const uint8_t* p) {
  uint32_t v = 0;
  for (;; ++p) {
    uint8_t c = *p;
    if (EndsRun(c)) return v;
    if (c < '0' || c > '9') return kFail;
    v = v * 10 + (c - '0');
  }
}

uint32_t ParseBinary(const uint8_t* p) {
  uint32_t v = 0;
  for (;; ++p) {
    uint8_t c = *p;
    if (EndsRun(c)) return v;
    if (c != '0' && c != '1') return kFail;
    v = v * 2 + (c - '0');
  }
}

uint32_t ParseNumber(const uint8_t* p) {
  if (p[0] == '-') return 0u - ParseHex(p + 1);
  if (p[0] == '#') {
    if (p[1] == '-') return 0u - ParseDecimal(p + 2);
    if (p[1] == 'B') return ParseBinary(p + 2);
    return ParseDecimal(p + 1);
  }
  if (p[0] == '\'')
    return uint32_t(p[1]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 8 | uint32_t(p[4]);
  return ParseHex(p);
}

}  // namespace quorix
