// A .com program (or a flat 32-bit one) running on a Machine, with the DOS
// and BIOS services a small console program needs:
//   INT 21h functions 01h, 02h, 06h, 07h, 08h, 09h, 0Ah, 0Bh, 25h, 2Ah, 2Ch,
//     30h, 35h, 3Fh (handle 0), 40h (handles 1 and 2) and 4Ch; INT 20h;
//   INT 10h functions 00h (modes 02h, 03h, 07h), 02h, 03h, 06h, 07h, 09h,
//     0Ah, 0Eh and 0Fh; INT 16h functions 00h and 01h.
// Any other interrupt stops the program and names the interrupt and
// function. What the program prints through DOS or the BIOS goes to its
// ProgramOutput and to its 80x25 TextScreen, whose cells lie in the
// machine's memory at B800:0000. A 16-bit program also has the interrupt
// table at 0000:0000 (functions 25h and 35h keep the vectors there); the
// services run whatever vectors the program sets.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/machine.h"
#include "sim/program_clock.h"
#include "sim/text_screen.h"

namespace quorix {

// Where the program's keys come from.
class KeySource {
 public:
  static constexpr int kNoKey = -1;       // none pending now: the program waits
  static constexpr int kEndOfInput = -2;  // none will ever come

  virtual ~KeySource() = default;
  // The next key without taking it.
  virtual int Peek() = 0;
  virtual void Take() = 0;
  // A keyboard (line input is edited and echoed, Enter ends it with CR LF)
  // rather than a stream of bytes read as they are.
  virtual bool IsKeyboard() const = 0;
};

// Where the program's output goes: handle 1 (the screen) or 2 (errors).
class ProgramOutput {
 public:
  virtual ~ProgramOutput() = default;
  virtual void Write(int handle, std::span<const uint8_t> bytes) = 0;
};

struct ProgramImage {
  std::span<const uint8_t> bytes;
  uint32_t origin = 0x100;  // address of the first byte and of the entry
  uint32_t bits = 16;       // 16: DOS .com in real mode; 32: flat
};

// Where a compiled program runs: at its origin, except that a 16-bit
// program without one (origin 0, where the PSP lies) runs at 100h, where DOS
// loads every .com.
inline uint32_t LoadOrigin(uint32_t origin, uint32_t bits) {
  return bits == 16 && origin == 0 ? 0x100 : origin;
}

enum class RunStatus {
  Ready,    // can run on
  Waiting,  // the last instruction waits for a key; running again retries it
  Exited,   // the program ended itself (exitCode)
  Stopped,  // a fault, a missing service, the step limit, or a failed load
};

// Halted: the program ended at HLT (status Exited, exit code 0).
enum class StopReason { None, Fault, MissingService, StepLimit, LoadFailed, Halted };

class DosProgram {
 public:
  // The segment of a 16-bit program: PSP at 1000:0000, code at 1000:origin.
  static constexpr uint32_t kSegment = 0x1000;
  static constexpr uint64_t kDefaultStepLimit = 100'000'000;

  DosProgram(Machine& machine, KeySource& keys, ProgramOutput& output)
      : machine_(machine), keys_(keys), output_(output) {}

  // Loads the image into a fresh machine and sets the registers as DOS
  // starts a .com (or a flat program with its own stack). False, with the
  // status Stopped and a message, when the image cannot be placed.
  bool Load(const ProgramImage& image);
  // Executes at most `count` instructions; ends early when the program
  // waits for a key, exits or stops. `next` (single steps only): where the
  // next instruction begins when the current one does not jump, if known.
  RunStatus Run(uint64_t count, uint32_t next = 0);
  // The debugger has put the machine back (registers and memory) to a state
  // it recorded after `executed` instructions, taken while the program was
  // ready: the program is ready again, with no line being typed. A run that
  // meets a breakpoint of the machine returns Ready before its count is used.
  void Rewind(uint64_t executed);

  void SetStepLimit(uint64_t limit) { stepLimit_ = limit == 0 ? 1 : limit; }
  RunStatus status() const { return status_; }
  StopReason reason() const { return reason_; }
  int exitCode() const { return exitCode_; }
  // Why the program stopped ("divide error", "no service for INT 13h
  // function 02h", ...).
  const std::string& message() const { return message_; }
  // The instruction the program stopped at (or that exited), as IP / EIP.
  uint32_t stopAddress() const { return stopAddress_; }
  uint64_t executed() const { return executed_; }
  uint32_t bits() const { return bits_; }
  uint32_t origin() const { return origin_; }
  uint32_t imageSize() const { return imageSize_; }
  Machine& machine() { return machine_; }
  // The program's text screen (as the program left it once it has ended).
  TextScreen& screen() { return screen_; }
  // Where functions 2Ah and 2Ch read the date and time (the host's clock
  // unless set); the clock must outlive the program.
  void SetClock(ProgramClock& clock) { clock_ = &clock; }

 private:
  enum class Service { Done, Wait, Exit, Missing, BadMemory };

  Service Interrupt(uint32_t vector);
  Service Dos();
  Service ReadKeyInto8(bool echo, bool wait);
  Service BufferedInput();
  Service ReadHandle0();
  Service ReadStream(uint32_t buffer, uint32_t want);
  Service WriteHandle();
  void SetCount(uint32_t n);
  bool ReadableRange(uint32_t from, uint32_t n);
  uint32_t WritableFrom(uint32_t from, uint32_t n);
  Service Keyboard16(uint8_t function);
  bool ReadString(uint32_t linear, std::string& out);
  uint32_t Pointer(Reg segment, Reg offset);
  void SetAl(uint8_t v);
  void SetAx(uint16_t v);
  void SetFlag(uint32_t flag, bool on);
  void Print(int handle, std::string_view text);
  void Stop(StopReason reason, std::string message, uint32_t address);
  // The interrupt table and the screen's memory, after the image is placed.
  bool MapLowMemory();
  Service Video(uint8_t function);
  Service SetVideoMode();
  Service VideoScroll(bool up);
  Service VideoWrite(bool withAttribute);
  Service InputStatus();
  Service Vector(bool set);
  Service Clock(bool date);
  void SetWord(Reg r, uint16_t v);

  Machine& machine_;
  KeySource& keys_;
  ProgramOutput& output_;
  RunStatus status_ = RunStatus::Stopped;
  StopReason reason_ = StopReason::LoadFailed;
  std::string message_ = "no program loaded";
  int exitCode_ = 0;
  uint32_t stopAddress_ = 0;
  uint64_t executed_ = 0;
  uint64_t stepLimit_ = kDefaultStepLimit;
  uint32_t bits_ = 16;
  uint32_t origin_ = 0;
  uint32_t imageSize_ = 0;
  // Function 0Ah / 3Fh line being typed while the program waits.
  std::string line_;
  TextScreen screen_;
  ProgramClock* clock_ = &HostClock::Instance();
};

}  // namespace quorix
