// What the assembler reaches besides the line it is handed: the text it
// assembles, the line records and output it writes, the symbol table region
// and the index beside it, and the platform's upper-casing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "asm/symbols.h"
#include "model/common.h"
#include "model/line_records.h"
#include "model/source_text.h"
#include "model/workspace.h"
#include "platform/services.h"

namespace quorix {

// The regions one assembly run reads and writes.
struct AsmRegions {
  SourceText source;          // the text assembled
  LineRecords records;        // one per line, and one after the last
  std::span<uint8_t> output;  // the bytes produced
  uint32_t symbolTable = 0;   // workbench address of the SymbolTable region
};

// The regions of the workspace's own areas, for a text that was put into
// the source area with the given size and line count.
AsmRegions WorkspaceRegions(Workspace& ws, uint32_t sourceSize, uint32_t lineCount);

struct AsmEnv {
  Workspace& ws;
  Services& services;  // upper-casing, and the block for pass 1's line copies
  SymbolIndex& symbols;
  AsmRegions regions;
  // The driver's current pass. Range checks that depend on label values
  // (LOOP's 8-bit displacement) only apply once every label has its
  // address, that is in pass 2.
  uint32_t pass = 2;
  // Counts label lookups. The driver reads it around each line: a line that
  // looked no label up encodes the same whenever it starts from the same state.
  uint32_t labelLookups = 0;
  // Why the current line failed, when the code that refused it knows: a
  // static text such as "number does not fit in 8 bits". The driver clears
  // it before each line and reports it with the line's error.
  const char* reason = nullptr;
  std::string reasonText = {};  // a reason built for the line, when it names something
};

// Records why the line fails (the first reason given wins) and returns kFail,
// so that a refusal reads `return Refuse(env, "...");`.
inline uint32_t Refuse(AsmEnv& env, const char* why) {
  if (env.reason == nullptr) env.reason = why;
  return kFail;
}

// The same for a reason that is built for the line (it names a label).
inline uint32_t Refuse(AsmEnv& env, std::string why) {
  if (env.reason == nullptr) {
    env.reasonText = std::move(why);
    env.reason = env.reasonText.c_str();
  }
  return kFail;
}

}  // namespace quorix
