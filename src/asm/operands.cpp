#include "asm/operands.h"

#include "model/context_record.h"
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
    case 'P':
      return a == 'S' ? 4 : a == 'B' ? 5 : kFail;
    case 'I':
      return a == 'S' ? 6 : a == 'D' ? 7 : kFail;
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
  o->a = ParseRegister(a, &o->ka);
  if (o->a == kFail) return false;
  o->b = ParseRegister(b, &o->kb);
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
    if (p[0] == kNames[2 * i] && p[1] == kNames[2 * i + 1]) return i * 8;
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

uint32_t ParseMemoryOperand(uint8_t* line, MemoryOperand* out) {
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
  uint32_t r = first ? ParseRegister(first, &k) : kFail;
  if (r == kFail) {
    r = ParseRegister(SkipBlanks(line + comma), &k);
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
      case 'W': opSize = 1; flags |= kFlagW; break;
      case 'D': opSize = 2; flags |= kFlagW; break;
      default: return kFail;
    }
    bool readable;
    imm = ParseNumberChecked(SkipBlanks(line + comma), &readable);
    if (!readable) return kFail;
    immediate = true;
    reg = 0;
  } else {
    opSize = regClass;
    if (regClass == ClassWord || regClass == ClassDword) flags |= kFlagW;
    if (regClass == ClassMmx && !memorySecond) flags |= kFlagMmxStore;
  }

  // The first '+' decides the shape of the address.
  enum { None, Displacement, Indexed } shape = None;
  const uint32_t plus = FindChar(line, '+');
  uint32_t index = 0;
  if (plus != kFail) {
    uint32_t ik;
    uint32_t ir = ParseRegister(SkipBlanks(line + plus), &ik);
    if (ir == kFail) {
      shape = Displacement;
    } else if (ik == ClassDword) {
      shape = Indexed;
      index = ir;
    } else {
      return kFail;  // [BX+SI] and other register pairs are not offered
    }
  }

  uint32_t baseClass;
  const uint32_t base = ParseRegister(SkipBlanks(line + bracket), &baseClass);
  if (base == kFail) return kFail;

  uint32_t mod = 0, rm = 0, addrSize = 0, disp = 0, sib = 0;
  if (shape != Indexed) {
    if (baseClass == ClassWord) {
      addrSize = 1;
      switch (base) {
        case 3: rm = 7; break;  // BX
        case 6: rm = 4; break;  // SI
        case 7: rm = 5; break;  // DI
        case 5: rm = 6; break;  // BP
        default: return kFail;
      }
    } else if (baseClass == ClassDword) {
      addrSize = 2;
      rm = base;
    } else {
      return kFail;
    }
    const bool bpBase = base == 5;
    if (shape == None) {
      if (bpBase) mod = 1;  // no mod-0 form for [BP] / [EBP]
    } else {
      uint32_t close = FindChar(line, ']');
      if (close == kFail) return kFail;
      line[close - 1] = ' ';
      disp = ParseNumber(SkipBlanks(line + plus));
      mod = disp <= 0x7F ? 1 : 2;
    }
  } else {
    if (baseClass != ClassDword) return kFail;
    // ESP cannot be an index, and EBP as base without displacement means
    // "no base": both would encode something other than what was written.
    if (index == 4) return kFail;
    addrSize = 2;
    rm = 4;
    uint32_t scale = 0;
    uint32_t star = FindChar(line, '*');
    if (star != kFail) {
      switch (*SkipBlanks(line + star)) {
        case '2': scale = 1; break;
        case '4': scale = 2; break;
        case '8': scale = 3; break;
        default: scale = 0; break;
      }
    }
    uint32_t second = FindChar(line + plus, '+');
    if (second != kFail) {
      uint8_t* after = line + plus + second;
      mod = 1;
      uint32_t close = FindChar(after, ']');
      if (close != kFail) after[close - 1] = ' ';
      // One signed byte: a displacement that does not fit would silently
      // address something else.
      const int32_t d = static_cast<int32_t>(ParseNumber(after));
      if (d < -128 || d > 127) return kFail;
      disp = static_cast<uint32_t>(d) & 0xFF;
    } else if (base == 5) {
      return kFail;
    }
    sib = (scale << 6) | (index << 3) | base;
  }

  out->DispOrSib = shape == Indexed ? (sib | (disp << 8)) : disp;
  out->ModRmFlags = flags | (mod << 6) | (reg << 3) | rm;
  out->SizeFlags = addrSize | (opSize << 8) | (shape == Indexed ? 0x20000u : 0u) |
                   (immediate ? 0x4000000u : 0u);
  out->ImmValue = immediate ? imm : 0;
  return out->ModRmFlags;
}

}  // namespace quorix
