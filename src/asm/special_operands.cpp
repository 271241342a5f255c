// Operand shapes the general encoders do not cover: IN/OUT ports, shift
// counts, segment-register moves, x87 ST(i) operands, and the MMX forms.
#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

uint32_t EncodeInOut(InstructionRecord* recIn, uint8_t* line, uint32_t base) {
  InstructionRecord rec = *recIn;
  if (uint32_t p = FindChar(line, 'P'); p != kFail) {
    EmitByte(&rec, base);
    EmitByte(&rec, ParseNumber(SkipBlanks(line + p)));
    rec.OpLength = 2;
    *recIn = rec;
    return 0;
  }
  const uint8_t* op = FirstOperand(line);
  if (!op) return kFail;
  if (op[0] == 'E') {
    if (op[1] != 'A' || op[2] != 'X') return kFail;
    if (rec.BitsMode == kBits16) EmitByte(&rec, 0x66);
    EmitByte(&rec, base | 0x09);
  } else if (op[0] == 'A') {
    if (op[1] == 'L') {
      EmitByte(&rec, base | 0x08);
    } else if (op[1] == 'X') {
      if (rec.BitsMode == kBits32) EmitByte(&rec, 0x66);
      EmitByte(&rec, base | 0x09);
    }
  } else {
    return kFail;
  }
  *recIn = rec;
  return 0;
}

uint32_t ParseShiftOperand(InstructionRecord*, const uint8_t* line, uint32_t* cls) {
  const uint8_t* op = FirstOperand(line);
  if (!op) return kFail;
  uint32_t packed;
  if (uint32_t r = ParseWordRegister(op); r != kFail) {
    *cls = 1;
    packed = 0x10000 | (r << 8);
  } else if (r = ParseDwordRegister(op); r != kFail) {
    *cls = 2;
    packed = 0x10000 | (r << 8);
  } else if (r = ParseByteRegister(op); r != kFail) {
    *cls = 0;
    packed = r << 8;
  } else {
    return kFail;
  }
  const uint8_t* count = SecondOperand(line);
  if (!count) return kFail;  // no count
  bool readable;
  const uint32_t n = ParseNumberChecked(count, &readable);
  if (!readable) return kFail;
  return packed | (n & 0xFF);
}

uint32_t EncodeSegmentMove(const uint8_t* line) {
  const uint8_t* first = FirstOperand(line);
  const uint8_t* second = SecondOperand(line);
  if (!first || !second) return kFail;
  if (uint32_t s = ParseSegmentRegister(first); s != kFail) {
    uint32_t r = ParseWordRegister(second);
    return r == kFail ? kFail : 0x200 + s + 0xC0 + r;
  }
  if (uint32_t s = ParseSegmentRegister(second); s != kFail) {
    uint32_t r = ParseWordRegister(first);
    return r == kFail ? kFail : s + 0xC0 + r;
  }
  return kFail;
}

uint32_t ParseStackIndex(InstructionRecord*, uint8_t* line) {
  uint8_t* op = const_cast<uint8_t*>(FirstOperand(line));
  if (!op || op[-1] == 0) return kFail;
  uint32_t open = FindChar(op, '(');
  if (open == kFail) {
    // ST0 .. ST7 written without parentheses.
    uint32_t cls;
    uint32_t r = ParseRegister(op, &cls);
    return r != kFail && cls == ClassStack ? r : kFail;
  }
  uint8_t* n = SkipBlanks(op + open);
  if (uint32_t close = FindChar(n, ')'); close != kFail) n[close - 1] = ' ';
  uint32_t i = ParseNumber(n);
  return i > 7 ? kFail : i;
}

uint32_t ParseStackPair(InstructionRecord*, uint8_t* line) {
  const uint32_t comma = FindChar(line, ',');
  const uint32_t open = FindChar(line, '(');
  if (comma == kFail || open == kFail) return kFail;
  uint32_t v = open < comma ? 0x400 : 0;
  uint8_t* n = SkipBlanks(line + open);
  if (uint32_t close = FindChar(n, ')'); close != kFail) n[close - 1] = ' ';
  uint32_t i = ParseNumber(n);
  if (i < 8) v += i;
  return v;
}

uint32_t EncodeMmx(InstructionRecord* recIn, uint8_t* line, uint32_t pattern, uint32_t) {
  InstructionRecord rec = *recIn;
  const uint32_t opcode = (pattern >> 8) & 0xFF;
  uint32_t cls;
  uint32_t pair = ParseRegisterPair(line, &cls);
  if (pair != kFail && cls == ClassMmx) {
    EmitByte(&rec, 0x0F);
    EmitByte(&rec, opcode | ((pair & kFlagMmxStore) ? 0x10 : 0));
    EmitByte(&rec, pair & 0xFF);
    *recIn = rec;
    return 0;
  }
  if (pair != kFail) return kFail;  // general registers are not MMX operands
  MemoryOperand m;
  Address a;
  if (ParseMemoryOperand(line, &m, &a) == kFail) return kFail;
  if (((m.SizeFlags >> 8) & 0xFF) != ClassMmx) return kFail;  // not an MMX register
  const uint32_t modrm = m.ModRmFlags & 0xFF;
  if ((a.size == 2 && rec.BitsMode == kBits16) || (a.size == 1 && rec.BitsMode == kBits32))
    EmitByte(&rec, 0x67);
  if (uint8_t seg = SegmentOverride(line)) EmitByte(&rec, seg);
  EmitByte(&rec, 0x0F);
  EmitByte(&rec, opcode | ((m.ModRmFlags & kFlagMmxStore) ? 0x10 : 0));
  EmitByte(&rec, modrm);
  EmitAddressTail(&rec, a);
  *recIn = rec;
  return 0;
}

}  // namespace quorix
