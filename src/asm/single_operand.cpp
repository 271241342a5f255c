// Single-operand encoder: a 16- or 32-bit register, [SI], [DI], [reg32],
// [reg32 + n], or a bracketed label.
#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

enum class Marker { None, Byte, Word, Dword, Float64 };

// The size marker before the first '.' of the line: B., W., D. or FW.
Marker SizeMarker(const uint8_t* line) {
  uint32_t dot = FindChar(line, '.');
  if (dot == kFail || dot < 2) return Marker::None;
  const uint8_t c = line[dot - 2];
  if (c == 'W' && dot >= 3 && line[dot - 3] == 'F') return Marker::Float64;
  switch (c) {
    case 'B': return Marker::Byte;
    case 'W': return Marker::Word;
    case 'D': return Marker::Dword;
    default: return Marker::None;
  }
}

bool Unset(uint32_t v) { return v == kFail; }

}  // namespace

uint32_t EncodeSingleOperand(AsmEnv& env, ContextRecord* ctxIn, InstructionRecord* recIn,
                             uint8_t* line, const SingleTemplate* tplIn) {
  InstructionRecord rec = *recIn;
  const SingleTemplate tpl = *tplIn;
  const ContextRecord ctx = *ctxIn;

  // 1. Register operand.
  if (const uint8_t* op = FirstOperand(line); op && !Unset(tpl.RegForm)) {
    uint32_t r = ParseWordRegister(op);
    bool word = r != kFail;
    if (!word) r = ParseDwordRegister(op);
    if (r != kFail) {
      if ((word && rec.BitsMode == kBits32) || (!word && rec.BitsMode == kBits16))
        EmitByte(&rec, 0x66);
      if (!EmitPattern(&rec, tpl.RegForm + r, tpl.RegFormLen)) return kFail;
      *recIn = rec;
      return 0;
    }
  }

  // 2. Memory operand.
  const uint32_t bracket = FindChar(line, '[');
  if (bracket == kFail || Unset(tpl.MemForm)) return kFail;
  const Marker marker = SizeMarker(line);
  uint32_t memForm = tpl.MemForm;
  if (marker == Marker::Float64) memForm |= 0x400;  // D8..DB become DC..DF
  const bool prefix66 = (rec.BitsMode == kBits16 && marker == Marker::Dword) ||
                        (rec.BitsMode == kBits32 && marker == Marker::Word);
  const uint8_t* inner = SkipBlanks(line + bracket);

  // A register base with an optional displacement after '+': 0 to 7F takes
  // one byte, anything else the full width of the addressing.
  uint32_t r = ParseWordRegister(inner);
  const bool wide = r == kFail;
  if (wide) r = ParseDwordRegister(inner);
  if (r != kFail) {
    uint32_t rm, disp = 0, mod = 0;
    if (!wide) {
      switch (r) {
        case 6: rm = 4; break;  // [SI]
        case 7: rm = 5; break;  // [DI]
        case 3: rm = 7; break;  // [BX]
        case 5: rm = 6; break;  // [BP]
        default: return kFail;  // AX, CX, DX, SP cannot address memory
      }
    } else {
      rm = r;
    }
    if (uint32_t plus = FindChar(line, '+'); plus != kFail) {
      if (uint32_t close = FindChar(line, ']'); close != kFail) line[close - 1] = ' ';
      bool readable;
      disp = ParseNumberChecked(SkipBlanks(line + plus), &readable);
      if (!readable) return kFail;
      mod = disp <= 0x7F ? 1 : 2;
    }
    if (mod == 0 && r == 5) mod = 1;  // [BP] / [EBP] need the displacement form
    if (wide && mod == 0 && r == 4) mod = 1;
    if (prefix66) EmitByte(&rec, 0x66);
    if ((wide && rec.BitsMode == kBits16) || (!wide && rec.BitsMode == kBits32))
      EmitByte(&rec, 0x67);
    if (!EmitPattern(&rec, memForm + (mod << 6) + rm, tpl.MemFormLen)) return kFail;
    if (wide && r == 4) EmitByte(&rec, 0x24);
    if (mod == 1) EmitLe(&rec, disp, 1);
    if (mod == 2) EmitLe(&rec, disp, wide ? 4 : 2);
    *recIn = rec;
    return 0;
  }

  // A bracketed label: [NAME] as a 32-bit direct address.
  uint8_t* open = line + bracket - 1;
  *open = ' ';
  if (uint32_t close = FindChar(open, ']'); close != kFail) open[close - 1] = ' ';
  SymbolHit hit = LookupSymbol(&ctx, open, env);
  if (hit.line == 0 || !LabelFits(env, hit.address, rec.BitsMode)) return kFail;
  if (rec.BitsMode == kBits16) EmitByte(&rec, 0x67);
  if (prefix66) EmitByte(&rec, 0x66);
  if (!EmitPattern(&rec, memForm | 5, tpl.MemFormLen)) return kFail;
  EmitLe(&rec, hit.address, 4);
  *recIn = rec;
  return 0;
}

}  // namespace quorix
