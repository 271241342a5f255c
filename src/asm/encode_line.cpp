// EncodeLine: recognises the mnemonic by characters at fixed positions (what
// follows the compared characters is never examined) and either writes the
// bytes itself or hands the line, with its template, to a group encoder.
#include <cstring>

#include "asm/encoder_parts.h"
#include "text/number.h"

namespace quorix {

namespace encoding {

// ---- letters with many mnemonics ---------------------------------------------

uint32_t Encoder::LetterC() {
  const uint8_t* l = line;
  if (Key(l, "CL")) {
    if (Key(l, "CLD")) return Emit({0xFC});
    if (Key(l, "CLI")) return Emit({0xFA});
    if (Word("CLC")) return Bare(0, {0xF8});
    return 0;  // CLTS and any other CL line
  }
  if (Key(l, "CALL")) {
    if (HasSecondOperand()) return Refuse(env, "no such operand form for CALL");
    return EncodeCall(env, rec, line);
  }
  if (Key(l, "CMOV")) return Cmov();  // CMOVcc: the condition decides
  if (Key(l, "C?OVBE") || Key(l, "C?OVGE") || Key(l, "C?OVLE") || Key(l, "C?OVNA")) return 0;
  if (Key(l, "CMPSB")) return Emit({0xA6});
  if (Word("CMPSD")) return Bare(2, {0xA7});
  if (Word("CMPSW")) return Bare(1, {0xA7});
  if (Word("CMPXCHG")) return Exchange(0xB0, "no such operand form for CMPXCHG");
  if (Key(l, "CMP")) return Two(kCmp);
  if (Word("CMC")) return Bare(0, {0xF5});
  if (Word("CPUID")) return Bare(0, {0x0F, 0xA2});
  if (Word("CBW")) return Bare(1, {0x98});
  if (Word("CWDE")) return Bare(2, {0x98});
  if (Word("CWD")) return Bare(1, {0x99});
  if (Word("CDQ")) return Bare(2, {0x99});
  return 0;
}

uint32_t Encoder::LetterI() {
  const uint8_t* l = line;
  if (Key(l, "ICEB")) return 0;
  if (Key(l, "IDIV")) return Lone(kIdiv, "no such operand form for IDIV");
  if (Key(l, "IMUL")) return Imul();
  if (Word("INSB")) return Bare(0, {0x6C});
  if (Word("INSD")) return Bare(2, {0x6D});
  if (Word("INSW")) return Bare(1, {0x6D});
  if (Word("INT3")) return Bare(0, {0xCC});
  if (Word("INTO")) return Bare(0, {0xCE});
  if (Word("IRETD")) return Bare(2, {0xCF});
  if (Word("IRET")) return Bare(1, {0xCF});
  for (const char* none : {"INT1", "INVA", "INVD", "INVL", "INCL"}) {
    if (KeyAt(l, none)) return 0;
  }
  if (Key(l, "INC")) return Lone(kInc, "no such operand form for INC");
  if (Key(l, "INS")) return 0;
  if (Key(l, "INT")) return Int();
  if (Key(l, "IN")) return EncodeInOut(rec, line, 0xE4);
  return 0;
}

uint32_t Encoder::LetterJ() {
  const uint8_t* l = line;
  static const struct {
    const char* key;
    uint32_t op;  // short opcode; 0 = recognised, nothing emitted; 1 = JMP; 2, 3 = JCXZ, JECXZ
  } kJumps[] = {
      {"JAE", 0x73}, {"JA", 0x77},  {"JBE", 0x76},  {"JB", 0x72},  {"JCX", 2},     {"JC", 0x72},
      {"JEC", 3},    {"JE", 0x74},  {"JGE", 0x7D},  {"JG", 0x7F},  {"JLE", 0x7E},  {"JL", 0x7C},
      {"JM?S", 0},   {"JM", 1},     {"JNAE", 0x72}, {"JNA", 0x76}, {"JNBE", 0x77}, {"JNB", 0x73},
      {"JNC", 0x73}, {"JNE", 0x75}, {"JNGE", 0x7C}, {"JNG", 0x7E}, {"JNLE", 0x7F}, {"JNL", 0x7D},
      {"JNO", 0x71}, {"JNP", 0x7B}, {"JNS", 0x79},  {"JNZ", 0x75}, {"JO", 0x70},   {"JPE", 0x7A},
      {"JPO", 0x7B}, {"JP", 0x7A},  {"JS", 0x78},   {"JZ", 0x74},
  };
  for (const auto& j : kJumps) {
    if (!KeyAt(l, j.key)) continue;
    if (j.op == 0) return 0;
    if (j.op == 1) return Jmp();
    if (j.op == 2) return Word("JCXZ") ? ShortJump(0xE3, 1, "JCXZ needs a label") : 0;
    if (j.op == 3) return Word("JECXZ") ? ShortJump(0xE3, 2, "JECXZ needs a label") : 0;
    return EncodeConditionalJump(env, rec, line, j.op);
  }
  return 0;
}

uint32_t Encoder::LetterL() {
  const uint8_t* l = line;
  if (Word("LAHF")) return Bare(0, {0x9F});
  if (Word("LDS")) return FarPointer(0xC5, "no such operand form for LDS");
  if (Key(l, "LAH") || Key(l, "LDS") || Key(l, "LAR")) return 0;
  if (Key(l, "LEAV")) return Emit({0xC9});
  if (Key(l, "LEA")) return Lea();
  if (Word("LES")) return FarPointer(0xC4, "no such operand form for LES");
  if (Key(l, "LES") || Key(l, "LFS")) return 0;
  if (Key(l, "LGD")) return Lone(kLgdt, "no such operand form for LGDT");
  if (Key(l, "LGS")) return 0;
  if (Key(l, "LID")) return Lone(kLidt, "no such operand form for LIDT");
  if (Key(l, "LLD")) return 0;
  if (Key(l, "LMSD")) return Lone(kLmsd, "no such operand form for LMSD");
  if (Key(l, "LMS")) return Lone(kLmsw, "no such operand form for LMSW");
  if (Word("LOCK")) return Lock();
  if (Key(l, "LOA")) {
    if (std::strlen(reinterpret_cast<const char*>(l)) > 7 &&
        (l[7] == '?' || l[7] == '2' || l[7] == '3'))
      return 0;
    return Lea();
  }
  if (Key(l, "LOD?B")) return Emit({0xAC});
  if (Key(l, "LOD?D")) return Sized(rec, 'D', 0xAD), 0;
  if (Key(l, "LOD?W")) return Sized(rec, 'W', 0xAD), 0;
  if (Key(l, "LOD")) return 0;
  if (Key(l, "LOO")) {
    if (Word("LOOPNE") || Word("LOOPNZ")) return ShortJump(0xE0, 0, "LOOPNE needs a label");
    if (Word("LOOPE") || Word("LOOPZ")) return ShortJump(0xE1, 0, "LOOPE needs a label");
    if (Key(l, "??????NE") || Key(l, "??????NZ")) return 0;
    if (Key(l, "????NE") || Key(l, "????NZ") || Key(l, "????DE") || Key(l, "????DZ")) return 0;
    if (Key(l, "????E") || Key(l, "????Z") || Key(l, "????D")) return 0;
    return Loop();
  }
  return 0;  // LSL, LSS, LTR
}

uint32_t Encoder::LetterM() {
  const uint8_t* l = line;
  if (Key(l, "MOVSB")) return Emit({0xA4});
  if (Key(l, "MOVSD")) return Sized(rec, 'D', 0xA5), 0;
  if (Key(l, "MOVSW")) return Sized(rec, 'W', 0xA5), 0;
  if (Word("MOVSX")) return Extend(0xBE, "no such operand form for MOVSX");
  if (Word("MOVZX")) return Extend(0xB6, "no such operand form for MOVZX");
  if (Key(l, "MOVSX") || Key(l, "MOVZX")) return 0;
  if (Key(l, "MOVD")) return Movd();
  if (Key(l, "MOVQ")) return EncodeMmx(rec, line, 0x0F6F00, 3);
  if (Key(l, "MOV")) return Mov();
  if (Key(l, "MUL")) return Lone(kMul, "no such operand form for MUL");
  return 0;
}

uint32_t Encoder::LetterP() {
  const uint8_t* l = line;
  if (Key(l, "PACKSSDW")) return EncodeMmx(rec, line, 0x0F6B00, 1);
  if (Key(l, "PACKSSWB")) return EncodeMmx(rec, line, 0x0F6300, 1);
  if (Key(l, "PACKUSWB")) return EncodeMmx(rec, line, 0x0F6700, 1);
  if (Key(l, "PACKUSDW")) return 0;
  if (Key(l, "PADDUSB")) return EncodeMmx(rec, line, 0x0FDC00, 1);
  if (Key(l, "PADDUSW")) return EncodeMmx(rec, line, 0x0FDD00, 1);
  if (Key(l, "POPAD")) return Sized(rec, 'D', 0x61), 0;
  if (Key(l, "POPFD")) return Sized(rec, 'D', 0x9D), 0;
  if (Key(l, "POPA")) return Sized(rec, 'W', 0x61), 0;
  if (Key(l, "POPF")) return Sized(rec, 'W', 0x9D), 0;
  if (Key(l, "PUSHAD")) return Sized(rec, 'D', 0x60), 0;
  if (Key(l, "PUSHFD")) return Sized(rec, 'D', 0x9C), 0;
  if (Key(l, "PUSHA")) return Sized(rec, 'W', 0x60), 0;
  if (Key(l, "PUSHF")) return Sized(rec, 'W', 0x9C), 0;
  if (Key(l, "PUSH")) return Push();
  if (Key(l, "POP")) return Pop();
  return 0;  // POR and the rest
}

uint32_t Encoder::LetterR() {
  const uint8_t* l = line;
  if (Key(l, "RET")) return Ret();
  if (Key(l, "REPNE") || Key(l, "REPNZ")) return Rep(0xF2);
  if (Key(l, "REP")) return Rep(0xF3);
  if (Key(l, "RCR")) return Shift(3);
  if (Key(l, "RCL")) return Shift(2);
  if (Key(l, "RDM")) return Emit({0x0F, 0x32});  // RDMSR
  if (Key(l, "RDP")) return Emit({0x0F, 0x33});  // RDPMC
  if (Key(l, "RDT")) return Emit({0x0F, 0x31});  // RDTSC
  if (Key(l, "ROL")) return Shift(0);
  if (Key(l, "ROR")) return Shift(1);
  if (Key(l, "RSM")) return Emit({0x0F, 0xAA});
  return 0;
}

uint32_t Encoder::LetterS() {
  const uint8_t* l = line;
  if (Key(l, "SAH")) return Emit({0x9E});
  if (Word("SAL")) return Shift(4);
  if (Word("SAR")) return Shift(7);
  if (Word("SBB")) return Two(kSbb);
  if (Word("SCASB")) return Bare(0, {0xAE});
  if (Word("SCASD")) return Bare(2, {0xAF});
  if (Word("SCASW")) return Bare(1, {0xAF});
  if (Key(l, "SET")) return SetCc();
  if (Key(l, "SHL")) return Shift(4);
  if (Key(l, "SHR")) return Shift(5);
  if (Key(l, "SMSD")) return Lone(kSmsd, "no such operand form for SMSD");
  if (Key(l, "SMS")) return Lone(kSmsw, "no such operand form for SMSW");
  if (Key(l, "STC")) return Emit({0xF9});
  if (Word("STD")) return Bare(0, {0xFD});
  if (Key(l, "STI")) return Emit({0xFB});
  if (Key(l, "STO?B")) return Emit({0xAA});
  if (Key(l, "STO?D")) return Sized(rec, 'D', 0xAB), 0;
  if (Key(l, "STO?W")) return Sized(rec, 'W', 0xAB), 0;
  if (Key(l, "STO")) return 0;
  if (Key(l, "SUB")) return Two(kSub);
  return 0;
}

// ---- the A to K chain --------------------------------------------------------

uint32_t Encoder::ChainAtoK() {
  const uint8_t* l = line;
  switch (l[0]) {
    case 'A':
      if (Key(l, "AAA")) return Emit({0x37});
      if (Key(l, "AAD")) return Aad(0xD5);
      if (Key(l, "AAM")) return Aad(0xD4);
      if (Key(l, "AAS")) return Emit({0x3F});
      if (Key(l, "ADC")) return Two(kAdc);
      if (Key(l, "ADD")) return Two(kAdd);
      if (Key(l, "AND")) return Two(kAnd);
      return 0;  // ARP and anything else
    case 'B':
      if (Word("BOUND")) return FarPointer(0x62, "no such operand form for BOUND");
      if (Word("BSF")) return RegRm(0x0FBC, 2, "no such operand form for BSF");
      if (Word("BSR")) return RegRm(0x0FBD, 2, "no such operand form for BSR");
      if (Key(l, "BOU") || Key(l, "BSF") || Key(l, "BSR")) return 0;
      if (Key(l, "BSW")) return Lone(kBswap, "no such operand form for BSWAP");
      if (Word("BTC")) return BitTest(kBtc);
      if (Key(l, "BTC")) return 0;
      if (Key(l, "BTR")) return BitTest(kBtr);
      if (Key(l, "BTS")) return BitTest(kBts);
      if (Word("BT")) return BitTest(kBt);
      return 0;
    case 'C': return LetterC();
    case 'D':
      if (Key(l, "DAA")) return Emit({0x27});
      if (Key(l, "DAS")) return Emit({0x2F});
      if (Key(l, "DEC")) return Lone(kDec, "no such operand form for DEC");
      if (Key(l, "DIV")) return Lone(kDiv, "no such operand form for DIV");
      if (Key(l, "DB")) return EncodeDataDefinition(rec, line, 1);
      if (Key(l, "DW")) return EncodeDataDefinition(rec, line, 2);
      if (Key(l, "DD")) return EncodeDataDefinition(rec, line, 4);
      return 0;
    case 'E':
      if (Key(l, "ENTE")) return Enter();
      if (Key(l, "EMM")) return Emit({0x0F, 0x77});
      return 0;
    case 'F': return X87();
    case 'H': return Key(l, "HLT") ? Emit({0xF4}) : 0;
    case 'I': return LetterI();
    case 'J': return LetterJ();
    default: return 0;
  }
}

// ---- the L to Z chain --------------------------------------------------------

uint32_t Encoder::ChainLtoZ() {
  const uint8_t* l = line;
  switch (l[0]) {
    case 'L': return LetterL();
    case 'M': return LetterM();
    case 'N':
      if (Key(l, "NEG")) return Lone(kNeg, "no such operand form for NEG");
      if (Key(l, "NOT")) return Lone(kNot, "no such operand form for NOT");
      if (Key(l, "NOP")) return Emit({0x90});
      return 0;
    case 'O':
      if (Key(l, "OR")) return Two(kOr);
      if (Word("OUTSB")) return Bare(0, {0x6E});
      if (Word("OUTSD")) return Bare(2, {0x6F});
      if (Word("OUTSW")) return Bare(1, {0x6F});
      if (Key(l, "OUTSB") || Key(l, "OUTSD") || Key(l, "OUTSW")) return 0;
      if (Key(l, "OU")) return EncodeInOut(rec, line, 0xE6);
      return 0;
    case 'P': return LetterP();
    case 'R': return LetterR();
    case 'S': return LetterS();
    case 'T': return Key(l, "TEST") ? Test() : 0;
    case 'X':
      if (Key(l, "XOR")) return Two(kXor);
      if (Key(l, "XCH")) return Two(kXchg);
      if (Word("XADD")) return Exchange(0xC0, "no such operand form for XADD");
      if (Word("XLAT") || Word("XLATB")) return Bare(0, {0xD7});
      return 0;
    case 'W': return Word("WAIT") ? Bare(0, {0x9B}) : 0;
    default: return 0;
  }
}

}  // namespace encoding

namespace {

// A line whose first word holds the ':' of a label definition.
bool IsLabelDefinition(const uint8_t* line) {
  // The first ':' comes before the first blank (or there is no blank): only
  // the first word needs reading.
  for (;; ++line) {
    const uint8_t c = *line;
    if (c == ':') return true;
    if (c == ' ' || c == 0 || c == kCR) return false;
  }
}

}  // namespace

void EncodeLine(AsmEnv& env, InstructionRecord* recIn, uint8_t* line) {
  InstructionRecord rec = *recIn;
  uint32_t result = 0;
  if (line[0] == '[') {
    result = ApplyBracketDirective(&rec, line);
  } else if (line[0] == '@') {
    if (line[1] == '@') rec.AtLabel = rec.Origin + rec.Offset;
  } else if (IsLabelDefinition(line)) {
    // NAME: defines a label and nothing else, even when NAME begins with a
    // mnemonic (RETRY:, OUTPUT:, LOOP1:).
  } else {
    encoding::Encoder e{env, &rec, line};
    if (line[0] >= 'A' && line[0] <= 'K')
      result = e.ChainAtoK();
    else if (line[0] >= 'L' && line[0] <= 'Z')
      result = e.ChainLtoZ();
  }
  if (result == kFail) rec.ErrorFlag = kFail;
  *recIn = rec;
}

}  // namespace quorix
