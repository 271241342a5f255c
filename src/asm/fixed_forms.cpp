// The fixed forms and special cases of the encoder: the instructions whose
// operands take more than a template.
#include <cstring>

#include "asm/encoder_parts.h"
#include "text/number.h"

namespace quorix::encoding {

// ---- fixed forms and special cases ------------------------------------------

uint32_t Encoder::Aad(uint32_t opcode) {
  EmitByte(rec, opcode);
  const uint8_t* op = Operand();
  if (!op || op[-1] == 0) return Emit({0x0A});
  uint32_t v;
  if (!ReadField(env, op, 1, &v)) return kFail;
  return Emit({v});
}

uint32_t Encoder::Int() {
  const uint8_t* op = Operand();
  if (!op || op[-1] == 0) return kFail;  // INT needs its number
  uint32_t n;
  if (!ReadField(env, op, 1, &n)) return kFail;
  return Emit({0xCD, n});
}

uint32_t Encoder::Enter() {
  const uint8_t* op = Operand();
  if (!op) return kFail;  // a size and a level
  if (uint32_t comma = FindChar(line, ','); comma != kFail) line[comma - 1] = ' ';
  uint32_t frame, level;
  if (!ReadField(env, op, 2, &frame)) return kFail;
  const uint32_t blank = FindChar(op, ' ');
  if (blank == kFail) return kFail;  // a size and a level
  if (!ReadField(env, SkipBlanks(op + blank), 1, &level)) return kFail;
  EmitByte(rec, 0xC8);
  EmitLe(rec, frame, 2);
  return Emit({level});
}

uint32_t Encoder::Ret() {
  if (line[3] && line[3] != ' ' && line[4] == 'D') return kFail;  // RETFD, RETND
  const uint8_t* op = Operand();
  const bool count = op && op[-1] != 0;
  if (line[3] == 'F' && !count) return Emit({0xCB});
  if (line[3] == 'N' || count) {
    // RET n / RETN n: C2, RETF n: CA, each with its 16-bit count.
    EmitByte(rec, line[3] == 'F' ? 0xCA : 0xC2);
    const uint8_t* op = Operand();
    if (!op || op[-1] == 0) return EmitLe(rec, 0, 2), 0;
    uint32_t n;
    if (!ReadField(env, op, 2, &n)) return kFail;
    EmitLe(rec, n, 2);
    return 0;
  }
  return Emit({0xC3});
}

uint32_t Encoder::Rep(uint8_t prefix) {
  EmitByte(rec, prefix);
  const uint8_t* w = Operand();
  if (!w || w[-1] == 0) return kFail;
  struct Word {
    const char* name;
    uint8_t b, wd;  // byte form, word/dword form
    bool sized;     // size letter at the fifth position
  };
  static const Word kWords[] = {
      {"MOVS", 0xA4, 0xA5, true}, {"OUTS", 0x6E, 0x6F, true}, {"CMPS", 0xA6, 0xA7, true},
      {"INSB", 0x6C, 0, false},   {"INSW", 0x6D, 0, false},   {"INSD", 0x6D, 0, false},
      {"STOS", 0xAA, 0xAB, true}, {"LODS", 0xAC, 0xAD, true}, {"SCAS", 0xAE, 0xAF, true},
  };
  for (const Word& k : kWords) {
    if (std::memcmp(w, k.name, 4) != 0) continue;
    if (!k.sized) {
      if (k.name[3] != 'B') SizePrefix(rec, k.name[3] == 'D' ? 2 : 1);
      EmitByte(rec, k.b);
      return 0;
    }
    switch (w[4]) {
      case 'B': EmitByte(rec, k.b); return 0;
      case 'W':
        SizePrefix(rec, 1);
        EmitByte(rec, k.wd);
        return 0;
      case 'D':
        SizePrefix(rec, 2);
        EmitByte(rec, k.wd);
        return 0;
      default: return kFail;  // the size letter decides the instruction
    }
  }
  // Any other word: a prefix alone would attach to the next line's code.
  return kFail;
}

uint32_t Encoder::Push() {
  if (HasSecondOperand()) return Refuse(env, "no such operand form for PUSH");
  if (One(kPush) != kFail) return 0;
  rec->OpLength = 0;
  const uint8_t* op = Operand();
  if (op && op[-1] != 0) {
    static const struct {
      uint8_t a, b;
      uint32_t pattern, len;
    } kSeg[] = {{'C', 'S', 0x0E, 1},   {'D', 'S', 0x1E, 1},   {'E', 'S', 0x06, 1},
                {'F', 'S', 0x0FA0, 2}, {'G', 'S', 0x0FA8, 2}, {'S', 'S', 0x16, 1}};
    for (const auto& s : kSeg)
      if (op[0] == s.a && op[1] == s.b && WordEnds(op[2]))
        return EmitPattern(rec, s.pattern, s.len), 0;
  }
  if (Contains(line, '[')) return kFail;  // a memory operand the encoder refused
  uint32_t dot = FindChar(line, '.');
  if (dot == kFail || dot < 2) return kFail;
  const uint8_t marker = line[dot - 2];
  uint32_t v = 0;
  const uint32_t unit = marker == 'B' ? 1 : marker == 'W' ? 2 : 4;
  const bool readable = marker != 'B' && marker != 'W' && marker != 'D'
                            ? true
                            : ReadField(env, SkipBlanks(line + dot), unit, &v);
  switch (marker) {
    case 'B': Emit({0x6A, v}); break;
    case 'W':
      SizePrefix(rec, 1);
      EmitByte(rec, 0x68);
      EmitLe(rec, v, 2);
      break;
    case 'D':
      SizePrefix(rec, 2);
      EmitByte(rec, 0x68);
      EmitLe(rec, v, 4);
      break;
    default: return 0;
  }
  return readable ? 0 : kFail;
}

uint32_t Encoder::Pop() {
  if (HasSecondOperand()) return Refuse(env, "no such operand form for POP");
  if (One(kPop) != kFail) return 0;
  const uint8_t* op = Operand();
  if (!op) return kFail;
  if (Contains(line, '[')) return kFail;  // a memory operand the encoder refused
  static const struct {
    uint8_t a, b;
    uint32_t pattern, len;
  } kSeg[] = {{'D', 'S', 0x1F, 1},
              {'E', 'S', 0x07, 1},
              {'F', 'S', 0x0FA1, 2},
              {'G', 'S', 0x0FA9, 2},
              {'S', 'S', 0x17, 1}};
  for (const auto& s : kSeg)
    if (op[0] == s.a && op[1] == s.b && WordEnds(op[2]))
      return EmitPattern(rec, s.pattern, s.len), 0;
  return 0;
}

uint32_t Encoder::Lea() {
  const uint32_t bracket = FindChar(line, '['), comma = FindChar(line, ',');
  if (bracket == kFail || comma == kFail) return kFail;
  if (comma > bracket) return 0;  // memory operand first: nothing
  const uint32_t start = rec->OpLength;
  if (Two(kLea) == kFail) return kFail;
  for (uint32_t i = start; i < rec->OpLength; ++i) {
    if (rec->OpCode[i] == 0x8F) {  // 8D with the direction and width bits
      rec->OpCode[i] = 0x8D;
      break;
    }
  }
  return 0;
}

uint32_t Encoder::Mov() {
  uint32_t cls;
  const uint32_t special = ParseSpecialRegisterPair(line, &cls);
  if (special != kFail && cls == ClassControl)
    return Emit({0x0F, 0x20u | ((special >> 8) & 0x02), special & 0xFF});
  if (Two(kMov) != kFail) return 0;
  rec->OpLength = 0;
  rec->ErrorFlag = 0;
  if (const uint32_t seg = EncodeSegmentMove(line); seg != kFail) {
    // Reading a segment register into a general one writes its full width.
    const bool dword = (seg & 0x10000) != 0;
    if (!(seg & 0x200)) SizePrefix(rec, dword ? 2 : 1);
    return Emit({0x8Cu | ((seg >> 8) & 0x02), seg & 0xFF});
  }
  Address a;
  const AddressNames names{&env, rec->BitsMode};
  const uint32_t mem = SegmentMemoryMove(line, &a, &names);
  if (mem == kFail) return kFail;
  if ((a.size == 2 && rec->BitsMode == kBits16) || (a.size == 1 && rec->BitsMode == kBits32))
    EmitByte(rec, 0x67);
  const uint32_t first = FindChar(line, '['), colon = FindChar(line, ':');
  if (colon != kFail && colon < first) {
    if (uint8_t o = SegmentOverride(line)) EmitByte(rec, o);
  }
  Emit({0x8Cu | ((mem >> 8) & 0x02), mem & 0xFF});
  return EmitAddressTail(rec, a) ? 0 : kFail;
}

uint32_t Encoder::Loop() {
  if (!Contains(line, ' ')) return kFail;
  SymbolHit hit = LookupSymbol(line, env);
  if (hit.line == 0 || !LabelFits(env, hit.address, rec->BitsMode)) return kFail;
  const uint32_t disp = hit.address - (rec->Origin + rec->Offset + 2);
  const int32_t sdisp = static_cast<int32_t>(disp);
  if (env.pass >= 2 && (sdisp < -128 || sdisp > 127)) return kFail;
  return Emit({0xE2, disp});
}

uint32_t Encoder::Jmp() {
  if (HasSecondOperand()) return Refuse(env, "no such operand form for JMP");
  if (Contains(line, '[')) {
    // F. marks a far jump through memory (FF /5).
    uint32_t dot = FindChar(line, '.');
    const bool far = dot != kFail && dot >= 2 && line[dot - 2] == 'F';
    if (One(far ? kJmpFarMem : kJmpMem) != kFail) return 0;
    if (far) return kFail;
  }
  // JMP through a register (FF E0+r) when the operand is no label.
  if (const uint8_t* op = Operand(); op && op[-1] != 0 && LookupSymbol(line, env).line == 0) {
    uint32_t r;
    if ((r = ParseWordRegister(op)) != kFail && WordEnds(op[2])) {
      SizePrefix(rec, 1);
      return Emit({0xFF, 0xE0 + r});
    }
    if ((r = ParseDwordRegister(op)) != kFail && WordEnds(op[3])) {
      SizePrefix(rec, 2);
      return Emit({0xFF, 0xE0 + r});
    }
  }
  return EncodeJump(env, rec, line);
}

uint32_t Encoder::Shift(uint32_t extension) {
  const uint8_t* count = SecondOperand(line);
  const bool byCl = count && count[0] == 'C' && count[1] == 'L' && WordEnds(count[2]);
  if (Contains(line, '[')) {
    // A memory operand with its size marker: C0/C1 /n ib, or D2/D3 /n with CL.
    uint32_t dot = FindChar(line, '.');
    if (dot == kFail || dot < 2 ||
        (line[dot - 2] != 'B' && line[dot - 2] != 'W' && line[dot - 2] != 'D'))
      return kFail;
    uint32_t n = 0;
    if (!byCl) {
      if (!count) return kFail;
      if (!ReadField(env, count, 1, &n)) return kFail;
    }
    const uint32_t op = byCl ? 0xD200 : 0xC000;
    const SingleTemplate t{kNone, 0, 0, 0, (op | 0x100) + extension * 8, 2, op + extension * 8, 0};
    if (One(t) == kFail) return kFail;
    return byCl ? 0 : Emit({n});
  }
  if (byCl) {
    const uint8_t* op = Operand();
    if (!op) return kFail;  // no blank after the mnemonic: no operand to read
    uint32_t r, size;
    if ((r = ParseWordRegister(op)) != kFail && WordEnds(op[2]))
      size = 1;
    else if ((r = ParseDwordRegister(op)) != kFail && WordEnds(op[3]))
      size = 2;
    else if ((r = ParseByteRegister(op)) != kFail && WordEnds(op[2]))
      size = 0;
    else
      return kFail;
    SizePrefix(rec, size);
    return Emit({size ? 0xD3u : 0xD2u, 0xC0 + extension * 8 + r});
  }
  uint32_t n;
  if (count && !ReadField(env, count, 1, &n)) return kFail;
  uint32_t cls;
  const uint32_t v = ParseShiftOperand(rec, line, &cls);
  if (v == kFail) return kFail;
  SizePrefix(rec, cls);
  const uint32_t w = (v >> 16) & 1, r = (v >> 8) & 7;
  return Emit({0xC0 + w, 0xC0 + extension * 8 + r, v & 0xFF});
}

uint32_t Encoder::Test() {
  const uint32_t start = rec->OpLength;
  const uint32_t r = Two(kTest);
  if (r == kFail) return kFail;
  // The register and memory forms: 86/87 back to 84/85 (no direction bit).
  for (uint32_t i = start; i < rec->OpLength; ++i) {
    const uint8_t b = rec->OpCode[i];
    if (b == 0x66 || b == 0x67 || b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 ||
        b == 0x65)
      continue;
    if (b == 0x86 || b == 0x87) rec->OpCode[i] = b & ~0x02;
    break;
  }
  return r;
}

uint32_t Encoder::Movd() {
  if (Contains(line, '[')) return EncodeMmx(rec, line, 0x0F6E00, 3);  // 0F 6E / 0F 7E
  const uint32_t v = ParseMmxGprPair(line);
  if (v == kFail) return kFail;
  return Emit({0x0F, 0x6Eu | ((v >> 8) & 0xFF), v & 0xFF});
}

uint32_t Encoder::Bare(uint32_t size, std::initializer_list<uint32_t> bytes) {
  const uint8_t* op = Operand();
  if (op && op[-1] != 0 && op[-1] != kCR) {
    if (std::memcmp(op, "PROC", 4) == 0 || std::memcmp(op, "DATA", 4) == 0 ||
        std::memcmp(op, "LABE", 4) == 0)
      return 0;  // a label line
    return Refuse(env, "this instruction takes no operand");
  }
  if (size) SizePrefix(rec, size);
  for (uint32_t b : bytes) EmitByte(rec, b);
  return 0;
}

uint32_t Encoder::Lone(const SingleTemplate& t, const char* reason) {
  if (HasSecondOperand()) return Refuse(env, reason);
  return One(t) == kFail ? Refuse(env, reason) : 0;
}

// JCXZ, JECXZ (E3) and LOOPE, LOOPNE (E1, E0): a label within a signed byte.
// counterSize 1 (CX) or 2 (ECX) takes the address-size prefix 67 where the
// code width counts with the other register.
uint32_t Encoder::ShortJump(uint32_t opcode, uint32_t counterSize, const char* reason) {
  if (!Contains(line, ' ') || HasSecondOperand()) return Refuse(env, reason);
  SymbolHit hit = LookupSymbol(line, env);
  if (hit.line == 0) return kFail;  // explained as an unknown label
  if (!LabelFits(env, hit.address, rec->BitsMode))
    return Refuse(env, "the label's address does not fit the code width");
  const bool prefix = (counterSize == 1 && rec->BitsMode == kBits32) ||
                      (counterSize == 2 && rec->BitsMode == kBits16);
  const uint32_t disp = hit.address - (rec->Origin + rec->Offset + (prefix ? 3 : 2));
  const int32_t sdisp = static_cast<int32_t>(disp);
  if (env.pass >= 2 && (sdisp < -128 || sdisp > 127))
    return Refuse(env, "label farther than a signed byte");
  if (prefix) EmitByte(rec, 0x67);
  return Emit({opcode, disp});
}

namespace {

// LOCK goes before an instruction that changes memory: one of these with a
// memory operand as its destination (XCHG: as either operand).
bool Lockable(const uint8_t* ins) {
  static const char* const kWords[] = {"ADD",     "ADC", "AND",  "BTC",  "BTR", "BTS",
                                       "CMPXCHG", "DEC", "INC",  "NEG",  "NOT", "OR",
                                       "SBB",     "SUB", "XADD", "XCHG", "XOR"};
  for (const char* w : kWords) {
    const size_t n = std::strlen(w);
    if (std::memcmp(ins, w, n) != 0 || !WordEnds(ins[n])) continue;
    const uint32_t bracket = FindChar(ins, '['), comma = FindChar(ins, ',');
    if (bracket == kFail) return false;
    return std::strcmp(w, "XCHG") == 0 || comma == kFail || bracket < comma;
  }
  return false;
}

}  // namespace

// LOCK and the instruction after it on the same line: F0, then its bytes.
uint32_t Encoder::Lock() {
  const uint8_t* op = Operand();
  if (!op || op[-1] == 0 || *op == 0 || *op == kCR)
    return Refuse(env, "LOCK needs an instruction after it on the same line");
  if (!Lockable(op))
    return Refuse(env,
                  "LOCK goes only before ADD, ADC, AND, BTC, BTR, BTS, CMPXCHG, DEC, INC, NEG, "
                  "NOT, OR, SBB, SUB, XADD, XCHG or XOR with a memory destination");
  InstructionRecord sub = *rec;
  sub.OpLength = 0;
  sub.ErrorFlag = 0;
  Encoder e{env, &sub, const_cast<uint8_t*>(op)};
  const uint32_t r = op[0] <= 'K' ? e.ChainAtoK() : e.ChainLtoZ();
  if (r == kFail || sub.ErrorFlag == kFail || sub.OpLength == 0) return kFail;
  if (!EmitByte(rec, 0xF0)) return kFail;
  for (uint32_t i = 0; i < sub.OpLength; ++i)
    if (!EmitByte(rec, sub.OpCode[i])) return Refuse(env, "instruction longer than 28 bytes");
  return 0;
}

}  // namespace quorix::encoding
