// Operand shapes the general encoders do not cover: IN/OUT ports, shift
// counts, segment-register moves, x87 ST(i) operands, and the MMX forms.
#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

// The accumulator operand of IN/OUT: 0 = AL, 1 = AX, 2 = EAX; kFail otherwise.
uint32_t Accumulator(const uint8_t* p) {
  if (!p) return kFail;
  auto ends = [](uint8_t c) { return c == 0 || c == kCR || c == ' ' || c == kTab || c == ','; };
  if (p[0] == 'A' && p[1] == 'L' && ends(p[2])) return 0;
  if (p[0] == 'A' && p[1] == 'X' && ends(p[2])) return 1;
  if (p[0] == 'E' && p[1] == 'A' && p[2] == 'X' && ends(p[3])) return 2;
  return kFail;
}

void EmitAccumulator(InstructionRecord* rec, uint32_t opcode, uint32_t acc) {
  if ((acc == 1 && rec->BitsMode == kBits32) || (acc == 2 && rec->BitsMode == kBits16))
    EmitByte(rec, 0x66);
  EmitByte(rec, opcode | (acc ? 1 : 0));
}

}  // namespace

// IN and OUT: a port written Pnn in either operand, or DX. The accumulator
// chooses the width (AL E4/E6, AX and EAX E5/E7, EC..EF with DX).
uint32_t EncodeInOut(AsmEnv& env, InstructionRecord* recIn, uint8_t* line, uint32_t base) {
  InstructionRecord rec = *recIn;
  const uint8_t* first = FirstOperand(line);
  const uint8_t* second = SecondOperand(line);
  if (uint32_t p = FindChar(line, 'P'); p != kFail) {
    // The port number runs to the ',' or the end of its operand.
    uint8_t text[40] = {};
    const uint8_t* q = SkipBlanks(line + p);
    uint32_t n = 0;
    while (q[n] != 0 && q[n] != kCR && q[n] != ',' && n + 1 < 32) {
      text[n] = q[n];
      ++n;
    }
    while (n && (text[n - 1] == ' ' || text[n - 1] == kTab)) text[--n] = 0;
    uint32_t port;
    if (!ReadField(env, text, 1, &port)) return kFail;
    // The other operand, when there is one, must be the accumulator.
    const uint8_t* other = first && first[0] == 'P' ? second : first;
    uint32_t acc = 0;
    if (other && other[-1] != 0 && other[0] != 'P') {
      acc = Accumulator(other);
      if (acc == kFail) return kFail;
    }
    EmitAccumulator(&rec, base, acc);
    EmitByte(&rec, port);
    *recIn = rec;
    return 0;
  }
  // The DX forms: IN AL,DX; OUT DX,AL (and the dialect's OUT AL,DX).
  if (!first) return kFail;
  const uint8_t* acc = first;
  if (first[0] == 'D' && first[1] == 'X') acc = second;
  const uint32_t a = Accumulator(acc);
  if (a == kFail) return kFail;
  EmitAccumulator(&rec, base | 0x08, a);
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
  const uint32_t n = ParseImmediate(count, 1, &readable);
  if (!readable || !FitsUnit(n, 1)) return kFail;
  return packed | (n & 0xFF);
}

namespace {

bool Ends(uint8_t c) { return c == 0 || c == kCR || c == ' ' || c == kTab || c == ','; }

// A segment register written alone (ES, not ES:[DI]).
uint32_t LoneSegment(const uint8_t* p) {
  const uint32_t s = ParseSegmentRegister(p);
  return s != kFail && Ends(p[2]) ? s : kFail;
}

// A general register of 16 or 32 bits written alone; 0x10000 marks 32 bits.
uint32_t LoneWideRegister(const uint8_t* p) {
  if (uint32_t r = ParseWordRegister(p); r != kFail && Ends(p[2])) return r;
  if (uint32_t r = ParseDwordRegister(p); r != kFail && Ends(p[3])) return 0x10000 | r;
  return kFail;
}

}  // namespace

uint32_t EncodeSegmentMove(const uint8_t* line) {
  const uint8_t* first = FirstOperand(line);
  const uint8_t* second = SecondOperand(line);
  if (!first || !second) return kFail;
  if (uint32_t s = LoneSegment(first); s != kFail) {
    uint32_t r = LoneWideRegister(second);
    return r == kFail ? kFail : 0x200 + s + 0xC0 + r;
  }
  if (uint32_t s = LoneSegment(second); s != kFail) {
    uint32_t r = LoneWideRegister(first);
    return r == kFail ? kFail : s + 0xC0 + r;
  }
  return kFail;
}

uint32_t SegmentMemoryMove(const uint8_t* line, Address* a, const AddressNames* names) {
  const uint8_t* first = FirstOperand(line);
  const uint8_t* second = SecondOperand(line);
  if (!first || !second) return kFail;
  uint32_t s = LoneSegment(first), dir = 0x200;
  const uint8_t* mem = second;
  if (s == kFail) {
    s = LoneSegment(second);
    dir = 0;
    mem = first;
  }
  if (s == kFail) return kFail;
  while (mem[0] != '[') {  // past an override such as DS:
    if (mem[0] == 0 || mem[0] == ',' || mem[0] == kCR) return kFail;
    ++mem;
  }
  if (ParseAddress(mem, false, a, names) != AddressKind::Registers) return kFail;
  return dir + (a->mod << 6) + s + a->rm;
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

namespace {

// ST, ST0 .. ST7 or ST(0) .. ST(7): the index, or kFail.
uint32_t StackOperand(const uint8_t* p) {
  if (!p || p[0] != 'S' || p[1] != 'T') return kFail;
  p += 2;
  uint32_t i = 0;
  if (*p == '(') {
    ++p;
    while (*p == ' ') ++p;
    if (*p < '0' || *p > '7') return kFail;
    i = *p++ - '0';
    while (*p == ' ') ++p;
    if (*p++ != ')') return kFail;
  } else if (*p >= '0' && *p <= '7') {
    i = *p++ - '0';
  }
  while (*p == ' ' || *p == kTab) ++p;
  return *p == 0 || *p == kCR || *p == ',' ? i : kFail;
}

}  // namespace

// Two stack operands: ST,ST(i) gives i; ST(i),ST gives 0x400 + i (the
// destination form). One of the two must be ST(0).
uint32_t ParseStackPair(InstructionRecord*, uint8_t* line) {
  const uint32_t a = StackOperand(FirstOperand(line));
  const uint32_t b = StackOperand(SecondOperand(line));
  if (a == kFail || b == kFail) return kFail;
  if (b == 0) return 0x400 + a;
  if (a == 0) return b;
  return kFail;
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
