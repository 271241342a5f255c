// The instructions added to the dialect and the operand forms it refuses:
// every encoded row is checked byte for byte and against the system
// disassembler's reading; every refused row by its reason.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/asm_support.h"
#include "support/objdump_support.h"
#include "text/lines.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;
using testing_support::Disassemble;
using testing_support::EncodeOne;

struct Row {
  int bits;
  const char* line;
  const char* hex;
  const char* disasm;  // objdump's reading of the bytes
};

// clang-format off
const Row kAdded[] = {
    {16, "IMUL AX,BX", "0F AF C3", "imul ax,bx"},
    {16, "IMUL EAX,ECX", "66 0F AF C1", "imul eax,ecx"},
    {32, "IMUL AX,BX", "66 0F AF C3", "imul ax,bx"},
    {32, "IMUL EAX,[EBX+4]", "0F AF 43 04", "imul eax,DWORD PTR [ebx+0x4]"},
    {16, "IMUL AX,[BX]", "0F AF 07", "imul ax,WORD PTR [bx]"},
    {16, "IMUL AX,W.[BX]", "0F AF 07", "imul ax,WORD PTR [bx]"},
    {16, "IMUL AX,10", "69 C0 10 00", "imul ax,ax,0x10"},
    {16, "IMUL AX,BX,10", "69 C3 10 00", "imul ax,bx,0x10"},
    {16, "IMUL EAX,EBX,10", "66 69 C3 10 00 00 00", "imul eax,ebx,0x10"},
    {32, "IMUL CX,[ESI+8],#-3", "66 69 4E 08 FD FF", "imul cx,WORD PTR [esi+0x8],0xfffd"},
    {16, "IMUL AX,[BX+SI+4],1234", "69 40 04 34 12", "imul ax,WORD PTR [bx+si+0x4],0x1234"},
    {16, "SBB AX,BX", "1B C3", "sbb ax,bx"},
    {16, "SBB CL,5", "80 D9 05", "sbb cl,0x5"},
    {16, "SBB BX,1234", "81 DB 34 12", "sbb bx,0x1234"},
    {16, "SBB W.[BX],5", "81 1F 05 00", "sbb WORD PTR [bx],0x5"},
    {32, "SBB EAX,12345678", "1D 78 56 34 12", "sbb eax,0x12345678"},
    {16, "CLC", "F8", "clc"},
    {16, "CMC", "F5", "cmc"},
    {16, "STD", "FD", "std"},
    {16, "CBW", "98", "cbw"},
    {32, "CBW", "66 98", "cbw"},
    {16, "CWDE", "66 98", "cwde"},
    {16, "CWD", "99", "cwd"},
    {32, "CDQ", "99", "cdq"},
    {16, "CDQ", "66 99", "cdq"},
    {16, "LAHF", "9F", "lahf"},
    {16, "IRET", "CF", "iret"},
    {32, "IRET", "66 CF", "iretw"},
    {16, "IRETD", "66 CF", "iretd"},
    {32, "IRETD", "CF", "iret"},
    {16, "BT AX,BX", "0F A3 D8", "bt ax,bx"},
    {16, "BTC EAX,ECX", "66 0F BB C8", "btc eax,ecx"},
    {16, "BT AX,3", "0F BA E0 03", "bt ax,0x3"},
    {32, "BTC AX,1F", "66 0F BA F8 1F", "btc ax,0x1f"},
    {16, "BT [BX],AX", "0F A3 07", "bt WORD PTR [bx],ax"},
    {16, "BTS D.[EBX+4],ECX", "67 66 0F AB 4B 04", "bts DWORD PTR [ebx+0x4],ecx"},
    {16, "BTR W.[SI],5", "0F BA 34 05", "btr WORD PTR [si],0x5"},
    {16, "SAL AX,3", "C1 E0 03", "shl ax,0x3"},
    {16, "SAR W.[BX],2", "C1 3F 02", "sar WORD PTR [bx],0x2"},
    {32, "SAR EAX,1", "C1 F8 01", "sar eax,0x1"},
    {16, "MOVZX AX,BL", "0F B6 C3", "movzx ax,bl"},
    {32, "MOVSX EAX,BL", "0F BE C3", "movsx eax,bl"},
    {16, "MOVZX AX,[BX]", "0F B6 07", "movzx ax,BYTE PTR [bx]"},
    {16, "MOVSX EAX,W.[BX+2]", "66 0F BF 47 02", "movsx eax,WORD PTR [bx+0x2]"},
    {16, "MOVSX EAX,B.[BX+2]", "66 0F BE 47 02", "movsx eax,BYTE PTR [bx+0x2]"},
    {16, "LDS SI,[BX]", "C5 37", "lds si,DWORD PTR [bx]"},
    {32, "LDS ESI,[EBX]", "C5 33", "lds esi,FWORD PTR [ebx]"},
    {16, "XLAT", "D7", "xlat BYTE PTR ds:[bx]"},
    {16, "SCASB", "AE", "scas al,BYTE PTR es:[di]"},
    {32, "SCASW", "66 AF", "scas ax,WORD PTR es:[edi]"},
    {16, "SCASD", "66 AF", "scas eax,DWORD PTR es:[di]"},
    {16, "CMPSW", "A7", "cmps WORD PTR ds:[si],WORD PTR es:[di]"},
    {32, "CMPSD", "A7", "cmps DWORD PTR ds:[esi],DWORD PTR es:[edi]"},
    {16, "INSB", "6C", "ins BYTE PTR es:[di],dx"},
    {16, "INSD", "66 6D", "ins DWORD PTR es:[di],dx"},
    {16, "OUTSB", "6E", "outs dx,BYTE PTR ds:[si]"},
    {32, "OUTSW", "66 6F", "outs dx,WORD PTR ds:[esi]"},
    {16, "OUTSD", "66 6F", "outs dx,DWORD PTR ds:[si]"},
    {16, "INT3", "CC", "int3"},
    {16, "INTO", "CE", "into"},
    {16, "WAIT", "9B", "fwait"},
    {16, "SETZ AL", "0F 94 C0", "sete al"},
    {16, "SETG [BX]", "0F 9F 07", "setg BYTE PTR [bx]"},
    {32, "SETAE B.[EBX+ECX*2]", "0F 93 04 4B", "setae BYTE PTR [ebx+ecx*2]"},
    {16, "SETPO CH", "0F 9B C5", "setnp ch"},
    {16, "BSF AX,BX", "0F BC C3", "bsf ax,bx"},
    {16, "BSR EAX,[EBX]", "67 66 0F BD 03", "bsr eax,DWORD PTR [ebx]"},
    {16, "XADD AX,BX", "0F C1 D8", "xadd ax,bx"},
    {16, "XADD [BX],AL", "0F C0 07", "xadd BYTE PTR [bx],al"},
    {32, "XADD [EBX],ECX", "0F C1 0B", "xadd DWORD PTR [ebx],ecx"},
    {16, "CMPXCHG [SI],CX", "0F B1 0C", "cmpxchg WORD PTR [si],cx"},
    {16, "CPUID", "0F A2", "cpuid"},
    {32, "BOUND EAX,[EBX]", "62 03", "bound eax,QWORD PTR [ebx]"},
    {16, "CMOVZ AX,BX", "0F 44 C3", "cmove ax,bx"},
    {16, "CMOVNE EAX,[EBX]", "67 66 0F 45 03", "cmovne eax,DWORD PTR [ebx]"},
    {32, "CMOVGE CX,DX", "66 0F 4D CA", "cmovge cx,dx"},
    {16, "LOCK ADD [BX],AX", "F0 01 07", "lock add WORD PTR [bx],ax"},
    {32, "LOCK XCHG [EBX],EAX", "F0 87 03", "lock xchg DWORD PTR [ebx],eax"},
    {32, "LOCK CMPXCHG [ESI],ECX", "F0 0F B1 0E", "lock cmpxchg DWORD PTR [esi],ecx"},
    {16, "LOCK BTS [BX],AX", "F0 0F AB 07", "lock bts WORD PTR [bx],ax"},
    {16, "LOCK SBB B.[BX],1", "F0 80 1F 01", "lock sbb BYTE PTR [bx],0x1"},
    {16, "FSUBR [SI]", "D8 2C", "fsubr DWORD PTR [si]"},
    {16, "FSUBR ST,ST(2)", "D8 EA", "fsubr st,st(2)"},
    {16, "FSUBR ST(2),ST", "DC E2", "fsubr st(2),st"},
    {16, "FSUBP ST(1),ST", "DE E9", "fsubp st(1),st"},
    {16, "FSUBP", "DE E9", "fsubp st(1),st"},
    {16, "FSUBRP", "DE E1", "fsubrp st(1),st"},
    {16, "FMULP ST(2),ST", "DE CA", "fmulp st(2),st"},
    {16, "FMULP", "DE C9", "fmulp st(1),st"},
    {16, "FCOMP ST(2)", "D8 DA", "fcomp st(2)"},
    {16, "FCOMP [SI]", "D8 1C", "fcomp DWORD PTR [si]"},
    {16, "FCOMP FW.[SI]", "DC 1C", "fcomp QWORD PTR [si]"},
    {16, "FCOMPP", "DE D9", "fcompp"},
    {16, "FUCOMP ST(3)", "DD EB", "fucomp st(3)"},
    {16, "FUCOMPP", "DA E9", "fucompp"},
    {16, "FDIVRP", "DE F1", "fdivrp st(1),st"},
    {16, "FLDL2E", "D9 EA", "fldl2e"},
    {16, "FLDLN2", "D9 ED", "fldln2"},
    {16, "FNSAVE [SI]", "DD 34", "fnsave [si]"},
};
// clang-format on

TEST(Instructions, AddedFormsProduceTheProcessorsBytes) {
  for (const auto& r : kAdded)
    EXPECT_EQ(EncodeOne(r.line, r.bits), r.hex) << r.bits << ": " << r.line;
}

TEST(Instructions, AddedFormsReadBackAsWritten) {
  if (system("objdump --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "objdump not installed";
  for (const auto& r : kAdded) EXPECT_EQ(Disassemble(r.hex, r.bits), r.disasm) << r.line;
}

// Whole programs: short jumps to labels, and lines that keep what they meant.
struct Program {
  std::vector<std::string> lines;
  const char* hex;
};

TEST(Instructions, ShortJumpsAndKeptLines) {
  const Program kPrograms[] = {
      {{"L:", "JCXZ L", "LOOPNE L", "LOOPZ L"}, "E3 FE E0 FC E1 FA"},
      {{"[BITS #32]", "L:", "JCXZ L", "JECXZ L", "LOOPE L"}, "67 E3 FD E3 FB E1 F9"},
      {{"JECXZ L", "NOP", "L:"}, "67 E3 01 90"},
      // the segment override after 66 in the single-operand label form
      {{"INC D.ES:[L]", "L:"}, "67 66 26 FF 05 09 00 00 00"},
      // a second operand beside ST(0) keeps its bytes; a label line stays one
      {{"FXCH ST,ST(1)", "FST ST(1),ST", "FADDP ST(2)", "STDOUT DATA", "CLC PROC"},
       "D9 C9 DD D1 DE C2"},
  };
  for (const auto& p : kPrograms) {
    AsmHarness h;
    const AsmRun run = h.Run(AsmHarness::Join(p.lines));
    EXPECT_EQ(run.state2, Compiled) << p.lines[0] << " " << run.report.error;
    EXPECT_EQ(run.Hex(), p.hex) << p.lines[0];
  }
  AsmHarness far;
  std::vector<std::string> lines = {"L:"};
  for (int i = 0; i < 130; ++i) lines.push_back("NOP");
  lines.push_back("LOOPNE L");
  EXPECT_EQ(far.Run(AsmHarness::Join(lines)).report.error, "label farther than a signed byte");
}

TEST(Instructions, NamedLabelLinesAreNoLinesWithoutBytes) {
  AsmHarness h;
  const AsmRun run = h.Run(AsmHarness::Join({"X LABEL", "Y PROC", "NOP", "XYZ"}));
  ASSERT_EQ(run.state2, Compiled);
  EXPECT_EQ(run.report.silentLines, std::vector<uint32_t>({4}));
}

TEST(LineScan, BoundedSearchStopsAtItsLength) {
  // Eight readable bytes, of which only the first may be searched.
  const uint8_t text[] = {'X', '\n', ' ', 'P', 'R', 'O', 'C', ';'};
  EXPECT_EQ(FirstOf3(text, 1, sizeof text, ':', ';', ';'), 1u);
  EXPECT_EQ(FirstOf3(text, 8, sizeof text, ':', ';', ';'), 7u);
}

}  // namespace
}  // namespace quorix
