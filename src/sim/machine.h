// The x86 machine that the debugger and quorix-run execute programs on. The
// core sees only this interface; an engine outside the core implements it and
// the program's main hands the core a factory for it. Without a factory the
// debug screen keeps its line stepper.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace quorix {

// Registers in the processor's own order, then EIP, EFLAGS and the segment
// registers in their encoding order (ES, CS, SS, DS, FS, GS).
enum class Reg : int {
  Eax = 0,
  Ecx,
  Edx,
  Ebx,
  Esp,
  Ebp,
  Esi,
  Edi,
  Eip,
  Eflags,
  Es,
  Cs,
  Ss,
  Ds,
  Fs,
  Gs,
  Count
};
inline constexpr int kRegCount = static_cast<int>(Reg::Count);

// EFLAGS bits.
inline constexpr uint32_t kFlagCF = 1u << 0;
inline constexpr uint32_t kFlagPF = 1u << 2;
inline constexpr uint32_t kFlagAF = 1u << 4;
inline constexpr uint32_t kFlagZF = 1u << 6;
inline constexpr uint32_t kFlagSF = 1u << 7;
inline constexpr uint32_t kFlagIF = 1u << 9;
inline constexpr uint32_t kFlagDF = 1u << 10;
inline constexpr uint32_t kFlagOF = 1u << 11;

// Why a run ended before its instruction count was used up.
enum class MachineEvent {
  None,           // the count was used up
  Interrupt,      // INT n (INT3, INTO) executed; EIP is after the instruction
  Halt,           // HLT executed; EIP is after it
  DivideError,    // EIP is at the dividing instruction
  InvalidOpcode,  // EIP is at the instruction
  MemoryFault,    // a read or write outside mapped memory; EIP at the instruction
  OutsideCode,    // an instruction fetch outside the code ranges; EIP is there
  OtherFault,     // any other processor exception
  Breakpoint,     // EIP is at a breakpoint; the instruction there has not executed
};

struct MachineStop {
  MachineEvent event = MachineEvent::None;
  uint32_t vector = 0;    // interrupt or exception number
  uint64_t executed = 0;  // instructions completed (an INT counts, a fault does not)
  uint32_t length = 0;    // Interrupt, Halt: the length of the instruction (INT 3 is CD 03
                          // or CC), so that its start is EIP - length
};

struct AddressRange {
  uint32_t begin;
  uint32_t end;  // one past the last byte
};

class Machine {
 public:
  virtual ~Machine() = default;
  // Starts over with no memory: bits 16 for real mode (segment:offset), 32
  // for flat protected mode. False when the engine refuses the mode.
  virtual bool Reset(uint32_t bits) = 0;
  // Adds zeroed, readable and writable memory at [begin, end) (4 KiB pages).
  virtual bool Map(AddressRange range) = 0;
  // Instructions are fetched only from these linear ranges; a fetch outside
  // them ends the run with OutsideCode before the instruction executes.
  virtual void SetCodeRanges(std::span<const AddressRange> ranges) = 0;
  virtual bool Write(uint32_t linear, std::span<const uint8_t> bytes) = 0;
  virtual bool Read(uint32_t linear, std::span<uint8_t> bytes) = 0;
  virtual uint32_t Get(Reg r) = 0;
  virtual void Set(Reg r, uint32_t value) = 0;
  // Executes at most `count` instructions (at least 1), ending early at an
  // interrupt or a fault. `next`, when not 0, is where the instruction after
  // the current one begins (as EIP) if execution goes straight on; the run
  // ends there before executing it. Single steps that know it let the
  // engine translate one instruction instead of a whole run of code.
  virtual MachineStop Run(uint64_t count, uint32_t next = 0) = 0;

  // ---- for the debugger; the defaults serve a machine without them.

  // The processor's whole state (registers, flags, segment bases, the x87
  // and vector units), to be put back by RestoreState. Memory is not part
  // of it. The default keeps the registers of Reg.
  virtual std::vector<uint8_t> SaveState();
  virtual void RestoreState(std::span<const uint8_t> state);
  // The memory added by Map, in the order it was added.
  virtual std::vector<AddressRange> MappedRanges() const { return {}; }
  // Linear addresses at which a run stops before the instruction there
  // executes (MachineEvent::Breakpoint); empty: none. Checked before every
  // instruction, so that they must cost next to nothing.
  virtual void SetBreakpoints(std::span<const uint32_t> /*linear*/) {}
  // The next run executes its first instruction even when a breakpoint
  // lies there (a run resuming from the place it stopped at).
  virtual void ResumeAtBreakpoint() {}
  // How many instructions the program executed before the next run. The
  // time-stamp counter (RDTSC) reads this count plus the run's own, so that
  // a program reads the same in single steps, in long runs and when the
  // debugger runs it again after a step back.
  virtual void SetExecuted(uint64_t /*count*/) {}
};

inline std::vector<uint8_t> Machine::SaveState() {
  std::vector<uint8_t> state(kRegCount * 4);
  for (int i = 0; i < kRegCount; ++i) {
    const uint32_t v = Get(static_cast<Reg>(i));
    for (int k = 0; k < 4; ++k) state[i * 4 + k] = static_cast<uint8_t>(v >> (8 * k));
  }
  return state;
}

inline void Machine::RestoreState(std::span<const uint8_t> state) {
  for (int i = 0; i < kRegCount && (i + 1) * 4 <= static_cast<int>(state.size()); ++i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t(state[i * 4 + k]) << (8 * k);
    Set(static_cast<Reg>(i), v);
  }
}

using MachineFactory = std::function<std::unique_ptr<Machine>()>;

}  // namespace quorix
