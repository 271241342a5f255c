#include "app/machine_controller.h"

namespace quorix {

void MachineController::Attach(bool active) {
  active_ = active;
  note_.clear();
  if (this->active()) run_.debugger()->ClearBreakpoints();
}

bool MachineController::running() const { return active() && run_.debugger()->running(); }

MachineState MachineController::State() {
  if (!active()) return MachineState::None;
  switch (run_.program()->status()) {
    case RunStatus::Ready:
    case RunStatus::Waiting: return running() ? MachineState::Running : MachineState::Paused;
    case RunStatus::Exited: return MachineState::Ended;
    case RunStatus::Stopped: break;
  }
  return MachineState::Stopped;
}

uint64_t MachineController::steps() { return active() ? run_.debugger()->executed() : 0; }

uint32_t MachineController::NextLine() {
  if (!active() || run_.debugger()->ended()) return 0;
  return run_.debugger()->line();
}

std::string MachineController::Status() {
  const MachineState state = State();
  if (state == MachineState::None) return "no program running";
  DosProgram& program = *run_.program();
  const std::string steps = std::to_string(program.executed()) + " steps";
  if (state == MachineState::Ended || state == MachineState::Stopped) {
    const uint32_t origin = program.origin();
    const uint32_t at = program.stopAddress();
    const uint32_t line = at >= origin ? run_.lines().LineAt(at - origin) : 0;
    return EndMessage(program, line, line != 0 ? SourceLineText(run_.source(), line) : "") + " (" +
           steps + ")";
  }
  const std::string where = "line " + std::to_string(NextLine());
  if (program.status() == RunStatus::Waiting) return "waiting for a key at " + where + ", " + steps;
  if (state == MachineState::Running) return "running, " + steps;
  return "paused at " + where + ", " + steps + (note_.empty() ? "" : ": " + note_);
}

void MachineController::Follow() {
  if (!active()) return;
  note_.clear();
  const DebugStop& stop = run_.debugger()->stop();
  if (stop.kind == StopKind::Breakpoint || stop.kind == StopKind::Reached) note_ = stop.message;
  const uint32_t line = NextLine();
  if (line != 0) *listingLine_ = line;
  run_.FillCpuState(cpu_);
  run_.NoteEnd();
}

void MachineController::StepInto() {
  if (!active()) return;
  run_.debugger()->StepInto();
  run_.debugger()->Slice();
  Follow();
}

void MachineController::StepOver() {
  if (!active()) return;
  run_.debugger()->StepOver();
  Follow();
}

void MachineController::StepOut() {
  if (!active()) return;
  run_.debugger()->StepOut();
  Follow();
}

void MachineController::StepBack() {
  if (!active()) return;
  run_.debugger()->Pause();
  if (!run_.debugger()->StepBack(1)) {
    note_ = "no earlier step kept";
    return;
  }
  Follow();
}

void MachineController::Continue() {
  if (!active()) return;
  run_.debugger()->Continue();
  Follow();
}

void MachineController::Pause() {
  if (!active()) return;
  run_.debugger()->Pause();
  Follow();
}

bool MachineController::RunToLine(uint32_t line) {
  if (!active() || !run_.debugger()->RunToLine(line)) return false;
  Follow();
  return true;
}

void MachineController::Restart() {
  if (!active()) return;
  run_.Restart();
  Follow();
}

uint32_t MachineController::ToggleBreakpoint(uint32_t line) {
  if (!active()) return 0;
  Debugger& d = *run_.debugger();
  const SourceMap& source = d.target().source;
  const uint32_t used = source.LineWithBytesFrom(line);
  if (used == 0) return 0;
  const uint32_t address = source.AddressOfLine(used);
  if (d.breakpoints().count(address) != 0)
    d.RemoveBreakpoint(address);
  else
    d.AddBreakpoint(address);
  return used;
}

std::vector<uint32_t> MachineController::BreakpointLines() {
  std::vector<uint32_t> lines;
  if (!active()) return lines;
  const SourceMap& source = run_.debugger()->target().source;
  for (uint32_t address : run_.debugger()->breakpoints()) lines.push_back(source.LineAt(address));
  return lines;
}

bool MachineController::HasBreakpoint(uint32_t line) {
  if (!active()) return false;
  const SourceMap& source = run_.debugger()->target().source;
  const uint32_t used = source.LineWithBytesFrom(line);
  return used == line && run_.debugger()->breakpoints().count(source.AddressOfLine(line)) != 0;
}

void MachineController::Tick() {
  if (!running()) return;
  SliceBudget budget;
  budget.time = kSliceTime;
  run_.debugger()->Slice(budget);
  Follow();
}

std::string MachineController::LastStep() {
  return active() && !running() ? run_.debugger()->LastStep() : std::string();
}

const StepFacts* MachineController::LastFacts() {
  return active() && !running() ? run_.debugger()->LastFacts() : nullptr;
}

}  // namespace quorix
