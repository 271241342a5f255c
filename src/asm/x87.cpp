// The x87 forms: fixed two-byte forms, stack-register forms, and memory
// forms through the single-operand encoder.
#include <cstring>

#include "asm/encoder_parts.h"
#include "text/number.h"

namespace quorix::encoding {

// ---- x87 --------------------------------------------------------------------

// Fixed two-byte forms.
constexpr struct {
  const char* key;
  uint8_t b0, b1;
} kFixedX87[] = {
    {"F2XM", 0xD9, 0xF0}, {"FABS", 0xD9, 0xE1}, {"FCHS", 0xD9, 0xE0}, {"FCLE", 0xDB, 0xE2},
    {"FCOS", 0xD9, 0xFF}, {"FDEC", 0xD9, 0xF6}, {"FINC", 0xD9, 0xF7}, {"FINI", 0xDB, 0xE3},
    {"FLDP", 0xD9, 0xEB}, {"FLDZ", 0xD9, 0xEE}, {"FNCL", 0xDB, 0xE2}, {"FNIN", 0xDB, 0xE3},
    {"FNOP", 0xD9, 0xD0}, {"FPAT", 0xD9, 0xF3}, {"FPTA", 0xD9, 0xF2}, {"FRND", 0xD9, 0xFC},
    {"FSCA", 0xD9, 0xFD}, {"FSQR", 0xD9, 0xFA}, {"FTST", 0xD9, 0xE4}, {"FXAM", 0xD9, 0xE5},
    {"FXTR", 0xD9, 0xF4},
};

namespace {
const char* const kX87Form = "no such operand form for this x87 instruction";
}  // namespace

// An x87 memory form: one operand only.
uint32_t Encoder::X87One(uint32_t pattern) {
  if (HasSecondOperand()) return Refuse(env, kX87Form);
  return One(X87Mem(pattern));
}

// The stack register of a one-register form: ST(i) alone, or beside ST(0)
// (FXCH ST,ST(1)); *ok is false when a second operand is no such pair.
uint32_t Encoder::StackIndex(bool* ok) {
  *ok = true;
  if (!HasSecondOperand()) return ParseStackIndex(rec, line);
  const uint32_t v = ParseStackPair(rec, line);
  if (v == kFail) *ok = false;
  return v == kFail ? kFail : (v & 7);
}

// FADDP, FMULP, FSUBP, FSUBRP, FDIVRP: ST(i),ST; ST(i) alone; alone ST(1).
uint32_t Encoder::Popping(uint32_t regPattern) {
  if (HasSecondOperand()) return Arithmetic(kNone, regPattern, true);
  const uint32_t i = ParseStackIndex(rec, line);
  return EmitPattern(rec, regPattern + (i == kFail ? 1 : i), 2) ? 0 : kFail;
}

uint32_t Encoder::StackForm(uint32_t b0, uint32_t b1, bool memoryFallback, uint32_t memPattern) {
  bool ok;
  const uint32_t i = StackIndex(&ok);
  if (!ok) return Refuse(env, kX87Form);
  if (i != kFail) {
    rec->OpLength = 0;
    return Emit({b0, b1 + i});
  }
  if (!memoryFallback) return kFail;
  return X87One(memPattern);
}

uint32_t Encoder::Arithmetic(uint32_t memPattern, uint32_t regPattern, bool popping) {
  if (memPattern != kNone && !HasSecondOperand()) {
    const SingleTemplate t = X87Mem(memPattern);
    if (One(t) != kFail) return 0;
  }
  const uint32_t v = ParseStackPair(rec, line);
  if (v == kFail) return Refuse(env, kX87Form);
  const bool toStackReg = (v & 0x400) != 0;  // ST(i),ST
  if (popping) {
    // The popping forms exist only as ST(i),ST.
    if (!toStackReg) return Refuse(env, kX87Form);
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
    if (pop)
      pattern = 0xD918;  // FSTP: D9 /3
    else if (Key(line, "FSTC"))
      pattern = 0xD938;  // FSTCW: D9 /7
    else if (Key(line, "FSTS"))
      pattern = 0xDD38;  // FSTSW: DD /7
    return X87One(pattern);
  }
  bool ok;
  const uint32_t i = StackIndex(&ok);
  if (!ok) return Refuse(env, kX87Form);
  if (i != kFail) return Emit({0xDD, (pop ? 0xD8u : 0xD0u) + i});
  if (Key(line, "FSTC")) return X87One(0xD938);
  if (Key(line, "FSTS")) return X87One(0xDD38);
  return kFail;
}

uint32_t Encoder::X87() {
  const uint8_t* l = line;
  // FW. before an integer operand: only FILD and FISTP have a 64-bit form.
  uint32_t dot = FindChar(l, '.');
  const bool qword = dot != kFail && dot >= 3 && l[dot - 2] == 'W' && l[dot - 3] == 'F';
  // The four-character keys in recognition order; each maps to a handler.
  if (Key(l, "F2XM") || Key(l, "FABS")) return FixedX87();
  if (Key(l, "FADD")) {
    if (Key(l, "????P")) return Popping(0xDEC0);  // FADDP: DE C0+i, DE C1 without operand
    if (Contains(l, ',')) return Arithmetic(0xD800, 0xD8C0, false);
    return StackForm(0xD8, 0xC0, true, 0xD800);
  }
  if (Key(l, "FBLD")) return X87One(0xDF20);
  if (Key(l, "FBST")) return X87One(0xDF30);
  if (Key(l, "FCHS") || Key(l, "FCLE")) return FixedX87();
  if (Key(l, "FCOM")) {
    if (Word("FCOMPP")) return Bare(0, {0xDE, 0xD9});
    if (Key(l, "??OMIP") || Key(l, "??OMPP")) return 0;
    if (Key(l, "?COMI")) {
      bool ok;
      const uint32_t i = StackIndex(&ok);
      if (!ok) return Refuse(env, kX87Form);
      return Emit({0xDB, 0xF0 + (i == kFail ? 1 : i)});
    }
    if (Word("FCOMP")) return StackForm(0xD8, 0xD8, true, 0xD818);  // D8 /3
    if (Key(l, "?COMP")) return 0;
    return StackForm(0xD8, 0xD0, true, 0xD810);
  }
  if (Key(l, "FCMO")) return 0;
  if (Key(l, "FCOS") || Key(l, "FDEC")) return FixedX87();
  if (Key(l, "FDIV")) {
    if (Key(l, "????P")) return Arithmetic(kNone, 0xDEF8, true);
    if (Key(l, "????R")) {
      if (Word("FDIVRP")) return Popping(0xDEF0);
      if (Key(l, "?????P")) return 0;
      return Arithmetic(0xD838, 0xD8F8, false);
    }
    return Arithmetic(0xD830, 0xD8F0, false);
  }
  if (Key(l, "FFRE")) return StackForm(0xDD, 0xC0, false, 0);
  return X87Rest(qword);
}

uint32_t Encoder::X87Rest(bool qword) {
  const uint8_t* l = line;
  if (Key(l, "FINC") || Key(l, "FINI")) return FixedX87();
  if (Key(l, "FI") && qword) {
    if (Key(l, "FILD")) return X87One(0xDF28);   // DF /5
    if (Key(l, "FISTP")) return X87One(0xDF38);  // DF /7
    return kFail;
  }
  if (Key(l, "FIAD")) return X87One(0xDA00);
  if (Key(l, "FICO")) return X87One(Key(l, "?????P") ? 0xDA18 : 0xDE10);
  if (Key(l, "FIDI")) return X87One((0xDA30 | (Key(l, "?????R") ? 8 : 0)));
  if (Key(l, "FILD")) return X87One(0xDB00);
  if (Key(l, "FIMU")) return X87One(0xDA08);
  if (Key(l, "FIST")) return X87One((0xDB10 | (Key(l, "????P") ? 8 : 0)));
  if (Key(l, "FISU")) return X87One(Key(l, "?????R") ? 0xDA28 : 0xDA20);
  if (Key(l, "FLD ")) return StackForm(0xD9, 0xC0, true, 0xD900);
  if (Key(l, "FLDC") || Key(l, "FLDE")) return 0;
  if (Word("FLDL2E")) return Bare(0, {0xD9, 0xEA});
  if (Word("FLDL2T")) return Bare(0, {0xD9, 0xE9});
  if (Word("FLDLG2")) return Bare(0, {0xD9, 0xEC});
  if (Word("FLDLN2")) return Bare(0, {0xD9, 0xED});
  if (Key(l, "FLD1")) {
    if (Key(l, "????2E") || Key(l, "????2T") || Key(l, "????G2") || Key(l, "????N2")) return 0;
    return Emit({0xD9, 0xE8});
  }
  if (Key(l, "FLDP") || Key(l, "FLDZ")) return FixedX87();
  if (Key(l, "FMUL")) {
    if (Word("FMULP")) return Popping(0xDEC8);
    if (Key(l, "????P")) return 0;
    return Arithmetic(0xD808, 0xD8C8, false);
  }
  if (Key(l, "FNCL") || Key(l, "FNIN") || Key(l, "FNOP")) return FixedX87();
  if (Key(l, "FNSA")) return X87One(0xDD30);
  if (Key(l, "FNST")) return 0;
  if (Key(l, "FPAT")) return FixedX87();
  if (Key(l, "FPRE")) return Key(l, "?????1") ? Emit({0xD9, 0xF5}) : Emit({0xD9, 0xF8});
  if (Key(l, "FPTA") || Key(l, "FRND")) return FixedX87();
  if (Key(l, "FRST")) return X87One(0xDD20);
  if (Key(l, "FSAV")) return X87One(0xDD30);
  if (Key(l, "FSCA")) return FixedX87();
  if (Key(l, "FSIN")) return Key(l, "???NCOS") ? Emit({0xD9, 0xFB}) : Emit({0xD9, 0xFE});
  if (Key(l, "FSQR")) return FixedX87();
  if (Key(l, "FST ") || Key(l, "FSTC") || Key(l, "FSTP") || Key(l, "FSTS")) return StoreFamily();
  if (Key(l, "FSTE")) return 0;
  if (Key(l, "FSUB")) {
    if (Word("FSUBRP")) return Popping(0xDEE0);
    if (Word("FSUBP")) return Popping(0xDEE8);
    if (Word("FSUBR")) return Arithmetic(0xD828, 0xD8E8, false);
    if (Key(l, "????RP") || Key(l, "????P") || Key(l, "????R")) return 0;
    return Arithmetic(0xD820, 0xD8E0, false);
  }
  if (Key(l, "FTST")) return FixedX87();
  if (Key(l, "FUCO")) {
    if (Word("FUCOMPP")) return Bare(0, {0xDA, 0xE9});
    if (Word("FUCOMP")) return StackForm(0xDD, 0xE8, false, 0);
    if (Key(l, "???OMIP") || Key(l, "???OMPP") || Key(l, "????MI") || Key(l, "????MP")) return 0;
    return StackForm(0xDD, 0xE0, false, 0);
  }
  if (Key(l, "FWAI")) return Emit({0x9B});
  if (Key(l, "FXAM")) return FixedX87();
  if (Key(l, "FXCH")) {
    bool ok;
    const uint32_t i = StackIndex(&ok);
    if (!ok) return Refuse(env, kX87Form);
    return Emit({0xD9, 0xC8 + (i == kFail ? 1 : i)});
  }
  if (Key(l, "FXTR")) return FixedX87();
  if (Key(l, "FYL2")) return Key(l, "?????P1") ? Emit({0xD9, 0xF9}) : Emit({0xD9, 0xF1});
  return 0;
}

uint32_t Encoder::FixedX87() {
  for (const auto& f : kFixedX87)
    if (KeyAt(line, f.key)) return Emit({f.b0, f.b1});
  return 0;
}

}  // namespace quorix::encoding
