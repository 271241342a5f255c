// Bracket directives ([ORG n], [ASLI n], [BITS n], [MODE ...]) and the data
// definitions DB, DW and DD.
#include <cstring>

#include "asm/encoder.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

inline constexpr uint32_t kMaxString = 200;

uint32_t ApplyBracketDirective(InstructionRecord* recIn, uint8_t* line) {
  InstructionRecord rec = *recIn;
  const uint32_t close = FindChar(line, ']');
  if (close == kFail) return kFail;  // the directive cannot be read safely
  const uint8_t* kw = SkipBlanks(line + 1);
  const bool org = std::memcmp(kw, "ORG ", 4) == 0 || std::memcmp(kw, "ASLI", 4) == 0;
  const bool bits = std::memcmp(kw, "BITS", 4) == 0;
  if (!org && !bits) return 0;  // [MODE ...] and unknown keywords change nothing
  line[close - 1] = ' ';
  const uint32_t blank = FindChar(kw, ' ');
  if (blank == kFail) return kFail;
  bool readable;
  const uint32_t n = ParseNumberChecked(SkipBlanks(kw + blank), &readable);
  if (!readable) return kFail;
  if (org) {
    rec.Origin = n;
  } else if (n == 16) {
    rec.BitsMode = kBits16;
  } else if (n == 32) {
    rec.BitsMode = kBits32;
  } else {
    return kFail;  // neither sixteen nor thirty-two
  }
  *recIn = rec;
  return 0;
}

uint32_t EncodeDataDefinition(InstructionRecord* recIn, uint8_t* line, uint32_t unit) {
  InstructionRecord rec = *recIn;
  if (const uint32_t quote = FindChar(line, '"'); quote != kFail) {
    const uint8_t* s = line + quote;
    uint32_t len = 0;
    while (s[len] != '"' && s[len] != 0 && s[len] != kCR) ++len;
    if (s[len] != '"') ++len;  // unclosed: the byte that ends the line counts too
    if (len > kMaxString || rec.OpLength + len > sizeof(rec.OpCode)) {
      recIn->ErrorFlag = kFail;
      return 0;
    }
    std::memcpy(rec.OpCode + rec.OpLength, s, len);
    rec.OpLength += len;
    *recIn = rec;
    return 0;
  }

  uint32_t blank = FindChar(line, ' ');
  if (blank == kFail) return 0;  // DB with nothing after it
  uint8_t* p = SkipBlanks(line + blank);
  while (p[-1] != 0 && p[-1] != kCR) {  // stop once the end of the line was passed
    if (uint32_t comma = FindChar(p, ','); comma != kFail) {
      p[comma - 1] = ' ';
      const uint8_t* next = SkipBlanks(p + comma);
      if (next[-1] == 0 || next[-1] == kCR) {  // "DW 1," : nothing after the comma
        recIn->ErrorFlag = kFail;
        return 0;
      }
    }
    bool readable;
    const uint32_t v = ParseNumberChecked(p, &readable);
    // A value that does not fit its unit fails instead of losing its high bits.
    if (!readable || !FitsUnit(v, unit) || !EmitLe(&rec, v, unit)) {
      recIn->ErrorFlag = kFail;
      return 0;
    }
    const uint32_t next = FindChar(p, ' ');
    if (next == kFail) break;
    p = SkipBlanks(p + next);
  }
  *recIn = rec;
  return 0;
}

}  // namespace quorix
