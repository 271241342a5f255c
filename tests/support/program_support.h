// Running programs on the debugger's machine in tests: keys from a text and
// the program's output captured.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/dos_program.h"

namespace quorix::testing_support {

// Keys from a fixed text; once used up, either none pending (a keyboard) or
// the end of the input (a stream). `endless`: after the text, the same key
// for ever.
class ScriptKeys : public KeySource {
 public:
  ScriptKeys(std::string keys, bool keyboard, int endless = -1)
      : keys_(std::move(keys)), keyboard_(keyboard), endless_(endless) {}
  int Peek() override {
    if (at_ < keys_.size()) return static_cast<uint8_t>(keys_[at_]);
    if (endless_ >= 0) return endless_;
    return keyboard_ ? kNoKey : kEndOfInput;
  }
  void Take() override {
    if (at_ < keys_.size()) ++at_;
    ++taken_;
  }
  bool IsKeyboard() const override { return keyboard_; }
  void Add(const std::string& more) { keys_ += more; }
  uint64_t taken() const { return taken_; }

 private:
  std::string keys_;
  size_t at_ = 0;
  bool keyboard_;
  int endless_;
  uint64_t taken_ = 0;
};

// The program's output; at most `cap` bytes of each handle are kept, the
// rest only counted.
class Capture : public ProgramOutput {
 public:
  explicit Capture(size_t cap = SIZE_MAX) : cap_(cap) {}
  void Write(int handle, std::span<const uint8_t> bytes) override {
    std::string& to = handle == 2 ? err : out;
    total += bytes.size();
    for (uint8_t b : bytes)
      if (to.size() < cap_) to.push_back(static_cast<char>(b));
  }
  std::string out, err;
  uint64_t total = 0;

 private:
  size_t cap_;
};

}  // namespace quorix::testing_support
