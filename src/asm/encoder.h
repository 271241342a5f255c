// The instruction encoder: EncodeLine recognises the mnemonic of one cleaned,
// upper-cased line by characters at fixed positions, writes fixed forms
// itself and hands the others, with a template, to the group encoders.
#pragma once

#include <cstdint>

#include "asm/env.h"
#include "asm/records.h"

namespace quorix {
struct Address;
struct AddressNames;
}  // namespace quorix

namespace quorix {

// Encodes one line into record->OpCode / OpLength; a failure leaves
// ErrorFlag all ones. The line may be changed in place and must stay readable
// for four bytes past its NUL.
void EncodeLine(AsmEnv& env, InstructionRecord* rec, uint8_t* line);

// Group encoders. Each works on private copies and returns kFail on failure.
uint32_t EncodeTwoOperand(AsmEnv& env, InstructionRecord* rec, uint8_t* line,
                          const PairTemplate* tpl);
uint32_t EncodeSingleOperand(AsmEnv& env, InstructionRecord* rec, uint8_t* line,
                             const SingleTemplate* tpl);
uint32_t EncodeJump(AsmEnv& env, InstructionRecord* rec, uint8_t* line);
uint32_t EncodeCall(AsmEnv& env, InstructionRecord* rec, uint8_t* line);
uint32_t EncodeConditionalJump(AsmEnv& env, InstructionRecord* rec, uint8_t* line,
                               uint32_t shortOpcode);
uint32_t ApplyBracketDirective(InstructionRecord* rec, uint8_t* line);
uint32_t EncodeDataDefinition(AsmEnv& env, InstructionRecord* rec, uint8_t* line, uint32_t unit);
uint32_t EncodeInOut(AsmEnv& env, InstructionRecord* rec, uint8_t* line, uint32_t base);
// Count in bits 0-7, register in 8-15, width bit 16; *cls = 0/1/2.
uint32_t ParseShiftOperand(InstructionRecord* rec, const uint8_t* line, uint32_t* cls);
// A segment register with a general register: direction in bit 9, ModR/M in
// bits 0-7, bit 16 for a 32-bit register.
uint32_t EncodeSegmentMove(const uint8_t* line);
// A segment register with a memory operand: the same fields, `a` the address.
uint32_t SegmentMemoryMove(const uint8_t* line, Address* a, const AddressNames* names = nullptr);
uint32_t ParseStackIndex(InstructionRecord* rec, uint8_t* line);
uint32_t ParseStackPair(InstructionRecord* rec, uint8_t* line);
uint32_t EncodeMmx(InstructionRecord* rec, uint8_t* line, uint32_t pattern, uint32_t length);

// True when `value` (as written, possibly negative) fits `bytes` bytes:
// 0 .. all ones of that width, or a negative number down to its minimum.
inline bool FitsUnit(uint32_t value, uint32_t bytes) {
  if (bytes >= 4) return true;
  const uint32_t top = (1u << (8 * bytes)) - 1;
  return value <= top || value >= ~(top >> 1);
}

// The reason given when a number does not fit a field `bytes` wide.
const char* RangeReason(uint32_t bytes);
// Reads an immediate field `bytes` wide (a character literal counts in 1- and
// 2-byte fields); false, with the reason noted in env, when the text is no
// number or the number does not fit.
bool ReadField(AsmEnv& env, const uint8_t* text, uint32_t bytes, uint32_t* value);

// Appends the low `len` bytes of `value`, most significant first, to OpCode.
// Returns false (and writes nothing) when OpCode has no room.
bool EmitPattern(InstructionRecord* rec, uint32_t value, uint32_t len);
bool EmitByte(InstructionRecord* rec, uint32_t b);
bool EmitLe(InstructionRecord* rec, uint32_t value, uint32_t bytes);
// The SIB byte and displacement of a parsed address (after its ModR/M byte).
bool EmitAddressTail(InstructionRecord* rec, const Address& a);

}  // namespace quorix
