#include "asm/operands.h"

#include <cstring>
#include <string>

#include "asm/encoder.h"
#include "model/common.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

// Characters of a name; a position past the text's end reads as 0, so
// nothing behind a NUL is ever looked at.
struct Chars {
  uint8_t c[3];
  explicit Chars(const uint8_t* p) {
    c[0] = p[0];
    c[1] = c[0] ? p[1] : 0;
    c[2] = c[1] ? p[2] : 0;
  }
};

uint32_t WordRegisterOf(uint8_t a, uint8_t b) {
  switch (b) {
    case 'X':
      switch (a) {
        case 'A': return 0;
        case 'C': return 1;
        case 'D': return 2;
        case 'B': return 3;
      }
      return kFail;
    case 'P': return a == 'S' ? 4 : a == 'B' ? 5 : kFail;
    case 'I': return a == 'S' ? 6 : a == 'D' ? 7 : kFail;
  }
  return kFail;
}

uint32_t DigitOf(uint8_t c) { return c >= '0' && c <= '7' ? uint32_t(c - '0') : kFail; }

// Both operands of a two-operand line read as registers; false when the line
// has no blank or no ',' or either operand is no register.
struct Operands {
  uint32_t a, ka, b, kb;
};
bool ParseBothRegisters(const uint8_t* line, Operands* o) {
  const uint8_t* a = FirstOperand(line);
  const uint8_t* b = SecondOperand(line);
  if (!a || !b) return false;
  o->a = WholeRegister(a, &o->ka);
  if (o->a == kFail) return false;
  o->b = WholeRegister(b, &o->kb);
  return o->b != kFail;
}

}  // namespace

uint32_t ParseRegister(const uint8_t* text, uint32_t* cls) {
  Chars ch(text);
  const uint8_t p0 = ch.c[0], p1 = ch.c[1], p2 = ch.c[2];
  uint32_t k = kFail, n = kFail;
  if (p0 == 'E') {
    k = ClassDword;
    n = WordRegisterOf(p1, p2);
  } else if (p0 == 'M') {
    k = ClassMmx;
    n = DigitOf(p2);
  } else if ((p0 == 'S' && p1 == 'T') || (p0 == 'C' && p1 == 'R') || (p0 == 'D' && p1 == 'R') ||
             (p0 == 'T' && p1 == 'R')) {
    k = p0 == 'S' ? ClassStack : p0 == 'C' ? ClassControl : p0 == 'D' ? ClassDebug : ClassTest;
    n = DigitOf(p2);
  } else if (p1 == 'H' || p1 == 'L') {
    k = ClassByte;
    n = ParseByteRegister(text);
  } else if (p1 == 'X' || p1 == 'I' || p1 == 'P') {
    k = ClassWord;
    n = WordRegisterOf(p0, p1);
  }
  if (n == kFail) return kFail;
  if (cls) *cls = k;
  return n;
}

uint32_t WholeRegister(const uint8_t* p, uint32_t* cls) {
  uint32_t k = 0;
  const uint32_t r = ParseRegister(p, &k);
  if (r == kFail) return kFail;
  const uint8_t next = p[k <= ClassWord ? 2 : 3];
  if (next != 0 && next != kCR && next != ' ' && next != kTab && next != ',') return kFail;
  if (cls) *cls = k;
  return r;
}

uint32_t ParseByteRegister(const uint8_t* text) {
  Chars ch(text);
  uint32_t n;
  switch (ch.c[0]) {
    case 'A': n = 0; break;
    case 'C': n = 1; break;
    case 'D': n = 2; break;
    case 'B': n = 3; break;
    default: return kFail;
  }
  if (ch.c[1] == 'H') return n + 4;
  if (ch.c[1] == 'L') return n;
  return kFail;
}

uint32_t ParseWordRegister(const uint8_t* text) {
  Chars ch(text);
  return WordRegisterOf(ch.c[0], ch.c[1]);
}

uint32_t ParseDwordRegister(const uint8_t* text) {
  Chars ch(text);
  if (ch.c[0] != 'E') return kFail;
  return WordRegisterOf(ch.c[1], ch.c[2]);
}

uint32_t ParseSegmentRegister(const uint8_t* text) {
  const uint8_t* p = SkipBlanks(text);
  if (p > text && (p[-1] == 0 || p[-1] == kCR)) return kFail;  // ran past the end
  static const char kNames[] = "ESCSSSDSFSGS";
  for (uint32_t i = 0; i < 6; ++i)
    if (p[0] == static_cast<uint8_t>(kNames[2 * i]) &&
        p[1] == static_cast<uint8_t>(kNames[2 * i + 1]))
      return i * 8;
  return kFail;
}

const uint8_t* FirstOperand(const uint8_t* line) {
  uint32_t pos = FindChar(line, ' ');
  return pos == kFail ? nullptr : SkipBlanks(line + pos);
}

const uint8_t* SecondOperand(const uint8_t* line) {
  uint32_t pos = FindChar(line, ',');
  return pos == kFail ? nullptr : SkipBlanks(line + pos);
}

uint32_t ParseRegisterPair(const uint8_t* line, uint32_t* cls) {
  Operands o;
  if (!ParseBothRegisters(line, &o) || o.ka != o.kb) return kFail;
  if (cls) *cls = o.ka;
  uint32_t v = 0xC0 | (o.a << 3) | o.b | kFlagD;
  if (o.ka == ClassWord || o.ka == ClassDword) v |= kFlagW;
  return v;
}

uint32_t ParseMmxGprPair(const uint8_t* line) {
  Operands o;
  if (!ParseBothRegisters(line, &o)) return kFail;
  if (o.kb == ClassMmx && o.ka == ClassDword) return 0xC0 | (o.b << 3) | o.a | kFlagMmxStore;
  if (o.kb == ClassDword && o.ka == ClassMmx) return 0xC0 | (o.a << 3) | o.b;
  return kFail;
}

uint32_t ParseSpecialRegisterPair(const uint8_t* line, uint32_t* cls) {
  Operands o;
  if (!ParseBothRegisters(line, &o) || o.ka == o.kb) return kFail;
  auto special = [](uint32_t k) { return k >= ClassControl && k <= ClassTest; };
  if (special(o.ka)) {
    if (cls) *cls = o.ka;
    return kFlagD | 0xC0 | (o.a << 3) | o.b;
  }
  if (special(o.kb)) {
    if (cls) *cls = o.kb;
    return 0xC0 | (o.b << 3) | o.a;
  }
  return kFail;
}

uint32_t ParseMemoryOperand(uint8_t* line, MemoryOperand* out, Address* addr,
                            const AddressNames* names) {
  const uint32_t comma = FindChar(line, ',');
  const uint32_t bracket = FindChar(line, '[');
  if (comma == kFail || bracket == kFail) return kFail;
  uint32_t flags = 0;
  const bool memorySecond = bracket > comma;
  if (memorySecond) flags |= kFlagD;

  // The register operand, if any.
  uint32_t reg = kFail, regClass = 0;
  const uint8_t* first = FirstOperand(line);
  uint32_t k = 0;
  uint32_t r = first ? WholeRegister(first, &k) : kFail;
  if (r == kFail) {
    r = WholeRegister(SkipBlanks(line + comma), &k);
  }
  if (r != kFail && k <= ClassMmx) {
    reg = r;
    regClass = k;
  }

  uint32_t opSize = 0, imm = 0;
  bool immediate = false;
  if (reg == kFail) {
    if (memorySecond) return kFail;
    uint32_t dot = FindChar(line, '.');
    if (dot == kFail || dot < 2) return kFail;
    switch (line[dot - 2]) {
      case 'B': opSize = 0; break;
      case 'W':
        opSize = 1;
        flags |= kFlagW;
        break;
      case 'D':
        opSize = 2;
        flags |= kFlagW;
        break;
      default: return kFail;
    }
    bool readable;
    imm = ParseImmediate(SkipBlanks(line + comma),
                         opSize == 0   ? 1
                         : opSize == 1 ? 2
                                       : 4,
                         &readable);
    if (!readable) return kFail;
    immediate = true;
    reg = 0;
  } else {
    opSize = regClass;
    if (regClass == ClassWord || regClass == ClassDword) flags |= kFlagW;
    if (regClass == ClassMmx && !memorySecond) flags |= kFlagMmxStore;
  }

  Address a;
  if (ParseAddress(line + bracket - 1, false, &a, names) != AddressKind::Registers) return kFail;
  if (uint32_t close = FindChar(line, ']'); close != kFail) line[close - 1] = ' ';
  if (addr) *addr = a;

  out->DispOrSib = a.hasSib ? (a.sib | (a.disp << 8)) : a.disp;
  out->ModRmFlags = flags | (a.mod << 6) | (reg << 3) | a.rm;
  out->SizeFlags =
      a.size | (opSize << 8) | (a.hasSib ? 0x20000u : 0u) | (immediate ? 0x4000000u : 0u);
  out->ImmValue = immediate ? imm : 0;
  return out->ModRmFlags;
}

namespace {

bool IsDelimiter(uint8_t c) {
  return c == 0 || c == kCR || c == ' ' || c == kTab || c == '+' || c == '-' || c == '*' ||
         c == ']' || c == ',';
}

// A register term of an address: its number and class, and where it ends.
bool AddressRegister(const uint8_t* p, uint32_t* num, uint32_t* cls, const uint8_t** end) {
  uint32_t k;
  const uint32_t r = ParseRegister(p, &k);
  if (r == kFail || (k != ClassWord && k != ClassDword)) return false;
  const uint32_t len = k == ClassDword ? 3 : 2;
  if (!IsDelimiter(p[len])) return false;  // a longer word: a name or a number
  *num = r;
  *cls = k;
  *end = p + len;
  return true;
}

}  // namespace

namespace {

// The terms of an address between '[' and its end: up to two registers with
// their scales, and the sum of the numbers.
struct AddressTerms {
  struct Reg {
    uint32_t num, cls, scale;
  } regs[2];
  uint32_t nregs = 0, numbers = 0;
  uint32_t labels = 0;  // numbers that are labels' addresses
  uint32_t disp = 0;
  bool negative = false;   // a number was subtracted
  bool plainPlus = false;  // the first number followed a register after a plain '+'
  bool closed = false;     // the address ends at ']'
};

const uint8_t* SkipSpaces(const uint8_t* p) {
  while (*p == ' ' || *p == kTab) ++p;
  return p;
}

// A register term and its optional "*scale".
AddressKind ReadRegisterTerm(const uint8_t** at, uint32_t num, uint32_t cls, AddressTerms* t) {
  const uint8_t* p = SkipSpaces(*at);
  uint32_t scale = 1;
  if (*p == '*') {
    p = SkipSpaces(p + 1);
    if (*p != '1' && *p != '2' && *p != '4' && *p != '8') return AddressKind::Bad;
    scale = *p - '0';
    ++p;
  }
  t->regs[t->nregs++] = {num, cls, scale};
  *at = p;
  return AddressKind::Registers;
}

// The address of a label named by a term; false when there is none.
bool LabelTerm(const AddressNames* names, const uint8_t* text, uint32_t n, uint32_t* v) {
  if (!names || !names->env) return false;
  const SymbolHit hit =
      LookupName(std::string_view(reinterpret_cast<const char*>(text), n), *names->env);
  if (hit.line == 0) return false;
  // Only pass 2 decides: in pass 1 a label further down may read an old value.
  if (!LabelFits(*names->env, hit.address, names->bitsMode)) return false;
  *v = hit.address;
  return true;
}

// A number term: up to the next operator or the end of the address; with
// names, a label's address.
AddressKind ReadNumberTerm(const uint8_t** at, uint8_t op, AddressTerms* t,
                           const AddressNames* names) {
  const uint8_t* p = *at;
  uint8_t text[kMaxNameLength + 8];
  uint32_t n = 0;
  if (*p == '-' && op == '+') text[n++] = *p++;  // "+-4" is a negative literal
  if (p[0] == '#' && p[1] == '-') {              // "+#-92" too
    text[n++] = *p++;
    text[n++] = *p++;
  }
  while (!(*p == 0 || *p == kCR || *p == '+' || *p == '-' || *p == ']' || *p == ',')) {
    if (n + 1 >= kMaxNameLength) return AddressKind::Bad;
    text[n++] = *p++;
  }
  while (n && (text[n - 1] == ' ' || text[n - 1] == kTab)) --n;
  if (n == 0) return AddressKind::Bad;
  std::memset(text + n, 0, 8);
  const bool alone = t->nregs == 0 && t->numbers == 0 && op == '+' && *p == ']';
  bool readable = false, label = false;
  uint32_t v = 0;
  if (alone) label = LabelTerm(names, text, n, &v);  // [NAME]: the label first
  if (!label) v = ParseNumberChecked(text, &readable);
  if (!label && !readable) label = LabelTerm(names, text, n, &v);
  if (!label && !readable) {
    if (names && names->env && text[0] >= 'A' && text[0] <= 'Z' && n <= kMaxNameLength) {
      Refuse(*names->env, "unknown label " + std::string(reinterpret_cast<const char*>(text), n));
    }
    return t->nregs == 0 && t->numbers == 0 && !names ? AddressKind::NoRegister : AddressKind::Bad;
  }
  if (label) ++t->labels;
  if (op == '-') {
    t->negative = true;
    t->disp -= v;
  } else {
    t->plainPlus = t->numbers == 0 && t->nregs > 0;
    t->disp += v;
  }
  ++t->numbers;
  *at = p;
  return AddressKind::Registers;
}

AddressKind ReadTerms(const uint8_t* open, AddressTerms* t, const AddressNames* names) {
  const uint8_t* p = open + 1;
  uint8_t op = '+';
  for (;;) {
    p = SkipSpaces(p);
    const uint8_t* end;
    uint32_t num, cls;
    AddressKind kind;
    if (AddressRegister(p, &num, &cls, &end)) {
      if (op != '+' || t->nregs == 2) return AddressKind::Bad;
      p = end;
      kind = ReadRegisterTerm(&p, num, cls, t);
    } else {
      kind = ReadNumberTerm(&p, op, t, names);
    }
    if (kind != AddressKind::Registers) return kind;
    p = SkipSpaces(p);
    if (*p != '+' && *p != '-') break;
    op = *p++;
  }
  t->closed = *p == ']';
  return AddressKind::Registers;
}

// The r/m field of a 16-bit address: one of BX, BP, SI, DI, or a pair of a
// base (BX, BP) and an index (SI, DI) in either order.
bool RegisterFields16(const AddressTerms& t, Address* a) {
  const AddressTerms::Reg* r = t.regs;
  if (r[0].scale != 1 || (t.nregs == 2 && r[1].scale != 1)) return false;
  auto is = [&](uint32_t x, uint32_t y) {
    return t.nregs == 2 && ((r[0].num == x && r[1].num == y) || (r[0].num == y && r[1].num == x));
  };
  if (t.nregs == 1) {
    switch (r[0].num) {
      case 6: a->rm = 4; return true;  // SI
      case 7: a->rm = 5; return true;  // DI
      case 5: a->rm = 6; return true;  // BP
      case 3: a->rm = 7; return true;  // BX
      default: return false;
    }
  }
  if (is(3, 6))
    a->rm = 0;
  else if (is(3, 7))
    a->rm = 1;
  else if (is(5, 6))
    a->rm = 2;
  else if (is(5, 7))
    a->rm = 3;
  else
    return false;
  return true;
}

// The r/m and SIB fields of a 32-bit address. *indexOnly: an index without a
// base, which takes a 32-bit displacement and nothing else.
bool RegisterFields32(const AddressTerms& t, Address* a, bool* indexOnly) {
  // Base: the first unscaled register; index: the other one.
  int base = -1, index = -1;
  for (uint32_t i = 0; i < t.nregs; ++i) {
    if (t.regs[i].scale == 1 && base < 0)
      base = static_cast<int>(i);
    else if (index < 0)
      index = static_cast<int>(i);
    else
      return false;
  }
  *indexOnly = false;
  if (index < 0) {
    a->rm = t.regs[base].num;
    if (a->rm == 4) {
      a->hasSib = true;
      a->sib = 0x24;
    }
    return true;
  }
  if (t.regs[index].num == 4) return false;  // ESP cannot be an index
  const uint32_t s = t.regs[index].scale;
  const uint32_t ss = s == 1 ? 0 : s == 2 ? 1 : s == 4 ? 2 : 3;
  a->hasSib = true;
  a->rm = 4;
  a->sib = (ss << 6) | (t.regs[index].num << 3) | (base >= 0 ? t.regs[base].num : 5);
  *indexOnly = base < 0;
  return true;
}

// The mod field and the displacement's length.
void Displacement(const AddressTerms& t, bool wide, bool stackDisp8, Address* a) {
  const bool lonePlus = t.plainPlus && t.numbers == 1 && !t.negative;
  const uint32_t baseNum = wide ? (a->hasSib ? (a->sib & 7) : a->rm) : 0;
  const bool bpBase = wide ? baseNum == 5 : a->rm == 6;
  const uint32_t full = wide ? 4 : 2;
  if (t.labels > 0) {  // a label's value may change between the passes
    a->mod = 2;
    a->dispLen = full;
  } else if (t.numbers == 0) {
    a->mod = 0;
    if (bpBase || (stackDisp8 && a->hasSib && a->sib == 0x24)) {
      a->mod = 1;
      a->dispLen = 1;
    }
  } else if (lonePlus && (!a->hasSib || a->sib == 0x24)) {
    a->mod = t.disp <= 0x7F ? 1 : 2;
    a->dispLen = a->mod == 1 ? 1 : full;
  } else {
    const int32_t d = static_cast<int32_t>(t.disp);
    a->mod = d >= -128 && d <= 127 ? 1 : 2;
    a->dispLen = a->mod == 1 ? 1 : full;
  }
  a->disp = t.disp;
}

}  // namespace

namespace {

// An address of numbers and labels only: the direct form of the code width.
AddressKind DirectAddress(const AddressTerms& t, const AddressNames& names, Address* out) {
  Address a;
  a.direct = true;
  a.disp = t.disp;
  if (names.bitsMode == kBits32) {
    a.size = 2;
    a.rm = 5;
    a.dispLen = 4;
  } else {
    a.size = 1;
    a.rm = 6;
    a.dispLen = 2;
    const bool decided = t.labels == 0 || names.env->pass >= 2;
    if (decided && !FitsUnit(t.disp, 2))
      return Refuse(*names.env, "the address does not fit in 16 bits"), AddressKind::Bad;
  }
  *out = a;
  return AddressKind::Registers;
}

}  // namespace

AddressKind ParseAddress(const uint8_t* open, bool stackDisp8, Address* out,
                         const AddressNames* names) {
  AddressTerms t;
  if (const AddressKind kind = ReadTerms(open, &t, names); kind != AddressKind::Registers)
    return kind;
  if (t.nregs == 0) {
    if (!names || !names->env || t.numbers == 0 || !t.closed) return AddressKind::NoRegister;
    return DirectAddress(t, *names, out);
  }
  if (!t.closed && t.nregs + t.numbers > 1) return AddressKind::Bad;  // unclosed

  Address a;
  const bool wide = t.regs[0].cls == ClassDword;
  if (t.nregs == 2 && t.regs[1].cls != t.regs[0].cls) return AddressKind::Bad;
  a.size = wide ? 2 : 1;
  if (!wide) {
    if (!RegisterFields16(t, &a)) return AddressKind::Bad;
  } else {
    bool indexOnly = false;
    if (!RegisterFields32(t, &a, &indexOnly)) return AddressKind::Bad;
    if (indexOnly) {
      a.mod = 0;
      a.dispLen = 4;
      a.disp = t.disp;
      *out = a;
      return AddressKind::Registers;
    }
  }
  Displacement(t, wide, stackDisp8, &a);
  const bool decided = t.labels == 0 || names->env->pass >= 2;
  if (decided && a.dispLen == 2 && t.disp > 0xFFFF && t.disp < 0xFFFF8000u) return AddressKind::Bad;
  *out = a;
  return AddressKind::Registers;
}

uint8_t SegmentOverride(const uint8_t* line) {
  uint32_t colon = FindChar(line, ':');
  if (colon == kFail || colon < 3) return 0;
  const uint8_t a = line[colon - 3], b = line[colon - 2];
  static const struct {
    uint8_t a, b;
    uint8_t prefix;
  } kSeg[] = {{'C', 'S', 0x2E}, {'D', 'S', 0x3E}, {'E', 'S', 0x26},
              {'F', 'S', 0x64}, {'G', 'S', 0x65}, {'S', 'S', 0x36}};
  for (const auto& s : kSeg)
    if (a == s.a && b == s.b) return s.prefix;
  return 0;
}

}  // namespace quorix
