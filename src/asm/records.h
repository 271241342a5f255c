// The assembler's records: the per-run InstructionRecord shared by the
// driver and every encoder, the opcode templates handed to the group
// encoders, and the per-line LineRecord kept in the workspace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/line_records.h"

namespace quorix {

struct InstructionRecord {
  uint8_t OpCode[28];  // bytes of the current line; only OpLength of them count
  uint32_t BitsMode;   // 1 = 16-bit code, 2 = 32-bit code
  uint32_t Origin;     // set by [ORG n] / [ASLI n]
  uint32_t Offset;     // bytes emitted so far in this pass
  uint32_t AtLabel;    // address of the most recent "@@" line
  uint32_t Spare;
  uint32_t FunctList;  // copy of AddrFunct
  uint32_t OpLength;
  uint32_t ErrorFlag;  // 0, or all ones when the line failed
};
static_assert(sizeof(InstructionRecord) == 60);
static_assert(offsetof(InstructionRecord, BitsMode) == 28);
static_assert(offsetof(InstructionRecord, ErrorFlag) == 56);

inline constexpr uint32_t kBits16 = 1;
inline constexpr uint32_t kBits32 = 2;

#pragma pack(push, 1)
// Opcodes of one two-operand mnemonic. Patterns are numbers whose most
// significant non-zero byte is the instruction's first byte.
struct PairTemplate {
  uint8_t base;
  uint8_t spare;
  uint32_t accImm8;
  uint8_t accImm8Len;
  uint32_t rmImm8;
  uint8_t rmImm8Len;
  uint32_t accImm;
  uint8_t accImmLen;
  uint32_t rmImm;
  uint8_t rmImmLen;
  uint32_t movMemImm;
  uint8_t spare2;
};
#pragma pack(pop)
static_assert(sizeof(PairTemplate) == 27);

// Opcodes of one single-operand mnemonic: eight words, of which six count.
struct SingleTemplate {
  uint32_t RegForm;      // register number is added; all ones = no register form
  uint32_t RegFormLen;   // 1..3
  uint32_t ByteRegForm;  // two bytes for an 8-bit register (FE C0, F6 D0, ...); 0 = none
  uint32_t unused3;
  uint32_t MemForm;      // ModR/M with mod 00 and the /digit; r/m and mod are added
  uint32_t MemFormLen;   // 1..3 (4 for label operands)
  uint32_t ByteMemForm;  // two bytes for a B. memory operand (FE 00, F6 10, ...); 0 = none
  uint32_t unused7;
};
static_assert(sizeof(SingleTemplate) == 32);

}  // namespace quorix
