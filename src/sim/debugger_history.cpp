// The debugger's history: checkpoints, step back, and the single step that
// records what an instruction did.
#include <algorithm>
#include <cstring>

#include "sim/debugger.h"

namespace quorix {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint64_t kKeepOutput = 1u << 20;  // output kept besides what a step back needs
constexpr size_t kKeepKeys = 1u << 16;

}  // namespace

// ---- one step, observed -----------------------------------------------------

void Debugger::CaptureStep() {
  // A key read that waited keeps what it found before: the step began then.
  const bool again = factsValid_ && facts_.waiting && factsAt_ == executed() &&
                     program_->status() == RunStatus::Waiting;
  StepFacts f;
  if (again) {
    f = facts_;
  } else {
    f.bits = target_.bits;
    for (int i = 0; i < kRegCount; ++i) f.before[i] = machine_->Get(static_cast<Reg>(i));
    f.code = CodeAt(ip());
    f.topBefore = StackTop();
    ReadMemory(&captureMemory_);
    captureOutput_ = output_.size();
    captureKeys_ = keys_.position();
  }
  const uint32_t at = ip();
  const uint32_t next = target_.source.StartsLine(at) ? target_.source.EndOfLineAt(at) : 0;
  const RunStatus status = RunProgram(1, next);
  for (int i = 0; i < kRegCount; ++i) f.after[i] = machine_->Get(static_cast<Reg>(i));
  f.topAfter = StackTop();
  ReadMemory(&scratch_);
  f.changes.clear();
  size_t offset = 0;
  const uint32_t base = target_.bits == 16 ? DosProgram::kSegment << 4 : 0;
  for (const AddressRange& r : memory_) {
    for (uint32_t page = r.begin; page < r.end; page += kPage) {
      // Most pages did not change: compare them whole first.
      const size_t size = std::min<size_t>(kPage, r.end - page);
      if (offset + size <= captureMemory_.size() &&
          std::memcmp(captureMemory_.data() + offset, scratch_.data() + offset, size) == 0) {
        offset += size;
        continue;
      }
      for (uint32_t a = page; a < page + size; ++a, ++offset)
        if (offset < captureMemory_.size() && captureMemory_[offset] != scratch_[offset])
          f.changes.push_back({a - base, captureMemory_[offset], scratch_[offset]});
    }
  }
  f.printed = output_.Text(captureOutput_);
  f.keys = keys_.KeysBetween(captureKeys_, keys_.position());
  f.waiting = status == RunStatus::Waiting;
  f.ended = ended();
  if (status == RunStatus::Exited)
    f.endMessage = program_->reason() == StopReason::Halted
                       ? "the program ended"
                       : "the program exited with code " + std::to_string(program_->exitCode());
  else if (status == RunStatus::Stopped)
    f.endMessage = program_->message();
  facts_ = std::move(f);
  factsAt_ = executed();
  factsValid_ = true;
}

std::string Debugger::LastStep() {
  if (program_->status() == RunStatus::Waiting &&
      !(factsValid_ && factsAt_ == executed() && facts_.waiting)) {
    // Waiting after a run: the key read it waits in.
    StepFacts f;
    f.bits = target_.bits;
    for (int i = 0; i < kRegCount; ++i)
      f.before[i] = f.after[i] = machine_->Get(static_cast<Reg>(i));
    f.code = CodeAt(ip());
    f.waiting = true;
    return DescribeStep(f, target_.source);
  }
  if (factsValid_ && factsAt_ == executed() && facts_.ended == ended())
    return DescribeStep(facts_, target_.source);
  if (!options_.history || (executed() == 0 && !ended())) return {};
  // Back one instruction and through it again, watching.
  const Goal goal = goal_;
  const DebugStop stop = stop_;
  if (!StepBack(1)) return {};
  resume_ = true;
  CaptureStep();
  goal_ = goal;
  stop_ = stop;
  ApplyBreakpoints();
  return DescribeStep(facts_, target_.source);
}

const StepFacts* Debugger::LastFacts() {
  if (LastStep().empty()) return nullptr;
  return factsValid_ && factsAt_ == executed() ? &facts_ : nullptr;
}

// ---- checkpoints ------------------------------------------------------------

void Debugger::ReadMemory(std::vector<uint8_t>* into) {
  size_t total = 0;
  for (const AddressRange& r : memory_) total += r.end - r.begin;
  into->resize(total);
  size_t offset = 0;
  for (const AddressRange& r : memory_) {
    machine_->Read(r.begin, std::span<uint8_t>(into->data() + offset, r.end - r.begin));
    offset += r.end - r.begin;
  }
}

// Pages that did not change since the previous checkpoint are shared.
void Debugger::TakeCheckpoint() {
  ReadMemory(&scratch_);
  Checkpoint c;
  c.executed = executed();
  c.cpu = machine_->SaveState();
  c.output = output_.size();
  c.keys = keys_.position();
  c.clock = clock_.position();
  c.row = program_->screen().row();
  c.column = program_->screen().column();
  const Checkpoint* previous = checkpoints_.empty() ? nullptr : &checkpoints_.back();
  const size_t pages = scratch_.size() / kPage;
  c.pages.reserve(pages);
  for (size_t i = 0; i < pages; ++i) {
    const uint8_t* page = scratch_.data() + i * kPage;
    if (previous != nullptr && previous->pages.size() == pages &&
        std::memcmp(previous->pages[i]->data(), page, kPage) == 0)
      c.pages.push_back(previous->pages[i]);
    else
      c.pages.push_back(std::make_shared<const std::vector<uint8_t>>(page, page + kPage));
  }
  checkpoints_.push_back(std::move(c));
  Trim();
}

void Debugger::Trim() {
  while (checkpoints_.size() > maxCheckpoints_) checkpoints_.pop_front();
  const Checkpoint& first = checkpoints_.front();
  if (output_.size() > kKeepOutput)
    output_.DropBefore(std::min(first.output, output_.size() - kKeepOutput));
  if (keys_.kept() > kKeepKeys) keys_.DropBefore(first.keys);
  clock_.DropBefore(first.clock);
}

// A checkpoint is due every interval_ instructions, taken while the
// program is ready (never while a key read waits half done).
void Debugger::MaybeCheckpoint() {
  if (!options_.history || program_->status() != RunStatus::Ready) return;
  if (checkpoints_.empty() || executed() >= checkpoints_.back().executed + interval_)
    TakeCheckpoint();
}

uint64_t Debugger::ToNextCheckpoint() const {
  if (!options_.history) return UINT64_MAX;
  if (checkpoints_.empty()) return interval_;
  const uint64_t next = checkpoints_.back().executed + interval_;
  return executed() < next ? next - executed() : 1;
}

uint64_t Debugger::earliest() const {
  return checkpoints_.empty() ? executed() : checkpoints_.front().executed;
}

void Debugger::Restore(const Checkpoint& c) {
  ReadMemory(&scratch_);
  size_t page = 0;
  for (const AddressRange& r : memory_) {
    for (uint32_t a = r.begin; a < r.end && page < c.pages.size(); a += kPage, ++page) {
      const uint8_t* now = scratch_.data() + page * kPage;
      const uint8_t* was = c.pages[page]->data();
      if (std::memcmp(now, was, kPage) == 0) continue;
      // Only the bytes that differ: the engine drops its translations of
      // the code they cover.
      uint32_t first = 0, last = kPage - 1;
      while (now[first] == was[first]) ++first;
      while (now[last] == was[last]) --last;
      machine_->Write(a + first, std::span<const uint8_t>(was + first, last - first + 1));
    }
  }
  machine_->RestoreState(c.cpu);
  output_.Truncate(c.output);
  keys_.Rewind(c.keys);
  clock_.Rewind(c.clock);
  program_->screen().SetCursor(c.row, c.column);
  program_->Rewind(c.executed);
}

// To the state after `target` instructions: the latest checkpoint at or
// before it, then forward again without breakpoints.
bool Debugger::RewindTo(uint64_t target) {
  if (!options_.history) return false;
  auto it = std::find_if(checkpoints_.rbegin(), checkpoints_.rend(),
                         [&](const Checkpoint& c) { return c.executed <= target; });
  if (it == checkpoints_.rend()) return false;
  const size_t keep = static_cast<size_t>(checkpoints_.rend() - it);
  Restore(checkpoints_[keep - 1]);
  checkpoints_.resize(keep);
  factsValid_ = false;
  if (target > executed()) {
    machine_->SetBreakpoints({});
    resume_ = false;
    RunProgram(target - executed(), 0);
    ApplyBreakpoints();
  }
  resume_ = true;
  return true;
}

bool Debugger::StepBack(uint64_t count) {
  if (count == 0) return true;
  if (!options_.history || checkpoints_.empty()) return false;
  if (!ended() && (count > executed() || executed() - count < earliest())) return false;
  goal_ = {};
  if (ended()) {
    // Out of the end first: the instruction that ended the program, when it
    // was counted, is undone too.
    const uint64_t now = executed();
    if (!RewindTo(now)) return false;
    if (ended() && (now == 0 || now - 1 < earliest() || !RewindTo(now - 1))) return false;
    --count;
  }
  if (count > 0 && count <= executed() && executed() - count >= earliest())
    RewindTo(executed() - count);
  ApplyBreakpoints();
  Stop(StopKind::Stepped, "stepped back to instruction " + std::to_string(executed()));
  return true;
}

}  // namespace quorix
