#include "asm/symbols.h"

#include <algorithm>
#include <cstring>

#include "model/workspace.h"
#include "asm/env.h"
#include "asm/records.h"
#include "text/lines.h"

namespace quorix {

namespace {

bool IsNameEnd(uint8_t c) { return c == ' ' || c == 0 || c == kCR; }

// The label name of a label line: leading blanks skipped, its first ':'
// taken as a space, the name being everything before the first space. False
// when the line has no space at all (such a line is passed over) or the name
// is longer than a lookup reads (kMaxNameLength), so both agree on which
// names exist.
bool NameOfLabelLine(uint8_t* line, std::string_view* name) {
  const uint8_t* p = SkipBlanks(line);
  if (p > line && (p[-1] == 0 || p[-1] == kCR)) return false;
  uint8_t* start = const_cast<uint8_t*>(p);
  uint32_t colon = FindChar(start, ':');
  if (colon != kFail) start[colon - 1] = ' ';
  uint32_t space = FindChar(start, ' ');
  if (space == kFail || space - 1 > kMaxNameLength) return false;
  *name = std::string_view(reinterpret_cast<const char*>(start), space - 1);
  return true;
}

bool IsBlank(uint8_t c) { return c == ' ' || c == kTab; }
uint8_t UpperAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// A label line holds a ':' before any ';', or its second word begins with
// PROC, DATA or LABE.
bool IsLabelLine(const uint8_t* p, uint32_t len, uint32_t readable) {
  const uint32_t end = FirstOf3(p, len, readable, ':', ';', ';');
  if (end < len && p[end] == ':') return true;
  uint32_t i = 0;
  while (i < end && IsBlank(p[i])) ++i;   // leading blanks
  while (i < end && !IsBlank(p[i])) ++i;  // the first word
  if (i == end) return false;             // no blank after it
  while (i < end && IsBlank(p[i])) ++i;
  if (end - i < 4) return false;
  uint8_t w[4];
  for (int k = 0; k < 4; ++k) w[k] = UpperAscii(p[i + k]);
  return std::memcmp(w, "PROC", 4) == 0 || std::memcmp(w, "DATA", 4) == 0 ||
         std::memcmp(w, "LABE", 4) == 0;
}

}  // namespace

void SymbolIndex::Clear() {
  entries_.clear();
  names_.clear();
  slots_.clear();
  distinct_ = 0;
  built_ = true;
}

uint32_t SymbolIndex::Hash(std::string_view name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

void SymbolIndex::Reserve(size_t names) {
  // Memory that is reserved but not written costs nothing; growing by
  // copying would touch every page twice.
  entries_.reserve(names);
  names_.reserve(names * 12);
}

void SymbolIndex::Add(std::string_view name, uint32_t line) {
  if (line == 0) return;
  entries_.push_back(
      {static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()), line});
  names_.append(name);
  built_ = false;
}

void SymbolIndex::Build() const {
  size_t size = 64;
  while (2 * size < 3 * entries_.size()) size *= 2;
  slots_.assign(size, Slot{0, 0, 0, 0});
  distinct_ = 0;
  const size_t mask = size - 1;
  for (const Entry& e : entries_) {
    const std::string_view name = NameOf(e);
    const uint32_t hash = Hash(name);
    size_t i = hash & mask;
    for (;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.line == 0) break;
      if (s.hash == hash && s.length == e.length &&
          std::memcmp(names_.data() + s.offset, name.data(), name.size()) == 0)
        break;
    }
    if (slots_[i].line != 0) continue;  // a later definition of a known name
    slots_[i] = {hash, e.offset, e.length, e.line};
    ++distinct_;
  }
  built_ = true;
}

size_t SymbolIndex::size() const {
  if (!built_) Build();
  return distinct_;
}

uint32_t SymbolIndex::Find(std::string_view name) const {
  if (!built_) Build();
  if (slots_.empty()) return 0;
  const uint32_t hash = Hash(name);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.line == 0) return 0;
    if (s.hash == hash && s.length == name.size() &&
        std::memcmp(names_.data() + s.offset, name.data(), name.size()) == 0)
      return s.line;
  }
}

uint32_t CollectSymbols(AsmEnv& env, uint32_t* overflowLine) {
  Workspace& ws = env.ws;
  env.symbols.Clear();
  env.symbols.Reserve(kSymbolCapacity);
  const SourceText& source = env.regions.source;
  const uint32_t tableAddr = env.regions.symbolTable;
  std::span<uint8_t> table = ws.Tail(tableAddr);
  const uint32_t capacity = static_cast<uint32_t>(table.size() / 4);

  uint8_t buf[1024 + 8] = {};
  uint32_t count = 0;
  bool overflow = false;
  for (uint32_t n = 1; n <= source.lineCount && !overflow; ++n) {
    // Classify the line from its raw bytes, as it would read once fetched
    // (cut to the 1,024-byte buffer), upper-cased and cleaned; only label
    // lines are fetched.
    const uint8_t* raw;
    uint32_t len;
    if (!LocateLine(source, n, &raw, &len)) continue;
    if (!IsLabelLine(raw, std::min<uint32_t>(len, 1023),
                     static_cast<uint32_t>(source.bytes.data() + source.bytes.size() - raw)))
      continue;
    if (count + 1 >= capacity) {  // keep room for the closing 0
      overflow = true;
      if (overflowLine) *overflowLine = n;
      break;
    }
    ws.Write32(tableAddr + 4 * count, n);
    ++count;
    uint32_t got = FetchLocatedLine(source.bytes, raw, len, std::span<uint8_t>(buf, 1024));
    if (got == kFail) continue;
    env.services.UpperCase(std::span<uint8_t>(buf, 1024));
    std::string_view name;
    if (NameOfLabelLine(buf, &name)) env.symbols.Add(name, n);
    std::memset(buf, 0, got);
  }
  if (capacity > 0) ws.Write32(tableAddr + 4 * count, 0);
  env.symbols.generation = ws.load().generation;
  return overflow ? kFail : count;
}

std::string LabelNameOfLine(const SourceText& source, uint32_t n) {
  const uint8_t* raw;
  uint32_t len;
  if (!LocateLine(source, n, &raw, &len)) return {};
  len = std::min<uint32_t>(len, 1023);
  if (!IsLabelLine(raw, len,
                   static_cast<uint32_t>(source.bytes.data() + source.bytes.size() - raw)))
    return {};
  uint8_t buf[1024 + 8] = {};
  for (uint32_t i = 0; i < len && raw[i] != 0; ++i)
    buf[i] = raw[i] == kTab ? ' ' : UpperAscii(raw[i]);
  std::string_view name;
  if (!NameOfLabelLine(buf, &name)) return {};
  return std::string(name);
}

bool LabelFits(const AsmEnv& env, uint32_t address, uint32_t bitsMode) {
  return env.pass < 2 || bitsMode != kBits16 || address <= 0xFFFF;
}

SymbolHit LookupSymbol(const uint8_t* text, AsmEnv& env) {
  ++env.labelLookups;
  const SymbolHit none{kFail, 0};
  uint32_t space = FindChar(text, ' ');
  if (space == kFail) return none;
  const uint8_t* name = SkipBlanks(text + space);
  if (name[-1] == 0 || name[-1] == kCR) {
    // Only blanks after the space: the empty name.
    name = name - 1;
  }
  uint32_t len = 0;
  while (!IsNameEnd(name[len])) {
    if (++len > kMaxNameLength) return none;
  }
  --env.labelLookups;  // LookupName counts this one
  return LookupName(std::string_view(reinterpret_cast<const char*>(name), len), env);
}

SymbolHit LookupName(std::string_view name, AsmEnv& env) {
  ++env.labelLookups;
  const SymbolHit none{kFail, 0};
  if (name.size() > kMaxNameLength) return none;
  uint32_t line = env.symbols.Find(name);
  if (line == 0 || line >= env.regions.source.lineCount) return none;
  // Record `line` (0-based) describes the line after the label line. A label
  // on the very last line reads the closing record the driver writes after
  // each pass; beyond the region there is nothing to read and it stays 0.
  return {env.regions.records.Get(line).Address, line};
}

}  // namespace quorix
