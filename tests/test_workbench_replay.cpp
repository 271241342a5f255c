// quorix-replay's script runner against real files in a scratch directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "apps/quorix-replay/replay.h"
#include "support/doubles.h"
#include "support/scratch_dir.h"

namespace quorix {
namespace {

namespace fs = std::filesystem;
using testing_support::CrLf;

// Runs the test inside a fresh directory holding Compiler/ with the two texts.
class ReplayDir : public testing_support::CompilerDirTest {
 protected:
  void SetUp() override { Enter("quorix-replay-", CrLf({"[ORG 100]", "NOP", "INT 20"})); }
};

TEST_F(ReplayDir, ScriptDrivesTheWorkbench) {
  HeadlessPlatform platform;
  ReplaySession session(platform);
  std::istringstream script(
      "# compile the default source through the editor link\n"
      "tick 2\n"
      "editor Compiler\\TheFile.asm\n"
      "tick 1\n"
      "move 600 20\n"
      "down\n"
      "tick 1\n"
      "up\n"
      "shot compiled.png\n"
      "dump\n");
  std::ostringstream out;
  std::string error;
  int line = 0;
  ASSERT_TRUE(session.Run(script, out, &error, &line)) << line << ": " << error;
  const std::string dump = out.str();
  EXPECT_NE(dump.find("\nstate: 3\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\nstate2: 3\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\nMouX: 600\n"), std::string::npos);
  EXPECT_NE(dump.find("\nLineCountsForFile: 5\n"), std::string::npos);
  EXPECT_NE(dump.find("\nAddrFunct 276360456\n"), std::string::npos);
  EXPECT_EQ(dump.rfind("hWnd: ", 0), 0u);
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 29);
  EXPECT_TRUE(fs::exists("Compiler/TheFile.com"));
  EXPECT_EQ(fs::file_size("Compiler/TheFile.com"), 3u);
  std::ifstream png("compiled.png", std::ios::binary);
  char sig[8] = {};
  png.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  EXPECT_EQ(session.clock(), 4u) << "one millisecond per tick";
}

TEST_F(ReplayDir, BadCommandsNameTheirLine) {
  const struct {
    const char* script;
    int line;
  } cases[] = {
      {"tick 1\nfly\n", 2},  {"move 1\n", 1},
      {"move 1 70000\n", 1}, {"tick\n", 1},
      {"editor\n", 1},       {"\n# c\nshot\n", 3},
      {"tick -1\n", 1},      {"shot /no/such/dir/x.png\n", 1},
      {"keydown F13\n", 1},  {"keydown Alt+F5\n", 1},
      {"keydown\n", 1},      {"keydown F0\n", 1},
      {"window side\n", 1},  {"window machine\ntick 1\nshot m.png\n", 3},
  };
  for (const auto& c : cases) {
    HeadlessPlatform platform;
    ReplaySession session(platform);
    std::istringstream script(c.script);
    std::ostringstream out;
    std::string error;
    int line = 0;
    EXPECT_FALSE(session.Run(script, out, &error, &line)) << c.script;
    EXPECT_EQ(line, c.line) << c.script;
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(ReplayDir, QuitEndsTheScript) {
  HeadlessPlatform platform;
  ReplaySession session(platform);
  std::istringstream script("move 20 110\ndown\ntick 5\ndump\n");
  std::ostringstream out;
  std::string error;
  int line = 0;
  EXPECT_TRUE(session.Run(script, out, &error, &line));
  EXPECT_TRUE(platform.quitPosted());
  EXPECT_EQ(platform.exitCode(), 0);
  EXPECT_TRUE(out.str().empty()) << "nothing runs after the quit message";
}

}  // namespace
}  // namespace quorix
