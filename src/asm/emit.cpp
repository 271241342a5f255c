#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/number.h"

namespace quorix {

bool EmitPattern(InstructionRecord* rec, uint32_t value, uint32_t len) {
  if (len > 4 || rec->OpLength + len > sizeof(rec->OpCode)) return false;
  for (uint32_t i = 0; i < len; ++i)
    rec->OpCode[rec->OpLength++] = static_cast<uint8_t>(value >> (8 * (len - 1 - i)));
  return true;
}

bool EmitByte(InstructionRecord* rec, uint32_t b) { return EmitPattern(rec, b & 0xFF, 1); }

bool EmitLe(InstructionRecord* rec, uint32_t value, uint32_t bytes) {
  if (bytes > 4 || rec->OpLength + bytes > sizeof(rec->OpCode)) return false;
  for (uint32_t i = 0; i < bytes; ++i)
    rec->OpCode[rec->OpLength++] = static_cast<uint8_t>(value >> (8 * i));
  return true;
}

const char* RangeReason(uint32_t bytes) {
  return bytes == 1 ? "number does not fit in 8 bits" : "number does not fit in 16 bits";
}

bool ReadField(AsmEnv& env, const uint8_t* text, uint32_t bytes, uint32_t* value) {
  bool readable = false;
  *value = text ? ParseImmediate(text, bytes, &readable) : 0;
  if (!readable) return false;  // the driver's explanation names the text
  if (!FitsUnit(*value, bytes)) return Refuse(env, RangeReason(bytes)), false;
  return true;
}

bool EmitAddressTail(InstructionRecord* rec, const Address& a) {
  if (a.hasSib && !EmitByte(rec, a.sib)) return false;
  return EmitLe(rec, a.disp, a.dispLen);
}

}  // namespace quorix
