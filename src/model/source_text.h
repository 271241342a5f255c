// A loaded text as the readers of its lines need it: its bytes, its line
// index and the two numbers kept beside them. The source and the opcode
// reference table are both SourceTexts; the views point into the workspace
// and own nothing.
#pragma once

#include <cstdint>
#include <span>

namespace quorix {

struct SourceText {
  std::span<uint8_t> bytes;        // the text's region (tabs and CRs are rewritten by fetches)
  std::span<const uint8_t> index;  // its LineIndex: 32-bit offsets of the line starts
  uint32_t size = 0;               // bytes of text in the region
  uint32_t lineCount = 0;          // 2 plus the CR bytes: lines run from 1 to lineCount-1
};

}  // namespace quorix
