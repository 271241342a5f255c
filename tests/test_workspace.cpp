#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/loading.h"
#include "app/step_screen.h"
#include "asm/driver.h"
#include "asm/env.h"
#ifndef _WIN32
#include "backends/posix/posix_services.h"
#endif
#include "model/workspace.h"
#include "support/doubles.h"
#include "text/lines.h"

namespace quorix {
namespace {

using testing_support::MemoryPlatform;

TEST(Workspace, RegionsAndResolve) {
  Workspace ws;
  const struct {
    Area area;
    uint32_t offset;
    uint32_t size;
  } layout[] = {
      {Area::OpcodeText, 0, 20'000},         {Area::OpcodeIndex, 20'000, 5'000},
      {Area::SourceText, 25'000, 2'000'000}, {Area::SourceIndex, 2'025'000, 2'000'000},
      {Area::Output, 4'025'000, 2'000'000},  {Area::LineRecords, 6'025'000, 1'900'000},
      {Area::Symbols, 7'925'000, 75'000},
  };
  for (const auto& l : layout) {
    uint32_t a = Workspace::Address(l.area);
    EXPECT_EQ(a, Workspace::kBlockBase + l.offset);
    EXPECT_EQ(Workspace::Size(l.area), l.size);
    EXPECT_NE(ws.Resolve(a, l.size).data(), nullptr);
    EXPECT_NE(ws.Resolve(a + l.size, 0).data(), nullptr) << "empty span at the end is fine";
    if (l.area != Area::Symbols) {
      EXPECT_EQ(ws.Resolve(a + l.size - 2, 4).data(), nullptr) << "must not cross into the next";
    }
  }
  EXPECT_EQ(ws.Resolve(Workspace::kBlockBase + Workspace::kBlockSize - 2, 4).data(), nullptr);
  EXPECT_EQ(ws.Resolve(0, 1).data(), nullptr);
  EXPECT_EQ(ws.Resolve(0xFFFFFFF0, 0x20).data(), nullptr);
  EXPECT_EQ(ws.Resolve(Workspace::kBlockBase + 10, 0xFFFFFFFF).data(), nullptr);
  uint32_t v = 1;
  EXPECT_TRUE(ws.Read32(Workspace::Address(Area::Output), v));
  EXPECT_EQ(v, 0u) << "the block starts zero-filled";
  EXPECT_TRUE(ws.Write32(Workspace::Address(Area::Output), 0x11223344));
  auto b = ws.Bytes(Area::Output);
  EXPECT_EQ(b[0], 0x44);
  EXPECT_EQ(b[3], 0x11);
  EXPECT_FALSE(ws.Write32(Workspace::Address(Area::PathBuffer) + 510, 1));
  char path[64];
  EXPECT_TRUE(ws.ReadCString(Workspace::Address(Area::OpcodePath), path));
  EXPECT_STREQ(path, "compiler\\OpCode.qrx");
}

struct LoadFixture : ::testing::Test {
  Workspace ws;
  MemoryPlatform pf;
  ContextRecord rec{};
  void SetUp() override {
    rec.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
    rec.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    SetSourcePath("src.asm");
  }
  void SetSourcePath(const std::string& p) {
    auto buf = ws.Bytes(Area::PathBuffer);
    std::fill(buf.begin(), buf.end(), 0);
    std::copy(p.begin(), p.end(), buf.begin());
  }
  std::string SourceLine(uint32_t n) {
    uint8_t out[1024];
    uint32_t r = FetchLine(n, ws.Bytes(Area::SourceText), ws.Bytes(Area::SourceIndex), out,
                           rec.Ukuran, rec.LineCountsForFile);
    return r == kFail ? "<fail>" : std::string(reinterpret_cast<char*>(out));
  }
};

TEST_F(LoadFixture, LoadsBothTextsAndSetsTheRecord) {
  pf.files["compiler\\OpCode.qrx"] = "MOV|r16, imm16|B8+r iw\r\nNOP||90\r\n";
  pf.files["src.asm"] = "NOP\r\nHLT";
  rec.state2 = CompileFailed;
  LoadWorkspace(&rec, ws, pf);
  EXPECT_EQ(rec.lpMemForCompiler, Workspace::Address(Area::OpcodeText));
  EXPECT_EQ(rec.AddrFunct, Workspace::Address(Area::Symbols));
  EXPECT_EQ(rec.LineCountsForCompiler, 4u);
  EXPECT_EQ(rec.LineCountsForFile, 3u);
  EXPECT_EQ(rec.Ukuran, 8u) << "the source size when the source was found";
  EXPECT_EQ(rec.state2, Idle);
  EXPECT_EQ(SourceLine(2), "HLT");
  EXPECT_FALSE(ws.load().sourceCut);
}

TEST_F(LoadFixture, MissingOpcodeFileIsCreatedButASourceNever) {
  pf.files["src.asm"] = "NOP\r\n";
  LoadWorkspace(&rec, ws, pf);
  EXPECT_EQ(pf.files.count("compiler\\OpCode.qrx"), 1u) << "the workbench keeps its opcode file";
  EXPECT_EQ(rec.LineCountsForCompiler, 2u);
  EXPECT_EQ(ws.load().source, TextStatus::Loaded);
  SetSourcePath("not-a-file");
  LoadWorkspace(&rec, ws, pf);
  EXPECT_EQ(pf.files.count("not-a-file"), 0u) << "a source is only ever read";
  EXPECT_EQ(ws.load().source, TextStatus::Missing);
}

// A source that cannot be read is not loaded: the previous program does
// not stay behind under the new name, and the reason is kept for the screen.
TEST_F(LoadFixture, SourceThatCannotBeReadLeavesNothingToCompile) {
  const struct {
    const char* name;
    ReadStatus read;  // Ok: the file is missing
    TextStatus status;
  } cases[] = {
      {"missing", ReadStatus::Ok, TextStatus::Missing},
      {"a folder", ReadStatus::NotRegular, TextStatus::NotRegular},
      {"no permission", ReadStatus::Denied, TextStatus::Denied},
      {"read error", ReadStatus::Failed, TextStatus::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoadFixture::SetUp();
    pf.files.clear();
    pf.unreadable.clear();
    pf.files["compiler\\OpCode.qrx"] = "";  // an empty table hides nothing
    pf.files["src.asm"] = "MOV AX, 1234\r\nNOP";
    LoadWorkspace(&rec, ws, pf);
    ASSERT_EQ(ws.load().source, TextStatus::Loaded);
    EXPECT_EQ(rec.Ukuran, 17u) << "the source's size, not the opcode text's";
    SetSourcePath("new.asm");
    if (c.read != ReadStatus::Ok) pf.unreadable["new.asm"] = c.read;
    LoadWorkspace(&rec, ws, pf);
    EXPECT_EQ(ws.load().source, c.status);
    EXPECT_EQ(rec.Ukuran, 0u);
    EXPECT_EQ(rec.LineCountsForFile, 2u);
    EXPECT_EQ(SourceLine(1), "") << "the old program is gone";
    EXPECT_EQ(pf.files.count("new.asm"), 0u);
  }
}

TEST_F(LoadFixture, SourceOverTheLimitIsCutAfterItsLastWholeLine) {
  const struct {
    const char* name;
    std::string line;  // repeated past the 1,000,000-byte limit
  } cases[] = {{"CR LF", "MOV AX, 1234\r\n"}, {"LF", "MOV AX, 1234\n"}, {"CR", "MOV AX, 1234\r"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string big;
    while (big.size() <= 1'000'000) big += c.line;
    pf.files["src.asm"] = big;
    LoadWorkspace(&rec, ws, pf);
    EXPECT_EQ(ws.load().source, TextStatus::Cut);
    EXPECT_TRUE(ws.load().sourceCut);
    EXPECT_EQ(rec.Ukuran % c.line.size(), 0u) << "whole lines only";
    EXPECT_LE(rec.Ukuran, 1'000'000u);
    EXPECT_GT(rec.Ukuran, 1'000'000u - c.line.size());
    EXPECT_EQ(SourceLine(rec.Ukuran / c.line.size()), "MOV AX, 1234");
    EXPECT_EQ(SourceLine(rec.LineCountsForFile - 1), "");
  }
}

// After a compile, a load of another source leaves no line records and no
// output of the earlier one for the listing to show.
TEST_F(LoadFixture, LoadClearsTheResultsOfThePreviousSource) {
  pf.files["src.asm"] = "MOV AX, 1234\r\nMOV BX, 5678\r\nINT 21\r\nNOP\r\nNOP";
  LoadWorkspace(&rec, ws, pf);
  SymbolIndex symbols;
  AsmEnv env{ws, pf, symbols, RegionsOf(rec, ws)};
  ASSERT_TRUE(AssembleSource(env).ok);
  uint32_t count = 0;
  ws.Read32(rec.lpASCIIResult, count);
  ASSERT_EQ(count, 3u);
  pf.files["src.asm"] = "NOP";
  LoadWorkspace(&rec, ws, pf);
  for (uint32_t k = 0; k < 8; ++k) {
    uint32_t c = 9, a = 9;
    ws.Read32(rec.lpASCIIResult + 8 * k, c);
    ws.Read32(rec.lpASCIIResult + 8 * k + 4, a);
    EXPECT_EQ(c, 0u) << "record " << k;
    EXPECT_EQ(a, 0u) << "record " << k;
  }
  auto out = ws.Bytes(Area::Output);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(out[i], 0) << i;
}

TEST_F(LoadFixture, ReloadOfShorterFileLeavesNoOldTail) {
  pf.files["src.asm"] = "MOV AX,1234\r\nMOV BX,5678\r\nINT 20";
  LoadWorkspace(&rec, ws, pf);
  EXPECT_EQ(SourceLine(3), "INT 20");
  pf.files["src.asm"] = "NOP\r\nNOP";
  LoadWorkspace(&rec, ws, pf);
  EXPECT_EQ(rec.LineCountsForFile, 3u);
  EXPECT_EQ(SourceLine(2), "NOP") << "no bytes of the longer file may follow";
  auto text = ws.Bytes(Area::SourceText);
  for (size_t i = 8; i < 64; ++i) ASSERT_EQ(text[i], 0) << i;
}

TEST_F(LoadFixture, OpcodeTextIsCutToItsRegionAndIndex) {
  // 3,000 short lines: more than the 1,250 index entries.
  std::string many;
  for (int i = 0; i < 3000; ++i) many += "L" + std::to_string(i) + "\r\n";
  pf.files["compiler\\OpCode.qrx"] = many;
  LoadWorkspace(&rec, ws, pf);
  EXPECT_TRUE(ws.load().opcodeCut);
  EXPECT_EQ(rec.LineCountsForCompiler, 1251u);
  uint8_t out[256];
  uint32_t r = FetchLine(1250, ws.Bytes(Area::OpcodeText), ws.Bytes(Area::OpcodeIndex), out, 20'000,
                         rec.LineCountsForCompiler);
  ASSERT_NE(r, kFail);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "L1249");

  // One long line bigger than the 20,000-byte region.
  pf.files["compiler\\OpCode.qrx"] = std::string(30'000, 'A');
  LoadWorkspace(&rec, ws, pf);
  EXPECT_TRUE(ws.load().opcodeCut);
  EXPECT_EQ(rec.LineCountsForCompiler, 2u);
  EXPECT_EQ(ws.Bytes(Area::OpcodeText).back(), 0) << "a zero always ends the region's text";
  r = FetchLine(1, ws.Bytes(Area::OpcodeText), ws.Bytes(Area::OpcodeIndex), out, 20'000, 2);
  EXPECT_EQ(r, 256u) << "fetchable, cut to the 256-byte buffer";
}

TEST_F(LoadFixture, SourceOverTheReadLimitIsFlagged) {
  pf.files["src.asm"] = std::string(1'000'100, ';');
  LoadWorkspace(&rec, ws, pf);
  EXPECT_TRUE(ws.load().sourceCut);
  EXPECT_EQ(rec.Ukuran, 1'000'000u);
  pf.files["src.asm"] = "NOP";
  uint32_t gen = ws.load().generation;
  LoadWorkspace(&rec, ws, pf);
  EXPECT_FALSE(ws.load().sourceCut);
  EXPECT_EQ(ws.load().generation, gen + 1);
}

// The index holds 500,000 entries: the start of line 1 and 499,999 line
// ends. A source with exactly that many is whole; one line end more is cut.
TEST_F(LoadFixture, IndexThatIsJustFullKeepsTheWholeSource) {
  const struct {
    uint32_t ends;
    bool cut;
    uint32_t lineCount;
  } cases[] = {{499'998, false, 500'000}, {499'999, false, 500'001}, {500'000, true, 500'001}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ends);
    pf.files["src.asm"] = std::string(c.ends, '\n');
    LoadWorkspace(&rec, ws, pf);
    EXPECT_EQ(ws.load().sourceCut, c.cut);
    EXPECT_EQ(rec.LineCountsForFile, c.lineCount);
    EXPECT_EQ(rec.Ukuran, c.cut ? 499'999u : c.ends);
  }
}

TEST_F(LoadFixture, SourceWithMoreLinesThanItsIndexIsCut) {
  pf.files["src.asm"] = std::string(600'000, '\n');  // 600,001 lines, index holds 500,000
  LoadWorkspace(&rec, ws, pf);
  EXPECT_TRUE(ws.load().sourceCut);
  EXPECT_EQ(rec.LineCountsForFile, 500'001u);
  EXPECT_EQ(SourceLine(500'000), "");
  EXPECT_EQ(SourceLine(500'001), "<fail>");
}

#ifndef _WIN32
// ---- POSIX file layer --------------------------------------------------------

struct TempDir {
  std::filesystem::path path;
  std::filesystem::path old;
  TempDir() {
    char tmpl[] = "/tmp/quorix-test-XXXXXX";
    path = mkdtemp(tmpl);
    old = std::filesystem::current_path();
    std::filesystem::current_path(path);
  }
  ~TempDir() {
    std::filesystem::current_path(old);
    std::filesystem::remove_all(path);
  }
};

TEST(PosixFiles, BackslashesAndCaseInsensitiveComponents) {
  TempDir dir;
  std::filesystem::create_directory("Compiler");
  std::ofstream("Compiler/OpCode.qrx") << "X";
  std::ofstream("Compiler/TheFile.asm") << "NOP";
  testing_support::SystemServices fs;
  EXPECT_TRUE(fs.FileExists("compiler\\OpCode.qrx"));
  EXPECT_TRUE(fs.FileExists("Compiler\\TheFile.asm"));
  EXPECT_TRUE(fs.FileExists("COMPILER\\thefile.ASM"));
  EXPECT_FALSE(fs.FileExists("compiler\\Missing.qrx"));
  EXPECT_FALSE(fs.FileExists(""));
  EXPECT_EQ(ResolveHostPath("compiler\\opcode.qrx"), "Compiler/OpCode.qrx");
  EXPECT_EQ(ResolveHostPath("compiler\\new.com"), "Compiler/new.com");

  uint8_t buf[16] = {};
  FileReadResult r = fs.ReadWholeFile("compiler\\thefile.asm", buf, 16, ReadMode::Existing);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.bytesRead, 3u);
  r = fs.ReadWholeFile("compiler\\absent.txt", buf, 16, ReadMode::Existing);
  EXPECT_EQ(r.status, ReadStatus::Missing);
  EXPECT_FALSE(std::filesystem::exists("Compiler/absent.txt")) << "a plain read creates nothing";
  r = fs.ReadWholeFile("compiler\\created.txt", buf, 16, ReadMode::CreateMissing);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.bytesRead, 0u);
  EXPECT_TRUE(std::filesystem::exists("Compiler/created.txt")) << "CreateMissing creates the file";

  const uint8_t data[] = {1, 2, 3};
  FileWriteResult w = fs.WriteWholeFile("compiler\\out.com", data, {});
  EXPECT_EQ(w.bytesWritten, 3u);
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(std::filesystem::file_size("Compiler/out.com"), 3u);
  EXPECT_TRUE(fs.DeleteFile("COMPILER\\OUT.COM"));
  EXPECT_FALSE(std::filesystem::exists("Compiler/out.com"));

  w = fs.WriteWholeFile("nodir\\x.com", data, {});
  EXPECT_EQ(w.status, WriteStatus::NoFolder) << "a file that cannot be created is not written";
}

TEST(PosixFiles, Windows1252PathsFindUtf8Names) {
  TempDir dir;
  std::filesystem::create_directory("Caf\xC3\xA9");        // "Café" in UTF-8
  std::ofstream("Caf\xC3\xA9/\xE2\x82\xAC.asm") << "NOP";  // "€.asm"
  testing_support::SystemServices fs;
  EXPECT_TRUE(fs.FileExists("caf\xE9\\\x80.ASM")) << "1252 text, any case";
  const uint8_t data[] = {0x90};
  EXPECT_TRUE(fs.WriteWholeFile("Caf\xE9\\new.com", data, {}).ok());
  EXPECT_TRUE(std::filesystem::exists("Caf\xC3\xA9/new.com"));
  std::ofstream("raw\xE9.asm") << "NOP";  // a name that is not UTF-8 is used as it is
  EXPECT_TRUE(fs.FileExists("raw\xE9.asm"));
}

// Inode numbers repeat across devices: only both together name one file.
TEST(PosixFiles, IdentityIsTheDeviceAndTheInode) {
  const struct {
    dev_t devA, devB;
    ino_t inoA, inoB;
    bool same;
  } cases[] = {{1, 1, 42, 42, true}, {1, 2, 42, 42, false}, {1, 1, 42, 43, false}};
  for (const auto& c : cases) {
    struct stat a {
    }, b{};
    a.st_dev = c.devA;
    b.st_dev = c.devB;
    a.st_ino = c.inoA;
    b.st_ino = c.inoB;
    EXPECT_EQ(IdentityOf(a) == IdentityOf(b), c.same)
        << c.devA << ":" << c.inoA << " and " << c.devB << ":" << c.inoB;
  }
}

TEST(PosixFiles, ReadOnlyFileStillReads) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  TempDir dir;
  std::ofstream("ro.asm") << "NOP";
  chmod("ro.asm", 0444);
  testing_support::SystemServices fs;
  uint8_t buf[8] = {};
  EXPECT_EQ(fs.ReadWholeFile("ro.asm", buf, 8, ReadMode::Existing).bytesRead, 3u);
}

// Only a regular file read completely is a file's text; nothing is created
// by a read, and never through a link.
TEST(PosixFiles, ReadsOnlyRegularFilesAndCreatesOnlyWhenAsked) {
  TempDir dir;
  std::ofstream("plain.asm") << "NOP";
  std::filesystem::create_directory("folder.asm");
  ASSERT_EQ(mkfifo("pipe.asm", 0644), 0);
  std::filesystem::create_symlink("nowhere.asm", "dangling.asm");
  std::filesystem::create_symlink("/dev/null", "null.asm");
  std::filesystem::create_symlink("plain.asm", "link.asm");
  const struct {
    const char* path;
    ReadMode mode;
    ReadStatus status;
    uint32_t bytes;
    const char* mustNotExist;
  } cases[] = {
      {"plain.asm", ReadMode::Existing, ReadStatus::Ok, 3, nullptr},
      {"PLAIN.ASM", ReadMode::Existing, ReadStatus::Ok, 3, nullptr},
      {"link.asm", ReadMode::Existing, ReadStatus::Ok, 3, nullptr},
      {"folder.asm", ReadMode::Existing, ReadStatus::NotRegular, 0, nullptr},
      {"pipe.asm", ReadMode::Existing, ReadStatus::NotRegular, 0, nullptr},  // must not block
      {"null.asm", ReadMode::Existing, ReadStatus::NotRegular, 0, nullptr},
      {"missing.asm", ReadMode::Existing, ReadStatus::Missing, 0, "missing.asm"},
      {"dangling.asm", ReadMode::Existing, ReadStatus::Missing, 0, "nowhere.asm"},
      {"dangling.asm", ReadMode::CreateMissing, ReadStatus::Missing, 0, "nowhere.asm"},
      {"nodir\\x.asm", ReadMode::CreateMissing, ReadStatus::Missing, 0, "nodir"},
  };
  testing_support::SystemServices fs;
  for (const auto& c : cases) {
    uint8_t buf[16] = {};
    FileReadResult r = fs.ReadWholeFile(c.path, buf, 16, c.mode);
    EXPECT_EQ(r.status, c.status) << c.path;
    EXPECT_EQ(r.opened, c.status == ReadStatus::Ok) << c.path;
    EXPECT_EQ(r.bytesRead, c.bytes) << c.path;
    if (c.mustNotExist) {
      EXPECT_FALSE(std::filesystem::exists(c.mustNotExist)) << c.path;
    }
  }
  EXPECT_TRUE(std::filesystem::is_symlink("dangling.asm"));
  if (geteuid() != 0) {  // root reads whatever the permissions say
    std::ofstream("secret.asm") << "NOP";
    chmod("secret.asm", 0);
    uint8_t buf[16] = {};
    EXPECT_EQ(fs.ReadWholeFile("secret.asm", buf, 16, ReadMode::Existing).status,
              ReadStatus::Denied);
  }
}

TEST(PosixFiles, SameFileGoesByIdentityNotBySpelling) {
  TempDir dir;
  std::filesystem::create_directory("sub");
  std::ofstream("sub/g.asm") << "NOP";
  std::ofstream("sub/h.asm") << "NOP";
  std::filesystem::create_symlink("g.asm", "sub/alias.asm");
  std::filesystem::create_hard_link("sub/g.asm", "sub/hard.asm");
  const std::string abs = (std::filesystem::current_path() / "sub" / "g.asm").string();
  const struct {
    std::string other;
    bool same;
  } cases[] = {
      {"sub/g.asm", true},
      {"./sub/g.asm", true},
      {"sub\\.\\g.asm", true},
      {"SUB\\G.ASM", true},
      {abs, true},
      {"sub/../sub/g.asm", true},
      {"sub/alias.asm", true},
      {"sub/hard.asm", true},
      {"sub/h.asm", false},
      {"sub/g.com", false},
      {"", false},
  };
  testing_support::SystemServices fs;
  for (const auto& c : cases)
    EXPECT_EQ(fs.SameFile("sub\\g.asm", c.other.c_str()), c.same) << c.other;
}

TEST(UpperCase, Windows1252TableIndependentOfLocale) {
  setenv("LC_ALL", "tr_TR.UTF-8", 1);  // a locale with unusual casing rules must not matter
  std::string s = "mov ax, 'a' ; i\xE9\xE0\xFF\x9A\x9C\x9E\xF7\xDF\xB5 z";
  std::vector<uint8_t> b(s.begin(), s.end());
  b.push_back(0);
  b.push_back('x');  // after the NUL: untouched
  UpperCase1252(b);
  std::string want = "MOV AX, 'A' ; I\xC9\xC0\x9F\x8A\x8C\x8E\xF7\xDF\xB5 Z";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data())), want);
  EXPECT_EQ(b.back(), 'x');
  unsetenv("LC_ALL");
}

// Upper-casing passes over words that cannot change eight bytes at a time:
// every byte value, at every place of a word, before and after a NUL, must
// come out as the byte-by-byte table gives it.
TEST(UpperCase, WordAtATimeMatchesTheTable) {
  for (int value = 0; value < 256; ++value) {
    for (size_t at = 0; at < 20; ++at) {
      for (size_t nul : {size_t(3), size_t(9), size_t(17), size_t(24)}) {
        std::vector<uint8_t> b(24, 'Q');
        b[at] = static_cast<uint8_t>(value);
        if (nul < b.size()) b[nul] = 0;
        std::vector<uint8_t> want = b;
        for (uint8_t& c : want) {
          if (c == 0) break;
          c = Upper1252(c);
        }
        UpperCase1252(b);
        ASSERT_EQ(b, want) << "byte " << value << " at " << at << ", NUL at " << nul;
      }
    }
  }
}
#endif  // the Win32 file layer has its own tests

}  // namespace
}  // namespace quorix
