// The debugger's keyboard and screen: logs it can take back to an earlier
// point, so that a step back un-reads keys and un-prints text, and a run
// forward again reads the very same keys without asking anyone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/dos_program.h"
#include "sim/program_clock.h"

namespace quorix {

// Every key the program was given, in order, and where reading has got to.
// A key read that found none and went on (INT 16h 01h, INT 21h 06h) is kept
// as a "nothing" entry, so that a run forward again finds nothing there
// too, even when keys were typed since. Keys come from Push (typed) or, when
// the log has none left, from an upstream source.
class KeyLog : public KeySource {
 public:
  int Peek() override;
  void Take() override;
  bool IsKeyboard() const override { return upstream_ == nullptr || upstream_->IsKeyboard(); }

  // Keys taken once the log has none left; null: only typed keys.
  void SetUpstream(KeySource* upstream) { upstream_ = upstream; }
  void Push(uint8_t key) { entries_.push_back(key); }
  // The last read found nothing and the program waits for a key: that is
  // no "nothing" to keep.
  void RetractNothing();
  // Entries read so far, counted from the first one ever logged.
  uint64_t position() const { return base_ + at_; }
  // Back to an earlier position: the entries from there on are read again.
  void Rewind(uint64_t position);
  // Forgets the entries before `position` (no rewind goes there any more).
  void DropBefore(uint64_t position);
  // The keys between two positions, "nothing" entries left out.
  std::string KeysBetween(uint64_t from, uint64_t to) const;
  size_t kept() const { return entries_.size(); }
  void Clear();

 private:
  static constexpr int16_t kNothing = -1;
  std::vector<int16_t> entries_;
  uint64_t base_ = 0;             // position of entries_[0]
  size_t at_ = 0;                 // the next entry to read
  bool ended_ = false;            // the upstream said its input has ended
  bool appendedNothing_ = false;  // the last Peek logged a "nothing"
  KeySource* upstream_ = nullptr;
};

// Every date and time the program read, in order: a run forward again
// reads the same ones. New readings come from an upstream clock (the
// host's unless set).
class ClockLog : public ProgramClock {
 public:
  ClockReading Now() override;
  void SetUpstream(ProgramClock* upstream) { upstream_ = upstream; }
  uint64_t position() const { return base_ + at_; }
  void Rewind(uint64_t position);
  void DropBefore(uint64_t position);
  void Clear();

 private:
  std::vector<ClockReading> readings_;
  uint64_t base_ = 0;
  size_t at_ = 0;
  ProgramClock* upstream_ = &HostClock::Instance();
};

// Everything the program printed (handles 1 and 2 in the order written),
// as bytes counted from the first one ever written. A sink, when set, gets
// each byte once, when it is first written at its position.
class OutputLog : public ProgramOutput {
 public:
  void Write(int handle, std::span<const uint8_t> bytes) override;
  void SetSink(ProgramOutput* sink) { sink_ = sink; }
  uint64_t size() const { return base_ + bytes_.size(); }
  // Takes back what was written after `size` bytes.
  void Truncate(uint64_t size);
  // Forgets the bytes before `size`.
  void DropBefore(uint64_t size);
  // The bytes kept from `from` on.
  std::string Text(uint64_t from = 0) const;
  void Clear();

 private:
  std::string bytes_;
  uint64_t base_ = 0;
  uint64_t forwarded_ = 0;  // bytes the sink has had
  ProgramOutput* sink_ = nullptr;
};

}  // namespace quorix
