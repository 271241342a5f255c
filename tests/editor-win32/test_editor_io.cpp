// The Windows editor's files: every byte comes back as it was, and a save
// that fails leaves the file on disk untouched.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
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

TEST(NuvedoFiles, OpenNeverCreatesAndRefusesWhatIsNoText) {
  TempFolder dir;
  const std::string fresh = dir.path + "new.asm";
  std::string bytes, error;
  EXPECT_EQ(nuvedo::OpenFile(fresh, bytes, error), nuvedo::OpenResult::Missing);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(::GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES) << "no file made";
  ASSERT_TRUE(nuvedo::CreateEmptyFile(fresh, error)) << error;  // only when asked to
  EXPECT_EQ(nuvedo::OpenFile(fresh, bytes, error), nuvedo::OpenResult::Opened);
  EXPECT_EQ(bytes, "");
  ASSERT_TRUE(nuvedo::SaveFile(fresh, "KEEP", error));
  EXPECT_FALSE(nuvedo::CreateEmptyFile(fresh, error)) << "an existing file is never emptied";
  EXPECT_EQ(Read(fresh), "KEEP");
  ASSERT_TRUE(nuvedo::SaveFile(dir.path + "zero.bin", std::string("AB\0CD", 5), error));
  EXPECT_EQ(nuvedo::OpenFile(dir.path + "zero.bin", bytes, error), nuvedo::OpenResult::NotText);
  EXPECT_NE(error.find("contains NUL (zero) bytes"), std::string::npos) << error;
  EXPECT_EQ(nuvedo::OpenFile(dir.path + "nofolder\\x.asm", bytes, error),
            nuvedo::OpenResult::Failed);
}

TEST(NuvedoFiles, ReservedDeviceNamesAreNeverOpenedOrWritten) {
  const std::pair<const char*, bool> names[] = {
      {"nul.asm", true},
      {"C:\\work\\NUL", true},
      {"con", true},
      {"Prn.txt", true},
      {"aux.asm.bak", true},
      {"COM1.asm", true},
      {"lpt9", true},
      {"nul .asm", true},
      {"CONOUT$", true},
      {"\\\\.\\nul", true},
      {"C:/dir/com3.com", true},
      {"C:nul.asm", true},
      {"null.asm", false},
      {"com10.asm", false},
      {"COM0", false},
      {"C:\\nul\\x.asm", false},
      {"console.asm", false},
      {"TheFile.asm", false},
      {"lpt.asm", false},
      {"", false},
  };
  for (const auto& [name, reserved] : names)
    EXPECT_EQ(nuvedo::IsReservedDeviceName(name), reserved) << name;

  TempFolder dir;
  std::string bytes = "before", error;
  for (const char* name : {"nul.asm", "CON", "com1.txt"}) {
    const std::string path = dir.path + name;
    EXPECT_EQ(nuvedo::OpenFile(path, bytes, error), nuvedo::OpenResult::Failed) << name;
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(nuvedo::SaveFile(path, "X\r\n", error)) << name;
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    EXPECT_FALSE(nuvedo::CreateEmptyFile(path, error)) << name;
  }
  WIN32_FIND_DATAA found;
  HANDLE h = ::FindFirstFileA((dir.path + "*").c_str(), &found);
  int entries = 0;
  if (h != INVALID_HANDLE_VALUE) {
    do entries += found.cFileName[0] != '.';
    while (::FindNextFileA(h, &found));
    ::FindClose(h);
  }
  EXPECT_EQ(entries, 0) << "nothing written beside them either";
}

// The control keeps one CR per line end; a text whose line ends are all
// alike comes back byte for byte, and a mixed one is told apart.
TEST(NuvedoText, LineEndsSurviveTheControl) {
  const struct {
    std::string bytes;
    nuvedo::LineEnds ends;
  } cases[] = {
      {"MOV AX,1\r\nRET\r\n", nuvedo::LineEnds::CrLf},
      {"a\nb\n\nc", nuvedo::LineEnds::Lf},
      {"a\rb\r", nuvedo::LineEnds::Cr},
      {"one line", nuvedo::LineEnds::None},
      {"", nuvedo::LineEnds::None},
      {"\r\n\r\n", nuvedo::LineEnds::CrLf},
      {"a\r\nb\n", nuvedo::LineEnds::Mixed},
      {"a\r\nb\r", nuvedo::LineEnds::Mixed},
      {"a\n\r", nuvedo::LineEnds::Mixed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nuvedo::LineEndsOf(c.bytes), c.ends) << c.bytes;
    if (c.ends == nuvedo::LineEnds::Mixed) continue;
    const std::wstring shown = nuvedo::ToControl(nuvedo::Decode1252(c.bytes));
    EXPECT_EQ(shown.find(L'\n'), std::wstring::npos);
    std::string back;
    ASSERT_TRUE(nuvedo::Encode1252(nuvedo::FromControl(shown, c.ends), back, nullptr));
    EXPECT_EQ(back, c.bytes);
  }
  EXPECT_EQ(nuvedo::FromControl(L"a\rb", nuvedo::LineEnds::None), L"a\r\nb")
      << "new lines of a text without line ends end in CR LF";
}

TEST(NuvedoWindows, PlacementBesideTheWorkbenchOrCascaded) {
  using nuvedo::Box;
  const Box area{0, 0, 1920, 1040};
  const Box bench{0, 0, 826, 639};
  const Box benchRight{1100, 100, 1926, 739};
  const Box editor{826, 0, 1546, 560};
  const struct {
    const char* name;
    const Box* editor;
    const Box* bench;
    Box area;
    std::optional<Box> want;
  } cases[] = {
      {"neither window: the system's place", nullptr, nullptr, area, std::nullopt},
      {"room on the right", nullptr, &bench, area, Box{826, 0, 1546, 560}},
      {"narrowed to the room on the right", nullptr, &bench, Box{0, 0, 1400, 1040},
       Box{826, 0, 1400, 560}},
      {"no room right, room left", nullptr, &benchRight, area, Box{380, 100, 1100, 660}},
      {"no room on either side: cascaded", nullptr, &bench, Box{0, 0, 1024, 768},
       Box{30, 30, 750, 590}},
      {"a second editor cascades from the first", &editor, &bench, area, Box{856, 30, 1576, 590}},
      {"a cascade that would leave the area starts at its corner", &editor, nullptr,
       Box{0, 0, 1560, 580}, Box{0, 0, 720, 560}},
      {"taller than the area: as tall as the area", nullptr, &bench, Box{0, 0, 1920, 400},
       Box{826, 0, 1546, 400}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nuvedo::PlaceEditor(c.editor, c.bench, 720, 560, 480, c.area, 30), c.want) << c.name;
  }
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
