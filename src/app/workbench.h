// The workbench as a backend sees it: the process globals (context record,
// CpuState, workspace, palette) and the three entry points a native window
// drives. A backend constructs one Workbench with its Platform, passes every
// native event through WindowProc as one of the workbench's message codes,
// calls TimerTick for every tick of the timer it was asked to start, and ends
// its loop when the platform's PostQuit is called.
#pragma once

#include <cstdint>
#include <memory>

#include "model/context_record.h"
#include "model/workspace.h"
#include "asm/symbols.h"
#include "platform/platform.h"
#include "sim/cpu_state.h"
#include "sim/machine.h"

namespace quorix {

struct Shell;
class RunSession;
class MachineWindow;

class Workbench {
 public:
  // With a machine factory the debug screen's Run box executes the
  // compiled program; without one it steps source lines.
  explicit Workbench(Platform& platform, MachineFactory machines = {});
  ~Workbench();
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  // The window procedure: StepScreen runs first for every message, then the
  // message's own handling (MsgCreate initialises everything and starts the
  // 1 ms timer; MsgClose posts quit with code 0; MsgDestroy releases).
  // Returns false when the backend should apply its default handling.
  bool WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam);
  // A message of one of the workbench's windows: the main one as above; the
  // second one is the machine window, which Debug opens.
  bool WindowProc(WindowId window, uint32_t msg, uint32_t wParam, uint32_t lParam);
  // The timer callback: StepScreen with MsgTimer, wParam = timer id 1, then
  // the machine window's tick.
  void TimerTick(uint32_t timeMs);

  ContextRecord& record() { return record_; }
  CpuState& cpu() { return cpu_; }
  Workspace& workspace() { return *workspace_; }
  Platform& platform() { return platform_; }
  Canvas* canvas() { return canvas_; }
  SymbolIndex& symbols() { return symbols_; }
  // The executing Run box: its program, console and key queue.
  RunSession& run();
  MachineWindow& machine() { return *machine_; }
  // True between window creation and destruction.
  bool created() const { return canvas_ != nullptr; }

 private:
  Platform& platform_;
  ContextRecord record_{};
  CpuState cpu_{};
  Workspace* workspace_ = nullptr;
  Canvas* canvas_ = nullptr;
  SymbolIndex symbols_;
  std::unique_ptr<Workspace> workspaceBlock_;
  std::unique_ptr<Shell> shell_;  // palette, back buffer and the rest of the step's globals
  std::unique_ptr<MachineWindow> machine_;
  uint32_t debugEntries_ = 0;  // of the shell, when the machine window last looked
  // Opens the machine window when the last step entered the debug screen.
  void AfterStep();
};

}  // namespace quorix
