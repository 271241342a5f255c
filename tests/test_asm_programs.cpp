// Whole sources through the two-pass driver: labels, jumps, the anonymous
// label, records, errors, capacity and the written file.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "asm/operands.h"
#include "support/asm_support.h"
#include "text/lines.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

std::string Nops(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "NOP\r\n";
  return s;
}

struct ProgramCase {
  const char* name;
  std::string source;
  std::string hex;  // bytes of the written file, or "ERR <line>"
};

TEST(Programs, JumpsCallsAndLabels) {
  const ProgramCase cases[] = {
      {"near JMP 0x80 ahead", "[ORG 100]\r\nJMP L\r\n" + Nops(0x7D) + "L:\r\nHLT",
       "E9 7D 00" + Repeat(" 90", 0x7D) + " F4"},
      {"JMP to itself keeps its bytes", "L:\r\nJMP L", "E9 FD FF"},
      {"JMP to itself in 32-bit code", "[BITS #32]\r\nL:\r\nJMP L", "E9 FB FF FF FF"},
      {"JZ backwards", "[ORG 100]\r\nL:\r\n" + Nops(16) + "JZ L",
       Repeat("90 ", 16) + "0F 84 EC FF"},
      {"LOOP two bytes back", "L1:\r\nNOP\r\nNOP\r\nLOOP L1", "90 90 E2 FC"},
      {"anonymous label", "@@\r\nNOP\r\nJMP @@", "90 E9 FC FF"},
      {"forward CALL", "CALL WORK\r\nRET\r\nWORK:\r\nNOP", "E8 01 00 C3 90"},
      {"label lines emit nothing, whatever their name begins with",
       "RETRY:\r\nOUTPUT:\r\nPUSHALL:\r\nSUB1:\r\nLOOP1:\r\nNOP", "90"},
      {"a word that begins with a mnemonic is taken for it", "NOPE\r\nRETRY", "90 C3"},
      {"conditional jump to a label at 0 finds the label", "ABC:\r\nJZ ABC", "0F 84 FC FF"},
      {"label on the last line has the final address",
       "MOV AX, OFFSET ENDL\r\nNOP\r\nENDL:", "B8 04 00 90"},
      {"absolute JMP without label", "JMP 300", "E9 FD 02"},
      {"address-of keywords",
       "[ORG 100]\r\nMOV AX, ALAMAT D1\r\nMOV BX, ALMT D1\r\nMOV ECX, OFFSET D1\r\nD1 DATA\r\nDB 7",
       "B8 0C 01 BB 0C 01 66 B9 0C 01 00 00 07"},
      {"labels are case-insensitive", "start:\r\nNOP\r\njmp START", "90 E9 FC FF"},
      {"first definition wins", "X:\r\nNOP\r\nX:\r\nNOP\r\nJMP X", "90 90 E9 FB FF"},
      {"PROC and LABEL lines", "JMP MAIN\r\nNOP\r\nMAIN PROC\r\nHLT\r\nHERE LABEL NEAR\r\nJMP HERE",
       "E9 01 00 90 F4 E9 FD FF"},
      {"comment after a label", "START: ; entry\r\nNOP\r\nJMP START", "90 E9 FC FF"},
      {"32-bit call and jump", "[BITS #32]\r\n[ORG 100]\r\nCALL F\r\nJMP F\r\nF:\r\nRET",
       "E8 05 00 00 00 E9 00 00 00 00 C3"},
      {"ORG is hexadecimal, ASLI decimal", "[ASLI #256]\r\nMOV AX, OFFSET L\r\nL:", "B8 03 01"},
      {"far jump to a label", "[ORG 100]\r\nJMP 0:OFFSET T\r\nT:", "EA 05 01 00 00"},
      {"LOOP out of range fails", "L:\r\n" + Nops(200) + "LOOP L", "ERR 202"},
      {"unknown label in OFFSET fails", "NOP\r\nMOV AX, OFFSET NOWHERE", "ERR 2"},
      {"unknown conditional target fails", "JNZ NOWHERE", "ERR 1"},
      {"LOOP without operand fails", "LOOP", "ERR 1"},
      {"tab-indented source", "\tMOV\tAX,1\r\n\tNOP", "B8 01 00 90"},
      {"LF line ends reach every line", "MOV AX,1\nNOP\nHLT\n", "B8 01 00 90 F4"},
      {"single line without line end", "NOP", "90"},
      {"empty source", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AsmHarness h;
    AsmRun r = h.Run(c.source);
    std::string got = r.state2 == Compiled ? r.Hex() : "ERR " + std::to_string(r.state3);
    EXPECT_EQ(got, c.hex);
  }
}

// Each line is assembled whole and correctly, or fails with its number;
// none is shortened or dropped quietly.
TEST(Driver, LinesAssembleWholeOrFail) {
  const std::string label255(255, 'L');
  const ProgramCase cases[] = {
      {"text beyond column 1,023", "HERE:\r\nNOP\r\nJMP" + std::string(1093, ' ') + "HERE",
       "ERR 3"},
      {"a comment of 1,100 characters", "NOP\r\n; " + std::string(1098, 'x'), "ERR 2"},
      {"1,023 characters fit the line buffer", "NOP" + std::string(1020, ' '), "90"},
      {"1,024 characters do not", "NOP" + std::string(1021, ' '), "ERR 1"},
      {"text after a NUL byte", std::string("MOV AX, 1\0, 2\r\nNOP", 19), "ERR 1"},
      {"a NUL with nothing behind it", std::string("NOP\0\r\nHLT", 9), "90 F4"},
      {"CR-only line ends", "MOV AX,1\rNOP\rHLT", "B8 01 00 90 F4"},
      {"CR LF, CR and LF mixed", "NOP\r\nNOP\rHLT\nSTC", "90 90 F4 F9"},
      {"empty second operand", "NOP\r\nMOV AX,", "ERR 2"},
      {"blank second operand", "MOV AX, ", "ERR 1"},
      {"empty operand to ADD", "ADD BX,", "ERR 1"},
      {"empty entry in a data list", "DW 1,,2", "ERR 1"},
      {"data list ending in a comma", "DB 1,", "ERR 1"},
      {"data list as written", "DW 1, 2", "01 00 02 00"},
      {"shift by CL without a blank after the mnemonic", "RORX,CL", "ERR 1"},
      {"shift by CL with its register", "ROR AX,CL", "D3 C8"},
      {"label above FFFF in 16-bit code", "[ORG FFFFFFFF]\r\nL:\r\nMOV AX, OFFSET L", "ERR 3"},
      {"label at 10000 in 16-bit code", "[ORG FFFF]\r\nNOP\r\nL:\r\nMOV AX, OFFSET L", "ERR 4"},
      {"label at FFFF in 16-bit code", "[ORG FFFE]\r\nNOP\r\nL:\r\nMOV AX, OFFSET L",
       "90 B8 FF FF"},
      {"jump to a label above FFFF", "[ORG FFFFFFFF]\r\nL:\r\nJMP L", "ERR 3"},
      {"conditional jump to a label above FFFF", "[ORG 12345]\r\nL:\r\nJZ L", "ERR 3"},
      {"call to a label above FFFF", "[ORG 12345]\r\nL:\r\nCALL L", "ERR 3"},
      {"LOOP to a label above FFFF", "[ORG 12345]\r\nL:\r\nLOOP L", "ERR 3"},
      {"32-bit code holds the address", "[BITS #32]\r\n[ORG FFFFFF00]\r\nL:\r\nMOV EAX, OFFSET L",
       "B8 00 FF FF FF"},
      {"label at 0 named like a number", "BEEF:\r\nNOP\r\nJZ BEEF", "90 0F 84 FB FF"},
      {"label at 0 named like no number", "START:\r\nNOP\r\nJZ START", "90 0F 84 FB FF"},
      {"label at 0 from LOOP", "START:\r\nNOP\r\nLOOP START", "90 E2 FD"},
      {"label of 255 characters", label255 + ":\r\nNOP\r\nJMP " + label255, "90 E9 FC FF"},
      {"label of 255 characters, conditional", label255 + ":\r\nNOP\r\nJNZ " + label255,
       "90 0F 85 FB FF"},
      {"label of 255 characters, PROC form", label255 + " PROC\r\nNOP\r\nCALL " + label255,
       "90 E8 FC FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AsmHarness h;
    AsmRun r = h.Run(c.source);
    std::string got = r.state2 == Compiled ? r.Hex() : "ERR " + std::to_string(r.state3);
    EXPECT_EQ(got, c.hex);
    EXPECT_EQ(h.pf.files[h.path], c.source) << "the source file is never changed";
  }
}

TEST(Driver, LineRecordsHoldCountsAndOffsets) {
  AsmHarness h;
  AsmRun r = h.Run("[ORG 100]\r\n; comment\r\nMOV AX,1\r\n\r\nL:\r\nINT 21");
  ASSERT_EQ(r.state2, Compiled);
  const struct {
    uint32_t count, address;
  } want[] = {{0, 0}, {0, 0}, {3, 0}, {0, 3}, {0, 3}, {2, 3}};
  for (uint32_t k = 0; k < 6; ++k) {
    EXPECT_EQ(h.records().Get(k).ByteCount, want[k].count) << "line " << k + 1;
    EXPECT_EQ(h.records().Get(k).Address, want[k].address) << "line " << k + 1;
  }
  EXPECT_EQ(r.bytes.size(), 5u);
}

TEST(Driver, FailingLineStopsTheRunAndWritesNothing) {
  AsmHarness h;
  h.checkEveryLine = false;
  // Mark the records of lines 5 to 10 so we can see they stay untouched.
  for (uint32_t k = 0; k < 10; ++k)
    h.ws->Write32(Workspace::Address(Area::LineRecords) + 8 * k, 0xAB);
  std::vector<std::string> lines = {"NOP", "NOP", "NOP", "NOP", "MOV AX, [NOPE]",
                                    "NOP", "NOP", "NOP", "NOP", "NOP"};
  AsmRun r = h.Run(AsmHarness::Join(lines));
  EXPECT_EQ(r.state2, CompileFailed);
  EXPECT_EQ(r.state3, 5u);
  EXPECT_EQ(h.pf.files.count("C:\\SRC\\T.com"), 0u);
  for (uint32_t k = 0; k < 10; ++k) {
    const uint32_t c = h.records().Get(k).ByteCount;
    EXPECT_EQ(c, k < 4 ? 1u : k == 4 ? 0u : 0xABu) << k;
  }
}

TEST(Driver, SecondCompileReplacesTheOldFile) {
  AsmHarness h;
  ASSERT_EQ(h.Run("DB 1,2,3,4").state2, Compiled);
  AsmRun r = h.Run("NOP");
  ASSERT_EQ(r.state2, Compiled);
  EXPECT_EQ(h.pf.files["C:\\SRC\\T.com"], std::string("\x90"));
}

// Compiling the same source again gives the same result: pass 1 never sees
// the addresses an earlier run left in the line records.
TEST(Driver, CompilingAgainGivesTheSameResult) {
  const struct {
    const char* title;
    std::string source;
  } cases[] = {
      {"label above FFFF before a later error",
       "[ORG FFFFFF]\r\nL:\r\nMOV AX, OFFSET L\r\n[ASLI 2[MO00"},
      {"forward label above FFFF",
       "[ORG FFF0]\r\nJMP L\r\nDB 1,2,3,4,5,6,7,8,9,A,B,C,D,E,F,10\r\nL:\r\nNOP"},
      {"forward label that fits", "JMP L\r\nNOP\r\nL:\r\nMOV AX, OFFSET L"},
  };
  for (const auto& c : cases) {
    AsmHarness h;
    const AsmRun first = h.Run(c.source);
    for (int again = 0; again < 2; ++again) {
      const AsmRun next = h.Run(c.source);
      EXPECT_EQ(next.state2, first.state2) << c.title;
      EXPECT_EQ(next.state3, first.state3) << c.title;
      EXPECT_EQ(next.Hex(), first.Hex()) << c.title;
    }
  }
}

// Pass 2 starts with the origin and the "@@" address pass 1 ended with, so
// lines above an [ORG] and jumps to "@@" above the first "@@" line get their
// final values only in pass 2. Pass 2 keeps pass 1's bytes only for lines in
// step with pass 1; AsmHarness::Run also assembles each source with every
// line encoded again and requires the same bytes and line records.
TEST(Driver, PassTwoStartsWherePassOneEnded) {
  const struct {
    const char* name;
    std::string source;
    std::string hex;
  } cases[] = {
      {"line above ORG", "NOP\r\n[ORG 100]\r\nNOP", "90 90"},
      {"absolute jump above ORG uses the final origin", "JMP 300\r\n[ORG 100]\r\nJMP 300",
       "E9 FD 01 E9 FA 01"},
      {"@@ jump above the @@ line", "JMP @@\r\nNOP\r\n@@\r\nJMP @@", "E9 01 00 90 E9 FD FF"},
      {"widths and origins change on the way",
       "[BITS #32]\r\nNOP\r\n[BITS #16]\r\nJMP 300\r\n[ORG 200]\r\nMOV AX, OFFSET L\r\nL:",
       "90 E9 FC 00 B8 07 02"},
      {"label above ORG", "X:\r\nJMP X\r\n[ORG 100]\r\nJMP X", "E9 FD FE E9 FA FF"},
      {"two origins", "MOV AX, 1\r\n[ORG 10]\r\nDB 1\r\n[ORG 20]\r\nJMP 30\r\n@@\r\nJMP @@",
       "B8 01 00 01 E9 09 00 E9 FD FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AsmHarness h;
    const AsmRun r = h.Run(c.source);
    ASSERT_EQ(r.state2, Compiled);
    EXPECT_EQ(r.Hex(), c.hex);
  }
}

TEST(Driver, OutputNames) {
  const struct {
    const char* source;
    const char* output;
  } cases[] = {
      {"C:\\WORK\\TEST.ASM", "C:\\WORK\\TEST.com"},
      {"C:\\MY.DIR\\TEST.ASM", "C:\\MY.DIR\\TEST.com"},
      {"C:\\SRC\\A.B.ASM", "C:\\SRC\\A.com"},
      {"C:\\SRC\\NODOT", "C:\\SRC\\NODOT.com"},
      {"/home/u/prog.v2/x.asm", "/home/u/prog.v2/x.com"},
      {"plain", "plain.com"},
      {"C:\\DIR\\", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(OutputNameFor(c.source), c.output) << c.source;
  EXPECT_EQ(OutputNameFor(std::string(600, 'A').c_str()), "") << "does not fit the buffer";
  EXPECT_EQ(OutputNameFor((std::string(507, 'A') + ".ASM").c_str()),
            std::string(507, 'A') + ".com");
  EXPECT_EQ(OutputNameFor((std::string(508, 'A') + ".ASM").c_str()), "");
}

TEST(Driver, UnwritableOutputIsNotSuccess) {
  AsmHarness h;
  h.pf.failWrites = true;
  AsmRun r = h.Run("NOP");
  EXPECT_EQ(r.state2, WriteFailed);
  EXPECT_EQ(r.outputPath, "C:\\SRC\\T.com");

  AsmHarness same;
  same.SetPath("C:\\SRC\\PROG.COM");
  r = same.Run("NOP");
  EXPECT_EQ(r.state2, WriteFailed) << "must never overwrite the source";
  EXPECT_EQ(same.pf.files["C:\\SRC\\PROG.COM"], "NOP");
}

TEST(Driver, CapacityLimitsStopAtTheLine) {
  {
    AsmHarness h;  // more label lines than the symbol table holds
    std::string s;
    for (int i = 0; i < 19'000; ++i) s += "L" + std::to_string(i) + ":\r\n";
    AsmRun r = h.Run(s);
    EXPECT_EQ(r.state2, CompileFailed);
    EXPECT_EQ(r.state3, 18'750u);
  }
  {
    AsmHarness h;  // more lines than there are LineRecords
    AsmRun r = h.Run(std::string(240'000, '\n'));
    EXPECT_EQ(r.state2, CompileFailed);
    EXPECT_EQ(r.state3, 237'501u);
  }
  {
    AsmHarness h;  // more output than its region: the text is placed directly
    std::string line = "DD 1,2,3,4,5,6,7\r\n";
    auto text = h.ws->Bytes(Area::SourceText);
    uint32_t n = 0;
    for (int i = 0; i < 80'000; ++i, n += line.size())
      std::copy(line.begin(), line.end(), text.begin() + n);
    BuildLineIndex(text, h.ws->Bytes(Area::SourceIndex), n);
    AsmEnv& env = h.as.env();
    env.regions = WorkspaceRegions(*h.ws, n, CountLines(text, n));
    const AssembleReport report = AssembleSource(env);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.errorLine, 2'000'000u / 28 + 1);
  }
}

TEST(Symbols, TableAndLookup) {
  AsmHarness h;
  h.Run("START:\r\nNOP\r\nJMP START\r\n  MAIN PROC\r\nMOV AX, ES:[BX]\r\nlower:");
  std::vector<uint32_t> table;
  for (uint32_t k = 0;; ++k) {
    uint32_t v = 0;
    h.ws->Read32(Workspace::Address(Area::Symbols) + 4 * k, v);
    if (v == 0) break;
    table.push_back(v);
  }
  EXPECT_EQ(table, (std::vector<uint32_t>{1, 4, 5, 6}));
  AsmEnv& env = h.as.env();
  const struct {
    const char* text;
    uint32_t line;
    uint32_t address;
  } cases[] = {
      {"JMP START", 1, 0},  // the address recorded for line 2 (the NOP)
      {"CALL MAIN", 4, 4},  // address of line 5
      {"JMP MOV", 5, 7},    // a ':' for another reason still defines its first word
      {"JMP LOWER", 6, 7},  // upper-cased on both sides; last line: the final address
      {"JMP NOWHERE", 0, kFail}, {"JMP", 0, kFail},
      {"JMP START,X", 0, kFail},  // ',' does not end a name
  };
  for (const auto& c : cases) {
    SymbolHit hit = LookupSymbol(reinterpret_cast<const uint8_t*>(c.text), env);
    EXPECT_EQ(hit.line, c.line) << c.text;
    EXPECT_EQ(hit.address, c.address) << c.text;
  }
  std::string longName = "JMP " + std::string(256, 'Q');
  EXPECT_EQ(LookupSymbol(reinterpret_cast<const uint8_t*>(longName.c_str()), env).line, 0u);
}

// The index of label names against a plain map: the first line given for a
// name counts, names differ in any byte (also only in their length), and
// thousands of names, added before and after lookups, are all found.
TEST(Symbols, IndexAgreesWithAPlainMap) {
  SymbolIndex index;
  std::map<std::string, uint32_t> expected;
  auto add = [&](const std::string& name, uint32_t line) {
    index.Add(name, line);
    expected.emplace(name, line);
  };
  auto check = [&](const char* when) {
    ASSERT_EQ(index.size(), expected.size()) << when;
    for (const auto& [name, line] : expected)
      ASSERT_EQ(index.Find(name), line) << when << " " << name;
  };
  add("", 3);  // a line that is only ':' defines the empty name
  add("A", 4);
  add("A", 9);  // later definitions of a name do not count
  add("AB", 5);
  add(std::string("A\0B", 3), 6);
  check("few");
  EXPECT_EQ(index.Find("B"), 0u);
  EXPECT_EQ(index.Find("A "), 0u);
  for (uint32_t k = 1; k <= 20'000; ++k) add("L" + std::to_string(k * 7919u % 100'003u), 10 + k);
  check("many");
  add("LATE", 99);
  add("A", 100);
  check("after lookups");
  EXPECT_EQ(index.Find("NOWHERE"), 0u);
  index.Clear();
  EXPECT_EQ(index.size(), 0u);
  EXPECT_EQ(index.Find("A"), 0u);
}

TEST(Symbols, LongNameNeverMatchesAndReloadForgetsOldLabels) {
  AsmHarness h;
  std::string name(256, 'Q');
  AsmRun r = h.Run(name + ":\r\nJMP " + name);
  EXPECT_EQ(r.state2, CompileFailed) << "a name of 256 characters never matches";
  r = h.Run("OLD:\r\nNOP");
  ASSERT_EQ(r.state2, Compiled);
  r = h.Run("JMP OLD");
  EXPECT_EQ(r.state2, CompileFailed) << "labels of the previous source are gone";
}

TEST(Operands, RegisterParsers) {
  const struct {
    const char* text;
    uint32_t number;
    uint32_t cls;
  } cases[] = {
      {"ES", kFail, 0},       {"SP", 4, ClassWord},     {"ST7", 7, ClassStack},
      {"ST8", kFail, 0},      {"MX3", 3, ClassMmx},     {"AH", 4, ClassByte},
      {"EDI", 7, ClassDword}, {"CR3", 3, ClassControl}, {"DR7", 7, ClassDebug},
      {"TR6", 6, ClassTest},  {"AXE", 0, ClassWord},    {"E", kFail, 0},
      {"", kFail, 0},         {"ST", kFail, 0},         {"BPX", 5, ClassWord},
      {"DL", 2, ClassByte},
  };
  for (const auto& c : cases) {
    uint32_t cls = 99;
    uint32_t n = ParseRegister(reinterpret_cast<const uint8_t*>(c.text), &cls);
    EXPECT_EQ(n, c.number) << c.text;
    if (n != kFail) {
      EXPECT_EQ(cls, c.cls) << c.text;
    }
  }
  auto u = [](const char* s) { return reinterpret_cast<const uint8_t*>(s); };
  EXPECT_EQ(ParseRegisterPair(u("MOV AX,BX")), 0x3C3u);
  EXPECT_EQ(ParseRegisterPair(u("MOV AL,BX")), kFail);
  uint32_t cls = 0;
  EXPECT_EQ(ParseSpecialRegisterPair(u("MOV CR0,EAX"), &cls), 0x2C0u);
  EXPECT_EQ(cls, ClassControl);
  EXPECT_EQ(ParseSpecialRegisterPair(u("MOV EAX,CR0"), &cls), 0xC0u);
  EXPECT_EQ(ParseSpecialRegisterPair(u("MOV EAX,EBX"), &cls), kFail);
  EXPECT_EQ(ParseSegmentRegister(u("  DS")), 24u);
  EXPECT_EQ(ParseSegmentRegister(u("XS")), kFail);
}

TEST(Operands, MemoryOperandFields) {
  const struct {
    const char* text;
    uint32_t modrm, size, disp, imm;
  } cases[] = {
      {"MOV AX,[BX]", 0x307, 0x101, 0, 0},
      {"MOV [SI+4],CL", 0x4C, 0x001, 4, 0},
      {"MOV W.[BX],1234", 0x107, 0x04000101, 0, 0x1234},
      {"MOV EAX,[EBX+ECX*4+8]", 0x344, 0x20202, 0x88B, 0},
      {"MOV AX,[BP]", 0x346, 0x101, 0, 0},
      {"MOV AX,[BP+6]", 0x346, 0x101, 6, 0},
      {"MOV AX,[BX+80]", 0x387, 0x101, 0x80, 0},
      {"MOVQ [EBX],MM2", 0x1013, 0x302, 0, 0},
      {"MOV AX,[BX+SI]", 0x300, 0x101, 0, 0},
      {"MOV AX,[BP+DI-2]", 0x343, 0x101, 0xFFFFFFFE, 0},
      {"MOV EAX,[EBP+ECX]", 0x344, 0x20202, 0x0D, 0},
  };
  for (const auto& c : cases) {
    uint8_t line[64] = {};
    std::copy(c.text, c.text + strlen(c.text), line);
    MemoryOperand m{};
    EXPECT_EQ(ParseMemoryOperand(line, &m), c.modrm) << c.text;
    EXPECT_EQ(m.SizeFlags, c.size) << c.text;
    EXPECT_EQ(m.DispOrSib, c.disp) << c.text;
    EXPECT_EQ(m.ImmValue, c.imm) << c.text;
  }
  for (const char* bad :
       {"MOV AX,[1234]", "MOV AX,[SI+DI]", "INC W.[BX]", "MOV [BX],5", "MOV AX,[AX]",
        "MOV AX,[BX+4", "MOV EAX,[EBX+SI]", "MOV EAX,[EAX+ESP*2]", "MOV AX,[BX*2]",
        "MOV EAX,[EBX+ECX*3]", "MOV AX,[BX+ZZ]", "MOV AX,[BX+12345]", "MOV AX,[SIZE]"}) {
    uint8_t line[64] = {};
    std::copy(bad, bad + strlen(bad), line);
    MemoryOperand m{};
    EXPECT_EQ(ParseMemoryOperand(line, &m), kFail) << bad;
  }
}

}  // namespace
}  // namespace quorix
