// The step that runs for every message and every timer tick, and the editor
// link it polls in the start and load states.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/context_record.h"
#include "model/workspace.h"
#include "asm/env.h"
#include "asm/symbols.h"
#include "platform/platform.h"
#include "screen/drawing.h"
#include "sim/cpu_state.h"
#include "sim/run_session.h"

namespace quorix {

// The process globals besides the record, as the step reaches them.
struct Shell {
  explicit Shell(Platform& p) : platform(p) {}
  Platform& platform;
  Workspace* ws = nullptr;  // allocated at window creation
  Screen screen;            // back buffer, palette and font
  CpuState* cpu = nullptr;
  SymbolIndex* symbols = nullptr;
  std::string outputPath;             // the .com file of the last assembly run
  RunSession run;                     // the compiled program the Run box executes
  uint32_t shownState = StateStart;   // the screen of the previous step
  std::string compileError;           // the reason the last run failed
  uint32_t warningCount = 0;          // warnings of the last successful run
  std::vector<std::string> warnings;  // the first of them, as the compile screen lists them
  bool stripUsed = false;             // the warnings were drawn in the console strip's place
  uint32_t debugEntries = 0;          // times Debug was chosen
};

// Anchor of the start-screen emblem.
inline constexpr int kEmblemX = 300;
inline constexpr int kEmblemY = 200;

// Clears the work area, does the work of the current state, updates the
// pointer fields from the message, draws the menu panel and presents the back
// buffer; the record changes only when the step ends. Before the back buffer
// and the workspace exist a step has no effect.
void StepScreen(ContextRecord* record, Shell& shell, uint32_t msg, uint32_t wParam,
                uint32_t lParam);

// The regions the record points at, as the assembler reads and writes them.
AsmRegions RegionsOf(const ContextRecord& record, Workspace& ws);

// Assembles the loaded source, writes its .com file beside it and sets
// state2 (Compiled, CompileFailed with state3 the line, or WriteFailed); a
// written program becomes the one the Run box executes.
void CompileSource(ContextRecord* record, Shell& shell);

// One step of the line stepper on line PosSCL (the caller then adds 1 to
// PosSCL), over the regions the record points at; while the left button is
// up the state becomes StateDebug.
void SimulateStep(ContextRecord* record, CpuState* cpu, AsmEnv& env);

// Looks for the companion editor; once found, takes its title as the source
// path and, when the opcode file exists, reloads both texts and moves to the
// compile screen. withMessage: show the not-found message (load state).
void PollEditor(ContextRecord* record, Shell& shell, bool withMessage);

}  // namespace quorix
