// The forms with a register and a register or memory operand whose opcode
// the two-operand templates do not hold: IMUL with two and three operands,
// BSF, BSR, CMOVcc, MOVZX, MOVSX, LDS, LES, BOUND, XADD, CMPXCHG, the bit
// tests and SETcc. A memory operand is read by the two-operand encoder with
// the opcode 00 (kOperandsOnly); its opcode byte is then replaced.
#include <cstring>

#include "asm/encoder_parts.h"
#include "text/number.h"

namespace quorix::encoding {

namespace {

bool IsPrefix(uint8_t b) {
  return b == 0x66 || b == 0x67 || b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 ||
         b == 0x65;
}

// Replaces OpCode[at] by the `len` bytes of `pattern` (first byte most
// significant), moving the bytes after it.
bool ReplaceOpcode(InstructionRecord* rec, uint32_t at, uint32_t pattern, uint32_t len) {
  if (rec->OpLength + len - 1 > sizeof(rec->OpCode)) return false;
  std::memmove(rec->OpCode + at + len, rec->OpCode + at + 1, rec->OpLength - at - 1);
  for (uint32_t i = 0; i < len; ++i)
    rec->OpCode[at + i] = static_cast<uint8_t>(pattern >> (8 * (len - 1 - i)));
  rec->OpLength += len - 1;
  return true;
}

bool Wide(uint32_t cls) { return cls == ClassWord || cls == ClassDword; }

// The position of the n-th (1-based) character c of the line, or kFail.
uint32_t NthChar(const uint8_t* line, uint8_t c, uint32_t n) {
  uint32_t at = 0;
  for (uint32_t k = 0; k < n; ++k) {
    const uint32_t p = FindChar(line + at, c);
    if (p == kFail) return kFail;
    at += p;
  }
  return at;
}

// True when the line's memory operand stands before its first ','.
bool MemoryFirst(const uint8_t* line) {
  const uint32_t bracket = FindChar(line, '['), comma = FindChar(line, ',');
  return bracket != kFail && (comma == kFail || bracket < comma);
}

// The size marker agrees with a register of class `cls` (or there is none).
bool MarkerFits(const uint8_t* line, uint32_t cls) {
  const uint8_t m = MarkerLetter(line);
  return m == 0 || (m == 'B' && cls == ClassByte) || (m == 'W' && cls == ClassWord) ||
         (m == 'D' && cls == ClassDword);
}

}  // namespace

uint32_t ConditionCode(const uint8_t* p) {
  static const struct {
    const char* letters;
    uint8_t code;
  } kConditions[] = {
      {"O", 0},   {"NO", 1},  {"B", 2},   {"C", 2},   {"NAE", 2}, {"AE", 3},
      {"NB", 3},  {"NC", 3},  {"E", 4},   {"Z", 4},   {"NE", 5},  {"NZ", 5},
      {"BE", 6},  {"NA", 6},  {"A", 7},   {"NBE", 7}, {"S", 8},   {"NS", 9},
      {"P", 10},  {"PE", 10}, {"NP", 11}, {"PO", 11}, {"L", 12},  {"NGE", 12},
      {"GE", 13}, {"NL", 13}, {"LE", 14}, {"NG", 14}, {"G", 15},  {"NLE", 15},
  };
  for (const auto& c : kConditions) {
    const size_t n = std::strlen(c.letters);
    if (std::memcmp(p, c.letters, n) == 0 && WordEnds(p[n])) return c.code;
  }
  return kFail;
}

// Encodes the operands through the two-operand encoder with opcode 00; *at
// is where that opcode byte lies.
uint32_t Encoder::OperandsAt(uint32_t* at) {
  const uint32_t start = rec->OpLength;
  if (Two(kOperandsOnly) == kFail || rec->OpLength == start) return kFail;
  uint32_t i = start;
  while (i < rec->OpLength && IsPrefix(rec->OpCode[i])) ++i;
  if (i + 1 >= rec->OpLength) return kFail;
  *at = i;
  return 0;
}

// r16/32, r/m16/32 with the first operand in the reg field: 0F AF (IMUL),
// 0F BC/BD, 0F 4x, or 69 (IMUL with an immediate, appended by the caller).
uint32_t Encoder::RegRm(uint32_t opcode, uint32_t opcodeLen, const char* reason) {
  const uint8_t* dst = Operand();
  const uint8_t* src = SecondOperand(line);
  uint32_t dcls = 0, scls = 0;
  if (!dst || !src || WholeRegister(dst, &dcls) == kFail || !Wide(dcls) || MemoryFirst(line))
    return Refuse(env, reason);
  if (Contains(line, '[')) {
    if (!MarkerFits(line, dcls)) return Refuse(env, "size marker does not match the register");
  } else if (WholeRegister(src, &scls) == kFail || scls != dcls) {
    return Refuse(env, reason);
  }
  uint32_t at;
  if (OperandsAt(&at) == kFail) return Refuse(env, reason);
  return ReplaceOpcode(rec, at, opcode, opcodeLen) ? 0 : Refuse(env, reason);
}

// IMUL: one operand F7 /5; r,r/m 0F AF; r,r/m,imm and r,imm 69 with an
// immediate of the register's width.
uint32_t Encoder::Imul() {
  static const char* const kNo = "no such operand form for IMUL";
  if (!HasSecondOperand()) return One(kImul);
  const uint32_t third = NthChar(line, ',', 2);
  const uint8_t* src = SecondOperand(line);
  uint32_t dcls = 0, scls = 0;
  const uint8_t* dst = Operand();
  const uint32_t r = dst ? WholeRegister(dst, &dcls) : kFail;
  if (r == kFail || !Wide(dcls)) return Refuse(env, kNo);
  const bool immediateOnly = !Contains(line, '[') && WholeRegister(src, &scls) == kFail;
  if (third == kFail && !immediateOnly) return RegRm(0x0FAF, 2, kNo);
  if (immediateOnly && third != kFail) return Refuse(env, kNo);
  bool readable;
  const uint32_t imm =
      ParseNumberChecked(immediateOnly ? src : SkipBlanks(line + third), &readable);
  if (!readable) return Refuse(env, kNo);
  const uint32_t width = dcls == ClassWord ? 2 : 4;
  if (!FitsUnit(imm, width)) return Refuse(env, "number does not fit in 16 bits");
  if (immediateOnly) {
    SizePrefix(rec, dcls);
    Emit({0x69, 0xC0 | (r << 3) | r});
  } else if (RegRm(0x69, 1, kNo) == kFail) {
    return kFail;
  }
  return EmitLe(rec, imm, width) ? 0 : Refuse(env, kNo);
}

// MOVZX, MOVSX (0F B6/BE from a byte, 0F B7/BF from a word): a 16- or
// 32-bit register from a narrower register or memory. A memory source is
// a byte unless marked W. (then the destination must be 32-bit).
uint32_t Encoder::Extend(uint32_t opcode, const char* reason) {
  const uint8_t* dst = Operand();
  const uint8_t* src = SecondOperand(line);
  uint32_t dcls = 0, scls = 0;
  const uint32_t d = dst ? WholeRegister(dst, &dcls) : kFail;
  if (d == kFail || !src || !Wide(dcls) || MemoryFirst(line)) return Refuse(env, reason);
  if (!Contains(line, '[')) {
    const uint32_t s = WholeRegister(src, &scls);
    if (s == kFail || scls >= dcls) return Refuse(env, reason);
    SizePrefix(rec, dcls);
    return Emit({0x0F, opcode + scls, 0xC0 | (d << 3) | s});
  }
  const uint8_t m = MarkerLetter(line);
  if (m == 'D' || m == 'F' || (m == 'W' && dcls != ClassDword))
    return Refuse(env, "size marker does not match the register");
  if (m == 0 && dcls == ClassDword) return Refuse(env, "write B. or W. before the memory operand");
  uint32_t at;
  if (OperandsAt(&at) == kFail) return Refuse(env, reason);
  return ReplaceOpcode(rec, at, 0x0F00 | (opcode + (m == 'W' ? 1 : 0)), 2) ? 0
                                                                           : Refuse(env, reason);
}

// LDS, LES (C5, C4) and BOUND (62): a 16- or 32-bit register and a memory
// operand without a size marker.
uint32_t Encoder::FarPointer(uint32_t opcode, const char* reason) {
  const uint8_t* dst = Operand();
  uint32_t dcls = 0;
  if (!dst || WholeRegister(dst, &dcls) == kFail || !Wide(dcls) || !Contains(line, '[') ||
      MemoryFirst(line) || MarkerLetter(line) != 0)
    return Refuse(env, reason);
  uint32_t at;
  if (OperandsAt(&at) == kFail) return Refuse(env, reason);
  rec->OpCode[at] = static_cast<uint8_t>(opcode);
  return 0;
}

// XADD (0F C0/C1) and CMPXCHG (0F B0/B1): r/m, r of any general width, the
// second operand in the reg field.
uint32_t Encoder::Exchange(uint32_t opcode, const char* reason) {
  const uint8_t* dst = Operand();
  const uint8_t* src = SecondOperand(line);
  uint32_t dcls = 0, scls = 0;
  const uint32_t s = src ? WholeRegister(src, &scls) : kFail;
  if (!dst || s == kFail || scls > ClassDword) return Refuse(env, reason);
  const uint32_t w = scls == ClassByte ? 0 : 1;
  if (!Contains(line, '[')) {
    const uint32_t d = WholeRegister(dst, &dcls);
    if (d == kFail || dcls != scls) return Refuse(env, reason);
    SizePrefix(rec, scls);
    return Emit({0x0F, opcode + w, 0xC0 | (s << 3) | d});
  }
  if (!MemoryFirst(line)) return Refuse(env, reason);
  if (!MarkerFits(line, scls)) return Refuse(env, "size marker does not match the register");
  uint32_t at;
  if (OperandsAt(&at) == kFail) return Refuse(env, reason);
  return ReplaceOpcode(rec, at, 0x0F00 | (opcode + w), 2) ? 0 : Refuse(env, reason);
}

// BT, BTS, BTR, BTC: the bit base first (a 16- or 32-bit register, or
// memory), then the bit offset: a register of the same width (0F A3/AB/B3/BB)
// or an 8-bit number (0F BA /4../7; memory then needs W. or D.).
uint32_t Encoder::BitTest(const BitTestForm& f) {
  const uint8_t* op = Operand();
  const uint8_t* src = SecondOperand(line);
  uint32_t scls = 0;
  if (!op || !src) return Refuse(env, f.name);
  const uint32_t s = WholeRegister(src, &scls);
  const bool memory = Contains(line, '[');
  if (memory && !MemoryFirst(line)) return Refuse(env, f.name);
  if (s == kFail) {
    bool readable;
    const uint32_t n = ParseNumberChecked(src, &readable);
    if (!readable) return Refuse(env, f.name);
    if (n > 0xFF) return Refuse(env, "number does not fit in 8 bits");
    if (memory) {
      const uint8_t m = MarkerLetter(line);
      if (m != 'W' && m != 'D') return Refuse(env, "write W. or D. before the memory operand");
      const SingleTemplate t = Single(kNone, 0, 0x0FBA00u | (f.extension << 3), 3);
      if (One(t) == kFail) return Refuse(env, f.name);
      return Emit({n});
    }
    uint32_t cls = 0;
    const uint32_t r = WholeRegister(op, &cls);
    if (r == kFail || !Wide(cls)) return Refuse(env, f.name);
    SizePrefix(rec, cls);
    return Emit({0x0F, 0xBA, 0xC0u | (uint32_t{f.extension} << 3) | r, n});
  }
  if (!Wide(scls)) return Refuse(env, f.name);
  if (memory) {
    if (!MarkerFits(line, scls)) return Refuse(env, "size marker does not match the register");
    uint32_t at;
    if (OperandsAt(&at) == kFail) return Refuse(env, f.name);
    return ReplaceOpcode(rec, at, 0x0F00u | f.regOpcode, 2) ? 0 : Refuse(env, f.name);
  }
  uint32_t cls = 0;
  const uint32_t b = WholeRegister(op, &cls);
  if (b == kFail || cls != scls) return Refuse(env, f.name);
  SizePrefix(rec, cls);
  return Emit({0x0F, f.regOpcode, 0xC0u | (s << 3) | b});
}

// SETcc (0F 90+cc /0): an 8-bit register or a byte of memory.
uint32_t Encoder::SetCc() {
  static const char* const kNo = "no such operand form for SETcc";
  const uint32_t cc = ConditionCode(line + 3);
  const uint8_t* op = Operand();
  if (cc == kFail) return 0;  // no condition: a word the dialect does not know
  if (!op || HasSecondOperand()) return Refuse(env, kNo);
  uint32_t cls = 0;
  const uint32_t r = WholeRegister(op, &cls);
  if (r != kFail) {
    if (cls != ClassByte) return Refuse(env, kNo);
    return Emit({0x0F, 0x90 + cc, 0xC0 + r});
  }
  const uint8_t m = MarkerLetter(line);
  if (m != 0 && m != 'B') return Refuse(env, "size marker does not match the register");
  const uint32_t pattern = 0x0F9000u | (cc << 8);
  const SingleTemplate t{kNone, 0, 0, 0, pattern, 3, pattern, 0};
  return One(t) == kFail ? Refuse(env, kNo) : 0;
}

// CMOVcc (0F 40+cc /r).
uint32_t Encoder::Cmov() {
  const uint32_t cc = ConditionCode(line + 4);
  if (cc == kFail) return 0;  // no condition: a word the dialect does not know
  return RegRm(0x0F40 + cc, 2, "no such operand form for CMOVcc");
}

}  // namespace quorix::encoding
