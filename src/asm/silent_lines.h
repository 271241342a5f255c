// Lines that hold an instruction word and yet produced no bytes: the
// mnemonics the dialect recognises without encoding them, and unknown words.
// Labels, empty lines, comments, bracket directives and data definitions are
// never counted.
#pragma once

#include <cstdint>
#include <vector>

#include "model/common.h"
#include "asm/env.h"

namespace quorix {

// True for a cleaned, upper-cased line that should produce bytes: not empty,
// not a label (':' in its first word, a second word beginning PROC, DATA or
// LABE, or "@@"), not a bracket directive, not DB/DW/DD.
bool IsInstructionLine(const uint8_t* line);

// After a successful run: the numbers of the instruction lines whose
// LineRecord holds no bytes, in source order.
std::vector<uint32_t> LinesWithoutBytes(AsmEnv& env);

}  // namespace quorix
