// The debugger's controller: a program on a Machine driven by commands
// (step into, step over, step out, continue, run to a line, pause, restart,
// step back) with breakpoints by line and by address.
//
// Commands that may run long (continue, step over, step out, run to line)
// only set a goal; Slice() then executes a bounded part of it and returns,
// so that a window's timer tick stays responsive. Finish() runs slices until
// the goal is reached, the program stops or waits for a key.
//
// Step back is exact: every few thousand instructions the controller takes
// a checkpoint (the processor's state, the program's memory, the screen's
// cursor, how much it printed and how many keys and clock readings it
// took); a step back restores the nearest checkpoint at or before the
// target and executes forward to it again, replaying the logged keys and
// clock readings and taking the output back.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/debug_logs.h"
#include "sim/dos_program.h"
#include "sim/machine.h"
#include "sim/run_session.h"
#include "sim/source_map.h"
#include "sim/step_words.h"

namespace quorix {

struct DebuggerOptions {
  bool history = true;              // keep checkpoints for step back
  uint64_t checkpointInterval = 0;  // instructions between checkpoints; 0: from the memory size
  uint64_t historyDepth = 131'072;  // instructions that can at least be stepped back
  uint64_t stepLimit = RunSession::kStepLimit;
};

enum class StopKind {
  None,        // nothing ran yet
  Running,     // the slice's budget was used; the goal goes on
  Stepped,     // a single step (or a step back) is done
  Breakpoint,  // a breakpoint was reached
  Reached,     // the step over, step out or run to line got where it went
  Paused,
  Waiting,  // the program waits for a key; the goal goes on once one is typed
  Ended,    // the program exited or stopped (message says why)
};

struct DebugStop {
  StopKind kind = StopKind::None;
  uint32_t address = 0;  // IP of the next instruction
  uint32_t line = 0;     // its source line (0: none)
  std::string message;
};

struct SliceBudget {
  uint64_t instructions = 1'000'000;
  std::chrono::microseconds time{0};  // 0: no time limit
};

class Debugger {
 public:
  explicit Debugger(std::unique_ptr<Machine> machine, DebuggerOptions options = {});

  // Takes a program and starts it from its entry. False when it cannot be
  // placed (stop() says why).
  bool Load(DebugTarget target);
  // The program from its start again: no keys, no output, no history. The
  // breakpoints stay.
  void Restart();

  // ---- keys and output
  void Key(uint8_t key) { keys_.Push(key); }
  // Keys are taken from here once the typed ones are used up.
  void SetKeySource(KeySource* upstream) { keys_.SetUpstream(upstream); }
  // Gets each byte of output once, as it is first written.
  void SetOutputSink(ProgramOutput* sink) { output_.SetSink(sink); }
  // Where new date and time readings come from (the host's clock unless set).
  void SetClock(ProgramClock* clock) { clock_.SetUpstream(clock); }
  const OutputLog& output() const { return output_; }
  const KeyLog& keys() const { return keys_; }

  // ---- breakpoints (addresses as IP holds them)
  // On the first line from `line` on that has bytes; returns that line (0: none).
  uint32_t AddLineBreakpoint(uint32_t line);
  bool AddBreakpoint(uint32_t address);
  void RemoveBreakpoint(uint32_t address);
  void ClearBreakpoints();
  const std::set<uint32_t>& breakpoints() const { return breakpoints_; }

  // ---- commands; all but StepBack and Pause are carried out by Slice.
  void StepInto();
  // A CALL, LOOP or REP string instruction runs until the instruction after
  // it is reached with the stack where it was; anything else is a step into.
  void StepOver();
  // Until the first RET, RETF or IRET executed with SP at or above its value now.
  void StepOut();
  void Continue();
  // False when no line from `line` on has bytes.
  bool RunToLine(uint32_t line);
  void Pause();
  DebugStop Slice(const SliceBudget& budget = {});
  // Slices until the goal is done, the program waits for a key or ends.
  DebugStop Finish();
  // Back `count` instructions (out of an end first: to the state before
  // the instruction that ended the program). False, with nothing changed,
  // when the history does not reach that far.
  bool StepBack(uint64_t count = 1);

  // ---- state
  bool running() const { return goal_.kind != GoalKind::None; }
  const DebugStop& stop() const { return stop_; }
  uint64_t executed() const { return program_->executed(); }
  // The earliest instruction count a step back can reach.
  uint64_t earliest() const;
  uint32_t ip() { return machine_->Get(Reg::Eip); }
  uint32_t line() { return target_.source.LineAt(ip()); }
  bool ended() const;
  // The last instruction executed, in words (empty before the first).
  std::string LastStep();
  // What that instruction did (null before the first, or while a key read
  // waits that has not yet completed).
  const StepFacts* LastFacts();
  Machine& machine() { return *machine_; }
  DosProgram& program() { return *program_; }
  const DebugTarget& target() const { return target_; }

 private:
  enum class GoalKind { None, StepInto, Over, Out, ToAddress, Continue };
  struct Goal {
    GoalKind kind = GoalKind::None;
    uint32_t address = 0;  // Over, ToAddress: where it ends
    uint32_t sp = 0;       // Over, Out: the stack pointer it started with
  };
  struct Checkpoint {
    uint64_t executed = 0;
    std::vector<uint8_t> cpu;
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> pages;
    uint64_t output = 0;
    uint64_t keys = 0;
    uint64_t clock = 0;
    int row = 0;  // the screen's cursor
    int column = 0;
  };

  void Start(Goal goal);
  void ApplyBreakpoints();
  uint32_t Linear(uint32_t address) const;
  RunStatus RunProgram(uint64_t count, uint32_t next);
  void CaptureStep();
  bool AtBreakpoint();
  DebugStop& Stop(StopKind kind, std::string message);
  void EndStop();
  bool SpAtOrAbove(uint32_t sp);
  std::vector<uint8_t> CodeAt(uint32_t address);
  uint32_t StackTop();
  // History.
  void ReadMemory(std::vector<uint8_t>* into);
  void TakeCheckpoint();
  void MaybeCheckpoint();
  uint64_t ToNextCheckpoint() const;
  bool RewindTo(uint64_t target);
  void Restore(const Checkpoint& c);
  void Trim();

  std::unique_ptr<Machine> machine_;
  DebuggerOptions options_;
  KeyLog keys_;
  OutputLog output_;
  ClockLog clock_;
  std::unique_ptr<DosProgram> program_;
  DebugTarget target_;
  std::set<uint32_t> breakpoints_;
  std::vector<uint32_t> returns_;  // addresses where a RET may begin
  Goal goal_;
  DebugStop stop_;
  bool resume_ = false;  // the next run starts where the last one stopped

  std::vector<AddressRange> memory_;  // the mapped memory, snapshot order
  uint64_t interval_ = 4096;
  size_t maxCheckpoints_ = 34;
  std::deque<Checkpoint> checkpoints_;
  std::vector<uint8_t> scratch_;

  StepFacts facts_;
  bool factsValid_ = false;
  uint64_t factsAt_ = 0;                // the count the facts lead to
  std::vector<uint8_t> captureMemory_;  // memory before the captured step
  uint64_t captureOutput_ = 0;          // output and key positions before it
  uint64_t captureKeys_ = 0;
};

}  // namespace quorix
