// Operand parsers. They take the whole upper-cased instruction text and find
// operands by searching for the first blank, ',', '[', '+', '*', '.' and ']'.
// Register names are recognised by their first two or three characters.
// Results are already shaped as encoding fields; kFail is failure.
#pragma once

#include <cstdint>

namespace quorix {

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
// May overwrite the first ']' of the line with a blank.
uint32_t ParseMemoryOperand(uint8_t* line, MemoryOperand* out);

}  // namespace quorix
