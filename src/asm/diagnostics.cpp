#include "asm/diagnostics.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "asm/encoder.h"
#include "asm/operands.h"
#include "asm/symbols.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

const char* WarningText(AsmWarningKind kind) {
  switch (kind) {
    case AsmWarningKind::ByteOrderMark:
      return "starts with a UTF-8 byte-order mark, which was skipped";
    case AsmWarningKind::NoBytes: return "produces no bytes";
    case AsmWarningKind::UnknownMnemonic: return "has an unknown mnemonic and produces no bytes";
    case AsmWarningKind::LowerCaseInQuotes:
      return "has lower-case letters inside quotes, which become upper case";
    case AsmWarningKind::SemicolonInQuotes: return "has a ; inside quotes, which starts a comment";
    case AsmWarningKind::TextAfterOperand:
      return "has a word after an operand with no comma before it, which is ignored";
  }
  return "";
}

namespace {

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t'; }
bool AtLineEnd(uint8_t c) { return c == 0 || c == '\r' || c == '\n' || c == ';'; }

// The words of a cleaned line, one at a time, with quoted, bracketed and
// parenthesised text inside the word it stands in; a comma ends a word too.
struct Word {
  std::string_view text;
  bool afterComma = false;  // a comma stands before it
};

class WordScan {
 public:
  explicit WordScan(const uint8_t* line) : line_(line) {}
  bool Next(Word* w) {
    bool comma = false;
    while (!AtLineEnd(line_[i_]) && (IsBlank(line_[i_]) || line_[i_] == ',')) {
      comma = comma || line_[i_] == ',';
      ++i_;
    }
    if (AtLineEnd(line_[i_])) return false;
    const size_t start = i_;
    int depth = 0;
    while (!AtLineEnd(line_[i_]) && (depth > 0 || (!IsBlank(line_[i_]) && line_[i_] != ','))) {
      const uint8_t c = line_[i_++];
      if (c == '"' || c == '\'') {  // to the closing quote, or the line's end
        while (line_[i_] != 0 && line_[i_] != '\r' && line_[i_] != '\n' && line_[i_] != c) ++i_;
        if (line_[i_] == c) ++i_;
      } else if (c == '[' || c == '(') {
        ++depth;
      } else if ((c == ']' || c == ')') && depth > 0) {
        --depth;
      }
    }
    *w = {{reinterpret_cast<const char*>(line_ + start), i_ - start}, comma};
    return true;
  }

 private:
  const uint8_t* line_;
  size_t i_ = 0;
};

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

}  // namespace

bool HasTextAfterOperand(const uint8_t* line) {
  WordScan scan(line);
  Word w;
  bool more = scan.Next(&w);
  while (more && IsOneOf(w.text, {"REP", "REPE", "REPZ", "REPNE", "REPNZ", "LOCK"}))
    more = scan.Next(&w);
  // w is the mnemonic; then each operand is one word, after a comma, unless
  // SHORT, NEAR, FAR or OFFSET stands before it.
  bool operandStarted = false;
  while (more && scan.Next(&w)) {
    if (operandStarted && !w.afterComma) return true;
    operandStarted = !IsOneOf(w.text, {"SHORT", "NEAR", "FAR", "OFFSET"});
  }
  return false;
}

QuoteNotes InspectQuotes(std::span<const uint8_t> raw, Services& services) {
  QuoteNotes notes;
  if (std::find_if(raw.begin(), raw.end(), [](uint8_t c) { return c == '"' || c == '\''; }) ==
      raw.end())
    return notes;
  std::vector<uint8_t> upper(raw.begin(), raw.end());
  services.UpperCase(upper);
  uint8_t quote = 0;  // the quote character while inside quotes
  for (size_t i = 0; i < raw.size(); ++i) {
    const uint8_t c = raw[i];
    if (quote == 0) {
      if (c == ';') break;  // the line's comment
      // An apostrophe opens a character literal that may stay open to the
      // line's end ('ABCD): the four-byte form has no closing apostrophe.
      if (c == '"' || c == '\'') quote = c;
      continue;
    }
    if (c == quote) {
      quote = 0;
    } else if (c == ';') {
      notes.semicolon = true;
      break;  // the rest is the comment the ';' starts
    } else if (upper[i] != c) {
      notes.lowerCase = true;
    }
  }
  return notes;
}

namespace {

constexpr const char* kConditions[] = {
    "O",   "NO", "B",  "C", "NAE", "AE", "NB", "NC", "E",   "Z",  "NE", "NZ", "BE", "NA", "A",
    "NBE", "S",  "NS", "P", "PE",  "NP", "PO", "L",  "NGE", "GE", "NL", "LE", "NG", "G",  "NLE"};

constexpr const char* kMnemonics[] = {
    // general purpose and system
    "AAA", "AAD", "AAM", "AAS", "ADC", "ADD", "AND", "ARPL", "BOUND", "BSF", "BSR", "BSWAP", "BT",
    "BTC", "BTR", "BTS", "CALL", "CBW", "CDQ", "CLC", "CLD", "CLI", "CLTS", "CMC", "CMP", "CMPS",
    "CMPSB", "CMPSD", "CMPSW", "CMPXCHG", "CMPXCHG8B", "CPUID", "CWD", "CWDE", "DAA", "DAS", "DEC",
    "DIV", "ENTER", "HLT", "ICEBP", "IDIV", "IMUL", "IN", "INC", "INS", "INSB", "INSD", "INSW",
    "INT", "INT1", "INT3", "INTO", "INVD", "INVLPG", "IRET", "IRETD", "JCXZ", "JECXZ", "JMP",
    "LAHF", "LAR", "LDS", "LEA", "LEAVE", "LES", "LFS", "LGDT", "LGS", "LIDT", "LLDT", "LMSW",
    "LOCK", "LODS", "LODSB", "LODSD", "LODSW", "LOOP", "LOOPD", "LOOPE", "LOOPNE", "LOOPNZ",
    "LOOPW", "LOOPZ", "LSL", "LSS", "LTR", "MOV", "MOVS", "MOVSB", "MOVSD", "MOVSW", "MOVSX",
    "MOVZX", "MUL", "NEG", "NOP", "NOT", "OR", "OUT", "OUTS", "OUTSB", "OUTSD", "OUTSW", "POP",
    "POPA", "POPAD", "POPF", "POPFD", "PUSH", "PUSHA", "PUSHAD", "PUSHF", "PUSHFD", "RCL", "RCR",
    "RDMSR", "RDPMC", "RDTSC", "REP", "REPE", "REPNE", "REPNZ", "REPZ", "RET", "RETF", "RETN",
    "ROL", "ROR", "RSM", "SAHF", "SAL", "SAR", "SBB", "SCAS", "SCASB", "SCASD", "SCASW", "SGDT",
    "SHL", "SHLD", "SHR", "SHRD", "SIDT", "SLDT", "SMSW", "STC", "STD", "STI", "STOS", "STOSB",
    "STOSD", "STOSW", "STR", "SUB", "TEST", "UD2", "VERR", "VERW", "WAIT", "WBINVD", "WRMSR",
    "XADD", "XCHG", "XLAT", "XLATB", "XOR",
    // x87
    "F2XM1", "FABS", "FADD", "FADDP", "FBLD", "FBSTP", "FCHS", "FCLEX", "FCMOVB", "FCMOVBE",
    "FCMOVE", "FCMOVNB", "FCMOVNBE", "FCMOVNE", "FCMOVNU", "FCMOVU", "FCOM", "FCOMI", "FCOMIP",
    "FCOMP", "FCOMPP", "FCOS", "FDECSTP", "FDIV", "FDIVP", "FDIVR", "FDIVRP", "FFREE", "FIADD",
    "FICOM", "FICOMP", "FIDIV", "FIDIVR", "FILD", "FIMUL", "FINCSTP", "FINIT", "FIST", "FISTP",
    "FISUB", "FISUBR", "FLD", "FLD1", "FLDCW", "FLDENV", "FLDL2E", "FLDL2T", "FLDLG2", "FLDLN2",
    "FLDPI", "FLDZ", "FMUL", "FMULP", "FNCLEX", "FNINIT", "FNOP", "FNSAVE", "FNSTCW", "FNSTENV",
    "FNSTSW", "FPATAN", "FPREM", "FPREM1", "FPTAN", "FRNDINT", "FRSTOR", "FSAVE", "FSCALE", "FSIN",
    "FSINCOS", "FSQRT", "FST", "FSTCW", "FSTENV", "FSTP", "FSTSW", "FSUB", "FSUBP", "FSUBR",
    "FSUBRP", "FTST", "FUCOM", "FUCOMI", "FUCOMIP", "FUCOMP", "FUCOMPP", "FWAIT", "FXAM", "FXCH",
    "FXTRACT", "FYL2X", "FYL2XP1",
    // MMX
    "EMMS", "MOVD", "MOVQ", "PACKSSDW", "PACKSSWB", "PACKUSDW", "PACKUSWB", "PADDB", "PADDD",
    "PADDSB", "PADDSW", "PADDUSB", "PADDUSW", "PADDW", "PAND", "PANDN", "PCMPEQB", "PCMPEQD",
    "PCMPEQW", "PCMPGTB", "PCMPGTD", "PCMPGTW", "PMADDWD", "PMULHW", "PMULLW", "POR", "PSLLD",
    "PSLLQ", "PSLLW", "PSRAD", "PSRAW", "PSRLD", "PSRLQ", "PSRLW", "PSUBB", "PSUBD", "PSUBSB",
    "PSUBSW", "PSUBUSB", "PSUBUSW", "PSUBW", "PUNPCKHBW", "PUNPCKHDQ", "PUNPCKHWD", "PUNPCKLBW",
    "PUNPCKLDQ", "PUNPCKLWD", "PXOR",
    // the dialect's own
    "DB", "DW", "DD"};

bool IsConditionForm(std::string_view word, std::string_view head) {
  if (word.size() <= head.size() || word.substr(0, head.size()) != head) return false;
  const std::string_view cc = word.substr(head.size());
  return std::any_of(std::begin(kConditions), std::end(kConditions),
                     [&](const char* c) { return cc == c; });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWith(std::string_view s, std::string_view head) {
  return s.size() >= head.size() && s.substr(0, head.size()) == head;
}

// The number a token spells, read as the dialect reads it.
bool ReadNumber(std::string_view token, uint32_t* value) {
  std::array<uint8_t, 300> buf{};
  if (token.empty() || token.size() >= buf.size() - 8) return false;
  std::memcpy(buf.data(), token.data(), token.size());
  bool readable = false;
  *value = ParseNumberChecked(buf.data(), &readable);
  return readable;
}

bool IsRegisterName(std::string_view t) {
  static constexpr const char* kNames[] = {
      "AL",  "CL",  "DL",  "BL",  "AH",  "CH",  "DH",  "BH",  "AX",  "CX",  "DX",  "BX",  "SP",
      "BP",  "SI",  "DI",  "EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI", "ES",  "CS",
      "SS",  "DS",  "FS",  "GS",  "ST",  "MM0", "MM1", "MM2", "MM3", "MM4", "MM5", "MM6", "MM7",
      "CR0", "CR2", "CR3", "CR4", "DR0", "DR1", "DR2", "DR3", "DR6", "DR7", "TR6", "TR7"};
  if (std::any_of(std::begin(kNames), std::end(kNames), [&](const char* r) { return t == r; }))
    return true;
  return t.size() == 5 && StartsWith(t, "ST(") && t[3] >= '0' && t[3] <= '7' && t[4] == ')';
}

// Register class of a whole register name: 0 byte, 1 word, 2 dword; -1 other.
int RegisterWidth(std::string_view t) {
  if (!IsRegisterName(t) || t.size() < 2) return -1;
  if (t.size() == 2 && (t[1] == 'L' || t[1] == 'H')) return 0;
  if (t.size() == 2 && t[1] != 'S') return 1;
  if (t.size() == 3 && t[0] == 'E') return 2;
  return -1;
}

bool IsOneOf(std::string_view word, std::initializer_list<const char*> list) {
  return std::any_of(list.begin(), list.end(), [&](const char* w) { return word == w; });
}

bool Fits(uint32_t value, int width) {
  if (width == 0) return value <= 0xFF || value >= 0xFFFFFF80u;
  if (width == 1) return value <= 0xFFFF || value >= 0xFFFF8000u;
  return true;
}

const char* FitReason(int width) {
  return width == 0 ? "number does not fit in 8 bits" : "number does not fit in 16 bits";
}

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || c == '_' || c == '?' || c == '.'; }

// Splits at commas outside quotes.
std::vector<std::string_view> SplitOperands(std::string_view s) {
  std::vector<std::string_view> out;
  char quote = 0;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ',') {
      out.push_back(Trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(s.substr(start)));
  return out;
}

// The operand without its size marker, OFFSET-like word, segment override
// and short-jump '$'.
std::string_view Bare(std::string_view op) {
  for (const char* head : {"FW.", "B.", "W.", "D.", "F.", "Q.", "T."})
    if (StartsWith(op, head)) op.remove_prefix(std::strlen(head));
  for (const char* word : {"OFFSET ", "ALAMAT ", "ALMT ", "SHORT ", "NEAR ", "FAR "})
    if (StartsWith(op, word)) op = Trim(op.substr(std::strlen(word)));
  if (op.size() > 3 && op[2] == ':' && op[1] == 'S') op.remove_prefix(3);
  if (StartsWith(op, "$")) op.remove_prefix(1);
  return Trim(op);
}

struct LineView {
  AsmEnv& env;
  uint32_t bitsMode;
  uint32_t line;  // its number
  bool IsLabel(std::string_view name) const { return env.symbols.Find(name) != 0; }
};

// Why a single name or number cannot be read; empty when it can.
std::string TermReason(const LineView& v, std::string_view t) {
  if (t.empty() || IsRegisterName(t) || v.IsLabel(t)) return {};
  uint32_t value;
  if (ReadNumber(t, &value)) return {};
  // A port written Pnn.
  if (t.size() > 1 && t[0] == 'P' && ReadNumber(t.substr(1), &value)) return {};
  if (IsNameStart(t[0])) {
    if (t.size() > kMaxNameLength) return "a label name has at most 255 characters";
    return "unknown label " + std::string(t);
  }
  return "cannot read the number " + std::string(t);
}

// The terms of a bracketed address: registers, numbers and labels between
// '+', '-' and '*' ("#-5" is one number).
std::string AddressReason(const LineView& v, std::string_view inside) {
  size_t start = 0;
  bool wordRegisters = false, dwordRegisters = false;
  int registers = 0;
  char before = '+';  // what stands before the current term
  for (size_t i = 0; i <= inside.size(); ++i) {
    const bool end = i == inside.size();
    const char c = end ? 0 : inside[i];
    const bool split = end || c == '+' || c == '*' || (c == '-' && i > 0 && inside[i - 1] != '#');
    if (!split) continue;
    const std::string_view term = Trim(inside.substr(start, i - start));
    std::string why = TermReason(v, term);
    if (!why.empty()) return why;
    const int width = RegisterWidth(term);
    if (width == 0 || (width == 1 && !IsOneOf(term, {"BX", "BP", "SI", "DI"})))
      return std::string(term) + " cannot address memory: use BX, BP, SI, DI or a 32-bit register";
    if (term == "ESP" && (registers > 0 || c == '*')) return "ESP cannot be an index register";
    uint32_t value;
    if (before == '*' && ReadNumber(term, &value) && !IsOneOf(term, {"1", "2", "4", "8"}))
      return "a scale is 1, 2, 4 or 8";
    registers += width >= 1;
    wordRegisters |= width == 1;
    dwordRegisters |= width == 2;
    if (wordRegisters && !dwordRegisters && before != '*' && ReadNumber(term, &value) &&
        !Fits(value, 1))
      return FitReason(1);
    before = c;
    start = i + 1;
  }
  return {};
}

std::string OperandReason(const LineView& v, std::string_view op) {
  if (op.find('@') != std::string_view::npos || StartsWith(op, "'") || StartsWith(op, "\""))
    return {};
  std::string_view bare = Bare(op);
  if (const size_t open = bare.find('['); open != std::string_view::npos) {
    const size_t close = bare.find(']', open);
    if (close == std::string_view::npos) return "the memory operand has no closing ]";
    return AddressReason(v, bare.substr(open + 1, close - open - 1));
  }
  if (bare.find(' ') != std::string_view::npos) return {};  // words the encoder reads itself
  return TermReason(v, bare);
}

// The 8- and 16-bit numbers of shifts, bit tests, ENTER and ports.
std::string CountReason(std::string_view mnemonic, const std::vector<std::string_view>& ops) {
  uint32_t value;
  const bool byteCount = IsOneOf(mnemonic, {"ROL", "ROR", "RCL", "RCR", "SHL", "SHR", "SAL", "SAR",
                                            "BT", "BTC", "BTR", "BTS"});
  if (byteCount && ReadNumber(ops[1], &value) && !Fits(value, 0)) return FitReason(0);
  if (mnemonic == "ENTER") {
    if (ReadNumber(ops[0], &value) && !Fits(value, 1)) return FitReason(1);
    if (ReadNumber(ops[1], &value) && !Fits(value, 0)) return FitReason(0);
  }
  if (mnemonic == "IN" || mnemonic == "OUT") {
    for (std::string_view op : ops) {
      if (op.size() < 2 || op[0] != 'P' || IsRegisterName(op)) continue;
      if (!ReadNumber(op.substr(1), &value))
        return "cannot read the port number " + std::string(op);
      if (!Fits(value, 0)) return FitReason(0);
    }
  }
  return {};
}

// A number too wide for the register or sized memory operand it goes to.
std::string WidthReason(std::string_view mnemonic, const std::vector<std::string_view>& ops) {
  uint32_t value;
  if (ops.size() == 1 && !ops[0].empty()) {
    const bool byteOnly = mnemonic == "INT" || mnemonic == "AAM" || mnemonic == "AAD";
    const bool wordOnly = mnemonic == "RET" || mnemonic == "RETN" || mnemonic == "RETF";
    if ((byteOnly || wordOnly) && ReadNumber(ops[0], &value) && !Fits(value, byteOnly ? 0 : 1))
      return FitReason(byteOnly ? 0 : 1);
    // $n: a short jump's own displacement.
    if (StartsWith(ops[0], "$") && ReadNumber(ops[0].substr(1), &value) && !Fits(value, 0))
      return FitReason(0);
    return {};
  }
  if (ops.size() != 2) return {};
  if (std::string why = CountReason(mnemonic, ops); !why.empty()) return why;
  if (!ReadNumber(ops[1], &value)) return {};
  int width = RegisterWidth(ops[0]);
  if (width < 0 && ops[0].find('[') != std::string_view::npos)
    width = StartsWith(ops[0], "B.") ? 0 : StartsWith(ops[0], "W.") ? 1 : -1;
  if (width >= 0 && !Fits(value, width)) return FitReason(width);
  const bool sized =
      StartsWith(ops[0], "B.") || StartsWith(ops[0], "W.") || StartsWith(ops[0], "D.");
  if (ops[0].find('[') != std::string_view::npos && !sized)
    return "a memory operand with a number needs its size: B., W. or D. before it";
  return {};
}

// The address of a label operand (bare, after OFFSET or a jump) that does
// not fit 16-bit code, or a short jump that cannot reach its label.
std::string LabelReason(const LineView& v, std::string_view mnemonic,
                        const std::vector<std::string_view>& ops) {
  for (std::string_view op : ops) {
    const std::string_view target = Bare(op);
    if (!v.IsLabel(target)) continue;
    std::string probe = "J " + std::string(target);
    probe.append(8, '\0');
    const SymbolHit hit = LookupSymbol(reinterpret_cast<const uint8_t*>(probe.c_str()), v.env);
    if (hit.line != 0 && v.bitsMode == kBits16 && hit.address > 0xFFFF)
      return "the address of " + std::string(target) + " does not fit in 16 bits";
    const bool address =
        StartsWith(op, "OFFSET ") || StartsWith(op, "ALAMAT ") || StartsWith(op, "ALMT ");
    if (address && ops.size() == 2 && RegisterWidth(ops[0]) == 0)
      return "an address does not fit in an 8-bit register";
  }
  const bool shortJump =
      StartsWith(mnemonic, "LOOP") || mnemonic == "JCXZ" || mnemonic == "JECXZ" ||
      (ops.size() == 1 && (StartsWith(ops[0], "$") || StartsWith(ops[0], "SHORT ")));
  if (!shortJump || ops.size() != 1 || !v.IsLabel(Bare(ops[0]))) return {};
  // Out of reach only when it is: from the line's own address (written
  // before the line failed) to the label's, for a jump of 2 or 3 bytes.
  const std::string_view target = Bare(ops[0]);
  std::string probe = "J " + std::string(target);
  probe.append(8, '\0');
  const SymbolHit hit = LookupSymbol(reinterpret_cast<const uint8_t*>(probe.c_str()), v.env);
  if (hit.line == 0 || v.line == 0 || v.line - 1 >= v.env.regions.records.size()) return {};
  const uint32_t at = v.env.regions.records.Get(v.line - 1).Address;
  const auto reaches = [&](uint32_t length) {
    const int64_t disp = int64_t(hit.address) - (int64_t(at) + length);
    return disp >= -128 && disp <= 127;
  };
  if (reaches(2) || reaches(3)) return {};
  return std::string(target) + " is out of reach of a short jump (-128 to 127 bytes)";
}

std::string DirectiveReason(const LineView& v, std::string_view line) {
  if (line.find(']') == std::string_view::npos) return "a directive needs its closing ]";
  std::string_view inside = Trim(line.substr(1, line.find(']') - 1));
  const size_t blank = inside.find(' ');
  const std::string_view keyword = inside.substr(0, blank);
  const std::string_view value =
      blank == std::string_view::npos ? std::string_view() : Trim(inside.substr(blank));
  if (value.empty()) return "write the directive's number after " + std::string(keyword);
  uint32_t n;
  if (!ReadNumber(value, &n)) return TermReason(v, value);
  if (keyword == "BITS") return "the code width is 16 or 32: write [BITS #16] or [BITS #32]";
  return "this directive cannot be read";
}

bool HasWord(std::string_view text, std::string_view word) {
  for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    const bool startOk = at == 0 || !IsNameStart(text[at - 1]);
    const size_t end = at + word.size();
    const bool endOk = end == text.size() || !IsNameStart(text[end]);
    if (startOk && endOk) return true;
  }
  return false;
}

std::string DataReason(const LineView& v, std::string_view rest, uint32_t unit) {
  if (HasWord(rest, "DUP")) return "DUP is not part of the dialect; write the values or use a loop";
  uint32_t total = 0;
  for (std::string_view item : SplitOperands(rest)) {
    if (item.empty()) return "a data list has an empty entry";
    if (item[0] == '"') {
      total += static_cast<uint32_t>(item.size() - (item.back() == '"' && item.size() > 1 ? 2 : 1));
      continue;
    }
    uint32_t value;
    if (!ReadNumber(item, &value)) return TermReason(v, item);
    if (!FitsUnit(value, unit))
      return unit == 1 ? "number does not fit in 8 bits" : "number does not fit in 16 bits";
    total += unit;
  }
  if (total > sizeof(InstructionRecord::OpCode))
    return "a data line holds at most 28 bytes; go on in another line";
  return "this data list cannot be encoded";
}

// The line as the assembler reads it: tabs as blanks, upper case, without
// its leading blanks, comment and trailing blanks.
std::string CleanedCopy(std::span<const uint8_t> raw, Services& services) {
  std::vector<uint8_t> buf(raw.begin(), raw.end());
  services.UpperCase(buf);
  std::string s(buf.begin(), buf.end());
  std::replace(s.begin(), s.end(), '\t', ' ');
  if (const size_t semi = s.find(';'); semi != std::string::npos) s.resize(semi);
  return std::string(Trim(s));
}

}  // namespace

bool IsKnownMnemonic(std::string_view word) {
  if (word.empty()) return false;
  if (std::any_of(std::begin(kMnemonics), std::end(kMnemonics),
                  [&](const char* m) { return word == m; }))
    return true;
  return (word[0] == 'J' && IsConditionForm(word, "J")) || IsConditionForm(word, "SET") ||
         IsConditionForm(word, "CMOV");
}

std::string_view FirstWord(const uint8_t* line) {
  const char* s = reinterpret_cast<const char*>(line);
  size_t n = 0;
  while (s[n] != 0 && s[n] != ' ' && s[n] != '\t' && s[n] != kCR) ++n;
  return {s, n};
}

std::string ExplainRefusal(AsmEnv& env, uint32_t n, uint32_t bitsMode) {
  const uint8_t* start = nullptr;
  uint32_t chars = 0;
  if (!LocateLine(env.regions.source, n, &start, &chars)) return "the line cannot be read";
  const std::span<const uint8_t> raw(start, chars);
  if (InspectQuotes(raw, env.services).semicolon)
    return "a ; inside quotes starts a comment, so the line ends inside the quotes";
  const std::string line = CleanedCopy(raw, env.services);
  const LineView v{env, bitsMode, n};
  if (line.empty()) return "the line cannot be read";
  if (line[0] == '[') return DirectiveReason(v, line);
  const size_t blank = line.find(' ');
  const std::string_view mnemonic = std::string_view(line).substr(0, blank);
  const std::string_view rest =
      blank == std::string::npos ? std::string_view() : Trim(std::string_view(line).substr(blank));
  if (mnemonic.find(':') != std::string_view::npos) {
    if (mnemonic.size() - 1 > kMaxNameLength) return "a label name has at most 255 characters";
    if (rest.empty()) return "this label line cannot be read";
    return "one label or instruction per line: put the instruction on the next line";
  }
  if (StartsWith(mnemonic, "REP"))
    return "REP goes only before a string instruction with its size letter (MOVSB, STOSW, ...)";
  if (mnemonic == "LOCK") return "no such form for LOCK " + std::string(rest);
  if (mnemonic == "DB" || mnemonic == "DW" || mnemonic == "DD")
    return DataReason(v, rest, mnemonic == "DB" ? 1 : mnemonic == "DW" ? 2 : 4);
  const std::vector<std::string_view> ops =
      rest.empty() ? std::vector<std::string_view>() : SplitOperands(rest);
  if (ops.size() == 2) {
    if (std::string why = CountReason(mnemonic, ops); !why.empty()) return why;
  }
  for (std::string_view op : ops) {
    if (op.empty()) return "an operand is missing";
    if (std::string why = OperandReason(v, op); !why.empty()) return why;
  }
  if (std::string why = WidthReason(mnemonic, ops); !why.empty()) return why;
  if (std::string why = LabelReason(v, mnemonic, ops); !why.empty()) return why;
  return "no such operand form for " + std::string(mnemonic);
}

}  // namespace quorix
