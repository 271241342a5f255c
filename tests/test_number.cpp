#include <gtest/gtest.h>

#include <cstring>

#include <string>

#include "model/context_record.h"
#include "text/number.h"

namespace quorix {
namespace {

uint32_t Parse(const std::string& s) {
  uint8_t buf[64] = {};
  std::copy(s.begin(), s.end(), buf);
  return ParseNumber(buf);
}

TEST(ParseNumber, Table) {
  const struct {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"10", 0x10},
      {"#10", 10},
      {"#B101", 5},
      {"-1", 0xFFFFFFFF},
      {"-10", 0xFFFFFFF0},
      {"#-10", 0xFFFFFFF6},
      {"FFFF", 65535},
      {"ffff", 65535},
      {"#65535", 65535},
      {"#3000", 3000},
      {"FFFFFFFF", 0xFFFFFFFF},
      {"123456789", kFail},  // nine significant hex digits
      {"000000001", 1},
      {"10H", 0x10},  // textbook forms
      {"0FFFFH", 0xFFFF},
      {"FFH", kFail},  // H needs a leading digit
      {"10H5", kFail},
      {"0X10", 0x10},
      {"0X1H", kFail},
      {"-10H", 0xFFFFFFF0},
      {"$10", kFail},
      {"1G", kFail},
      {"#12A", kFail},
      {"#2:", kFail},  // ':' ends hexadecimal runs only
      {"12:", 0x12},
      {"'ABCD", 0x41424344},
      {"", 0},
      {"-", 0},
      {"#", 0},
      {"-G", 1},  // negation of the failure value
      {"#-X", 1},
      {"5,6", kFail},
      {"7 ,", 7},
      {"#4294967296", 0},  // decimal keeps the low 32 bits
      {"#B", 0},
      {"#B102", kFail},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.value) << c.text;
}

TEST(ParseNumber, OnlyADigitRunIsReadable) {
  // An empty run keeps the value 0 for unchecked callers, but is no number.
  const struct {
    const char* text;
    bool readable;
  } cases[] = {{"", false},   {" ", false},  {"-", false}, {"#", false},  {"#B", false},
               {"#-", false}, {":", false},  {"0", true},  {"-0", true},  {"#0", true},
               {"#B0", true}, {"7 ,", true}, {"'", true},  {"0X", false}, {"0X0", true},
               {"0H", true},  {"H", false}};
  for (const auto& c : cases) {
    uint8_t buf[16] = {};
    std::memcpy(buf, c.text, std::strlen(c.text));
    bool readable = !c.readable;
    ParseNumberChecked(buf, &readable);
    EXPECT_EQ(readable, c.readable) << '"' << c.text << '"';
  }
}

TEST(ParseNumber, CharacterFormReadsFourBytesWhateverTheyAre) {
  // apostrophe, A, apostrophe, end of line, then a zero byte behind the NUL
  uint8_t buf[8] = {'\'', 'A', '\'', 0, 0, 0, 0, 0};
  EXPECT_EQ(ParseNumber(buf), 0x41270000u);
  uint8_t cr[8] = {'\'', 'A', 13, 'B', 'C', 0, 0, 0};
  EXPECT_EQ(ParseNumber(cr), 0x410D4243u);
}

}  // namespace
}  // namespace quorix
