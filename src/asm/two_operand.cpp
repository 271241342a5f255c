// Two-operand encoder: register/register, register/immediate and the forms
// with one bracketed memory operand. The mnemonic's opcodes come entirely
// from its PairTemplate.
#include <cstring>
#include <string>

#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

bool StartsWith(const uint8_t* p, const char* word) {
  return std::memcmp(p, word, std::strlen(word)) == 0;
}

// The immediate of a register-immediate form: a number, or for word and
// dword registers the address of a label after ALAMAT, ALMT or OFFSET.
bool ReadImmediate(AsmEnv& env, const uint8_t* src, uint32_t bytes, uint32_t bitsMode,
                   uint32_t* value) {
  const bool labels = bytes > 1;
  if (labels && (StartsWith(src, "ALAM") || StartsWith(src, "OFFS") || StartsWith(src, "ALMT"))) {
    SymbolHit hit = LookupSymbol(src, env);
    *value = hit.address;
    return hit.line != 0 && LabelFits(env, hit.address, bitsMode);
  }
  bool readable;
  *value = ParseImmediate(src, bytes, &readable);
  if (readable) return true;
  // A variable's name where a number goes: say what to write instead.
  size_t n = 0;
  while (src[n] != 0 && src[n] != kCR && src[n] != ' ' && src[n] != kTab && src[n] != ',') ++n;
  const std::string name(reinterpret_cast<const char*>(src), n);
  if (n > 0 && LookupName(name, env).line != 0)
    return Refuse(env,
                  "write [" + name + "] for the variable or OFFSET " + name + " for its address"),
           false;
  return false;
}

// A. Register with register: the register pair in the ModR/M byte. *done
// is false when the line holds no register pair.
uint32_t RegisterPairForm(uint8_t* line, const PairTemplate& tpl, InstructionRecord* recIn,
                          bool* done) {
  uint32_t cls;
  const uint32_t pair = ParseRegisterPair(line, &cls);
  *done = pair != kFail;
  if (pair == kFail) return kFail;
  if (cls > ClassDword) return static_cast<uint32_t>(-3);
  InstructionRecord rec = *recIn;
  rec.OpLength = 0;
  if ((cls == ClassWord && rec.BitsMode == kBits32) ||
      (cls == ClassDword && rec.BitsMode == kBits16))
    EmitByte(&rec, 0x66);
  EmitByte(&rec, tpl.base | ((pair >> 8) & 0xFF));
  EmitByte(&rec, pair & 0xFF);
  *recIn = rec;
  return 0;
}

// B. Register with immediate: the accumulator's short form or r/m, imm.
uint32_t RegisterImmediateForm(AsmEnv& env, uint8_t* line, const PairTemplate& tpl,
                               InstructionRecord* recIn) {
  InstructionRecord rec = *recIn;
  const uint8_t* dst = FirstOperand(line);
  if (!dst) return kFail;
  uint32_t cls2;
  uint32_t r = WholeRegister(dst, &cls2);
  if (r == kFail) return kFail;
  if (cls2 > ClassDword) return 0;  // MMX, ST, CR, DR, TR: nothing to encode here
  const uint8_t* src = SecondOperand(line);
  if (!src) return kFail;  // no source operand to read
  uint32_t imm = 0;
  bool ok;
  if (cls2 == ClassByte) {
    ok = ReadImmediate(env, src, 1, rec.BitsMode, &imm);
    if (r == 0 && tpl.accImm8Len) {
      EmitPattern(&rec, tpl.accImm8 & 0xFF, 1);
    } else if (tpl.rmImm8Len) {
      EmitPattern(&rec, tpl.rmImm8 | r, tpl.rmImm8Len);
    } else {
      return kFail;  // the mnemonic has no immediate form
    }
    EmitLe(&rec, imm, 1);
    if (ok && !FitsUnit(imm, 1)) ok = Refuse(env, RangeReason(1)) != kFail;
  } else {
    ok = ReadImmediate(env, src, cls2 == ClassWord ? 2 : 4, rec.BitsMode, &imm);
    const bool word = cls2 == ClassWord;
    if (!tpl.accImmLen && !tpl.rmImmLen) return kFail;
    if ((word && rec.BitsMode == kBits32) || (!word && rec.BitsMode == kBits16))
      EmitByte(&rec, 0x66);
    if (r == 0 && tpl.accImmLen)
      EmitPattern(&rec, tpl.accImm & 0xFF, 1);
    else
      EmitPattern(&rec, tpl.rmImm | r, tpl.rmImmLen);
    EmitLe(&rec, imm, word ? 2 : 4);
    if (ok && !FitsUnit(imm, word ? 2 : 4)) ok = Refuse(env, RangeReason(2)) != kFail;
  }
  *recIn = rec;
  return ok ? 0 : kFail;
}

// C. One memory operand, with a register or an immediate.
uint32_t MemoryForm(AsmEnv& env, uint8_t* line, const PairTemplate& tpl, InstructionRecord* recIn) {
  InstructionRecord rec = *recIn;
  MemoryOperand m;
  Address a;
  const AddressNames names{&env, rec.BitsMode};
  if (ParseMemoryOperand(line, &m, &a, &names) == kFail) {
    rec.ErrorFlag = kFail;
    *recIn = rec;
    return kFail;
  }
  const uint32_t addrSize = m.SizeFlags & 0xFF;
  const uint32_t opSize = (m.SizeFlags >> 8) & 0xFF;
  const bool immediate = ((m.SizeFlags >> 24) & 0xFF) == 4;
  const uint32_t flags = (m.ModRmFlags >> 8) & 0xFF;
  const uint32_t modrm = m.ModRmFlags & 0xFF;

  if (rec.BitsMode == kBits16) {
    if (addrSize == 2) EmitByte(&rec, 0x67);
    if (opSize == 2) EmitByte(&rec, 0x66);
  } else if (rec.BitsMode == kBits32) {
    if (addrSize == 1) EmitByte(&rec, 0x67);
    if (opSize == 1) EmitByte(&rec, 0x66);
  }
  if (uint8_t seg = SegmentOverride(line)) EmitByte(&rec, seg);

  if (a.direct && !immediate && tpl.base == 0x88 && ((modrm >> 3) & 7) == 0 && opSize <= 2) {
    // MOV between the accumulator and a direct address: A0..A3.
    EmitByte(&rec, 0xA0 | (flags & 1) | ((flags & 2) ? 0 : 2));
    EmitLe(&rec, a.disp, a.dispLen);
    *recIn = rec;
    return 0;
  }
  if (immediate) {
    if (tpl.movMemImm) {
      EmitByte(&rec, flags | (tpl.movMemImm >> 8));
      EmitByte(&rec, modrm | (tpl.movMemImm & 0xFF));
    } else if (tpl.rmImm8Len == 2) {
      // 80 /digit (byte) or 81 /digit (word, dword); F6 / F7 for TEST.
      EmitByte(&rec, ((tpl.rmImm8 >> 8) & 0xFF) | (flags & 1));
      EmitByte(&rec, modrm | (tpl.rmImm8 & 0x38));
    } else {
      return kFail;  // no memory-immediate form for this mnemonic
    }
  } else {
    EmitByte(&rec, tpl.base | flags);
    EmitByte(&rec, modrm);
  }

  EmitAddressTail(&rec, a);
  if (immediate) {
    const uint32_t unit = opSize == 0 ? 1 : opSize == 1 ? 2 : 4;
    if (!FitsUnit(m.ImmValue, unit)) return Refuse(env, RangeReason(unit));
    EmitLe(&rec, m.ImmValue, unit);
  }
  *recIn = rec;
  return 0;
}

}  // namespace

uint32_t EncodeTwoOperand(AsmEnv& env, InstructionRecord* rec, uint8_t* line,
                          const PairTemplate* tplIn) {
  const PairTemplate tpl = *tplIn;
  if (FindChar(line, '[') != kFail) return MemoryForm(env, line, tpl, rec);
  bool pair = false;
  const uint32_t result = RegisterPairForm(line, tpl, rec, &pair);
  if (pair) return result;
  return RegisterImmediateForm(env, line, tpl, rec);
}

}  // namespace quorix
