// The debug screen's step simulator: one source line per step. JMP moves the
// stepping position to its label's line, [BITS n] sets the simulated code
// width, SUB reads its register pair; every other line passes without effect.
#pragma once

#include <cstdint>

#include "asm/env.h"
#include "sim/cpu_state.h"

namespace quorix {

inline constexpr uint32_t kSimLineBuffer = 1024;

// Steps the source line at *position, the line the debug screen steps (the
// caller then adds 1 to it). The symbol table is collected again whenever the
// workspace was reloaded since the last collection.
void SimulateSourceLine(uint32_t* position, CpuState* cpu, AsmEnv& env);

// Interprets one upper-cased, cleaned line against the CpuState. The line
// buffer may be written to (the first ']' of a bracket line becomes a blank)
// and must hold at least four readable bytes after the line's zero.
void SimulateLine(uint32_t* position, CpuState* cpu, uint8_t* line, AsmEnv& env);

}  // namespace quorix
