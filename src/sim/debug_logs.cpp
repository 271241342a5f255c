#include "sim/debug_logs.h"

#include <algorithm>

namespace quorix {

// ---- keys -----------------------------------------------------------------

int KeyLog::Peek() {
  appendedNothing_ = false;
  if (at_ < entries_.size()) {
    const int16_t e = entries_[at_];
    if (e != kNothing) return e;
    ++at_;  // a "nothing" is read by looking at it
    return kNoKey;
  }
  if (ended_) return kEndOfInput;
  if (upstream_ != nullptr) {
    const int key = upstream_->Peek();
    if (key >= 0) {
      upstream_->Take();
      entries_.push_back(static_cast<int16_t>(key));
      return key;
    }
    if (key == kEndOfInput) {
      ended_ = true;
      return kEndOfInput;
    }
  }
  entries_.push_back(kNothing);
  ++at_;
  appendedNothing_ = true;
  return kNoKey;
}

void KeyLog::Take() {
  if (at_ < entries_.size() && entries_[at_] != kNothing) ++at_;
}

void KeyLog::RetractNothing() {
  if (!appendedNothing_) return;
  appendedNothing_ = false;
  if (!entries_.empty() && entries_.back() == kNothing && at_ == entries_.size()) {
    entries_.pop_back();
    --at_;
  }
}

void KeyLog::Rewind(uint64_t position) {
  appendedNothing_ = false;
  if (position < base_) position = base_;
  at_ = static_cast<size_t>(std::min<uint64_t>(position - base_, entries_.size()));
}

void KeyLog::DropBefore(uint64_t position) {
  if (position <= base_) return;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(position - base_, at_));
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(n));
  base_ += n;
  at_ -= n;
}

std::string KeyLog::KeysBetween(uint64_t from, uint64_t to) const {
  std::string keys;
  for (uint64_t p = std::max(from, base_); p < to && p - base_ < entries_.size(); ++p) {
    const int16_t e = entries_[static_cast<size_t>(p - base_)];
    if (e != kNothing) keys.push_back(static_cast<char>(e));
  }
  return keys;
}

void KeyLog::Clear() {
  entries_.clear();
  base_ = 0;
  at_ = 0;
  ended_ = false;
  appendedNothing_ = false;
}

// ---- clock ----------------------------------------------------------------

ClockReading ClockLog::Now() {
  if (at_ == readings_.size()) readings_.push_back(upstream_->Now());
  return readings_[at_++];
}

void ClockLog::Rewind(uint64_t position) {
  if (position < base_) position = base_;
  at_ = static_cast<size_t>(std::min<uint64_t>(position - base_, readings_.size()));
}

void ClockLog::DropBefore(uint64_t position) {
  if (position <= base_) return;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(position - base_, at_));
  readings_.erase(readings_.begin(), readings_.begin() + static_cast<std::ptrdiff_t>(n));
  base_ += n;
  at_ -= n;
}

void ClockLog::Clear() {
  readings_.clear();
  base_ = 0;
  at_ = 0;
}

// ---- output ---------------------------------------------------------------

void OutputLog::Write(int handle, std::span<const uint8_t> bytes) {
  const uint64_t at = size();
  bytes_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (sink_ != nullptr && size() > forwarded_) {
    const uint64_t from = std::max(at, forwarded_);
    sink_->Write(handle, bytes.subspan(static_cast<size_t>(from - at)));
  }
  forwarded_ = std::max(forwarded_, size());
}

void OutputLog::Truncate(uint64_t size) {
  if (size < base_) size = base_;
  if (size - base_ < bytes_.size()) bytes_.resize(static_cast<size_t>(size - base_));
}

void OutputLog::DropBefore(uint64_t size) {
  if (size <= base_) return;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(size - base_, bytes_.size()));
  bytes_.erase(0, n);
  base_ += n;
}

std::string OutputLog::Text(uint64_t from) const {
  if (from < base_) from = base_;
  if (from - base_ >= bytes_.size()) return {};
  return bytes_.substr(static_cast<size_t>(from - base_));
}

void OutputLog::Clear() {
  bytes_.clear();
  base_ = 0;
  forwarded_ = 0;
}

}  // namespace quorix
