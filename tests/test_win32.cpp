// The Win32 backend: the file layer's guarantees, upper-casing, the editor
// window link, the zeroed block and the GDI back buffer's shapes.
#ifdef _WIN32
#include <gtest/gtest.h>
#include "backends/win32/windows_api.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "backends/win32/gdi_canvas.h"
#include "backends/win32/win32_platform.h"
#include "backends/win32/win32_services.h"
#include "model/context_record.h"

namespace quorix {
namespace {

using win32::GdiCanvas;
using win32::Win32Services;

// A fresh folder under the temporary folder, made current for the test.
struct TempFolder {
  std::string path;
  char old[MAX_PATH] = {};
  TempFolder() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    path = std::string(base) + "quorix-w32-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::GetTickCount64());
    ::CreateDirectoryA(path.c_str(), nullptr);
    ::GetCurrentDirectoryA(MAX_PATH, old);
    ::SetCurrentDirectoryA(path.c_str());
  }
  ~TempFolder() {
    ::SetCurrentDirectoryA(old);
    std::string cmd = "cmd /c rmdir /s /q \"" + path + "\" >nul 2>nul";
    (void)std::system(cmd.c_str());
  }
};

void Put(const char* name, const std::string& bytes) {
  HANDLE h = ::CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
  DWORD n = 0;
  ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr);
  ::CloseHandle(h);
}

std::string Get(const char* name) {
  HANDLE h = ::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[256];
  DWORD n = 0;
  ::ReadFile(h, buf, sizeof buf, &n, nullptr);
  ::CloseHandle(h);
  return std::string(buf, n);
}

bool Exists(const char* name) { return ::GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

TEST(Win32Files, ReadsAreBoundedAndOnlyCreateWhenAsked) {
  TempFolder dir;
  ::CreateDirectoryA("Compiler", nullptr);
  Put("Compiler\\TheFile.asm", "MOV AX,1\r\nNOP\r\n");
  Win32Services fs;
  constexpr ReadMode kCreate = ReadMode::CreateMissing, kExisting = ReadMode::Existing;
  struct Case {
    const char* path;
    uint32_t limit, bufSize;
    ReadMode mode;
    ReadStatus status;
    bool opened;
    uint32_t read;
    uint64_t size;
  };
  const Case cases[] = {
      {"Compiler\\TheFile.asm", 100, 100, kExisting, ReadStatus::Ok, true, 15, 15},
      {"compiler\\THEFILE.ASM", 4, 100, kExisting, ReadStatus::Ok, true, 4, 15},  // the limit cuts
      {"Compiler\\TheFile.asm", 100, 6, kExisting, ReadStatus::Ok, true, 6,
       15},  // so does the buffer
      {"Compiler\\absent.asm", 100, 100, kExisting, ReadStatus::Missing, false, 0,
       0},                                                                   // not created
      {"Compiler\\new.asm", 100, 100, kCreate, ReadStatus::Ok, true, 0, 0},  // created empty
      {"Compiler", 100, 100, kCreate, ReadStatus::NotRegular, false, 0, 0},  // a folder
      {"NUL", 100, 100, kExisting, ReadStatus::NotRegular, false, 0, 0},     // a device
      {"nofolder\\x.asm", 100, 100, kCreate, ReadStatus::Missing, false, 0,
       0},  // nowhere to create it
      {"Compiler\\*.asm", 100, 100, kCreate, ReadStatus::Missing, false, 0, 0},  // not a name
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(c.bufSize + 8, 0xEE);
    FileReadResult r = fs.ReadWholeFile(c.path, std::span(buf.data(), c.bufSize), c.limit, c.mode);
    EXPECT_EQ(r.status, c.status) << c.path;
    EXPECT_EQ(r.opened, c.opened) << c.path;
    EXPECT_EQ(r.bytesRead, c.read) << c.path;
    EXPECT_EQ(r.fileSize, c.size) << c.path;
    for (size_t i = c.bufSize; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << c.path;
  }
  EXPECT_TRUE(Exists("Compiler\\new.asm"));
  EXPECT_FALSE(Exists("Compiler\\absent.asm"));
  EXPECT_FALSE(Exists("nofolder"));
}

TEST(Win32Files, SameFileGoesByIdentityNotBySpelling) {
  TempFolder dir;
  ::CreateDirectoryA("Compiler", nullptr);
  Put("Compiler\\g.asm", "NOP\r\n");
  Put("Compiler\\h.asm", "NOP\r\n");  // same bytes, another file
  ASSERT_TRUE(::CreateHardLinkA("Compiler\\hard.asm", "Compiler\\g.asm", nullptr));
  Win32Services fs;
  const struct {
    const char *a, *b;
    bool same;
  } cases[] = {
      {"Compiler\\g.asm", "Compiler\\g.asm", true},
      {"Compiler\\g.asm", "compiler\\G.ASM", true},
      {"Compiler\\g.asm", ".\\Compiler\\..\\Compiler\\g.asm", true},
      {"Compiler\\g.asm", "Compiler\\hard.asm", true},
      {"Compiler\\g.asm", "Compiler\\h.asm", false},
      {"Compiler\\g.asm", "Compiler\\g.com", false},  // does not exist
      {"Compiler\\g.asm", "Compiler\\*.asm", false},
  };
  for (const auto& c : cases) EXPECT_EQ(fs.SameFile(c.a, c.b), c.same) << c.a << " vs " << c.b;
}

// The names in the current folder, sorted.
std::vector<std::string> Listing() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = ::FindFirstFileA("*", &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
      names.push_back(found.cFileName);
  } while (::FindNextFileA(h, &found));
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Win32Files, WritesAreWholeAndReplaceOnlyPlainFiles) {
  TempFolder dir;
  ::CreateDirectoryA("Out", nullptr);
  Put("old.com", "OLD CONTENTS");
  Win32Services fs;
  const std::string bytes = "\xB4\x09\xCD\x21";
  const auto data = std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  struct Case {
    const char* path;
    WriteStatus status;
    const char* after;  // the file's contents afterwards
  };
  const Case cases[] = {
      {"new.com", WriteStatus::Ok, "\xB4\x09\xCD\x21"},
      {"old.com", WriteStatus::Ok, "\xB4\x09\xCD\x21"},  // replaced whole, not patched
      {"Out", WriteStatus::Folder, "<missing>"},         // a folder is no file
      {"NUL", WriteStatus::Special, ""},                 // nor is a device, by any name
      {"nul.com", WriteStatus::Special, ""},
      {"CON", WriteStatus::Special, nullptr},
      {"Out\\con.asm", WriteStatus::Special, nullptr},
      {"COM1", WriteStatus::Special, nullptr},
      {"lpt9.txt", WriteStatus::Special, nullptr},
      {"\\\\.\\nul", WriteStatus::Special, nullptr},
      {"nofolder\\x.com", WriteStatus::NoFolder, "<missing>"},
      {"x?.com", WriteStatus::BadName, "<missing>"},
      {"", WriteStatus::BadName, nullptr},
  };
  for (const Case& c : cases) {
    const FileWriteResult w = fs.WriteWholeFile(c.path, data, {});
    EXPECT_EQ(w.status, c.status) << c.path;
    EXPECT_EQ(w.bytesWritten, c.status == WriteStatus::Ok ? 4u : 0u) << c.path;
    if (c.after != nullptr) {
      EXPECT_EQ(Get(c.path), c.after) << c.path;
    }
    // Nothing else is left in the folder: no new file, no empty one.
    EXPECT_EQ(Listing(), (std::vector<std::string>{"Out", "new.com", "old.com"})) << c.path;
  }
  EXPECT_TRUE(fs.FileExists("NEW.COM"));
  EXPECT_TRUE(fs.DeleteFile("new.com"));
  EXPECT_FALSE(Exists("new.com"));
  EXPECT_FALSE(fs.DeleteFile("new.com")) << "already gone";
  EXPECT_FALSE(fs.DeleteFile("Out")) << "folders are not deleted";
  EXPECT_FALSE(fs.DeleteFile("NUL")) << "nor devices";
  EXPECT_TRUE(Exists("Out"));
}

// A disk that fails after the first half of the first piece.
class FailingDisk : public Win32Services {
 protected:
  bool WritePiece(void* handle, const uint8_t* data, uint32_t size, uint32_t* written) override {
    Win32Services::WritePiece(handle, data, size / 2, written);
    return false;
  }
};

TEST(Win32Files, AWriteThatFailsHalfwayLeavesTheOldFileAndNothingElse) {
  TempFolder dir;
  Put("old.com", "OLD CONTENTS");
  FailingDisk fs;
  const uint8_t data[] = {1, 2, 3, 4, 5, 6};
  for (const char* path : {"old.com", "new.com"}) {
    const FileWriteResult w = fs.WriteWholeFile(path, data, {});
    EXPECT_EQ(w.status, WriteStatus::Failed) << path;
    EXPECT_EQ(w.bytesWritten, 3u) << path;
  }
  EXPECT_EQ(Get("old.com"), "OLD CONTENTS");
  EXPECT_EQ(Listing(), std::vector<std::string>{"old.com"});
}

TEST(Win32Files, TheSourceReadIsNeverReplacedUnderAnotherName) {
  TempFolder dir;
  Put("prog.asm", "NOP\r\n");
  if (!::CreateHardLinkA("prog.com", "prog.asm", nullptr))
    GTEST_SKIP() << "this file system has no hard links";
  Win32Services fs;
  uint8_t buf[16];
  const FileReadResult read = fs.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
  ASSERT_TRUE(read.opened);
  ASSERT_TRUE(read.identity.known());
  const uint8_t data[] = {0x90, 0xC3};
  const FileWriteResult w = fs.WriteWholeFile("PROG.COM", data, read.identity);
  EXPECT_EQ(w.status, WriteStatus::IsSource);
  EXPECT_EQ(w.bytesWritten, 0u);
  EXPECT_EQ(Get("prog.com"), "NOP\r\n");
  EXPECT_EQ(Get("prog.asm"), "NOP\r\n") << "the source is intact";
  // Told nothing to keep, the write moves a new file over the name prog.com:
  // the source's own name and bytes stay.
  EXPECT_TRUE(fs.WriteWholeFile("prog.com", data, {}).ok());
  EXPECT_EQ(Get("prog.com"), "\x90\xC3");
  EXPECT_EQ(Get("prog.asm"), "NOP\r\n");
}

// The file system's numbering, chosen by the test: a number that an editor's
// save (a new file renamed over the old one) frees can be given to the next
// file made, as Wine gives inode numbers again.
class RenumberedFiles : public Win32Services {
 public:
  std::map<std::string, uint64_t> numbers;  // by the path as it is passed

 protected:
  win32::FileId Identify(const char* path, win32::FileId reported) const override {
    auto it = numbers.find(path);
    return it == numbers.end() ? reported : win32::FileId{reported.volume, it->second};
  }
};

TEST(Win32Files, AFileNumberFreedByASaveAndGivenToTheOutputIsNoSource) {
  for (const char* before : {"OLD OUTPUT", static_cast<const char*>(nullptr)}) {
    TempFolder dir;
    Put("prog.asm", "NOP\r\n");
    RenumberedFiles fs;
    uint8_t buf[16];
    fs.numbers["prog.asm"] = 100;
    ASSERT_EQ(fs.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing).status,
              ReadStatus::Ok);
    // The editor saves: a new file renamed over the source frees number 100.
    Put("prog.new", "NOP\r\nRET\r\n");
    ASSERT_TRUE(::MoveFileExA("prog.new", "prog.asm", MOVEFILE_REPLACE_EXISTING));
    fs.numbers["prog.asm"] = 101;
    const FileReadResult read = fs.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
    ASSERT_EQ(read.status, ReadStatus::Ok);
    // The compile's output is the next file made: it gets number 100.
    fs.numbers["prog.com"] = 100;
    if (before != nullptr) Put("prog.com", before);
    const uint8_t data[] = {0x90, 0xC3};
    const FileWriteResult w = fs.WriteWholeFile("prog.com", data, read.identity);
    EXPECT_EQ(w.bytesWritten, 2u) << (before ? before : "no output");
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(Get("prog.com"), "\x90\xC3");
    EXPECT_EQ(Get("prog.asm"), "NOP\r\nRET\r\n");
    // The file this compile read, however named, is still refused.
    fs.numbers["PROG.ASM"] = 101;
    EXPECT_EQ(fs.WriteWholeFile("PROG.ASM", data, read.identity).status, WriteStatus::IsSource);
    EXPECT_EQ(Get("prog.asm"), "NOP\r\nRET\r\n");
  }
}

TEST(Win32Files, LinksAreReadThroughButNeverWrittenOrCreatedThrough) {
  TempFolder dir;
  Put("real.asm", "NOP\r\n");
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  // Some systems answer success without making a link: look for it.
  ::CreateSymbolicLinkA("link.asm", "real.asm", kUnprivileged);
  ::CreateSymbolicLinkA("dangling.asm", "nothere.asm", kUnprivileged);
  const DWORD attributes = ::GetFileAttributesA("link.asm");
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      ::GetFileAttributesA("dangling.asm") == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no symbolic links here";
  Win32Services fs;
  uint8_t buf[16] = {};
  FileReadResult r = fs.ReadWholeFile("link.asm", buf, sizeof buf, ReadMode::CreateMissing);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), r.bytesRead), "NOP\r\n");
  EXPECT_FALSE(fs.ReadWholeFile("dangling.asm", buf, sizeof buf, ReadMode::CreateMissing).opened);
  EXPECT_FALSE(Exists("nothere.asm")) << "nothing created where the link points";

  Win32Services writer;
  const uint8_t data[] = {0xC3};
  EXPECT_EQ(writer.WriteWholeFile("link.asm", data, {}).status, WriteStatus::Link);
  EXPECT_EQ(writer.WriteWholeFile("dangling.asm", data, {}).status, WriteStatus::Link);
  EXPECT_FALSE(Exists("nothere.asm"));
  EXPECT_FALSE(writer.DeleteFile("link.asm")) << "only plain files are deleted";
  EXPECT_EQ(Get("real.asm"), "NOP\r\n") << "its target stays";
}

TEST(Win32Files, ExistenceTakesNamesNotPatterns) {
  TempFolder dir;
  Put("a.asm", "NOP");
  Win32Services fs;
  const std::pair<const char*, bool> cases[] = {
      {"a.asm", true},  {"A.ASM", true},  {"b.asm", false},
      {"*.asm", false}, {"?.asm", false}, {"", false},
  };
  for (const auto& [path, exists] : cases) EXPECT_EQ(fs.FileExists(path), exists) << path;
}

TEST(Win32Text, UpperCaseStopsAtTheZeroAndTheSpan) {
  Win32Services p;
  struct Case {
    std::string in;
    size_t span;
    std::string out;
  };
  const Case cases[] = {
      {std::string("mov ax, 'a'\0xy", 14), 14, std::string("MOV AX, 'A'\0xy", 14)},
      {"push bx", 4, "PUSH bx"},  // no zero inside the span: only the span
      {std::string("\0abc", 4), 4, std::string("\0abc", 4)},
      {"nop", 3, "NOP"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b(c.in.begin(), c.in.end());
    p.UpperCase(std::span(b.data(), c.span));
    EXPECT_EQ(std::string(b.begin(), b.end()), c.out) << c.in;
  }
}

TEST(Win32Memory, TheWorkspaceBlockIsZeroed) {
  Win32Services p;
  const size_t size = 8'000'000;
  auto* block = static_cast<uint8_t*>(p.AllocateZeroedBlock(size));
  ASSERT_NE(block, nullptr);
  size_t nonzero = 0;
  for (size_t i = 0; i < size; i += 4093) nonzero += block[i] != 0;
  EXPECT_EQ(block[size - 1], 0);
  EXPECT_EQ(nonzero, 0u);
  p.ReleaseBlock(block);
}

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcA(h, m, w, l);
}

TEST(Win32Editor, TitleOfTheEditorWindowIsReadIntoTheBuffer) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kEditorClass;
  ::RegisterClassA(&wc);
  struct Case {
    std::string title;
    size_t cap;
    std::string want;
  };
  const std::string longTitle = "C:\\" + std::string(300, 'd') + "\\x.asm";
  const Case cases[] = {
      {"C:\\work\\TheFile.asm", 250, "C:\\work\\TheFile.asm"},
      {longTitle, 250, longTitle.substr(0, 249)},
      {"C:\\a.asm", 4, "C:\\"},
  };
  for (const Case& c : cases) {
    HWND w = ::CreateWindowA(kEditorClass, c.title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    std::vector<char> buf(c.cap + 4, 'Z');
    EXPECT_TRUE(win32::FindTopLevelWindowTitle(kEditorClass, buf.data(), c.cap));
    EXPECT_EQ(std::string(buf.data()), c.want);
    EXPECT_EQ(buf[c.cap], 'Z') << "nothing written past the buffer";
    ::DestroyWindow(w);
  }
  char buf[16];
  EXPECT_FALSE(win32::FindTopLevelWindowTitle(kEditorClass, buf, sizeof buf))
      << "no editor window any more";
}

TEST(GdiCanvas, ShapesCoverTheirBoundsLessOneAndFrameInside) {
  GdiCanvas c(nullptr, 64, 48);
  ASSERT_TRUE(c.Valid());
  const Rgb red{255, 0, 0}, white{255, 255, 255}, black{0, 0, 0};
  uint32_t pen = c.CreatePen(red), brush = c.CreateSolidBrush(white);
  c.Select(c.StockBlackBrush());
  c.Select(c.DefaultPen());
  c.Rectangle(0, 0, 64, 48);
  c.Select(pen);
  c.Select(brush);
  c.Rectangle(10, 10, 20, 15);
  c.Ellipse(30, 2, 50, 22);
  c.RoundRect(2, 30, 40, 46, 10, 10);
  struct Case {
    int x, y;
    Rgb want;
  };
  const Case cases[] = {
      {10, 10, red},  {19, 14, red},   {20, 14, black}, {19, 15, black}, {15, 12, white},
      {9, 12, black}, {40, 12, white}, {30, 2, black},  {49, 21, black}, {40, 2, red},
      {30, 12, red},  {2, 38, red},    {39, 38, red},   {40, 38, black}, {20, 38, white},
      {2, 30, black}, {20, 45, red},   {20, 46, black},
  };
  for (const Case& k : cases) EXPECT_EQ(c.PixelAt(k.x, k.y), k.want) << k.x << "," << k.y;
}

TEST(GdiCanvas, TransparentTextStaysInItsCell) {
  GdiCanvas c(nullptr, 200, 40);
  ASSERT_TRUE(c.Valid());
  c.Select(c.StockBlackBrush());
  c.Select(c.DefaultPen());
  c.Rectangle(0, 0, 200, 40);
  c.Select(c.CreateViewFont());
  c.SetBackgroundTransparent();
  c.SetTextColor({255, 255, 0});
  c.TextOut(10, 10, "MOV AX", 6);
  const SIZE s = c.TextExtent("MOV AX", 6);
  EXPECT_GT(s.cx, 30);
  EXPECT_GE(s.cy, 13);
  int inside = 0, outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) {
      Rgb p = c.PixelAt(x, y);
      if (p == Rgb{0, 0, 0}) continue;
      bool in = x >= 10 && x < 10 + s.cx && y >= 10 && y < 10 + s.cy;
      (in ? inside : outside)++;
    }
  EXPECT_GT(inside, 20) << "the text is drawn";
  EXPECT_EQ(outside, 0) << "and nothing else, no background";
}

}  // namespace
}  // namespace quorix
#endif
