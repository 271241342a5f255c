// Labels. The SymbolTable region holds the line numbers of the label lines,
// in source order, ended by 0. A label's value is never stored: a lookup
// answers with the Address of the LineRecord that follows the label line, as
// the most recent pass left it. The index kept beside the table maps each
// name to its first defining line, so a lookup does not re-read label lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/common.h"
#include "model/source_text.h"

namespace quorix {

struct AsmEnv;
class Workspace;

// The names are kept in one buffer in the order they were added; the hash
// table over them is built once, at the first lookup after an addition, so
// a scan that adds thousands of labels never rehashes. A lookup hashes the
// name's bytes where they stand and compares them once, with no string built
// per call.
class SymbolIndex {
 public:
  void Clear();
  // Room for that many names without moving the ones added.
  void Reserve(size_t names);
  // Of two entries for one name, the first added counts.
  void Add(std::string_view name, uint32_t line);
  // First defining line of the name, or 0.
  uint32_t Find(std::string_view name) const;
  size_t size() const;
  uint32_t generation = 0xFFFFFFFF;  // workspace load generation it was built from

 private:
  struct Entry {
    uint32_t offset;  // of the name in names_
    uint32_t length;
    uint32_t line;
  };
  // A slot holds what a lookup compares, so that a hit reads the slot and
  // the name and nothing else.
  struct Slot {
    uint32_t hash;
    uint32_t offset;
    uint32_t length;
    uint32_t line;  // 0: the slot is free
  };
  static uint32_t Hash(std::string_view name);
  std::string_view NameOf(const Entry& e) const { return {names_.data() + e.offset, e.length}; }
  void Build() const;

  std::vector<Entry> entries_;
  std::string names_;
  // Built on demand: a power of two in size, at most two thirds full,
  // holding the first entry of each name.
  mutable std::vector<Slot> slots_;
  mutable size_t distinct_ = 0;
  mutable bool built_ = true;
};

inline constexpr uint32_t kSymbolCapacity = 18'750;
inline constexpr uint32_t kMaxNameLength = 255;

// Fills the SymbolTable region and the index from the label lines of the
// source. Returns the number of entries, or kFail when the table region ran
// out (overflowLine then holds the first label line that did not fit).
uint32_t CollectSymbols(AsmEnv& env, uint32_t* overflowLine = nullptr);

struct SymbolHit {
  uint32_t address;  // kFail when not found
  uint32_t line;     // the label's own line; 0 when not found
};
// Looks up the word after the first space of text (blanks skipped).
SymbolHit LookupSymbol(const uint8_t* text, AsmEnv& env);
// Looks up a name as it stands (upper-cased, at most kMaxNameLength bytes).
SymbolHit LookupName(std::string_view name, AsmEnv& env);

// The name line n of the source defines when it is a label line, read as
// CollectSymbols reads it (ASCII letters upper-cased); empty otherwise.
std::string LabelNameOfLine(const SourceText& source, uint32_t n);

// False when a label's address does not fit the code width (above FFFF in
// 16-bit code). Only pass 2 decides: in pass 1 a label further down still
// holds a value from an earlier run.
bool LabelFits(const AsmEnv& env, uint32_t address, uint32_t bitsMode);

}  // namespace quorix
