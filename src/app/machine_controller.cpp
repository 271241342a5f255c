#include "app/machine_controller.h"

namespace quorix {

namespace {
constexpr uint32_t kStepsBetweenClockReads = 64;
}  // namespace

void MachineController::Attach(bool active) {
  active_ = active;
  goal_ = Goal::None;
  breakpoints_.clear();
  lastStep_ = 0;
  note_.clear();
}

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

uint64_t MachineController::steps() { return active() ? run_.program()->executed() : 0; }

uint32_t MachineController::LineOf(uint32_t address) {
  const uint32_t origin = run_.program()->origin();
  return address < origin ? 0 : run_.lines().LineAt(address - origin);
}

uint32_t MachineController::NextLine() {
  if (!active()) return 0;
  const RunStatus status = run_.program()->status();
  if (status != RunStatus::Ready && status != RunStatus::Waiting) return 0;
  return LineOf(run_.program()->machine().Get(Reg::Eip));
}

uint32_t MachineController::LineWithBytes(uint32_t line) const {
  const LineMap& lines = run_.lines();
  for (uint32_t n = line == 0 ? 1 : line; n < lines.lineCount(); ++n)
    if (lines.HasBytes(n)) return n;
  return 0;
}

std::string MachineController::Status() {
  const MachineState state = State();
  if (state == MachineState::None) return "no program running";
  DosProgram& program = *run_.program();
  const std::string steps = std::to_string(program.executed()) + " steps";
  if (state == MachineState::Ended || state == MachineState::Stopped) {
    const uint32_t line = LineOf(program.stopAddress());
    return EndMessage(program, line, line != 0 ? SourceLineText(run_.source(), line) : "") + " (" +
           steps + ")";
  }
  const std::string where = "line " + std::to_string(NextLine());
  if (program.status() == RunStatus::Waiting) return "waiting for a key at " + where + ", " + steps;
  if (state == MachineState::Running) return "running, " + steps;
  return "paused at " + where + ", " + steps + (note_.empty() ? "" : ": " + note_);
}

bool MachineController::StepOnce() {
  DosProgram& program = *run_.program();
  Machine& m = program.machine();
  for (int i = 0; i < kRegCount; ++i) before_[i] = m.Get(static_cast<Reg>(i));
  const uint64_t executed = program.executed();
  run_.Step(listingLine_, cpu_);
  *listingLine_ += 1;
  if (program.executed() != executed) lastStep_ = program.executed();
  return program.status() == RunStatus::Ready;
}

void MachineController::StepInto() {
  if (!active()) return;
  goal_ = Goal::None;
  note_.clear();
  StepOnce();
}

void MachineController::Continue() {
  if (!active()) return;
  note_.clear();
  goal_ = Goal::Continue;
}

bool MachineController::RunToLine(uint32_t line) {
  if (!active()) return false;
  const uint32_t target = LineWithBytes(line);
  if (target == 0) return false;
  note_.clear();
  targetLine_ = target;
  goal_ = Goal::ToLine;
  return true;
}

void MachineController::Restart() {
  if (!active()) return;
  goal_ = Goal::None;
  note_.clear();
  lastStep_ = 0;
  const uint32_t entry = run_.Restart();
  if (entry != 0) *listingLine_ = entry;
  run_.FillCpuState(cpu_);
}

uint32_t MachineController::ToggleBreakpoint(uint32_t line) {
  const uint32_t target = LineWithBytes(line);
  if (target == 0) return 0;
  if (!breakpoints_.erase(target)) breakpoints_.insert(target);
  return target;
}

void MachineController::Tick() {
  if (goal_ == Goal::None) return;
  if (!active()) {
    goal_ = Goal::None;
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kSliceTime;
  for (uint32_t n = 1;; ++n) {
    if (!StepOnce()) {
      // Waiting for a key: the goal goes on once one is typed.
      if (run_.program()->status() != RunStatus::Waiting) goal_ = Goal::None;
      return;
    }
    const uint32_t ip = run_.program()->machine().Get(Reg::Eip);
    const uint32_t origin = run_.program()->origin();
    const bool startsLine = ip >= origin && run_.lines().StartsLine(ip - origin);
    const uint32_t line = startsLine ? LineOf(ip) : 0;
    if (goal_ == Goal::ToLine && line == targetLine_) {
      goal_ = Goal::None;
      note_ = "reached line " + std::to_string(line);
      return;
    }
    if (line != 0 && breakpoints_.count(line) != 0) {
      goal_ = Goal::None;
      note_ = "breakpoint on line " + std::to_string(line);
      return;
    }
    if (n % kStepsBetweenClockReads == 0 && std::chrono::steady_clock::now() >= deadline) return;
  }
}

}  // namespace quorix
