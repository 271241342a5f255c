// One executed instruction said in one line, with its values: the
// registers it changed, the memory it wrote, where it jumped, called or
// returned to, what an interrupt printed or read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/source_map.h"

namespace quorix {

struct MemoryChange {
  uint32_t address = 0;  // as the program addresses it (offset in its segment, or flat)
  uint8_t before = 0;
  uint8_t after = 0;
};

// What one instruction did, as the debugger observed it.
struct StepFacts {
  uint32_t bits = 16;
  uint32_t before[kRegCount] = {};
  uint32_t after[kRegCount] = {};
  std::vector<uint8_t> code;          // the instruction's bytes (and those after them)
  std::vector<MemoryChange> changes;  // bytes whose value changed, by address
  uint32_t topBefore = 0;             // the dword at the top of the stack before
  uint32_t topAfter = 0;              // and after
  std::string printed;                // output written meanwhile
  std::string keys;                   // keys read meanwhile
  bool waiting = false;               // the instruction waits for a key
  bool ended = false;                 // the program ended at it (endMessage says how)
  std::string endMessage;
};

// The line, e.g. "CX 0003 -> 0002, jumped back to line 7 (AGAIN)".
std::string DescribeStep(const StepFacts& facts, const SourceMap& source);

}  // namespace quorix
