// The parts of the instruction encoder that its files share: the opcode
// templates, the recognition of mnemonic keys, and the Encoder that holds one
// line while the dispatch (encode_line.cpp), the fixed forms and special
// cases (fixed_forms.cpp) and the x87 forms (x87.cpp) work on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "asm/encoder.h"
#include "asm/operands.h"
#include "text/lines.h"

namespace quorix::encoding {

inline constexpr uint32_t kNone = kFail;  // template slot not offered

// ---- templates --------------------------------------------------------------

constexpr PairTemplate Pair(uint8_t base, uint32_t accImm8, uint32_t rmImm8, uint8_t rmImm8Len,
                            uint32_t accImm, uint32_t rmImm, uint8_t rmImmLen,
                            uint32_t movMemImm = 0) {
  PairTemplate t{};
  t.base = base;
  t.accImm8 = accImm8;
  t.accImm8Len = accImm8 ? 1 : 0;
  t.rmImm8 = rmImm8;
  t.rmImm8Len = rmImm8Len;
  t.accImm = accImm;
  t.accImmLen = accImm ? 1 : 0;
  t.rmImm = rmImm;
  t.rmImmLen = rmImmLen;
  t.movMemImm = movMemImm;
  return t;
}
constexpr PairTemplate BaseOnly(uint8_t base) { return Pair(base, 0, 0, 0, 0, 0, 0); }

inline constexpr PairTemplate kAdd = Pair(0x00, 0x04, 0x80C0, 2, 0x05, 0x81C0, 2);
inline constexpr PairTemplate kOr = Pair(0x08, 0x0C, 0x80C8, 2, 0x0D, 0x81C8, 2);
inline constexpr PairTemplate kAdc = Pair(0x10, 0x14, 0x80D0, 2, 0x15, 0x81D0, 2);
inline constexpr PairTemplate kSbb = Pair(0x18, 0x1C, 0x80D8, 2, 0x1D, 0x81D8, 2);
inline constexpr PairTemplate kAnd = Pair(0x20, 0x24, 0x80E0, 2, 0x25, 0x81E0, 2);
inline constexpr PairTemplate kSub = Pair(0x28, 0x2C, 0x80E8, 2, 0x2D, 0x81E8, 2);
inline constexpr PairTemplate kXor = Pair(0x30, 0x34, 0x80F0, 2, 0x35, 0x81F0, 2);
inline constexpr PairTemplate kCmp = Pair(0x38, 0x3C, 0x80F8, 2, 0x3D, 0x81F8, 2);
// TEST has no direction bit; its register and memory forms use 84/85 and the
// encoder's direction bit is taken out again afterwards.
inline constexpr PairTemplate kTest = Pair(0x84, 0xA8, 0xF6C0, 2, 0xA9, 0xF7C0, 2);
inline constexpr PairTemplate kMov = Pair(0x88, 0xB0, 0xB0, 1, 0xB8, 0xB8, 1, 0xC600);
inline constexpr PairTemplate kXchg = BaseOnly(0x86);
inline constexpr PairTemplate kLea = BaseOnly(0x8D);
// Operands only: opcode 00 with the direction and width bits, which the
// encoders of the 0F forms replace (register_memory.cpp).
inline constexpr PairTemplate kOperandsOnly = BaseOnly(0x00);

// The bit tests: opcode of the register form and /digit of the 0F BA form.
struct BitTestForm {
  uint8_t regOpcode, extension;
  const char* name;
};
inline constexpr BitTestForm kBt{0xA3, 4, "no such operand form for BT"};
inline constexpr BitTestForm kBts{0xAB, 5, "no such operand form for BTS"};
inline constexpr BitTestForm kBtr{0xB3, 6, "no such operand form for BTR"};
inline constexpr BitTestForm kBtc{0xBB, 7, "no such operand form for BTC"};

constexpr SingleTemplate Single(uint32_t reg, uint32_t regLen, uint32_t mem, uint32_t memLen) {
  return SingleTemplate{reg, regLen, 0, 0, mem, memLen, 0, 0};
}
// With the 8-bit forms: the register form (FE/F6 C0+) and the B. memory form.
constexpr SingleTemplate SingleB(uint32_t reg, uint32_t regLen, uint32_t mem, uint32_t byteReg,
                                 uint32_t byteMem) {
  return SingleTemplate{reg, regLen, byteReg, 0, mem, 2, byteMem, 0};
}
inline constexpr SingleTemplate kInc = SingleB(0x40, 1, 0xFF00, 0xFEC0, 0xFE00);
inline constexpr SingleTemplate kDec = SingleB(0x48, 1, 0xFF08, 0xFEC8, 0xFE08);
inline constexpr SingleTemplate kPush = Single(0x50, 1, 0xFF30, 2);
inline constexpr SingleTemplate kPop = Single(0x58, 1, 0x8F00, 2);
inline constexpr SingleTemplate kNot = SingleB(0xF7D0, 2, 0xF710, 0xF6D0, 0xF610);
inline constexpr SingleTemplate kNeg = SingleB(0xF7D8, 2, 0xF718, 0xF6D8, 0xF618);
inline constexpr SingleTemplate kMul = SingleB(0xF7E0, 2, 0xF720, 0xF6E0, 0xF620);
inline constexpr SingleTemplate kImul = SingleB(0xF7E8, 2, 0xF728, 0xF6E8, 0xF628);
inline constexpr SingleTemplate kDiv = SingleB(0xF7F0, 2, 0xF730, 0xF6F0, 0xF630);
inline constexpr SingleTemplate kIdiv = SingleB(0xF7F8, 2, 0xF738, 0xF6F8, 0xF638);
inline constexpr SingleTemplate kBswap = Single(0x0FC8, 2, kNone, 0);
inline constexpr SingleTemplate kLgdt = Single(kNone, 0, 0x0F0110, 3);
inline constexpr SingleTemplate kLidt = Single(kNone, 0, 0x0F0118, 3);
inline constexpr SingleTemplate kLmsw = Single(0x0F01F0, 3, 0x0F0130, 3);
inline constexpr SingleTemplate kLmsd = Single(0x0F22C0, 3, kNone, 0);
inline constexpr SingleTemplate kSmsw = Single(0x0F01E0, 3, 0x0F0120, 3);
inline constexpr SingleTemplate kSmsd = Single(0x0F20C0, 3, kNone, 0);
inline constexpr SingleTemplate kJmpMem = Single(kNone, 0, 0xFF20, 2);
inline constexpr SingleTemplate kJmpFarMem = Single(kNone, 0, 0xFF28, 2);
constexpr SingleTemplate X87Mem(uint32_t pattern) { return Single(kNone, 0, pattern, 2); }

// ---- recognition ------------------------------------------------------------

// True when the line holds key's characters at their positions; '?' is a
// position that is not examined. A line shorter than the key never matches.
inline bool KeyAt(const uint8_t* line, const char* key) {
  for (size_t i = 0; key[i]; ++i) {
    if (line[i] == 0) return false;
    if (key[i] != '?' && line[i] != static_cast<uint8_t>(key[i])) return false;
  }
  return true;
}
// The same for a key written in place: unrolled, with the key's characters
// known where it is called. No line byte after a NUL is read.
template <size_t N>
inline bool Key(const uint8_t* line, const char (&key)[N]) {
  static_assert(N >= 2);
  for (size_t i = 0; i + 1 < N; ++i) {
    if (key[i] == '?') {
      if (line[i] == 0) return false;
    } else if (line[i] != static_cast<uint8_t>(key[i])) {
      return false;  // also where the line ends: a key holds no NUL
    }
  }
  return true;
}

inline bool Contains(const uint8_t* line, uint8_t c) { return FindChar(line, c) != kFail; }

// The letter of the size marker before the first '.' (B, W, D, F for FW.), or 0.
inline uint8_t MarkerLetter(const uint8_t* line) {
  const uint32_t dot = FindChar(line, '.');
  if (dot == kFail || dot < 2) return 0;
  const uint8_t c = line[dot - 2];
  if (c == 'W' && dot >= 3 && line[dot - 3] == 'F') return 'F';
  return c == 'B' || c == 'W' || c == 'D' ? c : 0;
}

// The condition code (0-15) of the letters that end a SETcc or CMOVcc word,
// or kFail when they name no condition.
uint32_t ConditionCode(const uint8_t* letters);

// The character after a word: the word stands alone (ES, not ES:[..]).
inline bool WordEnds(uint8_t c) { return c == 0 || c == kCR || c == ' ' || c == kTab || c == ','; }

// Operand-size prefix for a variant of the given size (1 = word, 2 = dword).
inline void SizePrefix(InstructionRecord* rec, uint32_t size) {
  if ((size == 1 && rec->BitsMode == kBits32) || (size == 2 && rec->BitsMode == kBits16))
    EmitByte(rec, 0x66);
}

// Word/dword variant of a fixed form: size letter W or D.
inline void Sized(InstructionRecord* rec, uint8_t letter, uint32_t opcode) {
  SizePrefix(rec, letter == 'D' ? 2 : 1);
  EmitByte(rec, opcode);
}

struct Encoder {
  AsmEnv& env;
  InstructionRecord* rec;
  uint8_t* line;

  uint32_t Emit(std::initializer_list<uint32_t> bytes) {
    for (uint32_t b : bytes) EmitByte(rec, b);
    return 0;
  }
  uint32_t Two(const PairTemplate& t) { return EncodeTwoOperand(env, rec, line, &t); }
  uint32_t One(const SingleTemplate& t) { return EncodeSingleOperand(env, rec, line, &t); }
  const uint8_t* Operand() const { return FirstOperand(line); }

  uint32_t ChainAtoK();
  uint32_t ChainLtoZ();
  uint32_t LetterC();
  uint32_t LetterI();
  uint32_t LetterJ();
  uint32_t LetterL();
  uint32_t LetterM();
  uint32_t LetterP();
  uint32_t LetterR();
  uint32_t LetterS();
  uint32_t X87();
  uint32_t X87Rest(bool qword);  // FINC onwards, in recognition order
  uint32_t FixedX87();

  uint32_t Aad(uint32_t opcode);
  uint32_t Int();
  uint32_t Enter();
  uint32_t Ret();
  uint32_t Rep(uint8_t prefix);
  uint32_t Push();
  uint32_t Pop();
  uint32_t Lea();
  uint32_t Mov();
  uint32_t Loop();
  uint32_t Jmp();
  uint32_t Shift(uint32_t extension);
  uint32_t Test();
  uint32_t Movd();

  // The line's first word is exactly `key` (a mnemonic added to the dialect
  // is recognised only as a whole word: STDOUT DATA is no STD).
  bool Word(const char* key) const {
    return KeyAt(line, key) && WordEnds(line[std::char_traits<char>::length(key)]);
  }
  // A form without operands; size 1 or 2 adds the operand-size prefix for a
  // word or dword variant. Text after it fails the line, unless the line is
  // a label line (NAME PROC, NAME DATA, NAME LABEL).
  uint32_t Bare(uint32_t size, std::initializer_list<uint32_t> bytes);
  // One operand only: a second operand fails the line with `reason`.
  uint32_t Lone(const SingleTemplate& t, const char* reason);
  bool HasSecondOperand() const { return Contains(line, ','); }
  // register_memory.cpp: the forms with a register and a register or memory.
  uint32_t OperandsAt(uint32_t* at);
  uint32_t Imul();
  uint32_t RegRm(uint32_t opcode, uint32_t opcodeLen, const char* reason);
  uint32_t Extend(uint32_t opcode, const char* reason);
  uint32_t FarPointer(uint32_t opcode, const char* reason);
  uint32_t Exchange(uint32_t opcode, const char* reason);
  uint32_t BitTest(const BitTestForm& f);
  uint32_t SetCc();
  uint32_t Cmov();
  uint32_t ShortJump(uint32_t opcode, uint32_t counterSize, const char* reason);
  uint32_t Lock();

  uint32_t StackForm(uint32_t b0, uint32_t b1, bool memoryFallback, uint32_t memPattern);
  uint32_t Arithmetic(uint32_t memPattern, uint32_t regPattern, bool popping);
  uint32_t StoreFamily();
  uint32_t X87One(uint32_t pattern);
  uint32_t StackIndex(bool* ok);
  uint32_t Popping(uint32_t regPattern);
};

}  // namespace quorix::encoding
