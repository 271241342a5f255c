#include "sim/step_words.h"

#include <cstdio>

#include "sim/x86_shape.h"

namespace quorix {

namespace {

constexpr size_t kMaxQuoted = 40;  // characters of printed text shown
constexpr size_t kMaxBytes = 8;    // bytes of a longer write shown

std::string Hex(uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, v);
  return buf;
}

uint32_t Get(const uint32_t* regs, Reg r) { return regs[static_cast<int>(r)]; }

// "line 7 (AGAIN)", "line 12", or the address where no line covers it.
std::string Where(uint32_t address, const SourceMap& source, uint32_t bits) {
  const uint32_t line = source.LineAt(address);
  if (line == 0) return Hex(address, bits == 32 ? 8 : 4);
  std::string s = "line " + std::to_string(line);
  if (const Label* l = source.LabelAt(address)) s += " (" + l->name + ")";
  return s;
}

std::string Quoted(const std::string& text) {
  std::string q = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == kMaxQuoted) {
      q += "...";
      break;
    }
    const auto c = static_cast<uint8_t>(text[i]);
    if (c == '\r') {
      q += "\\r";
    } else if (c == '\n') {
      q += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      q += "\\x" + Hex(c, 2);
    } else {
      q.push_back(static_cast<char>(c));
    }
  }
  return q + "\"";
}

void Add(std::string* out, const std::string& part) {
  if (part.empty()) return;
  if (!out->empty()) *out += ", ";
  *out += part;
}

// The registers that changed, in the order A, B, C, D, SI, DI, BP, SP, the
// segment registers; 16-bit code names the 16-bit registers unless a high
// half changed.
std::string RegisterChanges(const StepFacts& f, bool withSp) {
  static const struct {
    Reg reg;
    const char* name;
  } kOrder[] = {{Reg::Eax, "AX"}, {Reg::Ebx, "BX"}, {Reg::Ecx, "CX"}, {Reg::Edx, "DX"},
                {Reg::Esi, "SI"}, {Reg::Edi, "DI"}, {Reg::Ebp, "BP"}, {Reg::Esp, "SP"},
                {Reg::Ds, "DS"},  {Reg::Es, "ES"},  {Reg::Ss, "SS"},  {Reg::Cs, "CS"},
                {Reg::Fs, "FS"},  {Reg::Gs, "GS"}};
  std::string out;
  for (const auto& r : kOrder) {
    const uint32_t b = Get(f.before, r.reg), a = Get(f.after, r.reg);
    if (a == b || (r.reg == Reg::Esp && !withSp)) continue;
    const bool segment = r.reg >= Reg::Es;
    const bool wide = !segment && (f.bits == 32 || ((a ^ b) >> 16) != 0);
    const int digits = wide ? 8 : 4;
    const uint32_t mask = wide ? 0xFFFFFFFFu : 0xFFFFu;
    Add(&out, std::string(wide ? "E" : "") + r.name + " " + Hex(b & mask, digits) + " -> " +
                  Hex(a & mask, digits));
  }
  return out;
}

std::string FlagChanges(const StepFacts& f) {
  static const struct {
    uint32_t bit;
    const char* name;
  } kFlags[] = {{kFlagCF, "CF"}, {kFlagZF, "ZF"}, {kFlagSF, "SF"},
                {kFlagOF, "OF"}, {kFlagDF, "DF"}, {kFlagIF, "IF"}};
  std::string out;
  const uint32_t b = Get(f.before, Reg::Eflags), a = Get(f.after, Reg::Eflags);
  for (const auto& fl : kFlags) {
    if (((a ^ b) & fl.bit) == 0) continue;
    Add(&out,
        std::string(fl.name) + ((b & fl.bit) ? " 1" : " 0") + ((a & fl.bit) ? " -> 1" : " -> 0"));
  }
  return out;
}

// Runs of changed bytes, each as "wrote 07 to [0125] (ARR+1)"; bytes in
// [skipFrom, skipTo) (the stack slot of a CALL or PUSH) are left out.
std::string MemoryWrites(const StepFacts& f, const SourceMap& source, uint32_t skipFrom,
                         uint32_t skipTo) {
  std::string out;
  const int digits = f.bits == 32 ? 8 : 4;
  for (size_t i = 0; i < f.changes.size();) {
    size_t j = i + 1;
    while (j < f.changes.size() && f.changes[j].address == f.changes[j - 1].address + 1) ++j;
    const uint32_t at = f.changes[i].address;
    const size_t n = j - i;
    if (at >= skipFrom && at < skipTo) {
      i = j;
      continue;
    }
    std::string value;
    if (n == 1 || n == 2 || n == 4) {
      uint32_t v = 0;
      for (size_t k = 0; k < n; ++k) v |= uint32_t(f.changes[i + k].after) << (8 * k);
      value = Hex(v, static_cast<int>(2 * n));
    } else {
      value = std::to_string(n) + " bytes:";
      for (size_t k = 0; k < n && k < kMaxBytes; ++k) value += " " + Hex(f.changes[i + k].after, 2);
      if (n > kMaxBytes) value += " ...";
    }
    std::string part = "wrote " + value + " to [" + Hex(at, digits) + "]";
    const std::string name = source.NameOf(at);
    if (!name.empty()) part += " (" + name + ")";
    Add(&out, part);
    i = j;
  }
  return out;
}

std::string Generic(const StepFacts& f, const SourceMap& source) {
  std::string out = MemoryWrites(f, source, 0, 0);
  Add(&out, RegisterChanges(f, true));
  Add(&out, FlagChanges(f));
  return out.empty() ? "nothing changed" : out;
}

std::string Interrupt(const StepFacts& f, const InsnShape& s) {
  const uint32_t ah = (Get(f.before, Reg::Eax) >> 8) & 0xFF;
  std::string head = "INT " + Hex(s.number, 2) + "h";
  if (s.number == 0x21 || s.number == 0x10 || s.number == 0x16)
    head += " function " + Hex(ah, 2) + "h";
  std::string out;
  if (!f.printed.empty()) Add(&out, "printed " + Quoted(f.printed));
  if (f.keys.size() == 1 && static_cast<uint8_t>(f.keys[0]) >= 0x20)
    Add(&out, "read key '" + f.keys + "'");
  else if (!f.keys.empty())
    Add(&out, "read keys " + Quoted(f.keys));
  if (f.waiting) Add(&out, "waiting for a key");
  if (s.number == 0x16 && ah == 0x01 && !f.ended) {
    const uint32_t al = Get(f.after, Reg::Eax) & 0xFF;
    Add(&out, (Get(f.after, Reg::Eflags) & kFlagZF) ? std::string("no key waiting (ZF=1)")
                                                    : "key " + Hex(al, 2) + " waiting (ZF=0)");
  }
  if (!f.waiting && !f.ended) Add(&out, RegisterChanges(f, true));
  if (f.ended) Add(&out, f.endMessage);
  return head + ": " + (out.empty() ? "nothing changed" : out);
}

// A compare's outcome as the conditional jumps read it.
std::string Compared(const StepFacts& f) {
  const uint32_t fl = Get(f.after, Reg::Eflags);
  const bool cf = fl & kFlagCF, zf = fl & kFlagZF, sf = fl & kFlagSF, of = fl & kFlagOF;
  std::string out = "compared: ";
  if (zf) return out + "equal (ZF=1)";
  out += cf ? "below (CF=1 ZF=0)" : "above (CF=0 ZF=0)";
  const bool less = sf != of;
  if (less != cf)
    out += std::string(", ") + (less ? "less" : "greater") + " if signed (SF=" + (sf ? "1" : "0") +
           " OF=" + (of ? "1" : "0") + ")";
  return out;
}

std::string Transfer(const StepFacts& f, const InsnShape& s, const SourceMap& source) {
  const uint32_t from = Get(f.before, Reg::Eip), to = Get(f.after, Reg::Eip);
  const uint32_t mask = f.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
  const std::string target = Where(to, source, f.bits);
  std::string out;
  switch (s.kind) {
    case InsnKind::Call: {
      const Label* l = source.LabelAt(to);
      const uint32_t line = source.LineAt(to);
      if (l != nullptr && line != 0)
        out = "called " + l->name + " (line " + std::to_string(line) + ")";
      else
        out = "called " + target;
      break;
    }
    case InsnKind::Ret: out = "returned to " + target; break;
    case InsnKind::Loop:
    case InsnKind::CondJump: {
      if (s.kind == InsnKind::Loop) out = RegisterChanges(f, false);
      const uint32_t straight = (from + s.length) & mask;
      if (s.length != 0 && to == straight) {
        const std::string aim = Where((straight + s.offset) & mask, source, f.bits);
        Add(&out, s.kind == InsnKind::Loop ? "loop done: went on to " + target
                                           : "did not jump to " + aim + "; went on to " + target);
        return out;
      }
      Add(&out, std::string(to <= from ? "jumped back to " : "jumped to ") + target);
      return out;
    }
    default: out = std::string(to <= from ? "jumped back to " : "jumped to ") + target; break;
  }
  return out;
}

}  // namespace

std::string DescribeStep(const StepFacts& f, const SourceMap& source) {
  const InsnShape s = ShapeOf(f.code, f.bits);
  if (s.kind == InsnKind::Int) return Interrupt(f, s);
  if (f.ended && f.changes.empty() && RegisterChanges(f, true).empty())
    return "stopped: " + f.endMessage;
  const uint32_t spBefore = Get(f.before, Reg::Esp), spAfter = Get(f.after, Reg::Esp);
  const uint32_t mask = f.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
  std::string out;
  switch (s.kind) {
    case InsnKind::Jump:
    case InsnKind::CondJump:
    case InsnKind::Loop:
    case InsnKind::Call:
    case InsnKind::Ret:
      out = Transfer(f, s, source);
      if (s.kind != InsnKind::Call && s.kind != InsnKind::Ret) Add(&out, FlagChanges(f));
      break;
    case InsnKind::Push: {
      // The slot the push wrote is shown as the value pushed, not as a
      // memory write.
      const uint32_t width = (spBefore - spAfter) & mask;
      const uint32_t value = width == 2 ? f.topAfter & 0xFFFF : f.topAfter;
      out = width == 2 || width == 4 ? "pushed " + Hex(value, 2 * width) : "pushed";
      Add(&out, MemoryWrites(f, source, spAfter & mask, spBefore & mask));
      Add(&out, RegisterChanges(f, true));
      break;
    }
    case InsnKind::Pop: {
      const uint32_t width = (spAfter - spBefore) & mask;
      const uint32_t value = width == 2 ? f.topBefore & 0xFFFF : f.topBefore;
      out = width == 2 || width == 4 ? "popped " + Hex(value, 2 * width) : "popped";
      Add(&out, RegisterChanges(f, true));
      Add(&out, FlagChanges(f));
      break;
    }
    case InsnKind::String:
      // A REP instruction is counted once per iteration and once more
      // when, with the count at 0, it goes on.
      if (s.rep && (Get(f.before, Reg::Ecx) & (f.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu)) == 0) {
        out = std::string("REP done (") + (f.bits == 32 ? "ECX" : "CX") + " 0): went on to " +
              Where(Get(f.after, Reg::Eip), source, f.bits);
        break;
      }
      out = Generic(f, source);
      break;
    case InsnKind::Compare: out = Compared(f); break;
    case InsnKind::Test:
      out =
          (Get(f.after, Reg::Eflags) & kFlagZF) ? "tested: zero (ZF=1)" : "tested: not zero (ZF=0)";
      break;
    default: out = Generic(f, source); break;
  }
  if (f.ended) Add(&out, f.endMessage);
  return out;
}

}  // namespace quorix
