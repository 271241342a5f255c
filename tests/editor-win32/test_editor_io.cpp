// The Windows editor's files: every byte comes back as it was, and a save
// that fails leaves the file on disk untouched.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "editor_io.h"

namespace {

struct TempFolder {
  std::string path;
  TempFolder() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    path = std::string(base) + "nuvedo-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::GetTickCount64()) + "\\";
    ::CreateDirectoryA(path.c_str(), nullptr);
  }
  ~TempFolder() {
    std::string cmd = "cmd /c rmdir /s /q \"" + path + "\" >nul 2>nul";
    (void)std::system(cmd.c_str());
  }
};

std::string Read(const std::string& path) {
  std::string bytes, error;
  nuvedo::OpenResult r = nuvedo::OpenFile(path, bytes, error);
  return r == nuvedo::OpenResult::Failed ? "<failed>" : bytes;
}

TEST(NuvedoText, EveryNonZeroByteSurvivesTheEditControl) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::string back;
  size_t bad = 99;
  ASSERT_TRUE(nuvedo::Encode1252(nuvedo::Decode1252(all), back, &bad));
  EXPECT_EQ(back, all);
  EXPECT_EQ(bad, 99u) << "no position reported on success";
}

TEST(NuvedoText, CharactersOutsideTheCodePageAreRefused) {
  struct Case {
    std::wstring text;
    bool ok;
    std::string bytes;
    size_t bad;
  };
  const Case cases[] = {
      {L"MOV AX,1\r\n", true, "MOV AX,1\r\n", 0},
      {L"\u20AC\u0178\u00FF", true, "\x80\x9F\xFF", 0},
      {L"; \u0416", false, "", 2},  // Cyrillic
      {L"AB\u2603CD", false, "", 2},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    size_t bad = 0;
    EXPECT_EQ(nuvedo::Encode1252(c.text, out, &bad), c.ok);
    EXPECT_EQ(out, c.bytes);
    if (!c.ok) {
      EXPECT_EQ(bad, c.bad);
    }
  }
}

TEST(NuvedoFiles, OpenCreatesAndRefusesWhatIsNoText) {
  TempFolder dir;
  const std::string fresh = dir.path + "new.asm";
  std::string bytes, error;
  EXPECT_EQ(nuvedo::OpenFile(fresh, bytes, error), nuvedo::OpenResult::Created);
  EXPECT_EQ(nuvedo::OpenFile(fresh, bytes, error), nuvedo::OpenResult::Opened);
  ASSERT_TRUE(nuvedo::SaveFile(dir.path + "zero.bin", std::string("AB\0CD", 5), error));
  EXPECT_EQ(nuvedo::OpenFile(dir.path + "zero.bin", bytes, error), nuvedo::OpenResult::NotText);
  EXPECT_EQ(nuvedo::OpenFile(dir.path + "nofolder\\x.asm", bytes, error),
            nuvedo::OpenResult::Failed);
}

TEST(NuvedoFiles, SavesAreExactAndFailuresKeepTheOldFile) {
  TempFolder dir;
  const std::string file = dir.path + "prog.asm";
  std::string error;
  struct Case {
    std::string bytes;
  };
  const Case cases[] = {
      {"MOV AH,9\r\nINT 21H\r\n"}, {"lf only\nmixed\r\n\rend"}, {"\x80\xE9\xFF"}, {""}};
  for (const Case& c : cases) {
    ASSERT_TRUE(nuvedo::SaveFile(file, c.bytes, error)) << error;
    EXPECT_EQ(Read(file), c.bytes);
  }
  ASSERT_TRUE(nuvedo::SaveFile(file, "KEEP\r\n", error));
  ::CreateDirectoryA((file + ".nuvedo-save").c_str(), nullptr);  // the save's own file is blocked
  EXPECT_FALSE(nuvedo::SaveFile(file, "LOST\r\n", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Read(file), "KEEP\r\n");
  EXPECT_FALSE(nuvedo::SaveFile(dir.path + "nofolder\\x.asm", "X", error));
}

TEST(NuvedoFiles, TitlesAreFullPaths) {
  char cwd[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, cwd);
  std::string base(cwd);
  if (base.back() != '\\') base += '\\';
  const std::pair<std::string, std::string> cases[] = {
      {"TheFile.asm", base + "TheFile.asm"},
      {"C:\\a\\..\\b\\x.asm", "C:\\b\\x.asm"},
      {"C:\\My Dir.v2\\x.asm", "C:\\My Dir.v2\\x.asm"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(nuvedo::FullPath(in), want) << in;
  const std::string folder = nuvedo::ProgramFolder();
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_NE(::GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
