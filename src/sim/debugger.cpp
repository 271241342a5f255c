#include "sim/debugger.h"

#include <algorithm>

#include "sim/x86_shape.h"

namespace quorix {

namespace {

constexpr uint32_t kCodeBytes = 16;  // read at an instruction to know its shape
// Instructions between checkpoints, for every 256 KiB of the program's
// memory: a checkpoint reads all of it, so that its share of a run stays
// the same for larger programs.
constexpr uint64_t kBaseInterval = 16384;
constexpr uint64_t kBytesPerInterval = 256u << 10;
constexpr uint64_t kKeepOutput = 1u << 20;  // output kept besides what a step back needs

bool IsPrefix(uint8_t b) {
  return b == 0x66 || b == 0x67 || b == 0xF2 || b == 0xF3 || b == 0xF0 || b == 0x26 || b == 0x2E ||
         b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65;
}

bool IsReturnOpcode(uint8_t b) {
  return b == 0xC3 || b == 0xC2 || b == 0xCB || b == 0xCA || b == 0xCF;
}

std::string LineWords(uint32_t line) {
  return line != 0 ? "line " + std::to_string(line) : std::string("an address without a line");
}

}  // namespace

Debugger::Debugger(std::unique_ptr<Machine> machine, DebuggerOptions options)
    : machine_(std::move(machine)),
      options_(options),
      program_(std::make_unique<DosProgram>(*machine_, keys_, output_)) {
  program_->SetClock(clock_);
}

bool Debugger::Load(DebugTarget target) {
  target_ = std::move(target);
  // Every byte that may begin a return: the opcodes, and the prefixes just
  // before them. A stop at one that is no return is passed over.
  returns_.clear();
  const std::vector<uint8_t>& image = target_.image;
  for (uint32_t i = 0; i < image.size(); ++i) {
    if (!IsReturnOpcode(image[i])) continue;
    returns_.push_back(target_.origin + i);
    for (uint32_t j = i; j > 0 && i - j < 4 && IsPrefix(image[j - 1]); --j)
      returns_.push_back(target_.origin + j - 1);
  }
  Restart();
  return !(ended() && program_->reason() == StopReason::LoadFailed);
}

void Debugger::Restart() {
  goal_ = {};
  resume_ = false;
  factsValid_ = false;
  keys_.Clear();
  output_.Clear();
  clock_.Clear();
  checkpoints_.clear();
  ProgramImage image;
  image.bytes = target_.image;
  image.origin = target_.origin;
  image.bits = target_.bits;
  program_->Load(image);
  program_->SetStepLimit(options_.stepLimit);
  memory_ = machine_->MappedRanges();
  uint64_t total = 0;
  for (const AddressRange& r : memory_) total += r.end - r.begin;
  interval_ = options_.checkpointInterval != 0
                  ? options_.checkpointInterval
                  : kBaseInterval *
                        std::max<uint64_t>(1, (total + kBytesPerInterval - 1) / kBytesPerInterval);
  maxCheckpoints_ = static_cast<size_t>(options_.historyDepth / interval_ + 2);
  ApplyBreakpoints();
  if (ended()) {
    EndStop();
    return;
  }
  Stop(StopKind::None, "");
  if (options_.history) TakeCheckpoint();
}

// ---- breakpoints ------------------------------------------------------------

uint32_t Debugger::AddLineBreakpoint(uint32_t line) {
  const uint32_t used = target_.source.LineWithBytesFrom(line);
  if (used != 0) AddBreakpoint(target_.source.AddressOfLine(used));
  return used;
}

bool Debugger::AddBreakpoint(uint32_t address) {
  if (address < target_.origin || address - target_.origin >= target_.image.size()) return false;
  breakpoints_.insert(address);
  ApplyBreakpoints();
  return true;
}

void Debugger::RemoveBreakpoint(uint32_t address) {
  breakpoints_.erase(address);
  ApplyBreakpoints();
}

void Debugger::ClearBreakpoints() {
  breakpoints_.clear();
  ApplyBreakpoints();
}

uint32_t Debugger::Linear(uint32_t address) const {
  return target_.bits == 16 ? (DosProgram::kSegment << 4) + (address & 0xFFFF) : address;
}

// The machine stops at the user's breakpoints and at those of the goal.
void Debugger::ApplyBreakpoints() {
  std::vector<uint32_t> linear;
  for (uint32_t a : breakpoints_) linear.push_back(Linear(a));
  if (goal_.kind == GoalKind::Over || goal_.kind == GoalKind::ToAddress)
    linear.push_back(Linear(goal_.address));
  if (goal_.kind == GoalKind::Out)
    for (uint32_t a : returns_) linear.push_back(Linear(a));
  machine_->SetBreakpoints(linear);
}

// ---- commands -------------------------------------------------------------

void Debugger::Start(Goal goal) {
  goal_ = goal;
  resume_ = true;  // not stopped again by a breakpoint where it stands
  ApplyBreakpoints();
  Stop(StopKind::Running, "");
}

void Debugger::StepInto() { Start({GoalKind::StepInto, 0, 0}); }

void Debugger::StepOver() {
  const uint32_t at = ip();
  const InsnShape s = ShapeOf(CodeAt(at), target_.bits);
  const bool over =
      s.kind == InsnKind::Call || s.kind == InsnKind::Loop || (s.kind == InsnKind::String && s.rep);
  if (!over || s.length == 0 || ended()) {
    StepInto();
    return;
  }
  const uint32_t mask = target_.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
  Start({GoalKind::Over, (at + s.length) & mask, machine_->Get(Reg::Esp)});
}

void Debugger::StepOut() {
  if (ShapeOf(CodeAt(ip()), target_.bits).kind == InsnKind::Ret || ended()) {
    StepInto();
    return;
  }
  Start({GoalKind::Out, 0, machine_->Get(Reg::Esp)});
}

void Debugger::Continue() { Start({GoalKind::Continue, 0, 0}); }

bool Debugger::RunToLine(uint32_t line) {
  const uint32_t used = target_.source.LineWithBytesFrom(line);
  if (used == 0) return false;
  Start({GoalKind::ToAddress, target_.source.AddressOfLine(used), 0});
  return true;
}

void Debugger::Pause() {
  if (goal_.kind == GoalKind::None) return;
  goal_ = {};
  ApplyBreakpoints();
  Stop(StopKind::Paused, "paused at " + LineWords(line()));
}

DebugStop Debugger::Slice(const SliceBudget& budget) {
  if (goal_.kind == GoalKind::None) return stop_;
  if (ended()) {
    goal_ = {};
    ApplyBreakpoints();
    EndStop();
    return stop_;
  }
  if (goal_.kind == GoalKind::StepInto) {
    CaptureStep();
    if (program_->status() == RunStatus::Waiting)
      return Stop(StopKind::Waiting, "waiting for a key");
    goal_ = {};
    ApplyBreakpoints();
    if (ended())
      EndStop();
    else
      Stop(StopKind::Stepped, "");
    return stop_;
  }
  const auto clock = std::chrono::steady_clock::now;
  const auto deadline = clock() + budget.time;
  uint64_t left = std::max<uint64_t>(budget.instructions, 1);
  while (left > 0) {
    MaybeCheckpoint();
    const uint64_t chunk = std::min(left, ToNextCheckpoint());
    const uint64_t before = executed();
    const RunStatus status = RunProgram(chunk, 0);
    const uint64_t done = executed() - before;
    left -= std::min(left, std::max<uint64_t>(done, 1));
    if (status == RunStatus::Waiting) return Stop(StopKind::Waiting, "waiting for a key");
    if (status != RunStatus::Ready) {
      goal_ = {};
      ApplyBreakpoints();
      EndStop();
      return stop_;
    }
    if (done < chunk && AtBreakpoint()) return stop_;
    if (budget.time.count() > 0 && clock() >= deadline) break;
  }
  return Stop(StopKind::Running, "");
}

DebugStop Debugger::Finish() {
  for (;;) {
    DebugStop s = Slice();
    if (s.kind != StopKind::Running) return s;
  }
}

// The run stopped at a breakpoint of the machine: one of the user's stops
// it; one of the goal's stops it when the goal is met there. Otherwise the
// run goes on past it.
bool Debugger::AtBreakpoint() {
  const uint32_t at = ip();
  auto done = [&](StopKind kind, const std::string& message) {
    goal_ = {};
    ApplyBreakpoints();
    Stop(kind, message);
    return true;
  };
  if (breakpoints_.count(at) != 0)
    return done(StopKind::Breakpoint, "breakpoint at " + LineWords(line()));
  switch (goal_.kind) {
    case GoalKind::Over:
      if (at == goal_.address && SpAtOrAbove(goal_.sp))
        return done(StopKind::Reached, "stepped over to " + LineWords(line()));
      break;
    case GoalKind::ToAddress:
      if (at == goal_.address) return done(StopKind::Reached, "reached " + LineWords(line()));
      break;
    case GoalKind::Out:
      if (ShapeOf(CodeAt(at), target_.bits).kind == InsnKind::Ret && SpAtOrAbove(goal_.sp)) {
        resume_ = true;
        CaptureStep();
        if (ended()) {
          goal_ = {};
          ApplyBreakpoints();
          EndStop();
          return true;
        }
        return done(StopKind::Reached, "returned to " + LineWords(line()));
      }
      break;
    default: break;
  }
  resume_ = true;
  return false;
}

RunStatus Debugger::RunProgram(uint64_t count, uint32_t next) {
  if (resume_) machine_->ResumeAtBreakpoint();
  resume_ = false;
  const RunStatus status = program_->Run(count, next);
  if (status == RunStatus::Waiting) {
    keys_.RetractNothing();
    resume_ = true;  // it goes on at the same instruction
  }
  if (!options_.history) {
    keys_.DropBefore(keys_.position());
    clock_.DropBefore(clock_.position());
    if (output_.size() > kKeepOutput) output_.DropBefore(output_.size() - kKeepOutput);
  }
  return status;
}

bool Debugger::ended() const {
  return program_->status() == RunStatus::Exited || program_->status() == RunStatus::Stopped;
}

DebugStop& Debugger::Stop(StopKind kind, std::string message) {
  stop_.kind = kind;
  stop_.address = ip();
  stop_.line = target_.source.LineAt(stop_.address);
  stop_.message = std::move(message);
  return stop_;
}

// An end names the instruction that ended the program.
void Debugger::EndStop() {
  stop_.kind = StopKind::Ended;
  stop_.address = program_->stopAddress();
  stop_.line = target_.source.LineAt(stop_.address);
  stop_.message = EndMessage(*program_, stop_.line, std::string());
}

bool Debugger::SpAtOrAbove(uint32_t sp) {
  const uint32_t now = machine_->Get(Reg::Esp);
  return target_.bits == 16 ? (now & 0xFFFF) >= (sp & 0xFFFF) : now >= sp;
}

std::vector<uint8_t> Debugger::CodeAt(uint32_t address) {
  std::vector<uint8_t> code(kCodeBytes);
  uint32_t n = kCodeBytes;
  while (n > 0 && !machine_->Read(Linear(address), std::span<uint8_t>(code.data(), n))) --n;
  code.resize(n);
  return code;
}

// The dword at the top of the stack (in 16-bit code read around the
// segment's end as the processor would).
uint32_t Debugger::StackTop() {
  uint32_t v = 0;
  const uint32_t sp = machine_->Get(Reg::Esp);
  for (uint32_t k = 0; k < 4; ++k) {
    uint8_t b = 0;
    const uint32_t at =
        target_.bits == 16 ? (machine_->Get(Reg::Ss) << 4) + ((sp + k) & 0xFFFF) : sp + k;
    if (machine_->Read(at, std::span<uint8_t>(&b, 1))) v |= uint32_t(b) << (8 * k);
  }
  return v;
}

}  // namespace quorix
