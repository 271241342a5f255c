// EncodeLine: recognises the mnemonic by characters at fixed positions (what
// follows the compared characters is never examined) and either writes the
// bytes itself or hands the line, with its template, to a group encoder.
#include <cstring>

#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

constexpr uint32_t kNone = kFail;  // template slot not offered

// ---- templates --------------------------------------------------------------

constexpr PairTemplate Pair(uint8_t base, uint32_t accImm8, uint32_t rmImm8, uint8_t rmImm8Len,
                            uint32_t accImm, uint32_t rmImm, uint8_t rmImmLen,
                            uint32_t movMemImm = 0) {
  PairTemplate t{};
  t.base = base;
  t.accImm8 = accImm8;
  t.accImm8Len = accImm8 ? 1 : 0;
  t.rmImm8 = rmImm8;
  t.rmImm8Len = rmImm8Len;
  t.accImm = accImm;
  t.accImmLen = accImm ? 1 : 0;
  t.rmImm = rmImm;
  t.rmImmLen = rmImmLen;
  t.movMemImm = movMemImm;
  return t;
}
constexpr PairTemplate BaseOnly(uint8_t base) { return Pair(base, 0, 0, 0, 0, 0, 0); }

constexpr PairTemplate kAdd = Pair(0x00, 0x04, 0x80C0, 2, 0x05, 0x81C0, 2);
constexpr PairTemplate kOr = Pair(0x08, 0x0C, 0x80C8, 2, 0x0D, 0x81C8, 2);
constexpr PairTemplate kAdc = Pair(0x10, 0x14, 0x80D0, 2, 0x15, 0x81D0, 2);
constexpr PairTemplate kAnd = Pair(0x20, 0x24, 0x80E0, 2, 0x25, 0x81E0, 2);
constexpr PairTemplate kSub = Pair(0x28, 0x2C, 0x80E8, 2, 0x2D, 0x81E8, 2);
constexpr PairTemplate kXor = Pair(0x30, 0x34, 0x80F0, 2, 0x35, 0x81F0, 2);
constexpr PairTemplate kCmp = Pair(0x38, 0x3C, 0x80F8, 2, 0x3D, 0x81F8, 2);
// TEST has no direction bit; its register and memory forms use 84/85 and the
// encoder's direction bit is taken out again afterwards.
constexpr PairTemplate kTest = Pair(0x84, 0xA8, 0xF6C0, 2, 0xA9, 0xF7C0, 2);
constexpr PairTemplate kMov = Pair(0x88, 0xB0, 0xB0, 1, 0xB8, 0xB8, 1, 0xC600);
constexpr PairTemplate kXchg = BaseOnly(0x86);
constexpr PairTemplate kLea = BaseOnly(0x8D);
constexpr PairTemplate kBtr = BaseOnly(0xB3);
constexpr PairTemplate kBts = BaseOnly(0xAB);

constexpr SingleTemplate Single(uint32_t reg, uint32_t regLen, uint32_t mem, uint32_t memLen) {
  return SingleTemplate{reg, regLen, 0, 0, mem, memLen, 0, 0};
}
// With the 8-bit forms: the register form (FE/F6 C0+) and the B. memory form.
constexpr SingleTemplate SingleB(uint32_t reg, uint32_t regLen, uint32_t mem, uint32_t byteReg,
                                 uint32_t byteMem) {
  return SingleTemplate{reg, regLen, byteReg, 0, mem, 2, byteMem, 0};
}
constexpr SingleTemplate kInc = SingleB(0x40, 1, 0xFF00, 0xFEC0, 0xFE00);
constexpr SingleTemplate kDec = SingleB(0x48, 1, 0xFF08, 0xFEC8, 0xFE08);
constexpr SingleTemplate kPush = Single(0x50, 1, 0xFF30, 2);
constexpr SingleTemplate kPop = Single(0x58, 1, 0x8F00, 2);
constexpr SingleTemplate kNot = SingleB(0xF7D0, 2, 0xF710, 0xF6D0, 0xF610);
constexpr SingleTemplate kNeg = SingleB(0xF7D8, 2, 0xF718, 0xF6D8, 0xF618);
constexpr SingleTemplate kMul = SingleB(0xF7E0, 2, 0xF720, 0xF6E0, 0xF620);
constexpr SingleTemplate kImul = SingleB(0xF7E8, 2, 0xF728, 0xF6E8, 0xF628);
constexpr SingleTemplate kDiv = SingleB(0xF7F0, 2, 0xF730, 0xF6F0, 0xF630);
constexpr SingleTemplate kIdiv = SingleB(0xF7F8, 2, 0xF738, 0xF6F8, 0xF638);
constexpr SingleTemplate kBswap = Single(0x0FC8, 2, kNone, 0);
constexpr SingleTemplate kLgdt = Single(kNone, 0, 0x0F0110, 3);
constexpr SingleTemplate kLidt = Single(kNone, 0, 0x0F0118, 3);
constexpr SingleTemplate kLmsw = Single(0x0F01F0, 3, 0x0F0130, 3);
constexpr SingleTemplate kLmsd = Single(0x0F22C0, 3, kNone, 0);
constexpr SingleTemplate kSmsw = Single(0x0F01E0, 3, 0x0F0120, 3);
constexpr SingleTemplate kSmsd = Single(0x0F20C0, 3, kNone, 0);
constexpr SingleTemplate kJmpMem = Single(kNone, 0, 0xFF20, 2);
constexpr SingleTemplate kJmpFarMem = Single(kNone, 0, 0xFF28, 2);
constexpr SingleTemplate X87Mem(uint32_t pattern) { return Single(kNone, 0, pattern, 2); }

// ---- recognition ------------------------------------------------------------

// True when the line holds key's characters at their positions; '?' is a
// position that is not examined. A line shorter than the key never matches.
bool KeyAt(const uint8_t* line, const char* key) {
  for (size_t i = 0; key[i]; ++i) {
    if (line[i] == 0) return false;
    if (key[i] != '?' && line[i] != static_cast<uint8_t>(key[i])) return false;
  }
  return true;
}
// The same for a key written in place: unrolled, with the key's characters
// known where it is called. No line byte after a NUL is read.
template <size_t N>
inline bool Key(const uint8_t* line, const char (&key)[N]) {
  static_assert(N >= 2);
  for (size_t i = 0; i + 1 < N; ++i) {
    if (key[i] == '?') {
      if (line[i] == 0) return false;
    } else if (line[i] != static_cast<uint8_t>(key[i])) {
      return false;  // also where the line ends: a key holds no NUL
    }
  }
  return true;
}

bool Contains(const uint8_t* line, uint8_t c) { return FindChar(line, c) != kFail; }

// The character after a word: the word stands alone (ES, not ES:[..]).
bool WordEnds(uint8_t c) { return c == 0 || c == kCR || c == ' ' || c == kTab || c == ','; }

// Operand-size prefix for a variant of the given size (1 = word, 2 = dword).
void SizePrefix(InstructionRecord* rec, uint32_t size) {
  if ((size == 1 && rec->BitsMode == kBits32) || (size == 2 && rec->BitsMode == kBits16))
    EmitByte(rec, 0x66);
}

// Word/dword variant of a fixed form: size letter W or D.
void Sized(InstructionRecord* rec, uint8_t letter, uint32_t opcode) {
  SizePrefix(rec, letter == 'D' ? 2 : 1);
  EmitByte(rec, opcode);
}

struct Encoder {
  AsmEnv& env;
  InstructionRecord* rec;
  uint8_t* line;

  uint32_t Emit(std::initializer_list<uint32_t> bytes) {
    for (uint32_t b : bytes) EmitByte(rec, b);
    return 0;
  }
  uint32_t Two(const PairTemplate& t) { return EncodeTwoOperand(env, rec, line, &t); }
  uint32_t One(const SingleTemplate& t) { return EncodeSingleOperand(env, rec, line, &t); }
  const uint8_t* Operand() const { return FirstOperand(line); }

  uint32_t ChainAtoK();
  uint32_t ChainLtoZ();
  uint32_t X87();

  uint32_t Aad(uint32_t opcode);
  uint32_t Int();
  uint32_t Enter();
  uint32_t Ret();
  uint32_t Rep(uint8_t prefix);
  uint32_t Push();
  uint32_t Pop();
  uint32_t Lea();
  uint32_t BitTest(const PairTemplate& t);
  uint32_t Mov();
  uint32_t Loop();
  uint32_t Jmp();
  uint32_t Shift(uint32_t extension);
  uint32_t Test();
  uint32_t Movd();

  uint32_t StackForm(uint32_t b0, uint32_t b1, bool memoryFallback, uint32_t memPattern);
  uint32_t Arithmetic(uint32_t memPattern, uint32_t regPattern, bool popping);
  uint32_t StoreFamily();
};

// ---- fixed forms and special cases ------------------------------------------

uint32_t Encoder::Aad(uint32_t opcode) {
  EmitByte(rec, opcode);
  const uint8_t* op = Operand();
  if (!op || op[-1] == 0) return Emit({0x0A});
  bool readable;
  uint32_t v = ParseNumberChecked(op, &readable);
  EmitByte(rec, readable ? v : 0xFF);
  return readable && v <= 0xFF ? 0 : kFail;
}

uint32_t Encoder::Int() {
  const uint8_t* op = Operand();
  if (!op || op[-1] == 0) return kFail;  // INT needs its number
  bool readable;
  const uint32_t n = ParseNumberChecked(op, &readable);
  if (!readable || n > 0xFF) return kFail;
  return Emit({0xCD, n});
}

uint32_t Encoder::Enter() {
  const uint8_t* op = Operand();
  if (!op) return kFail;
  if (uint32_t comma = FindChar(line, ','); comma != kFail) line[comma - 1] = ' ';
  bool ok1, ok2;
  EmitByte(rec, 0xC8);
  const uint32_t frame = ParseNumberChecked(op, &ok1);
  EmitLe(rec, frame, 2);
  uint32_t blank = FindChar(op, ' ');
  if (blank == kFail) {
    EmitByte(rec, 0);
    return kFail;
  }
  const uint32_t level = ParseNumberChecked(SkipBlanks(op + blank), &ok2);
  EmitByte(rec, level);
  return ok1 && ok2 && frame <= 0xFFFF && level <= 0xFF ? 0 : kFail;
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
    bool readable;
    const uint32_t n = ParseNumberChecked(op, &readable);
    EmitLe(rec, n, 2);
    return readable && n <= 0xFFFF ? 0 : kFail;
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
      case 'W': SizePrefix(rec, 1); EmitByte(rec, k.wd); return 0;
      case 'D': SizePrefix(rec, 2); EmitByte(rec, k.wd); return 0;
      default: return kFail;  // the size letter decides the instruction
    }
  }
  // Any other word: a prefix alone would attach to the next line's code.
  return kFail;
}

uint32_t Encoder::Push() {
  if (One(kPush) != kFail) return 0;
  rec->OpLength = 0;
  const uint8_t* op = Operand();
  if (op && op[-1] != 0) {
    static const struct {
      char a, b;
      uint32_t pattern, len;
    } kSeg[] = {{'C', 'S', 0x0E, 1},
                {'D', 'S', 0x1E, 1},
                {'E', 'S', 0x06, 1},
                {'F', 'S', 0x0FA0, 2},
                {'G', 'S', 0x0FA8, 2},
                {'S', 'S', 0x16, 1}};
    for (const auto& s : kSeg)
      if (op[0] == s.a && op[1] == s.b && WordEnds(op[2]))
        return EmitPattern(rec, s.pattern, s.len), 0;
  }
  if (Contains(line, '[')) return kFail;  // a memory operand the encoder refused
  uint32_t dot = FindChar(line, '.');
  if (dot == kFail || dot < 2) return kFail;
  bool readable;
  const uint32_t v = ParseNumberChecked(SkipBlanks(line + dot), &readable);
  switch (line[dot - 2]) {
    case 'B': Emit({0x6A, v}); break;
    case 'W': SizePrefix(rec, 1); EmitByte(rec, 0x68); EmitLe(rec, v, 2); break;
    case 'D': SizePrefix(rec, 2); EmitByte(rec, 0x68); EmitLe(rec, v, 4); break;
    default: return 0;
  }
  return readable ? 0 : kFail;
}

uint32_t Encoder::Pop() {
  if (One(kPop) != kFail) return 0;
  const uint8_t* op = Operand();
  if (!op) return kFail;
  if (Contains(line, '[')) return kFail;  // a memory operand the encoder refused
  static const struct {
    char a, b;
    uint32_t pattern, len;
  } kSeg[] = {{'D', 'S', 0x1F, 1}, {'E', 'S', 0x07, 1}, {'F', 'S', 0x0FA1, 2},
               {'G', 'S', 0x0FA9, 2}, {'S', 'S', 0x17, 1}};
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

uint32_t Encoder::BitTest(const PairTemplate& t) {
  if (Contains(line, '[')) return kFail;  // register operands only
  // With an 8-bit immediate: 0F BA /5 (BTS) or /6 (BTR).
  const uint8_t* op = Operand();
  const uint8_t* src = SecondOperand(line);
  if (op && src && ParseRegister(src) == kFail) {
    uint32_t r, size;
    if ((r = ParseWordRegister(op)) != kFail && WordEnds(op[2])) size = 1;
    else if ((r = ParseDwordRegister(op)) != kFail && WordEnds(op[3])) size = 2;
    else return kFail;
    bool readable;
    const uint32_t n = ParseNumberChecked(src, &readable);
    if (!readable || n > 0xFF) return kFail;
    SizePrefix(rec, size);
    return Emit({0x0F, 0xBA, (t.base == 0xAB ? 0xE8u : 0xF0u) + r, n});
  }
  // The processor's bit base is the r/m operand: swap so that the first
  // operand written is the base and the second the bit offset.
  uint32_t cls;
  const uint32_t pair = ParseRegisterPair(line, &cls);
  if (pair == kFail || cls < ClassWord || cls > ClassDword) return kFail;
  const uint32_t a = (pair >> 3) & 7, b = pair & 7;
  SizePrefix(rec, cls);
  return Emit({0x0F, t.base, 0xC0u | (b << 3) | a});
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
  const uint32_t mem = SegmentMemoryMove(line, &a);
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
    if (dot == kFail || dot < 2 || (line[dot - 2] != 'B' && line[dot - 2] != 'W' &&
                                    line[dot - 2] != 'D'))
      return kFail;
    uint32_t n = 0;
    if (!byCl) {
      bool readable;
      n = count ? ParseNumberChecked(count, &readable) : kFail;
      if (!count || !readable || n > 0xFF) return kFail;
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
    if ((r = ParseWordRegister(op)) != kFail && WordEnds(op[2])) size = 1;
    else if ((r = ParseDwordRegister(op)) != kFail && WordEnds(op[3])) size = 2;
    else if ((r = ParseByteRegister(op)) != kFail && WordEnds(op[2])) size = 0;
    else return kFail;
    SizePrefix(rec, size);
    return Emit({size ? 0xD3u : 0xD2u, 0xC0 + extension * 8 + r});
  }
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
    if (b == 0x66 || b == 0x67 || b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E ||
        b == 0x64 || b == 0x65)
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

// ---- the A to K chain --------------------------------------------------------

uint32_t Encoder::ChainAtoK() {
  const uint8_t* l = line;
  switch (l[0]) {
    case 'A':
      if (Key(l, "AAA")) return Emit({0x37});
      if (Key(l, "AAD")) return Aad(0xD5);
      if (Key(l, "AAM")) return Aad(0xD4);
      if (Key(l, "AAS")) return Emit({0x3F});
      if (Key(l, "ADC")) return Two(kAdc);
      if (Key(l, "ADD")) return Two(kAdd);
      if (Key(l, "AND")) return Two(kAnd);
      return 0;  // ARP and anything else
    case 'B':
      if (Key(l, "BOU") || Key(l, "BSF") || Key(l, "BSR")) return 0;
      if (Key(l, "BSW")) return One(kBswap);
      if (Key(l, "BTC")) return 0;
      if (Key(l, "BTR")) return BitTest(kBtr);
      if (Key(l, "BTS")) return BitTest(kBts);
      return 0;
    case 'C':
      if (Key(l, "CL")) {
        if (Key(l, "CLD")) return Emit({0xFC});
        if (Key(l, "CLI")) return Emit({0xFA});
        return 0;  // CLC, CLT and any other CL line
      }
      if (Key(l, "CALL")) return EncodeCall(env, rec, line);
      if (Key(l, "C?OVBE") || Key(l, "C?OVGE") || Key(l, "C?OVLE") || Key(l, "C?OVNA")) return 0;
      if (Key(l, "CMPSB")) return Emit({0xA6});
      if (Key(l, "CMPSD") || Key(l, "CMPSW")) return 0;
      if (Key(l, "CMP")) return Two(kCmp);
      return 0;  // CPUID, CWD
    case 'D':
      if (Key(l, "DAA")) return Emit({0x27});
      if (Key(l, "DAS")) return Emit({0x2F});
      if (Key(l, "DEC")) return One(kDec);
      if (Key(l, "DIV")) return One(kDiv);
      if (Key(l, "DB")) return EncodeDataDefinition(rec, line, 1);
      if (Key(l, "DW")) return EncodeDataDefinition(rec, line, 2);
      if (Key(l, "DD")) return EncodeDataDefinition(rec, line, 4);
      return 0;
    case 'E':
      if (Key(l, "ENTE")) return Enter();
      if (Key(l, "EMM")) return Emit({0x0F, 0x77});
      return 0;
    case 'F':
      return X87();
    case 'H':
      return Key(l, "HLT") ? Emit({0xF4}) : 0;
    case 'I':
      if (Key(l, "ICEB")) return 0;
      if (Key(l, "IDIV")) return One(kIdiv);
      if (Key(l, "IMUL")) return One(kImul);
      for (const char* none : {"INSB", "INSD", "INSW", "INT1", "INT3", "INTO", "INVA", "INVD",
                               "INVL", "IRET", "INCL"}) {
        if (KeyAt(l, none)) return 0;
      }
      if (Key(l, "INC")) return One(kInc);
      if (Key(l, "INS")) return 0;
      if (Key(l, "INT")) return Int();
      if (Key(l, "IN")) return EncodeInOut(rec, line, 0xE4);
      return 0;
    case 'J': {
      static const struct {
        const char* key;
        uint32_t op;  // short opcode; 0 = recognised, nothing emitted; 1 = JMP
      } kJumps[] = {
          {"JAE", 0x73}, {"JA", 0x77},   {"JBE", 0x76}, {"JB", 0x72},   {"JCX", 0},
          {"JC", 0x72},  {"JEC", 0},     {"JE", 0x74},  {"JGE", 0x7D},  {"JG", 0x7F},
          {"JLE", 0x7E}, {"JL", 0x7C},   {"JM?S", 0},   {"JM", 1},      {"JNAE", 0x72},
          {"JNA", 0x76}, {"JNBE", 0x77}, {"JNB", 0x73}, {"JNC", 0x73},  {"JNE", 0x75},
          {"JNGE", 0x7C}, {"JNG", 0x7E}, {"JNLE", 0x7F}, {"JNL", 0x7D}, {"JNO", 0x71},
          {"JNP", 0x7B}, {"JNS", 0x79},  {"JNZ", 0x75}, {"JO", 0x70},   {"JPE", 0x7A},
          {"JPO", 0x7B}, {"JP", 0x7A},   {"JS", 0x78},  {"JZ", 0x74},
      };
      for (const auto& j : kJumps) {
        if (!KeyAt(l, j.key)) continue;
        if (j.op == 0) return 0;
        if (j.op == 1) return Jmp();
        return EncodeConditionalJump(env, rec, line, j.op);
      }
      return 0;
    }
    default:
      return 0;
  }
}

// ---- the L to Z chain --------------------------------------------------------

uint32_t Encoder::ChainLtoZ() {
  const uint8_t* l = line;
  switch (l[0]) {
    case 'L':
      if (Key(l, "LAH") || Key(l, "LDS") || Key(l, "LAR")) return 0;
      if (Key(l, "LEAV")) return Emit({0xC9});
      if (Key(l, "LEA")) return Lea();
      if (Key(l, "LES") || Key(l, "LFS")) return 0;
      if (Key(l, "LGD")) return One(kLgdt);
      if (Key(l, "LGS")) return 0;
      if (Key(l, "LID")) return One(kLidt);
      if (Key(l, "LLD")) return 0;
      if (Key(l, "LMSD")) return One(kLmsd);
      if (Key(l, "LMS")) return One(kLmsw);
      if (Key(l, "LOA")) {
        if (std::strlen(reinterpret_cast<const char*>(l)) > 7 &&
            (l[7] == '?' || l[7] == '2' || l[7] == '3'))
          return 0;
        return Lea();
      }
      if (Key(l, "LOD?B")) return Emit({0xAC});
      if (Key(l, "LOD?D")) return Sized(rec, 'D', 0xAD), 0;
      if (Key(l, "LOD?W")) return Sized(rec, 'W', 0xAD), 0;
      if (Key(l, "LOD")) return 0;
      if (Key(l, "LOO")) {
        if (Key(l, "??????NE") || Key(l, "??????NZ")) return 0;
        if (Key(l, "????NE") || Key(l, "????NZ") || Key(l, "????DE") || Key(l, "????DZ"))
          return 0;
        if (Key(l, "????E") || Key(l, "????Z") || Key(l, "????D")) return 0;
        return Loop();
      }
      return 0;  // LSL, LSS, LTR
    case 'M':
      if (Key(l, "MOVSB")) return Emit({0xA4});
      if (Key(l, "MOVSD")) return Sized(rec, 'D', 0xA5), 0;
      if (Key(l, "MOVSW")) return Sized(rec, 'W', 0xA5), 0;
      if (Key(l, "MOVSX") || Key(l, "MOVZX")) return 0;
      if (Key(l, "MOVD")) return Movd();
      if (Key(l, "MOVQ")) return EncodeMmx(rec, line, 0x0F6F00, 3);
      if (Key(l, "MOV")) return Mov();
      if (Key(l, "MUL")) return One(kMul);
      return 0;
    case 'N':
      if (Key(l, "NEG")) return One(kNeg);
      if (Key(l, "NOT")) return One(kNot);
      if (Key(l, "NOP")) return Emit({0x90});
      return 0;
    case 'O':
      if (Key(l, "OR")) return Two(kOr);
      if (Key(l, "OUTSB") || Key(l, "OUTSD") || Key(l, "OUTSW")) return 0;
      if (Key(l, "OU")) return EncodeInOut(rec, line, 0xE6);
      return 0;
    case 'P':
      if (Key(l, "PACKSSDW")) return EncodeMmx(rec, line, 0x0F6B00, 1);
      if (Key(l, "PACKSSWB")) return EncodeMmx(rec, line, 0x0F6300, 1);
      if (Key(l, "PACKUSWB")) return EncodeMmx(rec, line, 0x0F6700, 1);
      if (Key(l, "PACKUSDW")) return 0;
      if (Key(l, "PADDUSB")) return EncodeMmx(rec, line, 0x0FDC00, 1);
      if (Key(l, "PADDUSW")) return EncodeMmx(rec, line, 0x0FDD00, 1);
      if (Key(l, "POPAD")) return Sized(rec, 'D', 0x61), 0;
      if (Key(l, "POPFD")) return Sized(rec, 'D', 0x9D), 0;
      if (Key(l, "POPA")) return Sized(rec, 'W', 0x61), 0;
      if (Key(l, "POPF")) return Sized(rec, 'W', 0x9D), 0;
      if (Key(l, "PUSHAD")) return Sized(rec, 'D', 0x60), 0;
      if (Key(l, "PUSHFD")) return Sized(rec, 'D', 0x9C), 0;
      if (Key(l, "PUSHA")) return Sized(rec, 'W', 0x60), 0;
      if (Key(l, "PUSHF")) return Sized(rec, 'W', 0x9C), 0;
      if (Key(l, "PUSH")) return Push();
      if (Key(l, "POP")) return Pop();
      return 0;  // POR and the rest
    case 'R':
      if (Key(l, "RET")) return Ret();
      if (Key(l, "REPNE") || Key(l, "REPNZ")) return Rep(0xF2);
      if (Key(l, "REP")) return Rep(0xF3);
      if (Key(l, "RCR")) return Shift(3);
      if (Key(l, "RCL")) return Shift(2);
      if (Key(l, "RDM")) return Emit({0x0F, 0x32});  // RDMSR
      if (Key(l, "RDP")) return Emit({0x0F, 0x33});  // RDPMC
      if (Key(l, "RDT")) return Emit({0x0F, 0x31});  // RDTSC
      if (Key(l, "ROL")) return Shift(0);
      if (Key(l, "ROR")) return Shift(1);
      if (Key(l, "RSM")) return Emit({0x0F, 0xAA});
      return 0;
    case 'S':
      if (Key(l, "SAH")) return Emit({0x9E});
      if (Key(l, "SAL") || Key(l, "SAR") || Key(l, "SBB")) return 0;
      if (Key(l, "SHL")) return Shift(4);
      if (Key(l, "SHR")) return Shift(5);
      if (Key(l, "SMSD")) return One(kSmsd);
      if (Key(l, "SMS")) return One(kSmsw);
      if (Key(l, "STC")) return Emit({0xF9});
      if (Key(l, "STD")) return 0;
      if (Key(l, "STI")) return Emit({0xFB});
      if (Key(l, "STO?B")) return Emit({0xAA});
      if (Key(l, "STO?D")) return Sized(rec, 'D', 0xAB), 0;
      if (Key(l, "STO?W")) return Sized(rec, 'W', 0xAB), 0;
      if (Key(l, "STO")) return 0;
      if (Key(l, "SUB")) return Two(kSub);
      return 0;
    case 'T':
      return Key(l, "TEST") ? Test() : 0;
    case 'X':
      if (Key(l, "XOR")) return Two(kXor);
      if (Key(l, "XCH")) return Two(kXchg);
      return 0;
    default:
      return 0;
  }
}

// ---- x87 --------------------------------------------------------------------

uint32_t Encoder::StackForm(uint32_t b0, uint32_t b1, bool memoryFallback, uint32_t memPattern) {
  const uint32_t i = ParseStackIndex(rec, line);
  if (i != kFail) {
    rec->OpLength = 0;
    return Emit({b0, b1 + i});
  }
  if (!memoryFallback) return kFail;
  const SingleTemplate t = X87Mem(memPattern);
  return One(t);
}

uint32_t Encoder::Arithmetic(uint32_t memPattern, uint32_t regPattern, bool popping) {
  if (memPattern != kNone) {
    const SingleTemplate t = X87Mem(memPattern);
    if (One(t) != kFail) return 0;
  }
  const uint32_t v = ParseStackPair(rec, line);
  if (v == kFail) return kFail;
  const bool toStackReg = (v & 0x400) != 0;  // ST(i),ST
  if (popping) {
    // The popping forms exist only as ST(i),ST.
    if (!toStackReg) return kFail;
    return EmitPattern(rec, regPattern | (v & 7), 2) ? 0 : kFail;
  }
  uint32_t pattern = regPattern | v;
  // With ST(i) as the destination the processor swaps the subtracting and
  // dividing pairs: FSUB ST(i),ST is DC E8+i, FDIV ST(i),ST is DC F8+i.
  if (toStackReg && (regPattern & 0xE0) == 0xE0) pattern ^= 0x08;
  return EmitPattern(rec, pattern, 2) ? 0 : kFail;
}

uint32_t Encoder::StoreFamily() {
  const bool pop = Key(line, "FSTP");
  if (Contains(line, '[')) {
    uint32_t pattern = 0xD910;  // FST: D9 /2
    if (pop) pattern = 0xD918;                  // FSTP: D9 /3
    else if (Key(line, "FSTC")) pattern = 0xD938;  // FSTCW: D9 /7
    else if (Key(line, "FSTS")) pattern = 0xDD38;  // FSTSW: DD /7
    return One(X87Mem(pattern));
  }
  const uint32_t i = ParseStackIndex(rec, line);
  if (i != kFail) return Emit({0xDD, (pop ? 0xD8u : 0xD0u) + i});
  if (Key(line, "FSTC")) return One(X87Mem(0xD938));
  if (Key(line, "FSTS")) return One(X87Mem(0xDD38));
  return kFail;
}

uint32_t Encoder::X87() {
  const uint8_t* l = line;
  auto has = [&](uint8_t c) { return Contains(l, c); };
  // FW. before an integer operand: only FILD and FISTP have a 64-bit form.
  uint32_t dot = FindChar(l, '.');
  const bool qword = dot != kFail && dot >= 3 && l[dot - 2] == 'W' && l[dot - 3] == 'F';
  // Fixed two-byte forms.
  static const struct {
    const char* key;
    uint8_t b0, b1;
  } kFixed[] = {
      {"F2XM", 0xD9, 0xF0}, {"FABS", 0xD9, 0xE1}, {"FCHS", 0xD9, 0xE0}, {"FCLE", 0xDB, 0xE2},
      {"FCOS", 0xD9, 0xFF}, {"FDEC", 0xD9, 0xF6}, {"FINC", 0xD9, 0xF7}, {"FINI", 0xDB, 0xE3},
      {"FLDP", 0xD9, 0xEB}, {"FLDZ", 0xD9, 0xEE}, {"FNCL", 0xDB, 0xE2}, {"FNIN", 0xDB, 0xE3},
      {"FNOP", 0xD9, 0xD0}, {"FPAT", 0xD9, 0xF3}, {"FPTA", 0xD9, 0xF2}, {"FRND", 0xD9, 0xFC},
      {"FSCA", 0xD9, 0xFD}, {"FSQR", 0xD9, 0xFA}, {"FTST", 0xD9, 0xE4}, {"FXAM", 0xD9, 0xE5},
      {"FXTR", 0xD9, 0xF4},
  };
  // The four-character keys in recognition order; each maps to a handler.
  if (Key(l, "F2XM") || Key(l, "FABS")) goto fixed;
  if (Key(l, "FADD")) {
    if (Key(l, "????P")) {  // FADDP: DE C0+i, DE C1 without operand
      uint32_t i = ParseStackIndex(rec, line);
      return Emit({0xDE, 0xC0 + (i == kFail ? 1 : i)});
    }
    if (has(',')) return Arithmetic(0xD800, 0xD8C0, false);
    return StackForm(0xD8, 0xC0, true, 0xD800);
  }
  if (Key(l, "FBLD")) return One(X87Mem(0xDF20));
  if (Key(l, "FBST")) return One(X87Mem(0xDF30));
  if (Key(l, "FCHS") || Key(l, "FCLE")) goto fixed;
  if (Key(l, "FCOM")) {
    if (Key(l, "??OMIP") || Key(l, "??OMPP")) return 0;
    if (Key(l, "?COMI")) {
      uint32_t i = ParseStackIndex(rec, line);
      return Emit({0xDB, 0xF0 + (i == kFail ? 1 : i)});
    }
    if (Key(l, "?COMP")) return 0;
    return StackForm(0xD8, 0xD0, true, 0xD810);
  }
  if (Key(l, "FCMO")) return 0;
  if (Key(l, "FCOS") || Key(l, "FDEC")) goto fixed;
  if (Key(l, "FDIV")) {
    if (Key(l, "????P")) return Arithmetic(kNone, 0xDEF8, true);
    if (Key(l, "????R")) {
      if (Key(l, "?????P")) return 0;
      return Arithmetic(0xD838, 0xD8F8, false);
    }
    return Arithmetic(0xD830, 0xD8F0, false);
  }
  if (Key(l, "FFRE")) return StackForm(0xDD, 0xC0, false, 0);
  if (Key(l, "FINC") || Key(l, "FINI")) goto fixed;
  if (Key(l, "FI") && qword) {
    if (Key(l, "FILD")) return One(X87Mem(0xDF28));  // DF /5
    if (Key(l, "FISTP")) return One(X87Mem(0xDF38));  // DF /7
    return kFail;
  }
  if (Key(l, "FIAD")) return One(X87Mem(0xDA00));
  if (Key(l, "FICO")) return One(X87Mem(Key(l, "?????P") ? 0xDA18 : 0xDE10));
  if (Key(l, "FIDI")) return One(X87Mem(0xDA30 | (Key(l, "?????R") ? 8 : 0)));
  if (Key(l, "FILD")) return One(X87Mem(0xDB00));
  if (Key(l, "FIMU")) return One(X87Mem(0xDA08));
  if (Key(l, "FIST")) return One(X87Mem(0xDB10 | (Key(l, "????P") ? 8 : 0)));
  if (Key(l, "FISU")) return One(X87Mem(Key(l, "?????R") ? 0xDA28 : 0xDA20));
  if (Key(l, "FLD ")) return StackForm(0xD9, 0xC0, true, 0xD900);
  if (Key(l, "FLDC") || Key(l, "FLDE")) return 0;
  if (Key(l, "FLD1")) {
    if (Key(l, "????2E") || Key(l, "????2T") || Key(l, "????G2") || Key(l, "????N2")) return 0;
    return Emit({0xD9, 0xE8});
  }
  if (Key(l, "FLDP") || Key(l, "FLDZ")) goto fixed;
  if (Key(l, "FMUL")) {
    if (Key(l, "????P")) return 0;
    return Arithmetic(0xD808, 0xD8C8, false);
  }
  if (Key(l, "FNCL") || Key(l, "FNIN") || Key(l, "FNOP")) goto fixed;
  if (Key(l, "FNSA")) return One(X87Mem(0xDD30));
  if (Key(l, "FNST")) return 0;
  if (Key(l, "FPAT")) goto fixed;
  if (Key(l, "FPRE")) return Key(l, "?????1") ? Emit({0xD9, 0xF5}) : Emit({0xD9, 0xF8});
  if (Key(l, "FPTA") || Key(l, "FRND")) goto fixed;
  if (Key(l, "FRST")) return One(X87Mem(0xDD20));
  if (Key(l, "FSAV")) return One(X87Mem(0xDD30));
  if (Key(l, "FSCA")) goto fixed;
  if (Key(l, "FSIN")) return Key(l, "???NCOS") ? Emit({0xD9, 0xFB}) : Emit({0xD9, 0xFE});
  if (Key(l, "FSQR")) goto fixed;
  if (Key(l, "FST ") || Key(l, "FSTC") || Key(l, "FSTP") || Key(l, "FSTS")) return StoreFamily();
  if (Key(l, "FSTE")) return 0;
  if (Key(l, "FSUB")) {
    if (Key(l, "????RP") || Key(l, "????P") || Key(l, "????R")) return 0;
    return Arithmetic(0xD820, 0xD8E0, false);
  }
  if (Key(l, "FTST")) goto fixed;
  if (Key(l, "FUCO")) {
    if (Key(l, "???OMIP") || Key(l, "???OMPP") || Key(l, "????MI") || Key(l, "????MP")) return 0;
    return StackForm(0xDD, 0xE0, false, 0);
  }
  if (Key(l, "FWAI")) return Emit({0x9B});
  if (Key(l, "FXAM")) goto fixed;
  if (Key(l, "FXCH")) {
    uint32_t i = ParseStackIndex(rec, line);
    return Emit({0xD9, 0xC8 + (i == kFail ? 1 : i)});
  }
  if (Key(l, "FXTR")) goto fixed;
  if (Key(l, "FYL2")) return Key(l, "?????P1") ? Emit({0xD9, 0xF9}) : Emit({0xD9, 0xF1});
  return 0;

fixed:
  for (const auto& f : kFixed)
    if (KeyAt(l, f.key)) return Emit({f.b0, f.b1});
  return 0;
}

// A line whose first word holds the ':' of a label definition.
bool IsLabelDefinition(const uint8_t* line) {
  // The first ':' comes before the first blank (or there is no blank): only
  // the first word needs reading.
  for (;; ++line) {
    const uint8_t c = *line;
    if (c == ':') return true;
    if (c == ' ' || c == 0 || c == kCR) return false;
  }
}

}  // namespace

void EncodeLine(AsmEnv& env, InstructionRecord* recIn, uint8_t* line) {
  InstructionRecord rec = *recIn;
  uint32_t result = 0;
  if (line[0] == '[') {
    result = ApplyBracketDirective(&rec, line);
  } else if (line[0] == '@') {
    if (line[1] == '@') rec.AtLabel = rec.Origin + rec.Offset;
  } else if (IsLabelDefinition(line)) {
    // NAME: defines a label and nothing else, even when NAME begins with a
    // mnemonic (RETRY:, OUTPUT:, LOOP1:).
  } else {
    Encoder e{env, &rec, line};
    if (line[0] >= 'A' && line[0] <= 'K')
      result = e.ChainAtoK();
    else if (line[0] >= 'L' && line[0] <= 'Z')
      result = e.ChainLtoZ();
  }
  if (result == kFail) rec.ErrorFlag = kFail;
  *recIn = rec;
}

}  // namespace quorix
