// Operand parsers. They take the whole upper-cased instruction text and find
// operands by searching for the first blank, ',', '[', '+', '*', '.' and ']'.
// Register names are recognised by their first two or three characters.
// Results are already shaped as encoding fields; kFail is failure.
#pragma once

#include <cstdint>

namespace quorix {

struct AsmEnv;

// Register classes.
enum RegisterClass : uint32_t {
  ClassByte = 0,
  ClassWord = 1,
  ClassDword = 2,
  ClassMmx = 3,
  ClassStack = 4,
  ClassControl = 5,
  ClassDebug = 6,
  ClassTest = 7,
};

// ModRmFlags bits above the ModR/M byte.
inline constexpr uint32_t kFlagW = 0x100;
inline constexpr uint32_t kFlagD = 0x200;
inline constexpr uint32_t kFlagMmxStore = 0x1000;

struct MemoryOperand {
  uint32_t DispOrSib;
  uint32_t ModRmFlags;
  uint32_t SizeFlags;
  uint32_t ImmValue;
};
static_assert(sizeof(MemoryOperand) == 16);

// Register number 0-7, class in *cls; kFail when not a register.
uint32_t ParseRegister(const uint8_t* text, uint32_t* cls = nullptr);
// The same, when the name is the whole word (followed by a blank, ',' or the
// end): AL is a register, ALAMAT is not.
uint32_t WholeRegister(const uint8_t* text, uint32_t* cls);
uint32_t ParseByteRegister(const uint8_t* text);
uint32_t ParseWordRegister(const uint8_t* text);
uint32_t ParseDwordRegister(const uint8_t* text);
// Segment number times 8 (ES 0, CS 8, SS 16, DS 24, FS 32, GS 40).
uint32_t ParseSegmentRegister(const uint8_t* text);

// Where the operands start: after the first blank / the first ',' (blanks
// skipped); nullptr when the line has no blank / no ','.
const uint8_t* FirstOperand(const uint8_t* line);
const uint8_t* SecondOperand(const uint8_t* line);

uint32_t ParseRegisterPair(const uint8_t* line, uint32_t* cls = nullptr);
uint32_t ParseMmxGprPair(const uint8_t* line);
uint32_t ParseSpecialRegisterPair(const uint8_t* line, uint32_t* cls = nullptr);
// A bracketed address, read term by term: registers (a scaled index as
// REG*2, *4, *8), numbers after '+' or '-'. Shaped as the fields that follow
// the opcode: ModR/M mod and r/m, an optional SIB byte, a displacement.
struct Address {
  uint32_t size = 0;  // 1 = 16-bit addressing, 2 = 32-bit
  uint32_t mod = 0, rm = 0;
  bool hasSib = false;
  uint32_t sib = 0;
  uint32_t dispLen = 0;  // 0, 1, 2 or 4 bytes
  uint32_t disp = 0;
  bool direct = false;  // no register: mod 00 with r/m 110 (16-bit) or 101 (32-bit)
};
// Names in an address: labels are looked up in `env`, and an address without
// a register is a direct one of the code width `bitsMode`. A term that reads
// as a number is the number ([BX+ABC] is [BX+0ABC]); a name alone in the
// brackets is a label first. A label's term takes the full displacement
// width, so that its size never depends on its value.
struct AddressNames {
  AsmEnv* env;
  uint32_t bitsMode;
};
enum class AddressKind { Registers, NoRegister, Bad };
// `open` points at the '['. The address ends at ']', ',' or the line's end.
// A lone displacement after '+' takes one byte up to 7F and the full width
// above it; every other displacement one byte when it fits a signed byte.
// stackDisp8: an [ESP] base without displacement still gets a zero byte.
// Without `names` an address needs a register (NoRegister otherwise) and
// holds no labels.
AddressKind ParseAddress(const uint8_t* open, bool stackDisp8, Address* out,
                         const AddressNames* names = nullptr);
// The segment-override prefix written as "XS:" before the first ':' (0: none).
uint8_t SegmentOverride(const uint8_t* line);

// May overwrite the first ']' of the line with a blank. `addr`, when given,
// receives the parsed address.
uint32_t ParseMemoryOperand(uint8_t* line, MemoryOperand* out, Address* addr = nullptr,
                            const AddressNames* names = nullptr);

}  // namespace quorix
