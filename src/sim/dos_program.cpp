#include "sim/dos_program.h"

#include <algorithm>
#include <cstdio>

namespace quorix {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kSegmentBytes = 0x10000;
constexpr uint32_t kTopOfStack16 = 0xFFFE;
// A 32-bit program's stack: 64 KiB below 0x80000000 (or at 64 KiB when the
// program itself lies there). Its lowest two bytes hold INT 20h, the return
// address pushed before the entry, so a final RET ends the program.
constexpr uint32_t kStackBytes32 = 0x10000;
constexpr uint32_t kStackHigh32 = 0x7FFF0000;
constexpr uint32_t kStackLow32 = 0x00010000;
constexpr uint32_t kInitialFlags = 0x202;  // IF set
constexpr uint32_t kMaxString = 0x10000;   // '$' must come within 64 KiB
constexpr uint8_t kCtrlZ = 0x1A;
constexpr uint32_t kChunk = 4096;  // bytes a read or write service moves at a time

uint32_t RoundDown(uint32_t v) { return v & ~(kPage - 1); }
uint64_t RoundUp(uint64_t v) { return (v + kPage - 1) & ~uint64_t(kPage - 1); }

std::string Hex(uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, v);
  return buf;
}

std::string ServiceName(uint32_t vector, uint32_t function) {
  return "no service for INT " + Hex(vector, 2) + "h function " + Hex(function, 2) + "h";
}

}  // namespace

bool DosProgram::Load(const ProgramImage& image) {
  status_ = RunStatus::Ready;
  reason_ = StopReason::None;
  message_.clear();
  exitCode_ = 0;
  executed_ = 0;
  line_.clear();
  bits_ = image.bits == 32 ? 32 : 16;
  origin_ = image.origin;
  imageSize_ = static_cast<uint32_t>(image.bytes.size());
  stopAddress_ = origin_;

  auto refuse = [&](std::string why) {
    Stop(StopReason::LoadFailed, std::move(why), origin_);
    return false;
  };
  if (image.bytes.size() > 0xFFFFFFFFull - image.origin)
    return refuse("the program does not fit the address space");
  if (!machine_.Reset(bits_)) return refuse("the processor cannot be started");

  if (bits_ == 16) {
    const uint32_t base = kSegment << 4;
    if (uint64_t(origin_) + imageSize_ > kTopOfStack16)
      return refuse("the program does not fit its 64 KiB segment");
    if (!machine_.Map({base, base + kSegmentBytes})) return refuse("no memory for the program");
    // Program segment prefix: INT 20h at offset 0, the first segment past
    // the program's memory at 2, an empty command tail at 80h.
    const uint8_t psp[] = {0xCD, 0x20, 0x00, 0xA0};
    const uint8_t tail[] = {0x00, 0x0D};
    machine_.Write(base, psp);
    machine_.Write(base + 0x80, tail);
    if (!machine_.Write(base + origin_, image.bytes)) return refuse("no memory for the program");
    const AddressRange code[] = {{base, base + 2}, {base + origin_, base + origin_ + imageSize_}};
    machine_.SetCodeRanges(code);
    for (Reg r : {Reg::Cs, Reg::Ds, Reg::Es, Reg::Ss}) machine_.Set(r, kSegment);
    machine_.Set(Reg::Fs, 0);
    machine_.Set(Reg::Gs, 0);
    machine_.Set(Reg::Esp, kTopOfStack16);  // the zero word there returns to INT 20h
  } else {
    const uint32_t lo = RoundDown(origin_);
    const uint64_t hi = RoundUp(uint64_t(origin_) + imageSize_);
    if (hi > 0xFFFFF000ull) return refuse("the program does not fit the address space");
    if (hi > lo && !machine_.Map({lo, static_cast<uint32_t>(hi)}))
      return refuse("no memory for the program");
    uint32_t stack = kStackHigh32;
    if (hi > stack && lo < stack + kStackBytes32) stack = kStackLow32;
    if (hi > stack && lo < stack + kStackBytes32) return refuse("no room for the program's stack");
    if (!machine_.Map({stack, stack + kStackBytes32})) return refuse("no memory for the stack");
    if (!machine_.Write(origin_, image.bytes)) return refuse("no memory for the program");
    const uint8_t exitStub[] = {0xCD, 0x20};
    machine_.Write(stack, exitStub);
    const uint32_t top = stack + kStackBytes32 - 4;
    const uint8_t ret[] = {uint8_t(stack), uint8_t(stack >> 8), uint8_t(stack >> 16),
                           uint8_t(stack >> 24)};
    machine_.Write(top, ret);
    const AddressRange code[] = {{stack, stack + 2}, {origin_, origin_ + imageSize_}};
    machine_.SetCodeRanges(code);
    machine_.Set(Reg::Esp, top);
  }
  if (!MapLowMemory()) return refuse("no memory for the screen or the interrupt table");
  for (Reg r : {Reg::Eax, Reg::Ecx, Reg::Edx, Reg::Ebx, Reg::Ebp, Reg::Esi, Reg::Edi})
    machine_.Set(r, 0);
  machine_.Set(Reg::Eflags, kInitialFlags);
  machine_.Set(Reg::Eip, origin_);
  return true;
}

RunStatus DosProgram::Run(uint64_t count, uint32_t next) {
  if (status_ == RunStatus::Exited || status_ == RunStatus::Stopped) return status_;
  status_ = RunStatus::Ready;
  while (count > 0 && status_ == RunStatus::Ready) {
    if (executed_ >= stepLimit_) {
      Stop(StopReason::StepLimit,
           "step limit of " + std::to_string(stepLimit_) + " instructions reached",
           machine_.Get(Reg::Eip));
      break;
    }
    const uint64_t chunk = std::min(count, stepLimit_ - executed_);
    machine_.SetExecuted(executed_);
    MachineStop stop = machine_.Run(chunk, chunk == 1 ? next : 0);
    executed_ += stop.executed;
    count -= std::min(count, std::max<uint64_t>(stop.executed, 1));
    const uint32_t eip = machine_.Get(Reg::Eip);
    switch (stop.event) {
      case MachineEvent::None: break;
      case MachineEvent::Interrupt: {
        // The INT instruction's own address, for messages and for a retry:
        // INT 3 is CD 03 or CC, INT 4 CD 04 or CE.
        const uint32_t at = eip - (stop.length != 0 ? stop.length : 2);
        switch (Interrupt(stop.vector)) {
          case Service::Done: break;
          case Service::Wait:
            machine_.Set(Reg::Eip, at);
            executed_ -= std::min<uint64_t>(executed_, 1);
            status_ = RunStatus::Waiting;
            break;
          case Service::Exit:
            status_ = RunStatus::Exited;
            stopAddress_ = at;
            break;
          case Service::Missing: {
            uint32_t function = (machine_.Get(Reg::Eax) >> 8) & 0xFF;
            if (stop.vector == 0x20) function = 0;
            Stop(StopReason::MissingService,
                 stop.vector == 3 || stop.vector == 4 || stop.vector == 1
                     ? "no service for INT " + Hex(stop.vector, 2) + "h"
                     : ServiceName(stop.vector, function),
                 at);
            machine_.Set(Reg::Eip, at);
            break;
          }
          case Service::BadMemory:
            Stop(StopReason::Fault, "memory outside the program's space", at);
            machine_.Set(Reg::Eip, at);
            break;
        }
        break;
      }
      case MachineEvent::Halt:
        // HLT waits for an interrupt that never comes here: the program ends.
        status_ = RunStatus::Exited;
        reason_ = StopReason::Halted;
        exitCode_ = 0;
        message_ = "halted by HLT";
        stopAddress_ = eip - (stop.length != 0 ? stop.length : 1);
        break;
      case MachineEvent::DivideError: Stop(StopReason::Fault, "divide error", eip); break;
      case MachineEvent::InvalidOpcode: Stop(StopReason::Fault, "invalid instruction", eip); break;
      case MachineEvent::MemoryFault:
        Stop(StopReason::Fault, "memory outside the program's space", eip);
        break;
      case MachineEvent::OutsideCode:
        Stop(StopReason::Fault, "jump outside the program", eip);
        break;
      case MachineEvent::OtherFault:
        Stop(StopReason::Fault, "processor exception " + std::to_string(stop.vector), eip);
        break;
      case MachineEvent::Breakpoint: count = 0; break;  // the caller's: it returns, Ready
    }
  }
  return status_;
}

void DosProgram::Rewind(uint64_t executed) {
  status_ = RunStatus::Ready;
  reason_ = StopReason::None;
  message_.clear();
  exitCode_ = 0;
  executed_ = executed;
  line_.clear();
}

void DosProgram::Stop(StopReason reason, std::string message, uint32_t address) {
  status_ = RunStatus::Stopped;
  reason_ = reason;
  message_ = std::move(message);
  stopAddress_ = address;
}

uint32_t DosProgram::Pointer(Reg segment, Reg offset) {
  if (bits_ == 32) return machine_.Get(offset);
  return (machine_.Get(segment) << 4) + (machine_.Get(offset) & 0xFFFF);
}

void DosProgram::SetAl(uint8_t v) { machine_.Set(Reg::Eax, (machine_.Get(Reg::Eax) & ~0xFFu) | v); }
void DosProgram::SetAx(uint16_t v) {
  machine_.Set(Reg::Eax, (machine_.Get(Reg::Eax) & ~0xFFFFu) | v);
}
void DosProgram::SetFlag(uint32_t flag, bool on) {
  uint32_t f = machine_.Get(Reg::Eflags);
  machine_.Set(Reg::Eflags, on ? f | flag : f & ~flag);
}

void DosProgram::SetWord(Reg r, uint16_t v) { machine_.Set(r, (machine_.Get(r) & ~0xFFFFu) | v); }

// DOS console output: to the program's output and to the screen.
void DosProgram::Print(int handle, std::string_view text) {
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  output_.Write(handle, bytes);
  screen_.Console(bytes);
}

// Read a page at a time (memory is mapped in whole pages), up to the '$'.
bool DosProgram::ReadString(uint32_t linear, std::string& out) {
  constexpr uint32_t kPage = 0x1000;
  out.clear();
  uint8_t chunk[kPage];
  for (uint32_t done = 0; done < kMaxString;) {
    const uint32_t at = linear + done;  // wraps as the address does
    const uint32_t n = std::min(kPage - at % kPage, kMaxString - done);
    if (!machine_.Read(at, std::span<uint8_t>(chunk, n))) return false;
    const uint8_t* end = std::find(chunk, chunk + n, uint8_t('$'));
    out.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(end - chunk));
    if (end != chunk + n) return true;
    done += n;
  }
  return false;
}

DosProgram::Service DosProgram::Interrupt(uint32_t vector) {
  const uint8_t ah = (machine_.Get(Reg::Eax) >> 8) & 0xFF;
  switch (vector) {
    case 0x20: exitCode_ = 0; return Service::Exit;
    case 0x21: return Dos();
    case 0x10: return Video(ah);
    case 0x16: return Keyboard16(ah);
    default: return Service::Missing;
  }
}

// Functions 01h, 07h and 08h (and 06h's input): the next key into AL.
DosProgram::Service DosProgram::ReadKeyInto8(bool echo, bool wait) {
  int key = keys_.Peek();
  if (key == KeySource::kNoKey) {
    if (wait) return Service::Wait;
    SetAl(0);
    SetFlag(kFlagZF, true);
    return Service::Done;
  }
  if (key == KeySource::kEndOfInput) {
    if (!wait) {
      SetAl(0);
      SetFlag(kFlagZF, true);
      return Service::Done;
    }
    key = kCtrlZ;
  } else {
    keys_.Take();
  }
  SetAl(static_cast<uint8_t>(key));
  SetFlag(kFlagZF, false);
  if (echo) {
    const char c = static_cast<char>(key);
    Print(1, std::string_view(&c, 1));
  }
  return Service::Done;
}

// Function 0Ah: DS:DX holds the buffer's size, then the count typed, then
// the text and its CR. Keys are taken as they come; the call completes when
// Enter arrives (or the input ends).
DosProgram::Service DosProgram::BufferedInput() {
  const uint32_t buffer = Pointer(Reg::Ds, Reg::Edx);
  uint8_t size = 0;
  if (!machine_.Read(buffer, std::span<uint8_t>(&size, 1))) return Service::BadMemory;
  for (;;) {
    int key = keys_.Peek();
    if (key == KeySource::kNoKey) return Service::Wait;
    if (key != KeySource::kEndOfInput) keys_.Take();
    if (key == KeySource::kEndOfInput || key == '\r' || (key == '\n' && !keys_.IsKeyboard())) break;
    if (key == 8) {
      if (!line_.empty()) {
        line_.pop_back();
        Print(1, "\b \b");
      }
    } else if (size > 0 && line_.size() + 1 < size) {
      line_.push_back(static_cast<char>(key));
      Print(1, std::string_view(&line_.back(), 1));
    }
  }
  Print(1, "\r");
  std::string stored = line_ + '\r';
  line_.clear();
  if (size == 0) return Service::Done;
  const uint8_t typed = static_cast<uint8_t>(stored.size() - 1);
  if (!machine_.Write(buffer + 1, std::span<const uint8_t>(&typed, 1)) ||
      !machine_.Write(
          buffer + 2,
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stored.data()), stored.size())))
    return Service::BadMemory;
  return Service::Done;
}

// Function 3Fh on handle 0: a keyboard gives one edited line ended by CR LF;
// a stream gives its bytes as they are, at most CX of them.
DosProgram::Service DosProgram::ReadHandle0() {
  const uint32_t buffer = Pointer(Reg::Ds, Reg::Edx);
  const uint32_t count = machine_.Get(Reg::Ecx) & (bits_ == 32 ? 0xFFFFFFFFu : 0xFFFFu);
  // A read never asks for more than the program's memory holds from the
  // buffer on; a buffer outside it is refused.
  const uint32_t want = std::min(count, WritableFrom(buffer, count));
  if (count > 0 && want == 0) return Service::BadMemory;
  std::string got;
  if (keys_.IsKeyboard()) {
    for (;;) {
      int key = keys_.Peek();
      if (key == KeySource::kNoKey) return Service::Wait;
      if (key == KeySource::kEndOfInput) break;
      keys_.Take();
      if (key == '\r') {
        line_ += "\r\n";
        Print(1, "\r\n");
        break;
      }
      if (key == 8) {
        if (!line_.empty()) {
          line_.pop_back();
          Print(1, "\b \b");
        }
        continue;
      }
      line_.push_back(static_cast<char>(key));
      Print(1, std::string_view(&line_.back(), 1));
    }
    got = line_.substr(0, want);
    line_.clear();
  } else {
    return ReadStream(buffer, want);
  }
  if (!got.empty() &&
      !machine_.Write(buffer, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(got.data()),
                                                       got.size())))
    return Service::BadMemory;
  SetCount(static_cast<uint32_t>(got.size()));
  return Service::Done;
}

// A stream's bytes as they are, at most `want`, copied into the program's
// memory a chunk at a time: what is there now, or what there is until the
// input ends.
DosProgram::Service DosProgram::ReadStream(uint32_t buffer, uint32_t want) {
  uint8_t chunk[kChunk];
  uint32_t total = 0;
  while (total < want) {
    uint32_t n = 0;
    bool more = true;
    while (n < sizeof chunk && total + n < want) {
      const int key = keys_.Peek();
      if (key == KeySource::kNoKey || key == KeySource::kEndOfInput) {
        more = false;
        break;
      }
      keys_.Take();
      chunk[n++] = static_cast<uint8_t>(key);
    }
    if (n > 0 && !machine_.Write(buffer + total, std::span<const uint8_t>(chunk, n)))
      return Service::BadMemory;
    total += n;
    if (!more) break;
  }
  if (total == 0 && want > 0 && keys_.Peek() == KeySource::kNoKey) return Service::Wait;
  SetCount(total);
  return Service::Done;
}

// Function 40h on handles 1 and 2: CX bytes from DS:DX, all inside the
// program's memory, passed on a chunk at a time.
DosProgram::Service DosProgram::WriteHandle() {
  const uint32_t handle = machine_.Get(Reg::Ebx) & 0xFFFF;
  if (handle != 1 && handle != 2) return Service::Missing;
  const uint32_t n = machine_.Get(Reg::Ecx) & (bits_ == 32 ? 0xFFFFFFFFu : 0xFFFFu);
  const uint32_t from = Pointer(Reg::Ds, Reg::Edx);
  if (n > 0 && !ReadableRange(from, n)) return Service::BadMemory;
  uint8_t chunk[kChunk];
  for (uint32_t done = 0; done < n;) {
    const uint32_t part = std::min<uint32_t>(n - done, sizeof chunk);
    if (!machine_.Read(from + done, std::span<uint8_t>(chunk, part))) return Service::BadMemory;
    output_.Write(static_cast<int>(handle), std::span<const uint8_t>(chunk, part));
    screen_.Console(std::span<const uint8_t>(chunk, part));
    done += part;
  }
  SetCount(n);
  return Service::Done;
}

// AX (EAX in 32-bit code) = the count of a completed read or write, CF clear.
void DosProgram::SetCount(uint32_t n) {
  if (bits_ == 32)
    machine_.Set(Reg::Eax, n);
  else
    SetAx(static_cast<uint16_t>(n));
  SetFlag(kFlagCF, false);
}

// Whether [from, from+n) lies in the program's memory: one byte of each page
// it touches can be read. A range beyond the 32-bit space never does.
bool DosProgram::ReadableRange(uint32_t from, uint32_t n) {
  if (n == 0) return true;
  if (uint64_t(from) + n > 0x100000000ull) return false;
  uint8_t b;
  const uint64_t last = uint64_t(from) + n - 1;
  for (uint64_t a = from; a <= last; a = (a | (kPage - 1)) + 1) {
    if (!machine_.Read(static_cast<uint32_t>(a), std::span<uint8_t>(&b, 1))) return false;
  }
  return machine_.Read(static_cast<uint32_t>(last), std::span<uint8_t>(&b, 1));
}

// How many of the `n` bytes from `from` on the program's memory holds without
// a gap (the pages are probed in order; the first missing one ends it).
uint32_t DosProgram::WritableFrom(uint32_t from, uint32_t n) {
  uint8_t b;
  uint64_t end = uint64_t(from) + n;
  if (end > 0x100000000ull) end = 0x100000000ull;
  uint64_t a = from;
  while (a < end) {
    if (!machine_.Read(static_cast<uint32_t>(a), std::span<uint8_t>(&b, 1))) break;
    a = (a | (kPage - 1)) + 1;
  }
  return static_cast<uint32_t>(std::min(a, end) - from);
}

DosProgram::Service DosProgram::Keyboard16(uint8_t function) {
  int key = keys_.Peek();
  if (function == 0x00) {
    if (key == KeySource::kNoKey) return Service::Wait;
    if (key == KeySource::kEndOfInput) {
      key = kCtrlZ;
    } else {
      keys_.Take();
    }
    SetAx(static_cast<uint16_t>(key & 0xFF));
    return Service::Done;
  }
  if (function == 0x01) {
    const bool none = key < 0;
    SetFlag(kFlagZF, none);
    if (!none) SetAx(static_cast<uint16_t>(key & 0xFF));
    return Service::Done;
  }
  return Service::Missing;
}

DosProgram::Service DosProgram::Dos() {
  const uint32_t eax = machine_.Get(Reg::Eax);
  const uint8_t ah = (eax >> 8) & 0xFF;
  const uint8_t dl = machine_.Get(Reg::Edx) & 0xFF;
  switch (ah) {
    case 0x01:
      // Echoed on a keyboard; keys redirected from a file are not, as under
      // DOS with its input redirected.
      return ReadKeyInto8(keys_.IsKeyboard(), true);
    case 0x02: {
      const char c = static_cast<char>(dl);
      Print(1, std::string_view(&c, 1));
      SetAl(dl);
      return Service::Done;
    }
    case 0x06:
      if (dl == 0xFF) return ReadKeyInto8(false, false);
      {
        const char c = static_cast<char>(dl);
        Print(1, std::string_view(&c, 1));
        SetAl(dl);
      }
      return Service::Done;
    case 0x07:
    case 0x08: return ReadKeyInto8(false, true);
    case 0x09: {
      std::string text;
      if (!ReadString(Pointer(Reg::Ds, Reg::Edx), text)) return Service::BadMemory;
      Print(1, text);
      SetAl('$');
      return Service::Done;
    }
    case 0x0A: return BufferedInput();
    case 0x0B: return InputStatus();
    case 0x25:
    case 0x35: return Vector(ah == 0x25);
    case 0x2A:
    case 0x2C: return Clock(ah == 0x2A);
    case 0x30:
      SetAx(0x0005);  // version 5.0
      machine_.Set(Reg::Ebx, machine_.Get(Reg::Ebx) & ~0xFFFFu);
      machine_.Set(Reg::Ecx, machine_.Get(Reg::Ecx) & ~0xFFFFu);
      return Service::Done;
    case 0x3F:
      if ((machine_.Get(Reg::Ebx) & 0xFFFF) != 0) return Service::Missing;
      return ReadHandle0();
    case 0x40: return WriteHandle();
    case 0x4C: exitCode_ = eax & 0xFF; return Service::Exit;
    default: return Service::Missing;
  }
}

// ---- the screen, the interrupt table, the clock ----------------------------

// A 16-bit program gets the interrupt table (zero-filled) and the video
// memory; a flat one the video memory unless its image or stack lies there,
// in which case the screen keeps its cells to itself.
bool DosProgram::MapLowMemory() {
  constexpr AddressRange video{TextScreen::kBase, TextScreen::kBase + kPage};
  auto overlaps = [&](uint64_t begin, uint64_t end) {
    return begin < end && begin < video.end && end > video.begin;
  };
  bool mapVideo = true;
  if (bits_ == 16) {
    if (!machine_.Map({0, kPage})) return false;
  } else {
    const uint64_t stack = uint64_t(machine_.Get(Reg::Esp)) + 4 - kStackBytes32;
    mapVideo = !overlaps(RoundDown(origin_), RoundUp(uint64_t(origin_) + imageSize_)) &&
               !overlaps(stack, stack + kStackBytes32);
  }
  if (mapVideo && !machine_.Map(video)) return false;
  screen_.Attach(mapVideo ? &machine_ : nullptr);
  screen_.Clear();
  return true;
}

// INT 10h. Only page 0 exists: a cursor or character call for another page
// (BH) has no service.
DosProgram::Service DosProgram::Video(uint8_t function) {
  const uint32_t ebx = machine_.Get(Reg::Ebx);
  const bool page0 = ((ebx >> 8) & 0xFF) == 0;
  switch (function) {
    case 0x00: return SetVideoMode();
    case 0x02: {
      if (!page0) return Service::Missing;
      const uint32_t edx = machine_.Get(Reg::Edx);
      screen_.SetCursor(static_cast<int>((edx >> 8) & 0xFF), static_cast<int>(edx & 0xFF));
      return Service::Done;
    }
    case 0x03:
      if (!page0) return Service::Missing;
      SetWord(Reg::Edx, static_cast<uint16_t>(screen_.row() << 8 | screen_.column()));
      SetWord(Reg::Ecx, screen_.cursorShape());
      return Service::Done;
    case 0x06:
    case 0x07: return VideoScroll(function == 0x06);
    case 0x09:
    case 0x0A: return page0 ? VideoWrite(function == 0x09) : Service::Missing;
    case 0x0E: {
      const uint8_t c = machine_.Get(Reg::Eax) & 0xFF;
      output_.Write(1, std::span<const uint8_t>(&c, 1));
      screen_.Teletype(c);
      return Service::Done;
    }
    case 0x0F:
      SetAx(uint16_t{TextScreen::kColumns} << 8 | 0x03);
      SetWord(Reg::Ebx, ebx & 0xFF);
      return Service::Done;
    default: return Service::Missing;
  }
}

// Function 00h: the 80x25 text modes (03h colour, 02h grey, 07h mono, all
// shown as 03h) clear the screen and home the cursor; others have no service.
DosProgram::Service DosProgram::SetVideoMode() {
  const uint8_t mode = machine_.Get(Reg::Eax) & 0xFF;
  if (mode != 0x02 && mode != 0x03 && mode != 0x07) return Service::Missing;
  screen_.Clear();
  return Service::Done;
}

// Functions 06h and 07h: AL lines (0: all), BH the blank lines' attribute,
// CH/CL the window's top row and left column, DH/DL its bottom right.
DosProgram::Service DosProgram::VideoScroll(bool up) {
  const uint32_t ecx = machine_.Get(Reg::Ecx);
  const uint32_t edx = machine_.Get(Reg::Edx);
  ScreenWindow w;
  w.top = static_cast<int>((ecx >> 8) & 0xFF);
  w.left = static_cast<int>(ecx & 0xFF);
  w.bottom = static_cast<int>((edx >> 8) & 0xFF);
  w.right = static_cast<int>(edx & 0xFF);
  screen_.Scroll(w, static_cast<int>(machine_.Get(Reg::Eax) & 0xFF),
                 (machine_.Get(Reg::Ebx) >> 8) & 0xFF, up);
  return Service::Done;
}

// Functions 09h (with the attribute BL) and 0Ah (keeping the attributes):
// AL CX times from the cursor on; the cursor stays.
DosProgram::Service DosProgram::VideoWrite(bool withAttribute) {
  const uint8_t c = machine_.Get(Reg::Eax) & 0xFF;
  const int attribute = withAttribute ? static_cast<int>(machine_.Get(Reg::Ebx) & 0xFF) : -1;
  screen_.Repeat(c, attribute, machine_.Get(Reg::Ecx) & 0xFFFF);
  return Service::Done;
}

// INT 21h function 0Bh: AL FFh when a key is pending, else 00h; a stream at
// its end has none.
DosProgram::Service DosProgram::InputStatus() {
  SetAl(keys_.Peek() >= 0 ? 0xFF : 0x00);
  return Service::Done;
}

// INT 21h functions 25h (vector AL := DS:DX) and 35h (ES:BX := vector AL),
// in the table at 0000:0000 of a 16-bit program.
DosProgram::Service DosProgram::Vector(bool set) {
  if (bits_ != 16) return Service::Missing;
  const uint32_t at = (machine_.Get(Reg::Eax) & 0xFF) * 4;
  uint8_t entry[4];
  if (set) {
    const uint32_t offset = machine_.Get(Reg::Edx);
    const uint32_t segment = machine_.Get(Reg::Ds);
    entry[0] = uint8_t(offset);
    entry[1] = uint8_t(offset >> 8);
    entry[2] = uint8_t(segment);
    entry[3] = uint8_t(segment >> 8);
    return machine_.Write(at, entry) ? Service::Done : Service::BadMemory;
  }
  if (!machine_.Read(at, entry)) return Service::BadMemory;
  SetWord(Reg::Ebx, static_cast<uint16_t>(entry[0] | entry[1] << 8));
  machine_.Set(Reg::Es, static_cast<uint32_t>(entry[2] | entry[3] << 8));
  return Service::Done;
}

// INT 21h functions 2Ah (CX year, DH month, DL day, AL weekday, 0 Sunday)
// and 2Ch (CH hour, CL minute, DH second, DL hundredths).
DosProgram::Service DosProgram::Clock(bool date) {
  const ClockReading r = clock_->Now();
  if (date) {
    SetWord(Reg::Ecx, r.year);
    SetWord(Reg::Edx, static_cast<uint16_t>(r.month << 8 | r.day));
    SetAl(r.weekday);
  } else {
    SetWord(Reg::Ecx, static_cast<uint16_t>(r.hour << 8 | r.minute));
    SetWord(Reg::Edx, static_cast<uint16_t>(r.second << 8 | r.hundredths));
  }
  return Service::Done;
}

}  // namespace quorix
