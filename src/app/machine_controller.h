// The machine window's executing side: its commands on the program the
// debug screen runs (the Run box's), through the debugger's controller.
// Long commands (continue, step over and out, run to a line) start with the
// next timer tick and run in slices, one per tick, each bounded in time, so
// both windows keep answering; pause ends them at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "screen/machine_view.h"
#include "sim/debugger.h"
#include "sim/run_session.h"

namespace quorix {

class MachineController {
 public:
  static constexpr std::chrono::microseconds kSliceTime{4000};

  // Commands keep the debug screen's registers (cpu) and listing line
  // (*listingLine) with the program.
  MachineController(RunSession& run, CpuState* cpu, uint32_t* listingLine)
      : run_(run), cpu_(cpu), listingLine_(listingLine) {}

  // A program is there to run (the Run box executes).
  bool active() const { return active_ && run_.debugger() != nullptr; }
  // Takes the Run box's program as it is now, or none: no command runs,
  // no breakpoints.
  void Attach(bool active);

  MachineState State();
  // Where the program is, or why it ended.
  std::string Status();
  uint64_t steps();
  // The line of the next instruction (0: none).
  uint32_t NextLine();

  void StepInto();
  void StepOver();
  void StepOut();
  void StepBack();
  void Continue();
  void Pause();
  // The program from its start; breakpoints stay.
  void Restart();
  // Runs until the first instruction of the first line with bytes from
  // `line` on is next; false when there is none.
  bool RunToLine(uint32_t line);
  // Adds or removes the breakpoint on the first line with bytes from
  // `line` on; returns that line (0: none).
  uint32_t ToggleBreakpoint(uint32_t line);
  // The lines with a breakpoint, ascending.
  std::vector<uint32_t> BreakpointLines();
  bool HasBreakpoint(uint32_t line);

  // One slice of a running command.
  void Tick();
  bool running() const;

  // The last instruction in words, and what it did (null: nothing to say,
  // or a command is running).
  std::string LastStep();
  const StepFacts* LastFacts();

 private:
  // After a command: the debug screen's registers and listing follow.
  void Follow();

  RunSession& run_;
  CpuState* cpu_;
  uint32_t* listingLine_;
  bool active_ = false;
  std::string note_;  // why the last command stopped where it did
};

}  // namespace quorix
