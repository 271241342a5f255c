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

  if (uint32_t r = ParseWordRegister(inner); r != kFail) {
    if (prefix66) EmitByte(&rec, 0x66);
    if (rec.BitsMode == kBits32) EmitByte(&rec, 0x67);
    if (r != 6 && r != 7) {  // only [SI] and [DI] are offered: no bytes
      recIn->OpLength = 0;
      return 0;
    }
    if (!EmitPattern(&rec, memForm + (r == 6 ? 4 : 5), tpl.MemFormLen)) return kFail;
    *recIn = rec;
    return 0;
  }

  if (uint32_t r = ParseDwordRegister(inner); r != kFail) {
    if (prefix66) EmitByte(&rec, 0x66);
    if (rec.BitsMode == kBits16) EmitByte(&rec, 0x67);
    uint32_t disp = 0, mod = 0;
    if (uint32_t plus = FindChar(line, '+'); plus != kFail) {
      if (uint32_t close = FindChar(line, ']'); close != kFail) line[close - 1] = ' ';
      disp = ParseNumber(SkipBlanks(line + plus));
      mod = 1;
    }
    if (mod == 0 && (r == 4 || r == 5)) mod = 1;  // [ESP] / [EBP] need the disp8 form
    if (!EmitPattern(&rec, memForm + (mod << 6) + r, tpl.MemFormLen)) return kFail;
    if (r == 4) EmitByte(&rec, 0x24);
    if (mod == 1) EmitByte(&rec, disp);
    *recIn = rec;
    return 0;
  }

  // A bracketed label: [NAME] as a 32-bit direct address.
  uint8_t* open = line + bracket - 1;
  *open = ' ';
  if (uint32_t close = FindChar(open, ']'); close != kFail) open[close - 1] = ' ';
  SymbolHit hit = LookupSymbol(&ctx, open, env);
  if (hit.line == 0) return kFail;
  if (rec.BitsMode == kBits16) EmitByte(&rec, 0x67);
  if (prefix66) EmitByte(&rec, 0x66);
  if (!EmitPattern(&rec, memForm | 5, tpl.MemFormLen)) return kFail;
  EmitLe(&rec, hit.address, 4);
  *recIn = rec;
  return 0;
}

}  // namespace quorix
