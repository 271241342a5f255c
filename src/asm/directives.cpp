// Bracket directives ([ORG n], [ASLI n], [BITS n], [MODE ...]) and the data
// definitions DB, DW and DD.
#include <cstring>

#include "asm/encoder.h"
#include "asm/symbols.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

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

namespace {

bool AtEnd(const uint8_t* p) { return *p == 0 || *p == kCR; }

uint8_t* SkipSpaces(uint8_t* p) {
  while (*p == ' ' || *p == kTab) ++p;
  return p;
}

// Appends one value of the list: a number, or the address of a label.
uint32_t DataValue(AsmEnv& env, InstructionRecord* rec, const uint8_t* p, size_t len,
                   uint32_t unit) {
  bool readable;
  uint32_t v = ParseNumberChecked(p, &readable);
  if (readable) {
    if (!FitsUnit(v, unit)) return Refuse(env, RangeReason(unit));
  } else {
    const std::string_view name(reinterpret_cast<const char*>(p), len);
    const SymbolHit hit = LookupName(name, env);
    if (hit.line == 0) {
      if (name.substr(0, 3) == "DUP")
        return Refuse(env, "DUP is not part of the dialect; write the values or use a loop");
      return kFail;  // explained as an unreadable number or an unknown label
    }
    v = hit.address;
    // In pass 1 a label further down may still read 0 or an old value.
    if (env.pass >= 2 && unit < 4 && (v >> (8 * unit)) != 0)
      return Refuse(env, unit == 1 ? "the address does not fit in 8 bits"
                                   : "the address does not fit in 16 bits");
  }
  if (!EmitLe(rec, v, unit))
    return Refuse(env, "a data line holds at most 28 bytes; go on in another line");
  return 0;
}

// A string in double quotes: its bytes, whatever the unit. Without its
// closing quote it runs to the end of the line, the byte that ends the line
// included. *p moves past it.
uint32_t DataString(AsmEnv& env, InstructionRecord* rec, uint8_t** p) {
  const uint8_t* s = *p + 1;
  uint32_t len = 0;
  while (s[len] != '"' && s[len] != 0 && s[len] != kCR) ++len;
  const bool closed = s[len] == '"';
  const uint32_t take = closed ? len : len + 1;
  if (rec->OpLength + take > sizeof(rec->OpCode))
    return Refuse(env, "a data line holds at most 28 bytes; go on in another line");
  std::memcpy(rec->OpCode + rec->OpLength, s, take);
  rec->OpLength += take;
  *p = const_cast<uint8_t*>(s) + len + (closed ? 1 : 0);
  return 0;
}

// The four bytes after an apostrophe, read as the dialect always read them
// in a list: the next comma (before any string) became a blank first, and the
// item ends at the next blank. *p moves to the next item, or the line's end.
uint32_t DataQuad(AsmEnv& env, InstructionRecord* rec, uint8_t** p, uint32_t unit) {
  uint8_t* q = *p;
  const uint32_t comma = FindChar(q, ','), quote = FindChar(q, '"');
  if (comma != kFail && (quote == kFail || comma < quote)) q[comma - 1] = ' ';
  bool readable;
  const uint32_t v = ParseNumberChecked(q, &readable);
  if (!FitsUnit(v, unit)) return Refuse(env, RangeReason(unit));
  if (!EmitLe(rec, v, unit))
    return Refuse(env, "a data line holds at most 28 bytes; go on in another line");
  const uint32_t blank = FindChar(q, ' ');
  *p = blank == kFail ? q + std::strlen(reinterpret_cast<char*>(q)) : SkipSpaces(q + blank);
  return 0;
}

}  // namespace

// A list of strings, characters, numbers and label addresses, separated by
// commas or blanks.
uint32_t EncodeDataDefinition(AsmEnv& env, InstructionRecord* recIn, uint8_t* line, uint32_t unit) {
  InstructionRecord rec = *recIn;
  const uint32_t blank = FindChar(line, ' '), quote = FindChar(line, '"');
  uint8_t* p;
  if (quote != kFail && (blank == kFail || quote < blank))
    p = line + quote - 1;  // DB"HI"
  else if (blank != kFail)
    p = SkipSpaces(line + blank);
  else
    return 0;  // DB with nothing after it
  while (!AtEnd(p)) {
    if (*p == ',') return Refuse(env, "a data list has an empty entry");
    uint32_t code;
    if (*p == '\'' && !(unit <= 2 && CharacterLiteral(p, &code))) {
      if (DataQuad(env, &rec, &p, unit) == kFail) return kFail;
      continue;
    }
    if (*p == '"') {
      if (DataString(env, &rec, &p) == kFail) return kFail;
    } else if (*p == '\'') {
      if (!EmitLe(&rec, code, unit))
        return Refuse(env, "a data line holds at most 28 bytes; go on in another line");
      p += 3;
    } else {
      uint8_t* e = p;
      while (!AtEnd(e) && *e != ' ' && *e != kTab && *e != ',') ++e;
      const bool comma = *e == ',';
      if (comma) *e = ' ';  // the number ends at a blank
      if (DataValue(env, &rec, p, static_cast<size_t>(e - p), unit) == kFail) return kFail;
      p = e;
      if (comma) {
        p = SkipSpaces(p + 1);
        if (AtEnd(p)) return Refuse(env, "a data list has an empty entry");
        continue;
      }
    }
    p = SkipSpaces(p);
    if (*p == ',') {
      p = SkipSpaces(p + 1);
      if (AtEnd(p)) return Refuse(env, "a data list has an empty entry");
    }
  }
  *recIn = rec;
  return 0;
}

}  // namespace quorix
