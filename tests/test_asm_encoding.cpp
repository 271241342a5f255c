// Encodings of single lines, checked byte for byte and, for the standard
// forms, against the system disassembler.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "asm_support.h"

namespace quorix {
namespace {

using testing_support::EncodeOne;

struct EncodingCase {
  int bits;
  const char* line;
  const char* hex;     // "" = no bytes, "ERR" = the line fails
  const char* disasm;  // objdump's reading of the bytes ("" = not checked)
};

// clang-format off
const EncodingCase kEncodings[] = {
      {16, "MOV AX,BX", "8B C3", "mov ax,bx"},
      {16, "ADD AX,BX", "03 C3", "add ax,bx"},
      {16, "MOV CL,5", "B1 05", "mov cl,0x5"},
      {16, "ADC CL,5", "80 D1 05", "adc cl,0x5"},
      {16, "MOV EAX,1", "66 B8 01 00 00 00", "mov eax,0x1"},
      {16, "XCHG AL,BL", "86 C3", "xchg bl,al"},
      {16, "MOV EBX,ECX", "66 8B D9", "mov ebx,ecx"},
      {16, "CMP AL,10", "3C 10", "cmp al,0x10"},
      {16, "CMP BL,#10", "80 FB 0A", "cmp bl,0xa"},
      {16, "MOV AX,[BX+80]", "8B 87 80 00", "mov ax,WORD PTR [bx+0x80]"},
      {16, "MOV AX,[BX]", "8B 07", "mov ax,WORD PTR [bx]"},
      {16, "MOV [SI+4],CL", "88 4C 04", "mov BYTE PTR [si+0x4],cl"},
      {16, "MOV W.[BX],1234", "C7 07 34 12", "mov WORD PTR [bx],0x1234"},
      {16, "MOV EAX,[EBX+ECX*4+8]", "67 66 8B 44 8B 08", "mov eax,DWORD PTR [ebx+ecx*4+0x8]"},
      {16, "MOV ES:[DI],AL", "26 88 05", "mov BYTE PTR es:[di],al"},
      {16, "MOV AX,SS:[BP]", "36 8B 46 00", "mov ax,WORD PTR ss:[bp+0x0]"},
      {16, "ADD W.[BX],5", "81 07 05 00", "add WORD PTR [bx],0x5"},
      {16, "CMP B.[SI],3", "80 3C 03", "cmp BYTE PTR [si],0x3"},
      {16, "TEST B.[DI],1", "F6 05 01", "test BYTE PTR [di],0x1"},
      {16, "TEST AX,BX", "85 C3", "test bx,ax"},
      {16, "TEST AL,[SI]", "84 04", "test BYTE PTR [si],al"},
      {16, "TEST AX,5", "A9 05 00", "test ax,0x5"},
      {16, "TEST BL,5", "F6 C3 05", "test bl,0x5"},
      {16, "MOV AX,-1", "B8 FF FF", "mov ax,0xffff"},
      {16, "MOV EDX,FFFFFFFF", "66 BA FF FF FF FF", "mov edx,0xffffffff"},
      {16, "MOV AX,[BP+6]", "8B 46 06", "mov ax,WORD PTR [bp+0x6]"},
      {16, "MOV AX,[BP]", "8B 46 00", "mov ax,WORD PTR [bp+0x0]"},
      {16, "MOV AX,[BX+-4]", "8B 87 FC FF", "mov ax,WORD PTR [bx-0x4]"},
      {16, "MOV [ESP],EAX", "67 66 89 04 24", "mov DWORD PTR [esp],eax"},
      {16, "MOV EAX,[ESP+8]", "67 66 8B 44 24 08", "mov eax,DWORD PTR [esp+0x8]"},
      {16, "MOV EAX,[EBP+ECX*2+10]", "67 66 8B 44 4D 10", "mov eax,DWORD PTR [ebp+ecx*2+0x10]"},
      {16, "MOV EAX,[EBP+ECX]", "67 66 8B 44 0D 00", "mov eax,DWORD PTR [ebp+ecx*1+0x0]"},
      {16, "MOV EAX,[EBX+ESP]", "ERR", ""},
      {16, "MOV AX,[1234]", "ERR", ""},
      {16, "MOV AX,[BX+SI]", "8B 00", "mov ax,WORD PTR [bx+si]"},
      {16, "MOV [BX],5", "ERR", ""},
      {16, "SUB D.[EBX],12345678", "67 66 81 2B 78 56 34 12", "sub DWORD PTR [ebx],0x12345678"},
      {16, "XOR CX,#-2", "81 F1 FE FF", "xor cx,0xfffe"},
      {16, "OR AH,F0", "80 CC F0", "or ah,0xf0"},
      {16, "AND EAX,FF00FF00", "66 25 00 FF 00 FF", "and eax,0xff00ff00"},
      {16, "INC AX", "40", "inc ax"},
      {16, "INC EAX", "66 40", "inc eax"},
      {16, "DEC W.[SI]", "FF 0C", "dec WORD PTR [si]"},
      {16, "NOT D.[EBX+4]", "66 67 F7 53 04", "not DWORD PTR [ebx+0x4]"},
      {16, "PUSH [ESP]", "67 FF 74 24 00", "push WORD PTR [esp+0x0]"},
      {16, "BSWAP ECX", "66 0F C9", "bswap ecx"},
      {16, "POP BX", "5B", "pop bx"},
      {16, "PUSH [EBP]", "67 FF 75 00", "push WORD PTR [ebp+0x0]"},
      {16, "INC [EAX+1C8]", "67 FF 80 C8 01 00 00", "inc WORD PTR [eax+0x1c8]"},
      {16, "INC [EBX+-1]", "67 FF 83 FF FF FF FF", "inc WORD PTR [ebx-0x1]"},
      {16, "NOT D.[EBX+1234]", "66 67 F7 93 34 12 00 00", "not DWORD PTR [ebx+0x1234]"},
      {32, "INC D.[EBX+80]", "FF 83 80 00 00 00", "inc DWORD PTR [ebx+0x80]"},
      {16, "INC [SI+4]", "FF 44 04", "inc WORD PTR [si+0x4]"},
      {16, "INC W.[BX]", "FF 07", "inc WORD PTR [bx]"},
      {16, "PUSH W.[BP+2]", "FF 76 02", "push WORD PTR [bp+0x2]"},
      {16, "PUSH [BP]", "FF 76 00", "push WORD PTR [bp+0x0]"},
      {16, "JMP [BX]", "FF 27", "jmp WORD PTR [bx]"},
      {16, "DEC [AX]", "ERR", ""},
      {16, "CALL [EBX+4]", "67 FF 53 04", "call WORD PTR [ebx+0x4]"},
      {16, "CALL [SI+2]", "FF 54 02", "call WORD PTR [si+0x2]"},
      {16, "MOV EAX,[EBX+ECX*4+80]", "67 66 8B 84 8B 80 00 00 00", "mov eax,DWORD PTR [ebx+ecx*4+0x80]"},
      {16, "MOV EAX,[EBX+ECX*4+-4]", "67 66 8B 44 8B FC", "mov eax,DWORD PTR [ebx+ecx*4-0x4]"},
      {16, "MUL [SI]", "F7 24", "mul WORD PTR [si]"},
      {16, "LMSW [SI]", "0F 01 34", "lmsw WORD PTR [si]"},
      {16, "SMSW [DI]", "0F 01 25", "smsw WORD PTR [di]"},
      {16, "BSWAP [ESI]", "ERR", ""},
      {16, "LGDT AX", "ERR", ""},
      {16, "DIV BL", "F6 F3", "div bl"},
      {16, "NEG DX", "F7 DA", "neg dx"},
      {16, "IMUL ECX", "66 F7 E9", "imul ecx"},
      {16, "IDIV W.[DI]", "F7 3D", "idiv WORD PTR [di]"},
      {16, "MOV CR0,EAX", "0F 22 C0", "mov cr0,eax"},
      {16, "MOV EAX,CR0", "0F 20 C0", "mov eax,cr0"},
      {16, "MOV DS,AX", "8E D8", "mov ds,ax"},
      {16, "MOV AX,ES", "8C C0", "mov ax,es"},
      {16, "MOV ES,BX", "8E C3", "mov es,bx"},
      {16, "LEA AX,[BX]", "8D 07", "lea ax,[bx]"},
      {16, "LEA ESI,[EBX+ECX*8]", "67 66 8D 34 CB", "lea esi,[ebx+ecx*8]"},
      {16, "LEA [BX],AX", "", ""},
      {16, "LEA AX", "ERR", ""},
      {16, "BTS AX,BX", "0F AB D8", "bts ax,bx"},
      {16, "BTR EAX,ECX", "66 0F B3 C8", "btr eax,ecx"},
      {16, "BTS [BX],AX", "ERR", ""},
      {16, "SHL AL,2", "C0 E0 02", "shl al,0x2"},
      {16, "SHR EBX,4", "66 C1 EB 04", "shr ebx,0x4"},
      {16, "RCL CL,3", "C0 D1 03", "rcl cl,0x3"},
      {16, "RCR DX,1", "C1 DA 01", "rcr dx,0x1"},
      {16, "ROR BH,7", "C0 CF 07", "ror bh,0x7"},
      {16, "SHL AX", "ERR", ""},
      {16, "IN AL,P60", "E4 60", "in al,0x60"},
      {16, "IN AX,P60", "E5 60", "in ax,0x60"},
      {16, "OUT P60,AL", "E6 60", "out 0x60,al"},
      {16, "OUT P60 ,AL", "E6 60", "out 0x60,al"},
      {16, "IN AL,DX", "EC", "in al,dx"},
      {16, "IN EAX,DX", "66 ED", "in eax,dx"},
      {16, "OUT DX,AL", "EE", "out dx,al"},
      {16, "OUT AL,DX", "EE", "out dx,al"},
      {16, "LODSW", "AD", "lods ax,WORD PTR ds:[si]"},
      {16, "LODSD", "66 AD", "lods eax,DWORD PTR ds:[si]"},
      {16, "POPF", "9D", "popf"},
      {16, "REP MOVSB", "F3 A4", "rep movs BYTE PTR es:[di],BYTE PTR ds:[si]"},
      {16, "REP", "ERR", ""},
      {16, "REP LODSB", "F3 AC", "rep lods al,BYTE PTR ds:[si]"},
      {16, "REP INSD", "F3 66 6D", "rep ins DWORD PTR es:[di],dx"},
      {16, "REPNZ CMPSB", "F2 A6", "repnz cmps BYTE PTR ds:[si],BYTE PTR es:[di]"},
      {16, "REPE STOSW", "F3 AB", "rep stos WORD PTR es:[di],ax"},
      {16, "REP STOS", "ERR", ""},
      {16, "AAD", "D5 0A", "aad 0xa"},
      {16, "AAD 8", "D5 08", "aad 0x8"},
      {16, "AAD 8H", "ERR", ""},
      {16, "AAM", "D4 0A", "aam 0xa"},
      {16, "INT 21", "CD 21", "int 0x21"},
      {16, "INT 21H", "ERR", ""},
      {16, "INT", "ERR", ""},
      {16, "ENTER 8,0", "C8 08 00 00", "enter 0x8,0x0"},
      {16, "ENTER", "ERR", ""},
      {16, "ENTER 8", "ERR", ""},
      {16, "RETN", "C2 00 00", "ret 0x0"},
      {16, "RETN 4", "C2 04 00", "ret 0x4"},
      {16, "RETF", "CB", "retf"},
      {16, "RET", "C3", "ret"},
      {16, "RETFD", "ERR", ""},
      {16, "PUSH DS", "1E", "push ds"},
      {16, "PUSH FS", "0F A0", "push fs"},
      {16, "PUSH B.5", "6A 05", "push 0x5"},
      {16, "PUSH D.12345678", "66 68 78 56 34 12", "pushd 0x12345678"},
      {16, "PUSH X.5", "", ""},
      {16, "PUSH 5", "ERR", ""},
      {16, "POP GS", "0F A9", "pop gs"},
      {16, "POP CS", "", ""},
      {16, "POP", "ERR", ""},
      {16, "MOVSB", "A4", "movs BYTE PTR es:[di],BYTE PTR ds:[si]"},
      {16, "CMPSB", "A6", "cmps BYTE PTR ds:[si],BYTE PTR es:[di]"},
      {16, "STOSB", "AA", "stos BYTE PTR es:[di],al"},
      {16, "LODSB", "AC", "lods al,BYTE PTR ds:[si]"},
      {16, "STOSD", "66 AB", "stos DWORD PTR es:[di],eax"},
      {16, "PUSHA", "60", "pusha"},
      {16, "PUSHAD", "66 60", "pushad"},
      {16, "NOP", "90", "nop"},
      {16, "NOPE", "90", "nop"},
      {16, "HLT", "F4", "hlt"},
      {16, "CLD", "FC", "cld"},
      {16, "CLI", "FA", "cli"},
      {16, "STI", "FB", "sti"},
      {16, "SAHF", "9E", "sahf"},
      {16, "LEAVE", "C9", "leave"},
      {16, "EMMS", "0F 77", "emms"},
      {16, "AAA", "37", "aaa"},
      {16, "AAS", "3F", "aas"},
      {16, "DAA", "27", "daa"},
      {16, "DAS", "2F", "das"},
      {16, "STC", "F9", "stc"},
      {16, "RDTSC", "0F 31", "rdtsc"},
      {16, "RDMSR", "0F 32", "rdmsr"},
      {16, "RDPMC", "0F 33", "rdpmc"},
      {16, "RSM", "0F AA", "rsm"},
      {16, "FLDPI", "D9 EB", "fldpi"},
      {16, "FWAIT", "9B", "fwait"},
      {16, "FNINIT", "DB E3", "fninit"},
      {16, "FLD ST2", "D9 C2", "fld st(2)"},
      {16, "FXCH", "D9 C9", "fxch st(1)"},
      {16, "FXCH ST3", "D9 CB", "fxch st(3)"},
      {16, "FSTP ST1", "DD D9", "fstp st(1)"},
      {16, "FST ST1", "DD D1", "fst st(1)"},
      {16, "FILD [SI]", "DB 04", "fild DWORD PTR [si]"},
      {16, "FMULP ST1,ST0", "", ""},
      {16, "FSUBR ST1,ST0", "", ""},
      {16, "FYL2XP1", "D9 F9", "fyl2xp1"},
      {16, "FYL2X", "D9 F1", "fyl2x"},
      {16, "FLDL2E", "", ""},
      {16, "FLD FW.[EBX]", "67 DD 03", "fld QWORD PTR [ebx]"},
      {16, "FLD [ESI]", "67 D9 06", "fld DWORD PTR [esi]"},
      {16, "FADD ST(2)", "D8 C2", "fadd st,st(2)"},
      {16, "FADD ST(2),ST", "DC C2", "fadd st(2),st"},
      {16, "FADDP", "DE C1", "faddp st(1),st"},
      {16, "FADDP ST(3),ST", "DE C3", "faddp st(3),st"},
      {16, "FCOMI ST,ST(1)", "DB F1", "fcomi st,st(1)"},
      {16, "FPREM1", "D9 F5", "fprem1"},
      {16, "FNOP", "D9 D0", "fnop"},
      {16, "FDECSTP", "D9 F6", "fdecstp"},
      {16, "FINCSTP", "D9 F7", "fincstp"},
      {16, "FSTCW [SI]", "D9 3C", "fnstcw WORD PTR [si]"},
      {16, "FSTSW [DI]", "DD 3D", "fnstsw WORD PTR [di]"},
      {16, "FBSTP [SI]", "DF 34", "fbstp TBYTE PTR [si]"},
      {16, "FSTP [SI]", "D9 1C", "fstp DWORD PTR [si]"},
      {16, "FDIVP [SI]", "ERR", ""},
      {16, "FDIVP ST(1),ST", "DE F9", "fdivp st(1),st"},
      {16, "FMUL ST(1),ST", "DC C9", "fmul st(1),st"},
      {16, "FMUL [SI]", "D8 0C", "fmul DWORD PTR [si]"},
      {16, "FFREE ST(2)", "DD C2", "ffree st(2)"},
      {16, "FUCOM ST(1)", "DD E1", "fucom st(1)"},
      {16, "FUCOM", "ERR", ""},
      {16, "FIDIVR [SI]", "DA 3C", "fidivr DWORD PTR [si]"},
      {16, "FISTP [SI]", "DB 1C", "fistp DWORD PTR [si]"},
      {16, "FIST [SI]", "DB 14", "fist DWORD PTR [si]"},
      {16, "FCOM ST(3)", "D8 D3", "fcom st(3)"},
      {16, "FSQRT", "D9 FA", "fsqrt"},
      {16, "FLD1", "D9 E8", "fld1"},
      {16, "FLDZ", "D9 EE", "fldz"},
      {16, "MOVQ MM0,MM1", "0F 6F C1", "movq mm0,mm1"},
      {16, "PADDUSW MM1,MM2", "0F DD CA", "paddusw mm1,mm2"},
      {16, "POR MM0,MM1", "", ""},
      {16, "MOVD MM0,EAX", "0F 6E C0", "movd mm0,eax"},
      {16, "MOVD EAX,MM1", "0F 7E C8", "movd eax,mm1"},
      {16, "MOVQ [EBX],MM2", "67 0F 7F 13", "movq QWORD PTR [ebx],mm2"},
      {16, "PACKSSWB MM1,[ESI+8]", "67 0F 63 4E 08", "packsswb mm1,QWORD PTR [esi+0x8]"},
      {16, "PADDUSB AX,BX", "ERR", ""},
      {16, "JMP $5", "EB 05", "jmp 0x7"},
      {16, "JNZ $-2", "75 FE", "jne 0x0"},
      {16, "JMP 1000:20", "EA 20 00 00 10", "jmp 0x1000:0x20"},
      {16, "CALL AX", "FF D0", "call ax"},
      {16, "CALL EBX", "66 FF D3", "call ebx"},
      {16, "CALL [SI]", "FF 14", "call WORD PTR [si]"},
      {16, "CALL [EBX]", "67 FF 13", "call WORD PTR [ebx]"},
      {16, "CALL F.[EBX]", "67 FF 1B", "call DWORD PTR [ebx]"},
      {16, "CALL [BX]", "FF 17", "call WORD PTR [bx]"},
      {16, "CALL [ESP]", "67 FF 14 24", "call WORD PTR [esp]"},
      {16, "CALL 1000:20", "9A 20 00 00 10", "call 0x1000:0x20"},
      {16, "CALL NOWHERE", "ERR", ""},
      {16, "JMP 300", "E9 FD 02", "jmp 0x300"},
      {16, "JMP NOWHERE", "ERR", ""},
      {16, "[BITS 16]", "ERR", ""},
      {16, "[ORG 100", "ERR", ""},
      {16, "[MODE ASLI]", "", ""},
      {16, "[FOO]", "", ""},
      {16, "DB 1,2,3", "01 02 03", ""},
      {16, "DW 1234, #10", "34 12 0A 00", ""},
      {16, "DD 'ABCD", "44 43 42 41", ""},
      {16, "DB \"HELLO\"", "48 45 4C 4C 4F", ""},
      {16, "DW \"AB\"", "41 42", ""},
      {16, "DW 1,2", "01 00 02 00", ""},
      {16, "DB", "", ""},
      {16, "DD 1,2,3,4,5,6,7,8", "ERR", ""},
      {16, "DB \"ABC", "41 42 43 00", ""},
      {16, "DB 1,X", "ERR", ""},
      {16, "DB 1,2 ", "01 02", ""},
      {16, "XYZ", "", ""},
      {16, "G1", "", ""},
      {16, "1234", "", ""},
      {16, "@X", "", ""},
      {16, "INCLUDE X", "", ""},
      {16, "LOOPNE X", "", ""},
      {16, "MOVS", "ERR", ""},
      {32, "MOV AX,BX", "66 8B C3", "mov ax,bx"},
      {32, "MOV EAX,EBX", "8B C3", "mov eax,ebx"},
      {32, "MOV AX,5", "66 B8 05 00", "mov ax,0x5"},
      {32, "MOV EAX,[EBX]", "8B 03", "mov eax,DWORD PTR [ebx]"},
      {32, "MOV AX,[BX]", "67 66 8B 07", "mov ax,WORD PTR [bx]"},
      {32, "MOV AX,[ESI+10]", "66 8B 46 10", "mov ax,WORD PTR [esi+0x10]"},
      {32, "ADD D.[EAX],7", "81 00 07 00 00 00", "add DWORD PTR [eax],0x7"},
      {32, "POP BX", "66 5B", "pop bx"},
      {32, "PUSH EAX", "50", "push eax"},
      {32, "LODSW", "66 AD", "lods ax,WORD PTR ds:[esi]"},
      {32, "POPF", "66 9D", "popfw"},
      {32, "REP MOVSW", "F3 66 A5", "rep movs WORD PTR es:[edi],WORD PTR ds:[esi]"},
      {32, "ROL AX,1", "66 C1 C0 01", "rol ax,0x1"},
      {32, "PUSH W.5", "66 68 05 00", "pushw 0x5"},
      {32, "PUSH D.5", "68 05 00 00 00", "push 0x5"},
      {32, "IN AX,DX", "66 ED", "in ax,dx"},
      {32, "CALL [SI]", "67 FF 14", "call DWORD PTR [si]"},
      {32, "CALL [EBX]", "FF 13", "call DWORD PTR [ebx]"},
      {32, "CALL AX", "66 FF D0", "call ax"},
      {32, "FLD [ESI]", "D9 06", "fld DWORD PTR [esi]"},
      {32, "NOT W.[EBX]", "66 F7 13", "not WORD PTR [ebx]"},
      {32, "LGDT [ESI]", "0F 01 16", "lgdtd [esi]"},
      {32, "MOVQ MM0,[EBX+ECX*4]", "0F 6F 04 8B", "movq mm0,QWORD PTR [ebx+ecx*4]"},
      {32, "MOVQ MM0,[BX]", "67 0F 6F 07", "movq mm0,QWORD PTR [bx]"},
      {32, "JMP 1000:20", "EA 20 00 00 00 00 10", "jmp 0x1000:0x20"},
};
// clang-format on

TEST(Encoding, LinesProduceTheirBytes) {
  for (const auto& c : kEncodings) {
    EXPECT_EQ(EncodeOne(c.line, c.bits), c.hex) << c.bits << "-bit: " << c.line;
  }
}

std::string Disassemble(const std::string& hex, int bits) {
  char path[] = "/tmp/quorix-objdump-XXXXXX";
  int fd = mkstemp(path);
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 3) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return "?";
  close(fd);
  std::string cmd = std::string("objdump -D -b binary -m ") + (bits == 32 ? "i386" : "i8086") +
                    " -M intel " + path + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out, line;
  bool body = false;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) {
    line = buf;
    if (line.find("<.data>:") != std::string::npos) {
      body = true;
      continue;
    }
    if (!body) continue;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    std::string ins = line.substr(t2 + 1);
    std::string norm;
    for (char c : ins) {
      if (c == '\n') break;
      if (c == ' ' && (norm.empty() || norm.back() == ' ')) continue;
      norm += c;
    }
    while (!norm.empty() && norm.back() == ' ') norm.pop_back();
    if (!out.empty()) out += ';';
    out += norm;
  }
  pclose(p);
  unlink(path);
  return out;
}

TEST(Encoding, StandardFormsReadBackAsWrittenByTheDisassembler) {
  if (system("objdump --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "objdump not installed";
  int checked = 0;
  for (const auto& c : kEncodings) {
    if (!*c.disasm) continue;
    EXPECT_EQ(Disassemble(c.hex, c.bits), c.disasm) << c.line;
    ++checked;
  }
  EXPECT_GT(checked, 150);
}

}  // namespace
}  // namespace quorix
