// The step that runs for every message and every timer tick, and the editor
// link it polls in the start and load states.
#pragma once

#include <cstdint>
#include <string>

#include "model/context_record.h"
#include "model/workspace.h"
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
  std::string outputPath;  // the .com file of the last assembly run
  RunSession run;          // the compiled program the Run box executes
  uint32_t shownState = StateStart;  // the screen of the previous step
  uint32_t linesWithoutBytes = 0;  // instruction lines of the last successful run with no bytes
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

// Looks for the companion editor; once found, takes its title as the source
// path and, when the opcode file exists, reloads both texts and moves to the
// compile screen. withMessage: show the not-found message (load state).
void PollEditor(ContextRecord* record, Shell& shell, bool withMessage);

}  // namespace quorix
