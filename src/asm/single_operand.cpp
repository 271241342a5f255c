// Single-operand encoder: an 8-, 16- or 32-bit register, a register address
// (with a segment override, a scaled index and a displacement), or a
// bracketed label.
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

uint32_t EncodeSingleOperand(AsmEnv& env, InstructionRecord* recIn, uint8_t* line,
                             const SingleTemplate* tplIn) {
  InstructionRecord rec = *recIn;
  const SingleTemplate tpl = *tplIn;

  // 1. Register operand.
  if (const uint8_t* op = FirstOperand(line); op && !Unset(tpl.RegForm)) {
    uint32_t cls = 0;
    uint32_t r = WholeRegister(op, &cls);
    const bool word = cls == ClassWord;
    if (r != kFail && cls != ClassWord && cls != ClassDword) r = kFail;
    if (r != kFail) {
      if ((word && rec.BitsMode == kBits32) || (!word && rec.BitsMode == kBits16))
        EmitByte(&rec, 0x66);
      if (!EmitPattern(&rec, tpl.RegForm + r, tpl.RegFormLen)) return kFail;
      *recIn = rec;
      return 0;
    }
    // An 8-bit register, as a whole word (AL, not ALAMAT).
    r = ParseByteRegister(op);
    const uint8_t after = r != kFail ? op[2] : 0;
    if (r != kFail && tpl.ByteRegForm &&
        (after == 0 || after == ' ' || after == kTab || after == kCR)) {
      if (!EmitPattern(&rec, tpl.ByteRegForm + r, 2)) return kFail;
      *recIn = rec;
      return 0;
    }
  }

  // 2. Memory operand.
  const uint32_t bracket = FindChar(line, '[');
  if (bracket == kFail || Unset(tpl.MemForm)) return kFail;
  const Marker marker = SizeMarker(line);
  uint32_t memForm = tpl.MemForm;
  uint32_t memLen = tpl.MemFormLen;
  if (marker == Marker::Float64) memForm |= 0x400;  // D8..DB become DC..DF
  if (marker == Marker::Byte) {
    if (!tpl.ByteMemForm) return kFail;  // no 8-bit form: the line would mean a word
    memForm = tpl.ByteMemForm;
    memLen = tpl.ByteMemForm > 0xFFFF ? 3 : 2;  // SETcc: 0F 9x /0
  }
  const bool prefix66 = (rec.BitsMode == kBits16 && marker == Marker::Dword) ||
                        (rec.BitsMode == kBits32 && marker == Marker::Word);
  const uint8_t segment = SegmentOverride(line);

  // A register address: 0 to 7F after '+' takes one byte, anything else the
  // full width of the addressing.
  Address a;
  const AddressKind kind = ParseAddress(line + bracket - 1, true, &a);
  if (kind == AddressKind::Bad) return kFail;
  if (kind == AddressKind::Registers) {
    const bool wide = a.size == 2;
    if (prefix66) EmitByte(&rec, 0x66);
    if ((wide && rec.BitsMode == kBits16) || (!wide && rec.BitsMode == kBits32))
      EmitByte(&rec, 0x67);
    if (segment) EmitByte(&rec, segment);
    if (!EmitPattern(&rec, memForm + (a.mod << 6) + a.rm, memLen)) return kFail;
    if (!EmitAddressTail(&rec, a)) return kFail;
    *recIn = rec;
    return 0;
  }

  // A bracketed label: [NAME] as a 32-bit direct address.
  uint8_t* open = line + bracket - 1;
  *open = ' ';
  if (uint32_t close = FindChar(open, ']'); close != kFail) open[close - 1] = ' ';
  SymbolHit hit = LookupSymbol(open, env);
  if (hit.line == 0 || !LabelFits(env, hit.address, rec.BitsMode)) return kFail;
  if (rec.BitsMode == kBits16) EmitByte(&rec, 0x67);
  if (prefix66) EmitByte(&rec, 0x66);
  if (segment) EmitByte(&rec, segment);
  if (!EmitPattern(&rec, memForm | 5, memLen)) return kFail;
  EmitLe(&rec, hit.address, 4);
  *recIn = rec;
  return 0;
}

}  // namespace quorix
