// Lines whose bytes once meant something other than what they say, and
// ordinary forms that used to be refused. Every row is checked byte for byte
// and, where it produces bytes, against the system disassembler's reading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/asm_support.h"
#include "support/objdump_support.h"

namespace quorix {
namespace {

using testing_support::Disassemble;
using testing_support::EncodeOne;

struct Row {
  int bits;
  const char* line;
  const char* hex;     // "ERR" = the line fails
  const char* disasm;  // objdump's reading ("" = not checked)
};

// clang-format off
// Each of these assembled before, into bytes of another meaning.
const Row kMended[] = {
    // segment overrides on single-operand, x87 and MMX memory
    {16, "NOT FS:[BX]", "64 F7 17", "not WORD PTR fs:[bx]"},
    {16, "FIDIVR FS:[EBX]", "67 64 DA 3B", "fidivr DWORD PTR fs:[ebx]"},
    {16, "MOVQ MM6, CS:[BX]", "2E 0F 6F 37", "movq mm6,QWORD PTR cs:[bx]"},
    {32, "NOT FS:[EBX]", "64 F7 13", "not DWORD PTR fs:[ebx]"},
    {32, "MOVQ MM1,GS:[EAX+EBX*4]", "65 0F 6F 0C 98", "movq mm1,QWORD PTR gs:[eax+ebx*4]"},
    // a segment register with ':' is an override, not a segment operand
    {16, "MOV ES:[BP+SI+57],SI", "26 89 72 57", "mov WORD PTR es:[bp+si+0x57],si"},
    {16, "MOV AX, CS:[EBP+ESI]", "67 2E 8B 44 35 00", "mov ax,WORD PTR cs:[ebp+esi*1+0x0]"},
    {16, "PUSH ES:[EBP+EBX*2]", "67 26 FF 74 5D 00", "push WORD PTR es:[ebp+ebx*2+0x0]"},
    {16, "PUSH GS:[ECX+ECX*2-2]", "67 65 FF 74 49 FE", "push WORD PTR gs:[ecx+ecx*2-0x2]"},
    // x87 variants come from the mnemonic, not from letters in the operand
    {16, "FIST [ESP]", "67 DB 54 24 00", "fist DWORD PTR [esp+0x0]"},
    {16, "FISTP [ESP]", "67 DB 5C 24 00", "fistp DWORD PTR [esp+0x0]"},
    {16, "FSUB [ESP]", "67 D8 64 24 00", "fsub DWORD PTR [esp+0x0]"},
    // ST(i),ST keeps its direction
    {16, "FSUB ST(3),ST", "DC EB", "fsub st(3),st"},
    {16, "FSUB ST,ST(3)", "D8 E3", "fsub st,st(3)"},
    {16, "FDIV ST(2),ST", "DC FA", "fdiv st(2),st"},
    {16, "FDIV ST,ST(2)", "D8 F2", "fdiv st,st(2)"},
    {16, "FDIVR ST(1),ST", "DC F1", "fdivr st(1),st"},
    {16, "FDIVR ST,ST(1)", "D8 F9", "fdivr st,st(1)"},
    {32, "FSUB ST(5),ST", "DC ED", "fsub st(5),st"},
    {16, "FADD ST(0),ST(3)", "D8 C3", "fadd st,st(3)"},
    {16, "FADD ST(2),ST(3)", "ERR", ""},
    {16, "FDIVP ST,ST(1)", "ERR", ""},
    // B. selects the byte forms
    {16, "INC B.[BX]", "FE 07", "inc BYTE PTR [bx]"},
    {16, "NOT B.[SI+4]", "F6 54 04", "not BYTE PTR [si+0x4]"},
    {32, "INC B.[EAX+ECX*8+10]", "FE 44 C8 10", "inc BYTE PTR [eax+ecx*8+0x10]"},
    {16, "PUSH B.[BX]", "ERR", ""},
    // blanks before a SIB displacement
    {16, "MOV EAX,[EBX+ECX*4+ 8]", "67 66 8B 44 8B 08", "mov eax,DWORD PTR [ebx+ecx*4+0x8]"},
    // ports follow the accumulator's width
    {16, "IN AX, P60", "E5 60", "in ax,0x60"},
    {16, "OUT AX, P46", "E7 46", "out 0x46,ax"},
    {16, "IN EAX,P60", "66 E5 60", "in eax,0x60"},
    {32, "IN AX,P60", "66 E5 60", "in ax,0x60"},
    {32, "OUT P46,EAX", "E7 46", "out 0x46,eax"},
    {16, "IN BX,P60", "ERR", ""},
    // unreadable numbers in INT and OUT
    {16, "INT 10H", "CD 10", "int 0x10"},
    {16, "INT 100", "ERR", ""},
    {16, "OUT P6Z,AL", "ERR", ""},
    {16, "OUT P100,AL", "ERR", ""},
    // REP with every string instruction, never alone
    {16, "REP SCASW", "F3 AF", "repz scas ax,WORD PTR es:[di]"},
    {16, "REPNE SCASB", "F2 AE", "repnz scas al,BYTE PTR es:[di]"},
    {32, "REP LODSD", "F3 AD", "rep lods eax,DWORD PTR ds:[esi]"},
    {16, "REP MOVS", "ERR", ""},
    {16, "REP NOP", "ERR", ""},
    // an address keyword is no register
    {16, "MOV CL, ALAMAT X", "ERR", ""},
    {16, "MOV AL,ALMT X", "ERR", ""},
    // a register is the whole word, not its first letters
    {16, "INC SIX", "ERR", ""},
    {16, "PUSH AXE", "ERR", ""},
    {16, "MOV AXE,5", "ERR", ""},
    {16, "MOV AX,BXY", "ERR", ""},
    {16, "MOV [BX],ALAMAT X", "ERR", ""},
    {16, "MOV AXE,[BX]", "ERR", ""},
    // numbers that would lose their high bits
    {16, "MOV AL,100", "ERR", ""},
    {16, "MOV AL,-1", "B0 FF", "mov al,0xff"},
    {16, "MOV AL,-80", "B0 80", "mov al,0x80"},
    {16, "MOV AL,-81", "ERR", ""},
    {16, "ADD AX,10000", "ERR", ""},
    {16, "ADD AX,-8000", "05 00 80", "add ax,0x8000"},
    {16, "MOV B.[BX],1FF", "ERR", ""},
    {16, "MOV W.[BX],12345", "ERR", ""},
    {16, "JMP $ZZ", "ERR", ""},
    {16, "JNZ $100", "ERR", ""},
    {16, "JNZ $FE", "75 FE", "jne 0x0"},
    {16, "AAM 100", "ERR", ""},
    {16, "ENTER 10000,0", "ERR", ""},
    {16, "ENTER 8,100", "ERR", ""},
    {16, "RET 10000", "ERR", ""},
    {16, "SHL AX,100", "ERR", ""},
    {16, "DB 1FF", "ERR", ""},
    {16, "DB 1,100,2", "ERR", ""},
    {16, "DB FF,-1,-80", "FF FF 80", ""},
    {16, "DB -81", "ERR", ""},
    {16, "DW 10000", "ERR", ""},
    {16, "DW FFFF,-8000", "FF FF 00 80", ""},
    {16, "DD FFFFFFFF,-1", "FF FF FF FF FF FF FF FF", ""},
    // negative displacements
    {16, "MOV AX,[BX-4]", "8B 47 FC", "mov ax,WORD PTR [bx-0x4]"},
    {16, "INC W.[DI-2]", "FF 45 FE", "inc WORD PTR [di-0x2]"},
    {16, "MOV [EBX-8],EAX", "67 66 89 43 F8", "mov DWORD PTR [ebx-0x8],eax"},
    {16, "MOV AX,[BX-100]", "8B 87 00 FF", "mov ax,WORD PTR [bx-0x100]"},
    // RET and RETF keep their counts
    {16, "RET FC", "C2 FC 00", "ret 0xfc"},
    {16, "RETF A0", "CA A0 00", "retf 0xa0"},
    {32, "RET 8", "C2 08 00", "ret 0x8"},
    // the far marker on calls and jumps through memory
    {16, "CALL F.[SI]", "FF 1C", "call DWORD PTR [si]"},
    {16, "CALL F.[DI]", "FF 1D", "call DWORD PTR [di]"},
    {16, "JMP F.[BX]", "FF 2F", "jmp DWORD PTR [bx]"},
    {32, "CALL F.[ESI]", "FF 1E", "call FWORD PTR [esi]"},
    {32, "JMP F.[EBX+4]", "FF 6B 04", "jmp FWORD PTR [ebx+0x4]"},
    // FW. on the integer forms
    {16, "FILD FW.[BX]", "DF 2F", "fild QWORD PTR [bx]"},
    {16, "FISTP FW.[BX]", "DF 3F", "fistp QWORD PTR [bx]"},
    {32, "FISTP FW.[EBX]", "DF 3B", "fistp QWORD PTR [ebx]"},
    {16, "FIST FW.[BX]", "ERR", ""},
    {16, "FIADD FW.[BX]", "ERR", ""},
    // a segment register read into a general one writes its full width
    {32, "MOV AX,ES", "66 8C C0", "mov ax,es"},
    // addresses that would silently read something else
    {16, "MOV AX,[BX+ZZ]", "ERR", ""},
    {16, "MOV AX,[BX+12345]", "ERR", ""},
    {16, "MOV EAX,[EBX+ECX*3]", "ERR", ""},
    {16, "MOV AX,[ECX*4+EBX]", "67 8B 04 8B", "mov ax,WORD PTR [ebx+ecx*4]"},
};

// Each of these used to fail.
const Row kAccepted[] = {
    {16, "MOV AX,[BX+SI]", "8B 00", "mov ax,WORD PTR [bx+si]"},
    {16, "MOV [BP+DI+4],AL", "88 43 04", "mov BYTE PTR [bp+di+0x4],al"},
    {16, "ADD CX,[BP+SI-2]", "03 4A FE", "add cx,WORD PTR [bp+si-0x2]"},
    {16, "INC W.[BX+DI]", "FF 01", "inc WORD PTR [bx+di]"},
    {16, "CALL [BP+DI+10]", "FF 53 10", "call WORD PTR [bp+di+0x10]"},
    {16, "SHL AX,CL", "D3 E0", "shl ax,cl"},
    {32, "SHL EAX,CL", "D3 E0", "shl eax,cl"},
    {16, "RCR BL,CL", "D2 DB", "rcr bl,cl"},
    {16, "SHR B.[BX],CL", "D2 2F", "shr BYTE PTR [bx],cl"},
    {16, "ROL W.[SI],1", "C1 04 01", "rol WORD PTR [si],0x1"},
    {16, "SHL D.[BX+2],3", "66 C1 67 02 03", "shl DWORD PTR [bx+0x2],0x3"},
    {16, "SHL [BX],1", "ERR", ""},
    {16, "INC AL", "FE C0", "inc al"},
    {16, "DEC BH", "FE CF", "dec bh"},
    {16, "NOT CL", "F6 D1", "not cl"},
    {16, "NEG DL", "F6 DA", "neg dl"},
    {16, "MUL BL", "F6 E3", "mul bl"},
    {16, "IMUL AH", "F6 EC", "imul ah"},
    {16, "DIV CH", "F6 F5", "div ch"},
    {16, "IDIV DH", "F6 FE", "idiv dh"},
    {16, "IN AX,DX", "ED", "in ax,dx"},
    {16, "OUT DX,AL", "EE", "out dx,al"},
    {16, "OUT DX,EAX", "66 EF", "out dx,eax"},
    {16, "PUSH SS", "16", "push ss"},
    {16, "POP SS", "17", "pop ss"},
    {32, "POP SS", "17", "pop ss"},
    {16, "JMP AX", "FF E0", "jmp ax"},
    {16, "JMP EBX", "66 FF E3", "jmp ebx"},
    {32, "JMP EAX", "FF E0", "jmp eax"},
    {16, "JMP [SI+2]", "FF 64 02", "jmp WORD PTR [si+0x2]"},
    {16, "CALL [SI+2]", "FF 54 02", "call WORD PTR [si+0x2]"},
    {32, "CALL [EBP+8]", "FF 55 08", "call DWORD PTR [ebp+0x8]"},
    {16, "IMUL W.[EBP+ECX*2]", "67 F7 6C 4D 00", "imul WORD PTR [ebp+ecx*2+0x0]"},
    {32, "IMUL D.[EBP+ECX*2]", "F7 6C 4D 00", "imul DWORD PTR [ebp+ecx*2+0x0]"},
    {16, "MOV EAX,GS", "66 8C E8", "mov eax,gs"},
    {32, "MOV EAX,GS", "8C E8", "mov eax,gs"},
    {32, "MOV ES,EAX", "8E C0", "mov es,eax"},
    {16, "MOV DS,[BX]", "8E 1F", "mov ds,WORD PTR [bx]"},
    {16, "MOV [BX+2],ES", "8C 47 02", "mov WORD PTR [bx+0x2],es"},
    {16, "MOVD MM0,[BX]", "0F 6E 07", "movd mm0,DWORD PTR [bx]"},
    {16, "MOVD [EBX],MM1", "67 0F 7E 0B", "movd DWORD PTR [ebx],mm1"},
    {16, "BTS AX,3", "0F BA E8 03", "bts ax,0x3"},
    {32, "BTR EAX,1F", "0F BA F0 1F", "btr eax,0x1f"},
    {16, "BTS AX,100", "ERR", ""},
    {16, "MOV EAX,[EBX+ECX*4+100]", "67 66 8B 84 8B 00 01 00 00", "mov eax,DWORD PTR [ebx+ecx*4+0x100]"},
    {32, "MOV EAX,[ESP+ECX*2+200]", "8B 84 4C 00 02 00 00", "mov eax,DWORD PTR [esp+ecx*2+0x200]"},
    {16, "MOV EAX,[EBP+ECX*2]", "67 66 8B 44 4D 00", "mov eax,DWORD PTR [ebp+ecx*2+0x0]"},
    {32, "MOV EAX,[EBP+EDX]", "8B 44 15 00", "mov eax,DWORD PTR [ebp+edx*1+0x0]"},
    {16, "MOV AX,[ECX*4]", "67 8B 04 8D 00 00 00 00", "mov ax,WORD PTR [ecx*4+0x0]"},
};
// clang-format on

void Check(const Row* rows, size_t n, const char* what) {
  const bool objdump = std::system("objdump --version >/dev/null 2>&1") == 0;
  for (size_t i = 0; i < n; ++i) {
    const Row& c = rows[i];
    EXPECT_EQ(EncodeOne(c.line, c.bits), c.hex) << what << ", " << c.bits << "-bit: " << c.line;
    if (objdump && *c.disasm) {
      EXPECT_EQ(Disassemble(c.hex, c.bits), c.disasm) << what << ": " << c.line;
    }
  }
}

TEST(Meaning, MendedLinesSayWhatTheyMean) { Check(kMended, std::size(kMended), "mended"); }

TEST(Meaning, StandardFormsAreAccepted) { Check(kAccepted, std::size(kAccepted), "accepted"); }

// Trailing blanks and comments after data and AAD/AAM add nothing.
TEST(Meaning, TrailingBlanksAndCommentsAddNothing) {
  const Row rows[] = {
      {16, "DB 1,2 ", "01 02", ""},
      {16, "DD 1 ; one", "01 00 00 00", ""},
      {16, "AAM ; c", "D4 0A", "aam 0xa"},
      {16, "AAD ", "D5 0A", "aad 0xa"},
  };
  Check(rows, std::size(rows), "trailing");
}

}  // namespace
}  // namespace quorix
