// The machine window's executing side: its commands on the program the
// debug screen runs (the Run box's), breakpoints by source line, and what
// the last instruction changed. Long commands (continue, run to a line) run
// in slices, one per timer tick, each bounded in time, so both windows keep
// answering; pause ends them at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <string>

#include "screen/machine_view.h"
#include "sim/run_session.h"

namespace quorix {

class MachineController {
 public:
  static constexpr std::chrono::microseconds kSliceTime{4000};

  // Steps go through the Run box's own step, which keeps the debug screen's
  // registers (cpu) and listing line (*listingLine) with the program.
  MachineController(RunSession& run, CpuState* cpu, uint32_t* listingLine)
      : run_(run), cpu_(cpu), listingLine_(listingLine) {}

  // A program is there to run (the Run box executes).
  bool active() const { return active_ && run_.program() != nullptr; }
  // Takes the Run box's program as it is now, or none: no goal, no
  // breakpoints, nothing changed yet.
  void Attach(bool active);

  MachineState State();
  // Where the program is, or why it ended.
  std::string Status();
  uint64_t steps();
  // The line of the next instruction (0: none).
  uint32_t NextLine();
  // The first line from `line` on with bytes of its own (0: none).
  uint32_t LineWithBytes(uint32_t line) const;

  void StepInto();
  void Continue();
  void Pause() { goal_ = Goal::None; }
  // The program from its start; breakpoints stay.
  void Restart();
  // Runs until the line's first instruction is next; false when no line
  // from there on has bytes.
  bool RunToLine(uint32_t line);
  // Adds or removes the breakpoint on the first line with bytes from
  // `line` on; returns that line (0: none).
  uint32_t ToggleBreakpoint(uint32_t line);
  const std::set<uint32_t>& breakpoints() const { return breakpoints_; }

  // One slice of a running command.
  void Tick();
  bool running() const { return goal_ != Goal::None; }

  // The registers before the last instruction this controller executed,
  // and that instruction's number (steps() right after it; 0: none).
  const uint32_t* before() const { return before_; }
  uint64_t lastStep() const { return lastStep_; }

 private:
  enum class Goal { None, Continue, ToLine };

  // One instruction; false when the program cannot go on.
  bool StepOnce();
  uint32_t LineOf(uint32_t address);

  RunSession& run_;
  CpuState* cpu_;
  uint32_t* listingLine_;
  bool active_ = false;
  Goal goal_ = Goal::None;
  uint32_t targetLine_ = 0;
  std::set<uint32_t> breakpoints_;
  std::string note_;  // why the last command stopped where it did
  uint32_t before_[kRegCount] = {};
  uint64_t lastStep_ = 0;
};

}  // namespace quorix
