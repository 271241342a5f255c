// What the assembler says about lines: the exact message of every refused
// line (with its reason) and of every warned line, as quorix-asm and
// quorix-run print them, and the reading of sources in other text encodings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/assemble_text.h"
#include "support/asm_support.h"
#include "support/doubles.h"

namespace quorix {
namespace {

using testing_support::MemoryPlatform;

// The line assembled in a small program (its line 1, or line 2 after
// [BITS #32]), followed by a label and code: the error message when it
// fails, else its warnings, one a line ("" for none).
std::string Messages(const std::string& line, int bits) {
  MemoryPlatform pf;
  const std::string source =
      (bits == 32 ? "[BITS #32]\r\n" : "") + line + "\r\nHERE:\r\nNOP\r\nTHERE:\r\nNOP";
  TextAssembler as(pf);
  as.Load({reinterpret_cast<const uint8_t*>(source.data()), source.size()});
  const Assembly a = as.Assemble();
  if (!a.report.ok) return ErrorMessage(as.source(), a.report);
  std::string all;
  for (const std::string& w : WarningMessages(as.source(), a.report))
    all += (all.empty() ? "" : "\n") + w;
  return all;
}

TEST(AsmMessages, RefusedAndWarnedLinesSayWhy) {
  const std::string longName(256, 'A');
  const struct {
    std::string line;
    int bits;
    std::string message;
  } rows[] = {
      // numbers that do not fit, or cannot be read
      {"MOV AL,100", 16, "Error at Line: 1: MOV AL,100 (number does not fit in 8 bits)"},
      {"  mov al,100 ; load", 16, "Error at Line: 1: mov al,100 (number does not fit in 8 bits)"},
      {"MOV AX,10000", 16, "Error at Line: 1: MOV AX,10000 (number does not fit in 16 bits)"},
      {"ADD B.[BX],1FF", 32, "Error at Line: 2: ADD B.[BX],1FF (number does not fit in 8 bits)"},
      {"INT 100", 16, "Error at Line: 1: INT 100 (number does not fit in 8 bits)"},
      {"RET 10000", 16, "Error at Line: 1: RET 10000 (number does not fit in 16 bits)"},
      {"JMP $100", 16, "Error at Line: 1: JMP $100 (number does not fit in 8 bits)"},
      {"MOV AX,12G", 16, "Error at Line: 1: MOV AX,12G (cannot read the number 12G)"},
      {"SHL AX,100", 16, "Error at Line: 1: SHL AX,100 (number does not fit in 8 bits)"},
      {"ENTER 10000,0", 16, "Error at Line: 1: ENTER 10000,0 (number does not fit in 16 bits)"},
      {"OUT P100,AL", 16, "Error at Line: 1: OUT P100,AL (number does not fit in 8 bits)"},
      {"OUT P6Z,AL", 16, "Error at Line: 1: OUT P6Z,AL (cannot read the port number P6Z)"},
      {"MOV AX,[BX+12345]", 16,
       "Error at Line: 1: MOV AX,[BX+12345] (number does not fit in 16 bits)"},
      {"MOV AX,", 16, "Error at Line: 1: MOV AX, (an operand is missing)"},
      // names
      {"JMP NOWHERE", 16, "Error at Line: 1: JMP NOWHERE (unknown label NOWHERE)"},
      {"MOV AX,[BX+NOWHERE]", 16, "Error at Line: 1: MOV AX,[BX+NOWHERE] (unknown label NOWHERE)"},
      {"JMP " + longName, 16,
       "Error at Line: 1: JMP " + longName.substr(0, 251) +
           " (a label name has at most 255 characters)"},
      {"MOV AL,OFFSET HERE", 16,
       "Error at Line: 1: MOV AL,OFFSET HERE (an address does not fit in an 8-bit register)"},
      // addresses
      {"MOV EAX,[EBX+ECX*3]", 32,
       "Error at Line: 2: MOV EAX,[EBX+ECX*3] (a scale is 1, 2, 4 or 8)"},
      {"MOV EAX,[EBX+ESP]", 32,
       "Error at Line: 2: MOV EAX,[EBX+ESP] (ESP cannot be an index register)"},
      {"MOV AX,[AX]", 16,
       "Error at Line: 1: MOV AX,[AX] (AX cannot address memory: use BX, BP, SI, DI or a 32-bit "
       "register)"},
      {"DEC [AX]", 16, "Error at Line: 1: DEC [AX] (no such operand form for DEC)"},
      // forms
      {"MOV [BX],5", 16,
       "Error at Line: 1: MOV [BX],5 (a memory operand with a number needs its size: B., W. or "
       "D. before it)"},
      {"LEA AX", 16, "Error at Line: 1: LEA AX (no such operand form for LEA)"},
      {"FADD ST(2),ST(3)", 32,
       "Error at Line: 2: FADD ST(2),ST(3) (no such operand form for this x87 instruction)"},
      {"REP NOP", 16,
       "Error at Line: 1: REP NOP (REP goes only before a string instruction with its size "
       "letter (MOVSB, STOSW, ...))"},
      // data and directives
      {"DB 1FF", 16, "Error at Line: 1: DB 1FF (number does not fit in 8 bits)"},
      {"DW 1,,2", 16, "Error at Line: 1: DW 1,,2 (a data list has an empty entry)"},
      {"DB 10 DUP(0)", 16,
       "Error at Line: 1: DB 10 DUP(0) (DUP is not part of the dialect; write the values or use "
       "a loop)"},
      {"DD 1,2,3,4,5,6,7,8", 16,
       "Error at Line: 1: DD 1,2,3,4,5,6,7,8 (a data line holds at most 28 bytes; go on in "
       "another line)"},
      {"[BITS 8]", 16,
       "Error at Line: 1: [BITS 8] (the code width is 16 or 32: write [BITS #16] or [BITS #32])"},
      {"[ORG 100", 16, "Error at Line: 1: [ORG 100 (a directive needs its closing ])"},
      {"[ORG 1G]", 16, "Error at Line: 1: [ORG 1G] (cannot read the number 1G)"},
      // warnings
      {"INVD", 16, "line 1 produces no bytes: INVD"},
      {"FOO BAR ; x", 16, "line 1 has an unknown mnemonic and produces no bytes: FOO BAR "},
      {"DB \"Hi\"", 16,
       "line 1 has lower-case letters inside quotes, which become upper case: DB \"Hi\""},
      {"\tDD 'abcd", 32,
       "line 2 has lower-case letters inside quotes, which become upper case: DD 'abcd"},
      {"CMP AL,';'", 16, "line 1 has a ; inside quotes, which starts a comment: CMP AL,';'"},
      {"DB \"x;y\"", 16,
       "line 1 has lower-case letters inside quotes, which become upper case: DB \"x;y\"\n"
       "line 1 has a ; inside quotes, which starts a comment: DB \"x;y\""},
      // a word after an operand with only a blank before it is read by no form
      {"INC AX BX", 16,
       "line 1 has a word after an operand with no comma before it, which is ignored: INC AX BX"},
      {"MOV AX,BX CX", 16,
       "line 1 has a word after an operand with no comma before it, which is ignored: MOV AX,BX "
       "CX"},
      {"INT 21 5", 16,
       "line 1 has a word after an operand with no comma before it, which is ignored: INT 21 5"},
      {"JMP HERE THERE", 16,
       "line 1 has a word after an operand with no comma before it, which is ignored: JMP HERE "
       "THERE"},
      {"JMP SHORT HERE", 16, ""},
      {"CALL NEAR HERE", 16, ""},
      {"MOV AX,OFFSET HERE", 16, ""},
      {"REP MOVSB", 16, ""},
      {"LOCK ADD [BX],AX", 16, ""},
      {"MOV AX, [BX + SI]", 16, ""},
      {"MOV AL,' '", 16, ""},
      {"FADD ST(1), ST", 16, ""},
      {"DB \"IT'S\" ; it's", 16, ""},
      {"NOP ; \"a;b\" 'x'", 16, ""},
      {"\xEF\xBB\xBFNOP", 16, "line 1 starts with a UTF-8 byte-order mark, which was skipped: NOP"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Messages(r.line, r.bits), r.message) << r.line << " in " << r.bits << "-bit code";
}

// Every refused line's reason, the text after "Error at Line: N: TEXT" in
// parentheses: sources of 16-bit code, lines separated by '|'.
const struct {
  const char* source;
  const char* reason;
} kRefusals[] = {
    // forms no instruction has (a label on line 1, the line on line 2)
    {"L:|DIV AX,BX", "no such operand form for DIV"},
    {"L:|MUL AX,BX", "no such operand form for MUL"},
    {"L:|INC AX,BX", "no such operand form for INC"},
    {"L:|NOT AX,5", "no such operand form for NOT"},
    {"L:|NEG [SI],AX", "no such operand form for NEG"},
    {"L:|IDIV CX,5", "no such operand form for IDIV"},
    {"L:|PUSH AX,BX", "no such operand form for PUSH"},
    {"L:|POP ES,5", "no such operand form for POP"},
    {"L:|JMP AX,5", "no such operand form for JMP"},
    {"L:|CALL [BX],5", "no such operand form for CALL"},
    {"L:|BSWAP EAX,5", "no such operand form for BSWAP"},
    {"L:|LGDT [SI],5", "no such operand form for LGDT"},
    {"L:|FLD [SI],5", "no such operand form for this x87 instruction"},
    {"L:|FXCH ST(1),5", "no such operand form for this x87 instruction"},
    {"L:|FADDP ST(1),ST(2)", "no such operand form for this x87 instruction"},
    {"L:|IMUL AL,BL", "no such operand form for IMUL"},
    {"L:|IMUL [BX],AX", "no such operand form for IMUL"},
    {"L:|IMUL AX,D.[BX]", "size marker does not match the register"},
    {"L:|IMUL AX,10000", "number does not fit in 16 bits"},
    {"L:|MOVZX EAX,[BX]", "write B. or W. before the memory operand"},
    {"L:|MOVZX AX,BX", "no such operand form for MOVZX"},
    {"L:|LDS SI,BX", "no such operand form for LDS"},
    {"L:|BT AX,[BX]", "no such operand form for BT"},
    {"L:|BTC [SI],5", "write W. or D. before the memory operand"},
    {"L:|BTS AX,100", "number does not fit in 8 bits"},
    {"L:|XADD AX,[BX]", "no such operand form for XADD"},
    {"L:|SETZ AX", "no such operand form for SETcc"},
    {"L:|CLC X", "this instruction takes no operand"},
    {"L:|LOCK", "LOCK needs an instruction after it on the same line"},
    {"L:|LOCK ADD AX,BX",
     "LOCK goes only before ADD, ADC, AND, BTC, BTR, BTS, CMPXCHG, DEC, INC, NEG, NOT, OR, SBB, "
     "SUB, XADD, XCHG or XOR with a memory destination"},
    {"L:|JCXZ NOWHERE", "unknown label NOWHERE"},
    {"L:|LOOPNE NOWHERE", "unknown label NOWHERE"},
    // the notation of a course: names, numbers, data lists, short jumps
    {"L1: MOV AH,2", "one label or instruction per line: put the instruction on the next line"},
    {"MSG: DB \"HI$\"", "one label or instruction per line: put the instruction on the next line"},
    {"DB 10 DUP(0)", "DUP is not part of the dialect; write the values or use a loop"},
    {"CNT:|DB 1|MOV AL,CNT", "write [CNT] for the variable or OFFSET CNT for its address"},
    {"CNT:|DB 1|MOV AX,CNT", "write [CNT] for the variable or OFFSET CNT for its address"},
    {"MOV AL,100", "number does not fit in 8 bits"},
    {"INT 100", "number does not fit in 8 bits"},
    {"IN AL,P100", "number does not fit in 8 bits"},
    {"SHL AX,100", "number does not fit in 8 bits"},
    {"BTS AX,100", "number does not fit in 8 bits"},
    {"PUSH B.100", "number does not fit in 8 bits"},
    {"DB 100", "number does not fit in 8 bits"},
    {"RET 10000", "number does not fit in 16 bits"},
    {"ENTER 10000,0", "number does not fit in 16 bits"},
    {"MOV AX,12G", "cannot read the number 12G"},
    {"JMP SHORT X|DB 1|X:|JZ SHORT Y|DD 1,2,3,4,5,6,7|DD 1,2,3,4,5,6,7|DD 1,2,3,4,5,6,7|"
     "DD 1,2,3,4,5,6,7|DD 1,2,3,4,5,6,7|Y:",
     "Y is out of reach of a short jump (-128 to 127 bytes)"},
    {"INT 2G", "cannot read the number 2G"},
    {"MOV AX,[NOPE]", "unknown label NOPE"},
    {"MOV AX,[BX+NOPE]", "unknown label NOPE"},
    {"INC [NOPE]", "unknown label NOPE"},
    {"MOV AX,[12345]", "the address does not fit in 16 bits"},
    {"CNT:|DB 1|MOV [CNT],5",
     "a memory operand with a number needs its size: B., W. or D. before it"},
    {"DW 1,", "a data list has an empty entry"},
    {"DB 1,,2", "a data list has an empty entry"},
    {"DD 1,2,3,4,5,6,7,8", "a data line holds at most 28 bytes; go on in another line"},
    {"CALL SHORT X|X:", "CALL has no SHORT form"},
    {"JMP NOWHERE", "unknown label NOWHERE"},
    {"CALL NOWHERE", "unknown label NOWHERE"},
    {"JZ NOWHERE", "unknown label NOWHERE"},
};

TEST(AsmMessages, EveryRefusalGivesItsReason) {
  for (const auto& c : kRefusals) {
    std::string source;
    for (const char* p = c.source; *p != 0; ++p)
      source += *p == '|' ? std::string("\r\n") : std::string(1, *p);
    MemoryPlatform pf;
    TextAssembler as(pf);
    as.Load({reinterpret_cast<const uint8_t*>(source.data()), source.size()});
    const Assembly a = as.Assemble();
    EXPECT_FALSE(a.report.ok) << c.source;
    EXPECT_EQ(a.report.error, c.reason) << c.source;
  }
}

// A line that the label of a later line makes too far for a short jump.
TEST(AsmMessages, ShortJumpsOutOfReachNameTheirLabel) {
  std::string source = "L1:\r\n";
  for (int i = 0; i < 200; ++i) source += "NOP\r\n";
  source += "LOOP L1";
  MemoryPlatform pf;
  const Assembly a = AssembleText(source, pf);
  ASSERT_FALSE(a.report.ok);
  EXPECT_EQ(a.report.errorLine, 202u);
  EXPECT_EQ(a.report.error, "L1 is out of reach of a short jump (-128 to 127 bytes)");
}

TEST(AsmMessages, AByteOrderMarkMovesNothing) {
  const std::string plain = "START:\r\n  MOV AX,1 ; one\r\nJMP START\r\nDB \"OK\"";
  MemoryPlatform pf;
  const Assembly without = AssembleText(plain, pf);
  TextAssembler as(pf);
  const std::string marked = "\xEF\xBB\xBF" + plain;
  ASSERT_EQ(as.Load({reinterpret_cast<const uint8_t*>(marked.data()), marked.size()}),
            TextStatus::Loaded);
  const Assembly with = as.Assemble();
  ASSERT_TRUE(with.report.ok) << with.report.error;
  EXPECT_EQ(with.bytes, without.bytes);
  ASSERT_EQ(with.records.size(), without.records.size());
  for (size_t i = 0; i < with.records.size(); ++i) {
    EXPECT_EQ(with.records[i].ByteCount, without.records[i].ByteCount) << "record " << i;
    EXPECT_EQ(with.records[i].Address, without.records[i].Address) << "record " << i;
  }
  EXPECT_EQ(as.LineText(1, 256, false), "START:");
  EXPECT_EQ(as.source().size, plain.size());
  // Only at the very start: elsewhere the three bytes are text of the line,
  // here the start of a word that is no mnemonic.
  const Assembly inner = AssembleText("NOP\r\n\xEF\xBB\xBFNOP", pf);
  ASSERT_EQ(inner.report.warnings.size(), 1u);
  EXPECT_EQ(inner.report.warnings[0].line, 2u);
  EXPECT_EQ(inner.report.warnings[0].kind, AsmWarningKind::UnknownMnemonic);
}

TEST(AsmMessages, Utf16SourcesAreRefusedWhole) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    bool utf16;
  } cases[] = {
      {"\xFF\xFEN\0O\0P\0"s, true},           // little-endian with its mark
      {"\xFE\xFF\0N\0O\0P"s, true},           // big-endian with its mark
      {"N\0O\0P\0\r\0\n\0H\0L\0T\0"s, true},  // no mark: every other byte NUL
      {"\0N\0O\0P"s, true},
      {"NOP\r\nHLT\r\n\0\0\0\0\0\0"s, false},  // zeros after the text are no UTF-16
      {"DB \"\xC9T\xC9\"\r\nNOP"s, false},     // Windows-1252 letters
      {"N\0"s, false},                         // too short to tell
  };
  for (const auto& c : cases) {
    MemoryPlatform pf;
    TextAssembler as(pf);
    const TextStatus status =
        as.Load({reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size()});
    EXPECT_EQ(status == TextStatus::Utf16, c.utf16) << ::testing::PrintToString(c.text);
    const Assembly a = AssembleText(c.text, pf);
    if (c.utf16) {
      EXPECT_EQ(a.report.error, "the source is UTF-16 text; save it as ANSI (Windows-1252)");
      EXPECT_EQ(a.report.errorLine, 0u) << "not a line error";
    }
  }
}

}  // namespace
}  // namespace quorix
