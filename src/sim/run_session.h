// The debug screen's executing Run box: the output of the last successful
// compile of the loaded source, running on a Machine under the debugger's
// controller one instruction per step, with the keys typed on the debug
// screen as its keyboard and a console log of what it prints. The machine
// window drives the same debugger. Without a machine factory, or without
// such a compile, the debug screen keeps the line stepper.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "model/workspace.h"
#include "asm/driver.h"
#include "sim/cpu_state.h"
#include "sim/dos_program.h"
#include "sim/machine.h"

namespace quorix {

class Debugger;

// The lines a program printed, as a console shows them: CR returns to the
// line's start, LF opens a new line, backspace takes a character back. Only
// the last kMaxLines lines are kept.
class ConsoleLog : public ProgramOutput {
 public:
  static constexpr size_t kMaxLines = 200;
  static constexpr size_t kMaxColumns = 200;

  void Write(int handle, std::span<const uint8_t> bytes) override;
  // Starts a line of its own with `text` (the end message).
  void Note(const std::string& text);
  void Clear();
  // Lines from the oldest kept to the current one (which may be empty).
  const std::deque<std::string>& lines() const { return lines_; }

 private:
  std::deque<std::string> lines_{std::string()};
  size_t column_ = 0;
};

// Keys typed while the debug screen shows, oldest first.
class KeyQueue : public KeySource {
 public:
  static constexpr size_t kCapacity = 256;  // later keys are dropped
  int Peek() override { return keys_.empty() ? kNoKey : keys_.front(); }
  void Take() override {
    if (!keys_.empty()) keys_.pop_front();
  }
  bool IsKeyboard() const override { return true; }
  void Push(uint8_t key) {
    if (keys_.size() < kCapacity) keys_.push_back(key);
  }
  void Clear() { keys_.clear(); }

 private:
  std::deque<uint8_t> keys_;
};

// Offset in the output -> the source line whose bytes cover it (0: none).
// Built once per compile, so a lookup costs the same for any program size.
class LineMap {
 public:
  void Build(const LineRecords& records, uint32_t lineCount, uint32_t outputBytes);
  uint32_t LineAt(uint32_t offset) const { return offset < lines_.size() ? lines_[offset] : 0; }
  // One past the last byte of the line that covers `offset` (0: none).
  uint32_t EndAt(uint32_t offset) const {
    const uint32_t line = LineAt(offset);
    return line != 0 && line < ends_.size() ? ends_[line] : 0;
  }
  // True when the line produced bytes.
  bool HasBytes(uint32_t line) const { return line < ends_.size() && ends_[line] != 0; }
  uint32_t lineCount() const { return static_cast<uint32_t>(ends_.size()); }
  // True when `offset` is the first byte of its line's bytes.
  bool StartsLine(uint32_t offset) const {
    return LineAt(offset) != 0 && (offset == 0 || LineAt(offset - 1) != LineAt(offset));
  }
  void Clear() {
    lines_.clear();
    ends_.clear();
  }

 private:
  std::vector<uint32_t> lines_;
  std::vector<uint32_t> ends_;  // by line number
};

class RunSession {
 public:
  static constexpr uint64_t kStepLimit = 5'000'000;

  RunSession();
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  void SetFactory(MachineFactory factory) { factory_ = std::move(factory); }
  bool HasEngine() const { return static_cast<bool>(factory_); }

  // After every compile: a successful one becomes the program the Run box
  // executes, restarted from its entry; anything else drops the program.
  // Returns the line of the entry (0 when none).
  uint32_t AfterCompile(const AsmRegions& regions, const Workspace& ws,
                        const AssembleReport& report);
  // Forgets the program (a new source was loaded): nothing of it is shown
  // or executed again.
  void Drop();
  // True when the Run box executes: a program exists and the source has not
  // been reloaded since it was compiled.
  bool Executes(const Workspace& ws) const;
  // Starts the program over (new compile, or Debug entered from the menu).
  // Returns the entry's line.
  uint32_t Restart();
  // One Run step: executes one instruction unless the program has ended or
  // waits for a key, then fills the CpuState and sets *position (the line
  // the listing steps) so that after the shell's increment it is the line of
  // the next instruction.
  void Step(uint32_t* position, CpuState* cpu);
  // Copies the registers into the CpuState (after a restart).
  void FillCpuState(CpuState* cpu);
  // Once the program has ended, its end message goes into the console (the
  // first time only): after commands of the machine window, which run the
  // debugger without Step.
  void NoteEnd();
  void Key(uint8_t key);

  void SetStepLimit(uint64_t limit) { stepLimit_ = limit; }
  const ConsoleLog& console() const { return console_; }
  DosProgram* program();
  // The controller the program runs under (null without a program).
  Debugger* debugger() { return debugger_.get(); }
  const LineMap& lines() const { return lineMap_; }
  // The source of the program's compile.
  const SourceText& source() const { return source_; }
  bool waiting() const;
  // Changes whenever another program (or none) becomes the Run box's.
  uint64_t serial() const { return serial_; }

 private:
  uint32_t LineOfAddress(uint32_t address) const;

  MachineFactory factory_;
  std::unique_ptr<Debugger> debugger_;
  uint32_t origin_ = 0;
  uint32_t bits_ = 16;
  uint32_t generation_ = 0;
  uint64_t stepLimit_ = kStepLimit;
  uint64_t serial_ = 0;
  bool ended_ = false;  // the end message has been written
  LineMap lineMap_;
  SourceText source_;  // the compiled source, for the end message
  ConsoleLog console_;
};

// The one-line message of a program's end: its exit code, or why it stopped,
// naming the instruction's address and source line.
std::string EndMessage(const DosProgram& program, uint32_t line, const std::string& lineText);

// Source line n as the listing shows it (cleaned, without its comment).
std::string SourceLineText(const SourceText& source, uint32_t n);

}  // namespace quorix
