// What the assembler reaches besides the records it is handed: the workspace
// (through which every text and table is read), the platform's upper-casing,
// and the symbol index that stands beside the SymbolTable region.
#pragma once

#include "model/workspace.h"
#include "asm/symbols.h"
#include "platform/platform.h"

namespace quorix {

struct AsmEnv {
  Workspace& ws;
  Platform& platform;
  SymbolIndex& symbols;
  // The driver's current pass. Range checks that depend on label values
  // (LOOP's 8-bit displacement) only apply once every label has its
  // address, that is in pass 2.
  uint32_t pass = 2;
  // Counts label lookups. The driver reads it around each line: a line that
  // looked no label up encodes the same whenever it starts from the same state.
  uint32_t labelLookups = 0;
};

}  // namespace quorix
