// Jumps and calls. Near forms always carry a displacement of the code width,
// so an instruction's size never depends on its target and both passes
// produce the same offsets. '$' asks for the short form with an explicit
// displacement; an operand containing '@' targets the latest "@@" line.
#include <cstring>
#include <string>

#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

bool Has(const uint8_t* line, uint8_t c) { return FindChar(line, c) != kFail; }

const uint8_t* After(const uint8_t* line, uint8_t c) {
  uint32_t pos = FindChar(line, c);
  return pos == kFail ? nullptr : SkipBlanks(line + pos);
}

bool StartsWith(const uint8_t* p, const char* word) {
  return std::memcmp(p, word, std::strlen(word)) == 0;
}

void EmitRelative(InstructionRecord* rec, uint32_t opcodeBytes, uint32_t target) {
  const uint32_t here = rec->Origin + rec->Offset;
  if (rec->BitsMode == kBits32)
    EmitLe(rec, target - here - (opcodeBytes + 4), 4);
  else
    EmitLe(rec, target - here - (opcodeBytes + 2), 2);
}

// Segment and offset of a far operand "seg:off" after the first blank.
bool FarOperand(AsmEnv& env, const InstructionRecord* rec, const uint8_t* line, uint32_t* seg,
                uint32_t* off) {
  const uint8_t* segText = After(line, ' ');
  if (!segText) return false;
  bool ok;
  *seg = ParseNumberChecked(segText, &ok);
  if (!ok) return false;
  const uint8_t* offText = After(segText, ':');
  if (!offText) return false;
  if (Has(offText, '@')) {
    *off = rec->AtLabel;
    return true;
  }
  if (StartsWith(offText, "ALAM") || StartsWith(offText, "OFFS") || StartsWith(offText, "ALMT")) {
    SymbolHit hit = LookupSymbol(offText, env);
    *off = hit.address;
    return hit.line != 0 && LabelFits(env, hit.address, rec->BitsMode);
  }
  *off = ParseNumberChecked(offText, &ok);
  return ok;
}

// JMP SHORT X, JMP NEAR X, CALL NEAR X: the keyword before the target. The
// text from *named on has the target as its first word after a blank, as the
// whole line has it without a keyword. A lone word SHORT or NEAR is a label.
enum class Reach { Any, Short, Near };
Reach ReachKeyword(const uint8_t* line, const uint8_t** named) {
  *named = line;
  const uint8_t* op = After(line, ' ');
  if (!op) return Reach::Any;
  const bool isShort = StartsWith(op, "SHORT "), isNear = StartsWith(op, "NEAR ");
  if (!isShort && !isNear) return Reach::Any;
  const uint8_t* target = After(op, ' ');
  if (target[-1] == 0 || target[-1] == kCR) return Reach::Any;
  *named = op;
  return isShort ? Reach::Short : Reach::Near;
}

// The short form: opcode and an 8-bit displacement, which must reach the
// target once every label has its address (pass 2).
uint32_t EmitShort(AsmEnv& env, InstructionRecord* rec, uint8_t opcode, uint32_t target,
                   const uint8_t* named) {
  const uint32_t disp = target - (rec->Origin + rec->Offset + 2);
  const int32_t d = static_cast<int32_t>(disp);
  if (env.pass >= 2 && (d < -128 || d > 127)) {
    const uint8_t* name = After(named, ' ');
    size_t n = 0;
    while (name && name[n] != 0 && name[n] != kCR && name[n] != ' ') ++n;
    return Refuse(env, std::string(reinterpret_cast<const char*>(name), n) +
                           " is out of reach of a short jump (-128 to 127 bytes)");
  }
  EmitByte(rec, opcode);
  EmitByte(rec, disp);
  return 0;
}

void EmitFar(InstructionRecord* rec, uint8_t opcode, uint32_t seg, uint32_t off) {
  EmitByte(rec, opcode);
  EmitLe(rec, off, rec->BitsMode == kBits32 ? 4 : 2);
  EmitLe(rec, seg, 2);
}

}  // namespace

uint32_t EncodeJump(AsmEnv& env, InstructionRecord* recIn, uint8_t* line) {
  InstructionRecord rec = *recIn;
  if (const uint8_t* d = After(line, '$')) {
    bool readable;
    const uint32_t n = ParseNumberChecked(d, &readable);
    if (!readable || !FitsUnit(n, 1)) return kFail;
    EmitByte(&rec, 0xEB);
    EmitByte(&rec, n);
    rec.OpLength = 2;
  } else if (Has(line, ':') && Has(line, ' ')) {
    uint32_t seg, off;
    if (FarOperand(env, &rec, line, &seg, &off))
      EmitFar(&rec, 0xEA, seg, off);
    else
      rec.ErrorFlag = kFail;
  } else {
    uint32_t target;
    const uint8_t* named;
    const Reach reach = ReachKeyword(line, &named);
    if (Has(line, '@')) {
      target = rec.AtLabel;
    } else {
      const uint8_t* op = After(named, ' ');
      if (!op) {
        *recIn = rec;
        return 0;  // JMP without operand emits nothing
      }
      SymbolHit hit = LookupSymbol(named, env);
      target = hit.address;
      if (hit.line != 0 && !LabelFits(env, target, rec.BitsMode)) {
        rec.ErrorFlag = kFail;
        *recIn = rec;
        return 0;
      }
      if (hit.line == 0) {
        // Not a label: an absolute address given as a number.
        bool ok;
        target = ParseNumberChecked(op, &ok);
        if (!ok) return kFail;
      }
    }
    if (reach == Reach::Short) {
      if (EmitShort(env, &rec, 0xEB, target, named) == kFail) return kFail;
    } else {
      EmitByte(&rec, 0xE9);
      EmitRelative(&rec, 1, target);
    }
  }
  *recIn = rec;
  return 0;
}

uint32_t EncodeConditionalJump(AsmEnv& env, InstructionRecord* recIn, uint8_t* line,
                               uint32_t shortOpcode) {
  InstructionRecord rec = *recIn;
  if (const uint8_t* d = After(line, '$')) {
    bool readable;
    const uint32_t n = ParseNumberChecked(d, &readable);
    if (!readable || !FitsUnit(n, 1)) return kFail;
    EmitByte(&rec, shortOpcode);
    EmitByte(&rec, n);
    rec.OpLength = 2;
    *recIn = rec;
    return 0;
  }
  uint32_t target;
  const uint8_t* named;
  const Reach reach = ReachKeyword(line, &named);
  if (Has(line, '@')) {
    target = rec.AtLabel;
  } else {
    // A label is its address, also when that address is 0.
    SymbolHit hit = LookupSymbol(named, env);
    if (hit.line == 0 || !LabelFits(env, hit.address, rec.BitsMode)) {
      rec.ErrorFlag = kFail;
      *recIn = rec;
      return 0;
    }
    target = hit.address;
  }
  if (reach == Reach::Short) {
    if (EmitShort(env, &rec, static_cast<uint8_t>(shortOpcode), target, named) == kFail)
      return kFail;
    *recIn = rec;
    return 0;
  }
  EmitByte(&rec, 0x0F);
  EmitByte(&rec, shortOpcode + 0x10);
  EmitRelative(&rec, 2, target);
  *recIn = rec;
  return 0;
}

uint32_t EncodeCall(AsmEnv& env, InstructionRecord* recIn, uint8_t* line) {
  InstructionRecord rec = *recIn;
  if (const uint32_t bracket = FindChar(line, '['); bracket != kFail) {
    // Through memory: FF /2, or FF /3 (far) with the F. marker.
    uint32_t dot = FindChar(line, '.');
    const bool far = dot != kFail && dot >= 2 && line[dot - 2] == 'F';
    Address a;
    const AddressNames names{&env, rec.BitsMode};
    if (ParseAddress(line + bracket - 1, false, &a, &names) != AddressKind::Registers) {
      rec.ErrorFlag = kFail;
    } else {
      if ((a.size == 2 && rec.BitsMode == kBits16) || (a.size == 1 && rec.BitsMode == kBits32))
        EmitByte(&rec, 0x67);
      if (uint8_t seg = SegmentOverride(line)) EmitByte(&rec, seg);
      EmitByte(&rec, 0xFF);
      EmitByte(&rec, (far ? 0x18 : 0x10) | (a.mod << 6) | a.rm);
      EmitAddressTail(&rec, a);
    }
    *recIn = rec;
    return 0;
  }
  const uint8_t* named;
  const Reach reach = ReachKeyword(line, &named);
  if (reach == Reach::Short) return Refuse(env, "CALL has no SHORT form");
  const uint8_t* op = After(named, ' ');
  if (!op) {
    rec.ErrorFlag = kFail;
    *recIn = rec;
    return 0;
  }
  uint32_t target;
  if (Has(op, '@') && !Has(op, ':')) {
    target = rec.AtLabel;
  } else {
    SymbolHit hit = LookupSymbol(named, env);
    if (hit.line == 0) {
      // Not a label: a register, or a far target seg:off.
      uint32_t seg, off;
      if (uint32_t r = ParseWordRegister(op); r != kFail) {
        if (rec.BitsMode == kBits32) EmitByte(&rec, 0x66);
        EmitByte(&rec, 0xFF);
        EmitByte(&rec, 0xD0 + r);
      } else if (r = ParseDwordRegister(op); r != kFail) {
        if (rec.BitsMode == kBits16) EmitByte(&rec, 0x66);
        EmitByte(&rec, 0xFF);
        EmitByte(&rec, 0xD0 + r);
      } else if (Has(op, ':') && FarOperand(env, &rec, line, &seg, &off)) {
        EmitFar(&rec, 0x9A, seg, off);
      } else {
        rec.ErrorFlag = kFail;
      }
      *recIn = rec;
      return 0;
    }
    if (!LabelFits(env, hit.address, rec.BitsMode)) {
      rec.ErrorFlag = kFail;
      *recIn = rec;
      return 0;
    }
    target = hit.address;
  }
  EmitByte(&rec, 0xE8);
  EmitRelative(&rec, 1, target);
  *recIn = rec;
  return 0;
}

}  // namespace quorix
