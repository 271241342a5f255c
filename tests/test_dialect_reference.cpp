// docs/dialect.md shows, for every example line, the bytes it produces in
// 16- and 32-bit code. Each row is assembled here, so the reference cannot
// drift from the assembler.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/asm_support.h"

namespace quorix {
namespace {

using testing_support::AsmHarness;
using testing_support::AsmRun;

struct ReferenceRow {
  int lineNo;
  std::string text, bytes16, bytes32;
};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Table rows of the form | `LINE` | 16-bit bytes | 32-bit bytes |.
std::vector<ReferenceRow> ReadReference(const std::string& path) {
  std::vector<ReferenceRow> rows;
  std::ifstream in(path);
  std::string l;
  int n = 0;
  while (std::getline(in, l)) {
    ++n;
    if (l.rfind("| `", 0) != 0) continue;
    const size_t close = l.find("` |", 3);
    if (close == std::string::npos) continue;
    ReferenceRow r{n, l.substr(3, close - 3), "", ""};
    const size_t bar = l.find('|', close + 3);
    const size_t end = bar == std::string::npos ? bar : l.find('|', bar + 1);
    if (bar == std::string::npos || end == std::string::npos) continue;
    r.bytes16 = Trim(l.substr(close + 3, bar - close - 3));
    r.bytes32 = Trim(l.substr(bar + 1, end - bar - 1));
    rows.push_back(r);
  }
  return rows;
}

std::string Assemble(const std::string& line, int bits) {
  AsmHarness h;
  AsmRun r = h.Run(std::string(bits == 32 ? "[BITS #32]\r\n" : "") + "START:\r\n" + line);
  if (r.state2 != Compiled) return "refused";
  return r.bytes.empty() ? "none" : r.Hex();
}

TEST(DialectReference, EveryExampleAssemblesToTheBytesShown) {
  const auto rows = ReadReference(std::string(QUORIX_SOURCE_DIR) + "/docs/dialect.md");
  ASSERT_GT(rows.size(), 150u) << "docs/dialect.md lost its example tables";
  for (const auto& r : rows) {
    EXPECT_EQ(Assemble(r.text, 16), r.bytes16) << "docs/dialect.md:" << r.lineNo << " " << r.text;
    EXPECT_EQ(Assemble(r.text, 32), r.bytes32) << "docs/dialect.md:" << r.lineNo << " " << r.text;
  }
}

TEST(DialectReference, EveryListedRefusalIsRefused) {
  // The refused section names each form by an example line in backticks.
  std::ifstream in(std::string(QUORIX_SOURCE_DIR) + "/docs/dialect.md");
  std::string l;
  bool inSection = false;
  int checked = 0;
  while (std::getline(in, l)) {
    if (l.rfind("## ", 0) == 0) inSection = l == "## Refused forms";
    if (!inSection || l.rfind("- `", 0) != 0) continue;
    const std::string form = l.substr(3, l.find('`', 3) - 3);
    if (form.find(' ') == std::string::npos) continue;  // a pattern, not a line
    EXPECT_EQ(Assemble(form, 16), "refused") << form;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace quorix
