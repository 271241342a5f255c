// Writing outputs on POSIX: all or nothing, only regular files replaced,
// never the source a compile read, devices written as themselves.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/output_file.h"
#include "backends/posix/posix_services.h"

namespace quorix {
namespace {

namespace fs = std::filesystem;

// A fresh folder, made current for the test.
struct Scratch {
  fs::path path, old;
  Scratch() {
    path = fs::temp_directory_path() /
           ("quorix-out-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
    old = fs::current_path();
    fs::current_path(path);
  }
  ~Scratch() {
    fs::current_path(old);
    fs::remove_all(path);
  }
};

void Put(const char* name, const std::string& bytes) { std::ofstream(name) << bytes; }

std::string Get(const char* name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The names in the current folder, sorted.
std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const uint8_t kData[] = {0x90, 0xC3};

TEST(PosixOutput, ReplacesOnlyRegularFilesAndNeverTheSourceRead) {
  Scratch dir;
  Put("old.com", "OLD");
  ::chmod("old.com", 0600);
  fs::create_directory("dir.com");
  ASSERT_EQ(::mkfifo("pipe.com", 0644), 0);
  Put("target.bin", "T");
  fs::create_symlink("target.bin", "link.com");
  fs::create_symlink("nowhere.bin", "dangle.com");
  Put("prog.asm", "NOP");
  fs::create_hard_link("prog.asm", "hard.com");
  PosixServices files;
  uint8_t buf[8];
  const FileReadResult read = files.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
  ASSERT_TRUE(read.identity.known());
  const std::vector<std::string> before = Names();
  const struct {
    const char* path;
    WriteStatus status;
    const char* after;  // the contents afterwards (through a link: its target's)
  } cases[] = {
      {"new.com", WriteStatus::Ok, "\x90\xC3"},
      {"old.com", WriteStatus::Ok, "\x90\xC3"},
      {"dir.com", WriteStatus::Folder, nullptr},
      {"pipe.com", WriteStatus::Special, nullptr},  // never opened, so never waited on
      {"link.com", WriteStatus::Link, "T"},
      {"dangle.com", WriteStatus::Link, "<missing>"},
      {"hard.com", WriteStatus::IsSource, "NOP"},
      {"PROG.ASM", WriteStatus::IsSource, "NOP"},
      {"nodir\\x.com", WriteStatus::NoFolder, "<missing>"},
      {"", WriteStatus::BadName, nullptr},
  };
  for (const auto& c : cases) {
    const FileWriteResult w = files.WriteWholeFile(c.path, kData, read.identity);
    EXPECT_EQ(w.status, c.status) << c.path;
    if (c.after != nullptr) {
      EXPECT_EQ(Get(ResolveHostPath(c.path).c_str()), c.after) << c.path;
    }
  }
  std::vector<std::string> after = before;
  after.push_back("new.com");
  std::sort(after.begin(), after.end());
  EXPECT_EQ(Names(), after) << "no new, empty or half-written file is left";
  EXPECT_TRUE(fs::is_directory("dir.com"));
  EXPECT_TRUE(fs::is_fifo("pipe.com"));
  EXPECT_TRUE(fs::is_symlink("link.com") && fs::is_symlink("dangle.com"));
  EXPECT_EQ(fs::status("old.com").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write)
      << "the replacement keeps the old file's permissions";
  for (const char* name : {"dir.com", "pipe.com", "link.com"})
    EXPECT_FALSE(files.DeleteFile(name)) << "only regular files are deleted: " << name;
}

// The file system's numbering, chosen by the test: a number that an
// editor's save (a new file renamed over the old one) frees can be given to
// the next file made.
class RenumberedFiles : public PosixServices {
 public:
  std::map<std::string, uint64_t> numbers;  // by host path

 protected:
  FileIdentity Identify(const std::string& host, FileIdentity reported) const override {
    auto it = numbers.find(host);
    return it == numbers.end() ? reported : FileIdentity{reported.volume, it->second};
  }
};

TEST(PosixOutput, OnlyTheFileThisCompileReadIsRefused) {
  Scratch dir;
  Put("prog.asm", "NOP\r\n");
  RenumberedFiles files;
  uint8_t buf[16];
  files.numbers["prog.asm"] = 100;
  const FileReadResult first = files.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
  ASSERT_EQ(first.status, ReadStatus::Ok);
  // The editor saves by renaming a new file over the source: 100 is free and
  // the output gets it.
  Put("prog.new", "NOP\r\nRET\r\n");
  ASSERT_EQ(::rename("prog.new", "prog.asm"), 0);
  files.numbers["prog.asm"] = 101;
  files.numbers["prog.com"] = 100;
  Put("prog.com", "OLD OUTPUT");
  const FileReadResult second =
      files.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
  const OutputWrite w = WriteOutputFile(files, "prog.asm", second.identity, nullptr, kData);
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(Get("prog.com"), "\x90\xC3");
}

// The identity is the one taken when this compile read its source: the file
// read stays refused under another name even after the editor has put a new
// file under the source's name.
TEST(PosixOutput, TheFileReadStaysRefusedAfterTheSourceNameMoves) {
  Scratch dir;
  Put("prog.asm", "NOP\r\n");
  PosixServices files;
  uint8_t buf[16];
  const FileReadResult read = files.ReadWholeFile("prog.asm", buf, sizeof buf, ReadMode::Existing);
  fs::create_hard_link("prog.asm", "keep.com");
  Put("prog.new", "RET\r\n");
  ASSERT_EQ(::rename("prog.new", "prog.asm"), 0);
  const OutputWrite w = WriteOutputFile(files, "prog.asm", read.identity, "keep.com", kData);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(w.error, "the output would overwrite the source");
  EXPECT_EQ(Get("keep.com"), "NOP\r\n");
}

// A write that fails halfway (the file size limit stops it after 4,096
// bytes) leaves the old file as it was and nothing beside it.
TEST(PosixOutput, AWriteThatFailsHalfwayLeavesTheOldFileAndNothingElse) {
  Scratch dir;
  Put("old.com", "OLD CONTENTS");
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 4096) GTEST_SKIP() << "limit too low";
  void (*oldHandler)(int) = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  PosixServices files;
  const std::vector<uint8_t> data(10000, 0x90);
  const FileWriteResult replace = files.WriteWholeFile("old.com", data, {});
  const FileWriteResult create = files.WriteWholeFile("new.com", data, {});
  const OutputWrite compile = WriteOutputFile(files, "old.asm", {}, nullptr, data);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(replace.status, WriteStatus::Failed);
  EXPECT_EQ(replace.bytesWritten, 4096u);
  EXPECT_EQ(create.status, WriteStatus::Failed);
  EXPECT_FALSE(compile.ok);
  EXPECT_EQ(compile.error, "the output file could not be written");
  EXPECT_EQ(Get("old.com"), "OLD CONTENTS");
  EXPECT_EQ(Names(), std::vector<std::string>{"old.com"});
}

// Device nodes of our own (never the system's /dev/null): a character
// device is written as itself, a block device refused; neither is deleted
// or replaced by a regular file.
TEST(PosixOutput, DeviceNodesAreWrittenAsThemselvesNeverReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "making device nodes (mknod) needs root";
  Scratch dir;
  if (::mknod("null", S_IFCHR | 0666, makedev(1, 3)) != 0 ||
      ::mknod("full", S_IFCHR | 0666, makedev(1, 7)) != 0 ||
      ::mknod("blk", S_IFBLK | 0600, makedev(240, 0)) != 0)
    GTEST_SKIP() << "this system does not let us make device nodes (mknod failed)";
  PosixServices files;
  const struct {
    const char* path;
    bool ok;
    const char* error;
    mode_t kind;
    dev_t device;
  } cases[] = {
      {"null", true, "", S_IFCHR, makedev(1, 3)},
      {"full", false, "the output file could not be written", S_IFCHR, makedev(1, 7)},
      {"blk", false, "it names a device, a FIFO or another special file, which is never replaced",
       S_IFBLK, makedev(240, 0)},
  };
  for (const auto& c : cases) {
    // As a compile writes its output: quorix-asm SOURCE -o NODE.
    const OutputWrite w = WriteOutputFile(files, "a.asm", {}, c.path, kData);
    EXPECT_EQ(w.ok, c.ok) << c.path;
    EXPECT_EQ(w.error, c.error) << c.path;
    struct stat st;
    ASSERT_EQ(::lstat(c.path, &st), 0) << c.path << " is gone";
    EXPECT_EQ(st.st_mode & S_IFMT, c.kind) << c.path;
    EXPECT_EQ(st.st_rdev, c.device) << c.path;
    EXPECT_FALSE(files.DeleteFile(c.path)) << c.path;
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"blk", "full", "null"}));
}

}  // namespace
}  // namespace quorix
#endif
