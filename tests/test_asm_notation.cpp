// The notation an ordinary x86 course uses: variables by name in memory
// operands, numbers written 21H or 0x21, characters in apostrophes, mixed
// data lists, label addresses as data, JMP SHORT and NEAR, and the reasons
// given for the lines that are refused. Rows that produce bytes are also
// read back by the system disassembler.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/asm_support.h"
#include "support/objdump_support.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;
using testing_support::Disassemble;

// A source given with '|' between its lines.
std::string Lines(const std::string& text, int bits) {
  std::string s = bits == 32 ? "[BITS #32]\r\n" : "";
  for (char c : text) s += c == '|' ? std::string("\r\n") : std::string(1, c);
  return s;
}

struct Row {
  int bits;
  const char* source;  // lines separated by '|'
  const char* hex;     // the whole output; "ERR" = the source fails
  const char* disasm;  // objdump's reading of the bytes ("" = not checked)
};

// The rows' bytes (after `skip` bytes of a shared prelude) and, where given,
// the disassembler's reading of them.
void Check(const Row* rows, size_t n, const std::string& prelude = "", size_t skip = 0) {
  const bool objdump = std::system("objdump --version >/dev/null 2>&1") == 0;
  for (size_t i = 0; i < n; ++i) {
    const Row& c = rows[i];
    AsmHarness h;
    const AsmRun r = h.Run(Lines(prelude + c.source, c.bits));
    std::string got = r.state2 == Compiled ? r.Hex() : "ERR";
    if (r.state2 == Compiled) got = got.size() > 3 * skip ? got.substr(3 * skip) : "";
    EXPECT_EQ(got, c.hex) << c.bits << "-bit: " << c.source;
    if (objdump && *c.disasm) {
      EXPECT_EQ(Disassemble(c.hex, c.bits), c.disasm) << c.source;
    }
  }
}

// CNT (a byte, 05) at 100 and VAL (a word, 1234) at 101, ahead of each row.
const char kVariables[] = "[ORG 100]|CNT:|DB 5|VAL:|DW 1234|";

// clang-format off
const Row kVariableRows[] = {
    {16, "MOV AL,[CNT]", "A0 00 01", "mov al,ds:0x100"},
    {16, "MOV [CNT],AL", "A2 00 01", "mov ds:0x100,al"},
    {16, "MOV AX,[VAL]", "A1 01 01", "mov ax,ds:0x101"},
    {16, "ADD AX,[VAL]", "03 06 01 01", "add ax,WORD PTR ds:0x101"},
    {16, "MOV BL,[CNT]", "8A 1E 00 01", "mov bl,BYTE PTR ds:0x100"},
    {16, "MOV B.[CNT],7", "C6 06 00 01 07", "mov BYTE PTR ds:0x100,0x7"},
    {16, "ADD W.[VAL],#10", "81 06 01 01 0A 00", "add WORD PTR ds:0x101,0xa"},
    {16, "MOV AX,[VAL+2]", "A1 03 01", "mov ax,ds:0x103"},
    {16, "MOV AL,[BX+CNT]", "8A 87 00 01", "mov al,BYTE PTR [bx+0x100]"},
    {16, "MOV AL,[CNT+BX]", "8A 87 00 01", "mov al,BYTE PTR [bx+0x100]"},
    {16, "MOV AL,[SI+CNT]", "8A 84 00 01", "mov al,BYTE PTR [si+0x100]"},
    {16, "MOV AL,[DI+CNT]", "8A 85 00 01", "mov al,BYTE PTR [di+0x100]"},
    {16, "MOV AL,[BP+CNT]", "8A 86 00 01", "mov al,BYTE PTR [bp+0x100]"},
    {16, "MOV AL,[BX+SI+CNT]", "8A 80 00 01", "mov al,BYTE PTR [bx+si+0x100]"},
    {16, "MOV AL,[BX+CNT-100]", "8A 87 00 00", "mov al,BYTE PTR [bx+0x0]"},
    {16, "MOV AX,ES:[VAL]", "26 A1 01 01", "mov ax,es:0x101"},
    {16, "MOV AX,[1234]", "A1 34 12", "mov ax,ds:0x1234"},
    {16, "MOV CX,[1234]", "8B 0E 34 12", "mov cx,WORD PTR ds:0x1234"},
    {16, "MOV [0FFFEH],DX", "89 16 FE FF", "mov WORD PTR ds:0xfffe,dx"},
    {16, "LEA SI,[CNT]", "8D 36 00 01", "lea si,ds:0x100"},
    {16, "XCHG AX,[VAL]", "87 06 01 01", "xchg WORD PTR ds:0x101,ax"},
    {16, "INC W.[VAL+1]", "FF 06 02 01", "inc WORD PTR ds:0x102"},
    {16, "DEC B.[BX+CNT]", "FE 8F 00 01", "dec BYTE PTR [bx+0x100]"},
    {16, "INC [1234]", "FF 06 34 12", "inc WORD PTR ds:0x1234"},
    {16, "CALL [VAL]", "FF 16 01 01", "call WORD PTR ds:0x101"},
    {16, "MOV DS,[VAL]", "8E 1E 01 01", "mov ds,WORD PTR ds:0x101"},
    {16, "MOV EAX,[EBX+VAL]", "67 66 8B 83 01 01 00 00", "mov eax,DWORD PTR [ebx+0x101]"},
    // a name alone in the brackets keeps the single-operand form it had
    {16, "INC [CNT]", "67 FF 05 00 01 00 00", "addr32 inc WORD PTR ds:0x100"},
    {16, "INC B.[CNT]", "67 FE 05 00 01 00 00", "addr32 inc BYTE PTR ds:0x100"},
    {32, "MOV AL,[CNT]", "A0 00 01 00 00", "mov al,ds:0x100"},
    {32, "MOV EAX,[VAL]", "A1 01 01 00 00", "mov eax,ds:0x101"},
    {32, "ADD EAX,[EBX+VAL]", "03 83 01 01 00 00", "add eax,DWORD PTR [ebx+0x101]"},
    {32, "MOV ECX,[EBX+ESI*4+VAL]", "8B 8C B3 01 01 00 00", "mov ecx,DWORD PTR [ebx+esi*4+0x101]"},
    {32, "MOV AX,[1234]", "66 A1 34 12 00 00", "mov ax,ds:0x1234"},
    {32, "MOV AX,[BX+VAL]", "67 66 8B 87 01 01", "mov ax,WORD PTR [bx+0x101]"},
    // negative numbers where the dialect defines them
    {16, "MOV AX,[DI+#-92]", "8B 85 A4 FF", "mov ax,WORD PTR [di-0x5c]"},
    {16, "MOV AX,[BX+#-8697]", "8B 87 07 DE", "mov ax,WORD PTR [bx-0x21f9]"},
    {16, "MOV EAX,[EBX+ECX*2+#-9]", "67 66 8B 44 4B F7", "mov eax,DWORD PTR [ebx+ecx*2-0x9]"},
    {16, "MOV [BP+#-4],AL", "88 86 FC FF", "mov BYTE PTR [bp-0x4],al"},
    {16, "INC W.[SI+#-2]", "FF 84 FE FF", "inc WORD PTR [si-0x2]"},
    // names that are neither numbers nor labels, addresses that do not fit
    {16, "MOV AX,[NOPE]", "ERR", ""},
    {16, "MOV AX,[BX+NOPE]", "ERR", ""},
    {16, "MOV AX,[12345]", "ERR", ""},
    {16, "INC [NOPE]", "ERR", ""},
};

// Whole sources: forward references, jumps, data lists.
const Row kPrograms[] = {
    // a variable further down: full-width fields in both passes
    {16, "MOV AL,[CNT]|CNT:|DB 7", "A0 03 00 07", ""},
    {16, "MOV AX,[BX+TBL]|TBL:|DW 1", "8B 87 04 00 01 00", ""},
    {16, "DW L|L:", "02 00", ""},
    {16, "[ORG 100]|START:|NOP|DW START,X|X:", "90 00 01 05 01", ""},
    {16, "START:|DD START", "00 00 00 00", ""},
    {16, "DB X|X:", "01", ""},
    {16, "[ORG 100]|DB X|X:", "ERR", ""},
    // SHORT and NEAR
    {16, "JMP SHORT X|NOP|X:", "EB 01 90", "jmp 0x3;nop"},
    {16, "X:|JMP SHORT X", "EB FE", "jmp 0x0"},
    {16, "JZ SHORT X|X:", "74 00", "je 0x2"},
    {16, "JMP NEAR X|X:", "E9 00 00", "jmp 0x3"},
    {16, "CALL NEAR X|X:", "E8 00 00", "call 0x3"},
    {16, "JNZ NEAR X|X:", "0F 85 00 00", "jne 0x4"},
    {32, "JMP SHORT X|X:", "EB 00", "jmp 0x2"},
    {16, "CALL SHORT X|X:", "ERR", ""},
    {16, "SHORT:|JMP SHORT", "E9 FD FF", "jmp 0x0"},  // a label named SHORT
    // mixed data lists
    {16, "DB \"HI\",0D,0A,\"$\"", "48 49 0D 0A 24", ""},
    {16, "DB 0D,0A,\"$\"", "0D 0A 24", ""},
    {16, "DB 41,\"$\"", "41 24", ""},
    {16, "DW \"AB\",1", "41 42 01 00", ""},
    {16, "DB \"A,B\" , 0", "41 2C 42 00", ""},
    {16, "DB 'A','B',0", "41 42 00", ""},
    {16, "DB ',',' '", "2C 20", ""},
    {16, "DW 'A'", "41 00", ""},
    {16, "DB \"HELLO", "48 45 4C 4C 4F 00", ""},  // unclosed: the line's end too
    {16, "DB 1 2 3", "01 02 03", ""},
    {16, "DD 'ABCD", "44 43 42 41", ""},
    {16, "DD 'A'", "00 00 27 41", ""},  // a 32-bit field keeps the four-byte reading
    {16, "DB \"ABCDEFGHIJKLMNOPQRSTUVWXYZ\",1,2",
     "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 56 57 58 59 5A 01 02", ""},
    {16, "DB \"ABCDEFGHIJKLMNOPQRSTUVWXYZ\",1,2,3", "ERR", ""},
    {16, "DB 1,,2", "ERR", ""},
    {16, "DB \"A\",", "ERR", ""},
    {16, "DB 10 DUP(0)", "ERR", ""},
    // one label or instruction per line
    {16, "L1: MOV AH,2", "ERR", ""},
    {16, "MSG: DB \"HI$\"", "ERR", ""},
    {16, "L1: ; entry|MOV AH,2", "B4 02", ""},
    {16, "MAIN PROC|BUF DATA|NOP", "90", ""},
};

// Textbook numbers and characters, and the ranges of every immediate field.
const Row kNumbers[] = {
    {16, "INT 21H", "CD 21", "int 0x21"},
    {16, "MOV AX,0FFFFH", "B8 FF FF", "mov ax,0xffff"},
    {16, "MOV AX,0x1234", "B8 34 12", "mov ax,0x1234"},
    {32, "MOV EAX,0x12345678", "B8 78 56 34 12", "mov eax,0x12345678"},
    {16, "ADD CL,-0AH", "80 C1 F6", "add cl,0xf6"},
    {16, "DB 0AH,0DH,24H", "0A 0D 24", ""},
    {16, "MOV AX,FFH", "ERR", ""},    // H needs a leading digit: FFH is a word
    {16, "JMP BEACH", "ERR", ""},     // so a name such as BEACH stays a name
    {16, "MOV AX,0x", "ERR", ""},
    {16, "MOV AX,0x12H", "ERR", ""},
    {16, "MOV AL,'A'", "B0 41", "mov al,0x41"},
    {16, "CMP AL,'Z'", "3C 5A", "cmp al,0x5a"},
    {16, "MOV AX,'A'", "B8 41 00", "mov ax,0x41"},
    {16, "MOV AL,','", "B0 2C", "mov al,0x2c"},
    {16, "MOV B.[BX],'*'", "C6 07 2A", "mov BYTE PTR [bx],0x2a"},
    {32, "MOV EAX,'A'", "B8 00 00 27 41", "mov eax,0x41270000"},  // four-byte reading kept
    // every 8-bit field takes -80..FF, every 16-bit one -8000..FFFF
    {16, "INT -1", "CD FF", "int 0xff"},
    {16, "AAM -80", "D4 80", "aam 0x80"},
    {16, "AAD -81", "ERR", ""},
    {16, "RET -8000", "C2 00 80", "ret 0x8000"},
    {16, "ENTER -1,-1", "C8 FF FF FF", "enter 0xffff,0xff"},
    {16, "SHL AX,-1", "C1 E0 FF", "shl ax,0xff"},
    {16, "SHR B.[BX],100", "ERR", ""},
    {16, "IN AL,P-80", "E4 80", "in al,0x80"},
    {16, "BTS AX,-1", "0F BA E8 FF", "bts ax,0xff"},
    {16, "PUSH B.100", "ERR", ""},  // gave 6A 00
    {16, "PUSH W.10000", "ERR", ""},
};

// clang-format on

TEST(Notation, VariablesByNameInEveryMemoryForm) {
  Check(kVariableRows, std::size(kVariableRows), kVariables, 3);
}

TEST(Notation, WholeSourcesWithDataJumpsAndLabels) { Check(kPrograms, std::size(kPrograms)); }

TEST(Notation, TextbookNumbersCharactersAndRanges) { Check(kNumbers, std::size(kNumbers)); }

// SHORT reaches -128 to 127 bytes, decided when every label has its address.
TEST(Notation, ShortJumpsFailOutOfReach) {
  auto source = [](int nops, bool backward) {
    std::string s = backward ? "X:\r\n" : "JMP SHORT X\r\n";
    for (int i = 0; i < nops; ++i) s += "NOP\r\n";
    return s + (backward ? "JMP SHORT X" : "X:");
  };
  const struct {
    int nops;
    bool backward;
    bool ok;
  } cases[] = {{127, false, true}, {128, false, false}, {126, true, true}, {127, true, false}};
  for (const auto& c : cases) {
    AsmHarness h;
    const AsmRun r = h.Run(source(c.nops, c.backward));
    EXPECT_EQ(r.state2 == Compiled, c.ok) << c.nops << (c.backward ? " back" : " ahead");
    if (!c.ok) {
      EXPECT_EQ(r.report.error, "X is out of reach of a short jump (-128 to 127 bytes)");
    }
  }
}

}  // namespace
}  // namespace quorix
