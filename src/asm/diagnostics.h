// What the assembler tells about lines besides their bytes: the warnings of
// a successful run, and the reason a failing line gives when the code that
// refused it named none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "asm/env.h"

namespace quorix {

enum class AsmWarningKind : uint8_t {
  ByteOrderMark,      // the source began with a UTF-8 byte-order mark (skipped)
  NoBytes,            // an instruction line that produced no bytes
  UnknownMnemonic,    // the same, and its first word is no mnemonic at all
  LowerCaseInQuotes,  // quoted letters that upper-casing changes
  SemicolonInQuotes,  // a ';' inside quotes, which starts a comment
  TextAfterOperand,   // a word after an operand, separated by a blank only
};

struct AsmWarning {
  uint32_t line = 0;
  AsmWarningKind kind = AsmWarningKind::NoBytes;
  friend bool operator==(const AsmWarning&, const AsmWarning&) = default;
};

// What follows "line N " in a warning: "produces no bytes", "has a ; inside
// quotes, which starts a comment", ...
const char* WarningText(AsmWarningKind kind);

// The quotes of a line as written (before upper-casing and cleaning): a ';'
// inside double quotes or after an apostrophe, and letters inside them that
// the services' upper-casing changes. The line's own comment (a ';' outside
// quotes) ends the look.
struct QuoteNotes {
  bool lowerCase = false;
  bool semicolon = false;
};
QuoteNotes InspectQuotes(std::span<const uint8_t> raw, Services& services);

// True when the word (upper case) is a mnemonic of x86 or of the dialect,
// whether or not the dialect encodes it.
bool IsKnownMnemonic(std::string_view word);

// True when an instruction line (cleaned, upper-cased) has a word after one
// of its operands with only a blank between (`INC AX BX`, `INT 21 5`), which
// no form reads. Prefixes (REP..., LOCK) before the mnemonic and SHORT, NEAR,
// FAR and OFFSET before an operand are part of it; quotes, brackets and
// parentheses are skipped whole.
bool HasTextAfterOperand(const uint8_t* line);

// The first word of a cleaned, upper-cased line.
std::string_view FirstWord(const uint8_t* line);

// Why line n of the source failed, told from what can be seen of it: a ';'
// inside quotes, an unknown name, an unreadable number, a number too wide for
// its register, a directive or data list it cannot read; else "no such
// operand form for" the mnemonic. bitsMode is the code width at the line.
std::string ExplainRefusal(AsmEnv& env, uint32_t n, uint32_t bitsMode);

}  // namespace quorix
