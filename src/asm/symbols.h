// Labels. The SymbolTable region holds the line numbers of the label lines,
// in source order, ended by 0. A label's value is never stored: a lookup
// answers with the Address of the LineRecord that follows the label line, as
// the most recent pass left it. The index kept beside the table maps each
// name to its first defining line, so a lookup does not re-read label lines.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "model/context_record.h"

namespace quorix {

struct AsmEnv;
class Workspace;
class Platform;

class SymbolIndex {
 public:
  void Clear() { first_.clear(); }
  void Add(std::string name, uint32_t line) { first_.emplace(std::move(name), line); }
  // First defining line of the name, or 0.
  uint32_t Find(const std::string& name) const {
    auto it = first_.find(name);
    return it == first_.end() ? 0 : it->second;
  }
  size_t size() const { return first_.size(); }
  uint32_t generation = 0xFFFFFFFF;  // workspace load generation it was built from

 private:
  std::unordered_map<std::string, uint32_t> first_;
};

inline constexpr uint32_t kSymbolCapacity = 18'750;
inline constexpr uint32_t kMaxNameLength = 255;

// Fills the SymbolTable at tableAddr and the index. Returns the number of
// entries, or kFail when the table region ran out (overflowLine then holds
// the first label line that did not fit).
uint32_t CollectSymbols(ContextRecord* record, uint32_t tableAddr, AsmEnv& env,
                        uint32_t* overflowLine = nullptr);

struct SymbolHit {
  uint32_t address;  // kFail when not found
  uint32_t line;     // the label's own line; 0 when not found
};
// Looks up the word after the first space of text (blanks skipped).
SymbolHit LookupSymbol(const ContextRecord* record, const uint8_t* text, AsmEnv& env);

// False when a label's address does not fit the code width (above FFFF in
// 16-bit code). Only pass 2 decides: in pass 1 a label further down still
// holds a value from an earlier run.
bool LabelFits(const AsmEnv& env, uint32_t address, uint32_t bitsMode);

}  // namespace quorix
