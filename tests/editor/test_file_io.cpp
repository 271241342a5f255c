#include "file_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh directory under the system temporary directory, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "nuvedo-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    // Canonical, so that paths compare equal to what ResolveFile returns.
    path_ = fs::canonical(tmpl).string();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

TEST(FileIo, MakesPathsAbsolute) {
  const struct {
    const char* arg;
    const char* cwd;
    const char* expected;
  } cases[] = {
      {"prog.asm", "/home/user", "/home/user/prog.asm"},
      {"prog.asm", "/home/user/", "/home/user/prog.asm"},
      {"src/prog.asm", "/", "/src/prog.asm"},
      {"/abs/prog.asm", "/home/user", "/abs/prog.asm"},
      {"../prog.asm", "/home/user", "/home/user/../prog.asm"},
  };
  for (const auto& c : cases) EXPECT_EQ(nuvedo::MakeAbsolute(c.arg, c.cwd), c.expected) << c.arg;
}

TEST(FileIo, ResolveCreatesAMissingFileEmpty) {
  TempDir dir;
  const auto first = nuvedo::ResolveFile("new.asm", dir.path());
  ASSERT_TRUE(first.status.Ok()) << first.status.error;
  EXPECT_TRUE(first.created);
  EXPECT_EQ(first.path, dir / "new.asm");
  EXPECT_TRUE(fs::is_regular_file(first.path));
  EXPECT_EQ(fs::file_size(first.path), 0u);

  Spit(first.path, "NOP\r\n");
  const auto again = nuvedo::ResolveFile(first.path, "/");
  ASSERT_TRUE(again.status.Ok()) << again.status.error;
  EXPECT_FALSE(again.created);
  EXPECT_EQ(Slurp(again.path), "NOP\r\n");
}

TEST(FileIo, ResolveGivesTheCanonicalPath) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  Spit(dir / "target.asm", "RET\r\n");
  fs::create_symlink(dir / "target.asm", dir / "link.asm");

  const auto dotted = nuvedo::ResolveFile("./sub/../target.asm", dir.path());
  ASSERT_TRUE(dotted.status.Ok()) << dotted.status.error;
  EXPECT_EQ(dotted.path, dir / "target.asm");

  // Saving must replace the link's target, not the link itself.
  const auto linked = nuvedo::ResolveFile("link.asm", dir.path());
  ASSERT_TRUE(linked.status.Ok()) << linked.status.error;
  EXPECT_EQ(linked.path, dir / "target.asm");
}

TEST(FileIo, ResolveRefusesWhatCannotBeEdited) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  const char* bad[] = {"", "sub", "missing-dir/prog.asm"};
  for (const char* arg : bad) {
    const auto r = nuvedo::ResolveFile(arg, dir.path());
    EXPECT_FALSE(r.status.Ok()) << arg;
    EXPECT_TRUE(r.path.empty()) << arg;
  }
  EXPECT_FALSE(fs::exists(dir / "missing-dir"));
}

TEST(FileIo, ReadsAllBytes) {
  TempDir dir;
  std::string big(200000, 'A');
  big[123456] = '\xE9';
  Spit(dir / "big.asm", big);
  std::string got;
  ASSERT_TRUE(nuvedo::ReadFile(dir / "big.asm", got).Ok());
  EXPECT_EQ(got, big);
  EXPECT_FALSE(nuvedo::ReadFile(dir / "absent.asm", got).Ok());
}

TEST(FileIo, SaveReplacesContentAndKeepsPermissions) {
  TempDir dir;
  const std::string path = dir / "prog.asm";
  Spit(path, "OLD CONTENT THAT IS LONGER\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

  const std::string bytes = "MOV AX,1\r\nDB \"caf\xE9\"\r\n";
  const auto st = nuvedo::WriteFileAtomically(path, bytes);
  ASSERT_TRUE(st.Ok()) << st.error;
  EXPECT_EQ(Slurp(path), bytes);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"prog.asm"});  // no temporary left

  ASSERT_TRUE(nuvedo::WriteFileAtomically(path, "").Ok());
  EXPECT_EQ(Slurp(path), "");
}

TEST(FileIo, SaveFailureIsReportedAndLeavesNoTrace) {
  TempDir dir;
  // Target is a directory: the rename fails after the temporary was written.
  fs::create_directory(dir / "prog.asm");
  Spit(dir / "prog.asm/keep", "x");
  auto st = nuvedo::WriteFileAtomically(dir / "prog.asm", "NOP\r\n");
  EXPECT_FALSE(st.Ok());
  EXPECT_NE(st.error.find("prog.asm"), std::string::npos) << st.error;
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"prog.asm"});
  EXPECT_EQ(Slurp(dir / "prog.asm/keep"), "x");

  // Directory gone: the temporary cannot even be created.
  st = nuvedo::WriteFileAtomically(dir / "gone/prog.asm", "NOP\r\n");
  EXPECT_FALSE(st.Ok());
  EXPECT_FALSE(fs::exists(dir / "gone"));
}

// The directory is writable but the file is not: saving must not replace it.
TEST(FileIo, SaveRefusesAReadOnlyFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  TempDir dir;
  const std::string path = dir / "ro.asm";
  Spit(path, "NOP\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const auto st = nuvedo::WriteFileAtomically(path, "RET\r\n");
  EXPECT_FALSE(st.Ok());
  EXPECT_EQ(Slurp(path), "NOP\r\n");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"ro.asm"});
}

}  // namespace
