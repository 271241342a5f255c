// The execution path: a program image run on the engine with typed keys,
// driven the ways the workbench drives it: single steps with the listing's
// hints (as the Run box takes them), runs of varying length (as quorix-run
// takes them), both mixed, and the Run box itself (RunSession). Every call
// is checked as it returns, and every way must end as single steps without
// hints end, and so must one long run: same status, count, message,
// registers and output.
//
// Input: byte 0 flags (bit 0: a flat 32-bit program, else a 16-bit .com;
// bits 1-2: the driver; bit 3: the keys are a byte stream, not a keyboard;
// bit 4: after the last key the input ends, rather than "no key yet";
// bits 5-7: the origin, from a table), byte 1 the step limit, byte 2 the
// seed of the listing's line lengths (0: no lines), bytes 3-4 the image's
// length (little-endian), the image, then the number of keys typed before
// the start, those keys, and the keys typed one at a time whenever the
// program waits.
//
// Known faults of the engine are kept out of the way unless
// QUORIX_FUZZ_KNOWN=1 (fuzz/corpus/run/known-* show them): a long run does
// not always run code as the program rewrote it in the block it runs in
// (old bytes; see CheckLongRun); a block of straight-line
// code that runs on into a page that cannot execute stops before its first
// instruction (see GiveUpOnJumpsOut); a long run that comes to an instruction at the end of
// its memory ends early as if its count were used up (see
// CheckedMachine::Run). An input whose output passes 1 MiB in one run is given
// up too (kMaxOutput). (known-smc-counted-twice shows a fault since mended:
// such an instruction counted twice; known-smc-loses-carry and
// known-flags-after-memory-fault show lost flags, mended in the engine;
// known-jump-out-uncounted an instruction that jumped to memory that does
// not exist, left uncounted, mended too; known-prefixed-hlt a HLT after a
// prefix that was not taken for HLT, mended.)
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "fuzz_check.h"
#include "model/workspace.h"
#include "sim/run_session.h"
#include "sim/x86_shape.h"

using namespace quorix;

namespace {

constexpr uint64_t kMaxLimit = 4'000;  // every input runs in single steps once
constexpr uint32_t kPage = 0x1000;
constexpr uint64_t kMaxWrite = 0x10000;  // the most one output call may carry
// The most output one run may make before the input is given up: a loop that
// prints 64 KB each time round would take minutes to lay out on the screen
// over its step limit, and more output finds nothing more.
constexpr uint64_t kMaxOutput = 0x100000;
constexpr uint64_t kStack32 = 0x10000;  // a flat program's stack
constexpr uint64_t kEchoPerKey = 3;     // backspace echoes "\b \b"
constexpr uint64_t kFnvPrime = 0x100000001B3ull;
constexpr uint64_t kFnvBasis = 0xCBF29CE484222325ull;

constexpr uint32_t kOrigins16[8] = {0x100, 0, 0x7C00, 0xFF00, 0xFFFE, 0x10, 0x100, 0x100};
constexpr uint32_t kOrigins32[8] = {0x400000,   0x1000,     0x7FFF0000, 0,
                                    0xFFFFF000, 0x7FFE0000, 0x10000,    0x400000};

enum class Driver { Stepped, Chunked, Mixed, RunBox, Whole, Exact };

struct Input {
  uint32_t bits = 16;
  uint32_t origin = 0;  // as compiled; LoadOrigin gives where it runs
  Driver driver = Driver::Stepped;
  bool stream = false;
  bool endOfInput = false;
  uint64_t limit = 1;
  uint8_t lineSeed = 0;
  std::span<const uint8_t> image, early, late;
};

bool Parse(const uint8_t* data, size_t size, Input& in) {
  if (size < 5) return false;
  const uint8_t flags = data[0];
  in.bits = (flags & 1) != 0 ? 32 : 16;
  in.driver = static_cast<Driver>((flags >> 1) & 3);
  in.stream = (flags & 8) != 0;
  in.endOfInput = (flags & 16) != 0;
  in.origin = (in.bits == 32 ? kOrigins32 : kOrigins16)[flags >> 5];
  in.limit = data[1] < 16 ? data[1] + 1u : std::min<uint64_t>(kMaxLimit, (data[1] - 15u) * 17u);
  in.lineSeed = data[2];
  std::span<const uint8_t> rest(data + 5, size - 5);
  in.image = rest.first(std::min<size_t>(data[3] | data[4] << 8, rest.size()));
  rest = rest.subspan(in.image.size());
  size_t early = 0;
  if (!rest.empty()) {
    early = std::min<size_t>(rest[0], rest.size() - 1);
    rest = rest.subspan(1);
  }
  in.early = rest.first(early);
  in.late = rest.subspan(early);
  if (in.driver == Driver::RunBox) {
    // The Run box's keys: a keyboard that may always get more, and that
    // drops what it cannot hold.
    in.stream = false;
    in.endOfInput = false;
    in.early = in.early.first(std::min(in.early.size(), KeyQueue::kCapacity));
  }
  return true;
}

// The early keys at once, then one late key each time TypeLate is called;
// after the last one, "no key yet" or the end of the input.
class FuzzKeys : public KeySource {
 public:
  explicit FuzzKeys(const Input& in)
      : early_(in.early), late_(in.late), stream_(in.stream), endOfInput_(in.endOfInput) {}
  int Peek() override {
    if (taken_ < typed_) return At(taken_);
    return typed_ < early_.size() + late_.size() || !endOfInput_ ? kNoKey : kEndOfInput;
  }
  void Take() override {
    FUZZ_CHECK(taken_ < typed_);  // only a key Peek gave is taken
    ++taken_;
  }
  bool IsKeyboard() const override { return !stream_; }
  bool TypeLate() {
    if (typed_ >= early_.size() + late_.size()) return false;
    ++typed_;
    return true;
  }
  size_t taken() const { return taken_; }

 private:
  int At(size_t i) const { return i < early_.size() ? early_[i] : late_[i - early_.size()]; }

  std::span<const uint8_t> early_, late_;
  bool stream_, endOfInput_;
  size_t typed_ = early_.size();
  size_t taken_ = 0;
};

// Counts and hashes what the program writes, holding none of it; the exact
// run also feeds a console, to compare with the Run box's.
// Thrown to give up an input whose output passes kMaxOutput.
struct TooMuchOutput {};

class CountingOutput : public ProgramOutput {
 public:
  void Write(int handle, std::span<const uint8_t> bytes) override {
    FUZZ_CHECK(handle == 1 || handle == 2);
    FUZZ_CHECK(bytes.size() <= kMaxWrite);
    count += bytes.size();
    if (count > kMaxOutput) throw TooMuchOutput{};
    for (uint8_t b : bytes) hash = (hash ^ (uint64_t(handle) << 8 | b)) * kFnvPrime;
    if (console != nullptr) console->Write(handle, bytes);
  }
  uint64_t count = 0;
  uint64_t hash = kFnvBasis;
  ConsoleLog* console = nullptr;
};

// The date and time every run reads: the same for all, so that runs of one
// program can be compared.
class FixedClock : public ProgramClock {
 public:
  ClockReading Now() override { return {}; }
};

FixedClock& Clock() {
  static FixedClock* clock = new FixedClock;
  return *clock;
}

// Whether the known faults show (QUORIX_FUZZ_KNOWN=1) rather than being
// kept out of the way.
bool KnownFaultsShow() {
  static const bool show = [] {
    const char* v = std::getenv("QUORIX_FUZZ_KNOWN");
    return v != nullptr && std::strcmp(v, "1") == 0;
  }();
  return show;
}

// Thrown to give up an input that shows a known fault.
struct KnownAbort {};

// The engine, with its answers checked against the Machine contract.
class CheckedMachine final : public Machine {
 public:
  explicit CheckedMachine(Machine& inner) : inner_(&inner) {}
  bool Reset(uint32_t bits) override {
    bits_ = bits;
    code_.clear();
    rewroteCode_ = false;
    return inner_->Reset(bits);
  }
  bool Map(AddressRange range) override { return inner_->Map(range); }
  void SetCodeRanges(std::span<const AddressRange> ranges) override {
    inner_->SetCodeRanges(ranges);
    code_.assign(ranges.begin(), ranges.end());
  }
  bool Write(uint32_t linear, std::span<const uint8_t> bytes) override {
    return inner_->Write(linear, bytes);
  }
  bool Read(uint32_t linear, std::span<uint8_t> bytes) override {
    return inner_->Read(linear, bytes);
  }
  uint32_t Get(Reg r) override { return inner_->Get(r); }
  void Set(Reg r, uint32_t value) override { inner_->Set(r, value); }
  void SetExecuted(uint64_t count) override { inner_->SetExecuted(count); }
  MachineStop Run(uint64_t count, uint32_t next) override {
    const uint64_t want = std::max<uint64_t>(count, 1);
    if (watch_) {
      CodePages(before_);
      if (want == 1 && RepeatedStoreIntoCode()) rewroteCode_ = true;
    }
    const MachineStop stop = inner_->Run(count, next);
    if (watch_) {
      CodePages(after_);
      rewroteCode_ = rewroteCode_ || before_ != after_;
    }
    FUZZ_CHECK(stop.executed <= want);
    // A run that ends for no reason used its whole count (a single step
    // ends after its instruction whether or not it reached `next`).
    if (stop.event == MachineEvent::None && (next == 0 || want == 1)) {
      // Known fault: a run whose next instruction would run on into a page
      // that cannot execute (16 bytes or fewer before its end) ends there
      // early, as if its count were used up.
      if (!KnownFaultsShow() && stop.executed < want && (inner_->Get(Reg::Eip) & 0xFFF) >= 0xFF0)
        throw KnownAbort{};
      FUZZ_CHECK(stop.executed == want);
    }
    if (stop.event == MachineEvent::Interrupt) FUZZ_CHECK(stop.length == 1 || stop.length == 2);
    if (stop.event == MachineEvent::Halt) FUZZ_CHECK(stop.length >= 1 && stop.length <= 15);
    return stop;
  }

  // While on, notes whether a run changes a byte on a page that holds code.
  void WatchCode(bool on) { watch_ = on; }
  bool rewroteCode() const { return rewroteCode_; }

 private:
  // Known fault: a REP string instruction that stores into a page it runs
  // from is restarted by the engine even when the byte stays the same, and
  // a run of more than one instruction counts the restart as an iteration
  // (single steps do not). Such a store counts as rewriting the code.
  bool RepeatedStoreIntoCode() {
    const uint32_t bits = bits_;
    const uint32_t ip = inner_->Get(Reg::Eip);
    uint8_t code[16] = {};
    const uint32_t at = bits == 16 ? (inner_->Get(Reg::Cs) << 4) + (ip & 0xFFFF) : ip;
    uint32_t n = sizeof code;
    while (n > 0 && !inner_->Read(at, std::span<uint8_t>(code, n))) n /= 2;
    const InsnShape shape = ShapeOf(std::span<const uint8_t>(code, n), bits);
    if (shape.kind != InsnKind::String || !shape.rep) return false;
    const uint32_t di = inner_->Get(Reg::Edi);
    const uint64_t to = bits == 16 ? (uint64_t(inner_->Get(Reg::Es)) << 4) + (di & 0xFFFF) : di;
    const uint64_t page = to & ~uint64_t(kPage - 1);
    for (const AddressRange& r : code_)
      if (page < r.end && page + kPage > r.begin) return true;
    return false;
  }

  void CodePages(std::vector<uint8_t>& bytes) {
    bytes.clear();
    for (const AddressRange& r : code_) {
      for (uint64_t at = r.begin & ~uint64_t(kPage - 1); at < r.end; at += kPage) {
        bytes.resize(bytes.size() + kPage);
        inner_->Read(static_cast<uint32_t>(at),
                     std::span<uint8_t>(&bytes[bytes.size() - kPage], kPage));
      }
    }
  }

  Machine* inner_;
  uint32_t bits_ = 16;
  std::vector<AddressRange> code_;
  bool watch_ = false;
  bool rewroteCode_ = false;
  std::vector<uint8_t> before_, after_;  // the code pages around a watched run
};

// One engine for each mode, which every run of every input resets and
// uses: opening one costs more than most inputs' runs.
Machine& Engine(uint32_t bits) {
  static Machine* engines[2] = {};
  Machine*& engine = engines[bits == 32 ? 1 : 0];
  if (engine == nullptr) {
    const MachineFactory factory = DefaultMachineFactory();
    FUZZ_CHECK(factory);
    engine = factory().release();
    FUZZ_CHECK(engine != nullptr);
  }
  return *engine;
}

// The listing of a compile that produced the image: lines of small lengths
// from a generator, some empty (labels), with their text and records.
struct Listing {
  std::vector<uint8_t> text;
  std::vector<uint8_t> index;
  std::vector<LineRecord> records;
  SourceText source;
  LineMap map;

  Listing(uint8_t seed, uint32_t size) {
    const uint32_t longest = 1u + seed % 8;
    uint32_t x = seed;
    for (uint32_t at = 0; seed != 0 && at < size && records.size() < 2 * size + 2;) {
      x = x * 1103515245u + 12345u;
      const uint32_t n = std::min((x >> 16) % (longest + 1), size - at);
      records.push_back({n, at});
      at += n;
    }
    const uint32_t lines = static_cast<uint32_t>(records.size());
    records.resize(lines + 2, LineRecord{0, 0});  // the empty last line, and one after
    for (uint32_t k = 0; k <= lines; ++k) {
      const uint32_t start = static_cast<uint32_t>(text.size());
      for (int b = 0; b < 4; ++b) index.push_back(static_cast<uint8_t>(start >> (8 * b)));
      if (k == lines) break;
      const std::string line = "X" + std::to_string(k + 1) + "\r\n";
      text.insert(text.end(), line.begin(), line.end());
    }
    source.bytes = text;
    source.index = index;
    source.size = static_cast<uint32_t>(text.size());
    source.lineCount = lines + 2;
    map.Build(Records(), source.lineCount, size);
  }
  LineRecords Records() {
    return LineRecords(std::span<uint8_t>(reinterpret_cast<uint8_t*>(records.data()),
                                          records.size() * sizeof(LineRecord)));
  }
  // Where the instruction at EIP ends, when a line starts there: the Run
  // box's hint for a single step.
  uint32_t Hint(Machine& m, uint32_t origin) const {
    const uint32_t ip = m.Get(Reg::Eip);
    if (ip >= origin && map.StartsLine(ip - origin)) return map.EndAt(ip - origin) + origin;
    return 0;
  }
  uint32_t LineAt(uint32_t address, uint32_t origin) const {
    return address >= origin ? map.LineAt(address - origin) : 0;
  }
};

using Registers = std::array<uint32_t, kRegCount>;

Registers RegistersOf(Machine& m) {
  Registers r;
  for (int i = 0; i < kRegCount; ++i) r[i] = m.Get(static_cast<Reg>(i));
  return r;
}

struct Outcome {
  RunStatus status;
  StopReason reason;
  int exitCode;
  uint64_t executed;
  uint32_t stopAddress;
  std::string message;
  Registers regs;
  uint64_t outputBytes;
  uint64_t outputHash;
};

Outcome Capture(DosProgram& p, const CountingOutput& out) {
  return {p.status(),
          p.reason(),
          p.exitCode(),
          p.executed(),
          p.stopAddress(),
          p.message(),
          RegistersOf(p.machine()),
          out.count,
          out.hash};
}

void Print(const char* name, const Outcome& o) {
  std::fprintf(
      stderr, "%s: status %d reason %d exit %d executed %llu stop %X output %llu/%016llX \"%s\"\n ",
      name, static_cast<int>(o.status), static_cast<int>(o.reason), o.exitCode,
      static_cast<unsigned long long>(o.executed), o.stopAddress,
      static_cast<unsigned long long>(o.outputBytes), static_cast<unsigned long long>(o.outputHash),
      o.message.c_str());
  for (uint32_t r : o.regs) std::fprintf(stderr, " %08X", r);
  std::fprintf(stderr, "\n");
}

void CheckSame(const Outcome& a, const Outcome& b, bool output) {
  if (a.status != b.status || a.reason != b.reason || a.exitCode != b.exitCode ||
      a.executed != b.executed || a.stopAddress != b.stopAddress || a.message != b.message ||
      (a.reason != StopReason::LoadFailed && a.regs != b.regs) ||
      (output && (a.outputBytes != b.outputBytes || a.outputHash != b.outputHash))) {
    Print("expected", a);
    Print("got", b);
  }
  FUZZ_CHECK(a.status == b.status);
  FUZZ_CHECK(a.reason == b.reason);
  FUZZ_CHECK(a.exitCode == b.exitCode);
  FUZZ_CHECK(a.executed == b.executed);
  FUZZ_CHECK(a.stopAddress == b.stopAddress);
  FUZZ_CHECK(a.message == b.message);
  // A program that was never placed leaves the machine as it was.
  if (a.reason != StopReason::LoadFailed)
    for (int i = 0; i < kRegCount; ++i) FUZZ_CHECK(a.regs[i] == b.regs[i]);
  if (output) {
    FUZZ_CHECK(a.outputBytes == b.outputBytes);
    FUZZ_CHECK(a.outputHash == b.outputHash);
  }
}

bool Same(const Outcome& a, const Outcome& b) {
  return a.status == b.status && a.reason == b.reason && a.exitCode == b.exitCode &&
         a.executed == b.executed && a.stopAddress == b.stopAddress && a.message == b.message &&
         a.regs == b.regs && a.outputBytes == b.outputBytes && a.outputHash == b.outputHash;
}

// Known fault: straight-line code whose translated block runs on into a
// page that cannot execute stops before its first instruction, at the start
// of that page (a NOP at a .com's FF00h stops at 0000h without running).
// Unless the known faults show, runs that disagree while one of them stops
// so are given up.
void GiveUpOnJumpsOut(const Outcome& a, const Outcome& b) {
  auto stopsSo = [](const Outcome& o) {
    return o.reason == StopReason::Fault && o.message == "jump outside the program" &&
           o.stopAddress % kPage == 0;
  };
  if (!KnownFaultsShow() && (stopsSo(a) || stopsSo(b)) && !Same(a, b)) throw KnownAbort{};
}

// How a finished run may stand.
void CheckEnd(const Outcome& o, uint64_t limit) {
  FUZZ_CHECK(o.status == RunStatus::Exited || o.status == RunStatus::Stopped ||
             o.status == RunStatus::Waiting);
  FUZZ_CHECK(o.executed <= limit);
  if (o.status == RunStatus::Stopped) FUZZ_CHECK(!o.message.empty());
  if (o.reason == StopReason::StepLimit) FUZZ_CHECK(o.executed == limit);
  if (o.status == RunStatus::Exited) {
    FUZZ_CHECK(o.reason == StopReason::None || o.reason == StopReason::Halted);
    FUZZ_CHECK(o.exitCode >= 0 && o.exitCode <= 255);
    if (o.reason == StopReason::Halted) FUZZ_CHECK(o.exitCode == 0);
  }
}

// The most one instruction may print: a 16-bit program's segment, or a flat
// program's image and stack, plus the echo of a key it reads.
uint64_t PerInstruction(const Input& in) {
  const uint64_t memory = in.bits == 16 ? kMaxWrite : in.image.size() + 2 * kPage + kStack32;
  return std::max(memory, kMaxWrite) + kEchoPerKey;
}

// Runs `p` to its end as `driver` calls it, checking each call.
void Drive(DosProgram& p, FuzzKeys& keys, const CountingOutput& out, Driver driver,
           const Listing& listing, const Input& in) {
  const uint32_t origin = LoadOrigin(in.origin, in.bits);
  const uint64_t perInstruction = PerInstruction(in);
  uint32_t x = static_cast<uint32_t>(in.image.size()) * 31u + in.lineSeed;
  const uint64_t maxCalls = in.limit + in.early.size() + in.late.size() + 2;
  for (uint64_t call = 0;; ++call) {
    FUZZ_CHECK(call <= maxCalls);
    x = x * 1103515245u + 12345u;
    uint64_t n = 1;
    uint32_t next = 0;
    if (driver == Driver::Whole)
      n = UINT64_MAX;
    else if (driver == Driver::Chunked || (driver == Driver::Mixed && (x >> 16) % 4 == 0))
      n = 2 + (x >> 16) % 999;
    else if (driver != Driver::Exact)
      next = listing.Hint(p.machine(), origin);
    const uint64_t before = p.executed(), printed = out.count;
    const size_t taken = keys.taken();
    const RunStatus s = p.Run(n, next);
    FUZZ_CHECK(p.executed() >= before);
    const uint64_t done = p.executed() - before;
    FUZZ_CHECK(done <= n && p.executed() <= in.limit);
    if (s == RunStatus::Ready) FUZZ_CHECK(done == n);
    FUZZ_CHECK(out.count - printed <=
               (done + 1) * perInstruction + kEchoPerKey * (keys.taken() - taken));
    if (s == RunStatus::Waiting) {
      FUZZ_CHECK(keys.Peek() == KeySource::kNoKey);
      if (!keys.TypeLate()) return;
    } else if (s != RunStatus::Ready) {
      return;
    }
  }
}

// Once ended, a program stays as it is, however it is called.
void CheckStaysEnded(DosProgram& p, const CountingOutput& out) {
  if (p.status() != RunStatus::Exited && p.status() != RunStatus::Stopped) return;
  const Outcome before = Capture(p, out);
  FUZZ_CHECK(p.Run(1, 0) == before.status);
  FUZZ_CHECK(p.Run(1000) == before.status);
  CheckSame(Capture(p, out), before, true);
}

CheckedMachine& SharedMachine(uint32_t bits) {
  static CheckedMachine* machines[2] = {new CheckedMachine(Engine(16)),
                                        new CheckedMachine(Engine(32))};
  return *machines[bits == 32 ? 1 : 0];
}

// The program run as `driver` says on the shared machine, checked as it ends.
Outcome RunAs(Driver driver, const Input& in, const Listing& listing,
              ConsoleLog* console = nullptr) {
  FuzzKeys keys(in);
  CountingOutput out;
  out.console = console;
  DosProgram p(SharedMachine(in.bits), keys, out);
  p.SetClock(Clock());
  const bool placed = p.Load({in.image, LoadOrigin(in.origin, in.bits), in.bits});
  FUZZ_CHECK(placed == (p.status() == RunStatus::Ready));
  p.SetStepLimit(in.limit);
  Drive(p, keys, out, driver, listing, in);
  const Outcome o = Capture(p, out);
  CheckEnd(o, in.limit);
  CheckStaysEnded(p, out);
  if (console != nullptr && o.status != RunStatus::Waiting) {
    // The Run box's end message, as it adds it.
    const uint32_t line = listing.LineAt(o.stopAddress, LoadOrigin(in.origin, in.bits));
    console->Note(EndMessage(p, line, line != 0 ? SourceLineText(listing.source, line) : ""));
  }
  return o;
}

// Single steps without hints: what every other way must end as.
struct Exact {
  Outcome end;
  ConsoleLog console;
  bool rewroteCode = false;  // a byte on a page it executes from changed
};

// Known fault: code that a program rewrites in the translated block it runs
// in is not always run as rewritten in a long run: the old bytes can run on,
// and its results may differ from there on. A program whose code bytes
// changed is not compared in long runs.
//
// A run that took more than one instruction at a time against the exact
// run.
void CheckLongRun(const Exact& exact, const Outcome& given) {
  GiveUpOnJumpsOut(exact.end, given);
  if (!KnownFaultsShow() && exact.rewroteCode && !Same(exact.end, given)) throw KnownAbort{};
  CheckSame(exact.end, given, true);
}

void CheckConsole(const ConsoleLog& console) {
  FUZZ_CHECK(console.lines().size() <= ConsoleLog::kMaxLines);
  for (const std::string& line : console.lines())
    FUZZ_CHECK(line.size() <= ConsoleLog::kMaxColumns);
}

// The Run box: a compile's output in a RunSession, one Step per tick, the
// late keys typed while it waits. It must end as the exact run, console
// and end message included.
void RunBox(const Input& in, Listing& listing, const Exact& exact) {
  static Workspace* ws = new Workspace;  // only its load generation is read
  std::vector<uint8_t> image(in.image.begin(), in.image.end());
  AsmRegions regions;
  regions.source = listing.source;
  regions.records = listing.Records();
  regions.output = image;
  AssembleReport report;
  report.ok = true;
  report.bytes = static_cast<uint32_t>(image.size());
  report.origin = in.origin;
  report.entryBits = in.bits;

  RunSession session;
  session.SetFactory([bits = in.bits] { return std::make_unique<CheckedMachine>(Engine(bits)); });
  session.SetStepLimit(in.limit);
  uint32_t position = session.AfterCompile(regions, *ws, report);
  FUZZ_CHECK(session.Executes(*ws) && session.program() != nullptr);
  session.program()->SetClock(Clock());
  for (uint8_t k : in.early) session.Key(k);
  const uint32_t origin = LoadOrigin(in.origin, in.bits);
  size_t late = 0;
  CpuState cpu{};
  for (uint64_t tick = 0;; ++tick) {
    FUZZ_CHECK(tick <= in.limit + in.late.size() + 2);
    DosProgram& p = *session.program();
    const uint64_t before = p.executed();
    const uint32_t was = position;
    session.Step(&position, &cpu);
    ++position;  // as the shell does after each step
    FUZZ_CHECK(p.executed() >= before && p.executed() - before <= 1);
    FUZZ_CHECK(p.executed() <= in.limit);
    CheckConsole(session.console());
    if (p.status() == RunStatus::Ready) {
      FUZZ_CHECK(p.executed() == before + 1);
      // The listing moves to the line of the next instruction, or stays.
      const uint32_t line = listing.LineAt(p.machine().Get(Reg::Eip), origin);
      FUZZ_CHECK(position == (line != 0 ? line : was));
    } else if (p.status() == RunStatus::Waiting && late < in.late.size()) {
      session.Key(in.late[late++]);
    } else {
      break;
    }
  }
  DosProgram& p = *session.program();
  const CountingOutput none;
  const Outcome o = Capture(p, none);
  CheckEnd(o, in.limit);
  // Steps after the end change nothing, the console included.
  const std::deque<std::string> shown = session.console().lines();
  session.Step(&position, &cpu);
  CheckSame(Capture(p, none), o, false);
  FUZZ_CHECK(session.console().lines() == shown);

  Outcome withOutput = o;  // the session's output is its console
  withOutput.outputBytes = exact.end.outputBytes;
  withOutput.outputHash = exact.end.outputHash;
  GiveUpOnJumpsOut(exact.end, withOutput);
  CheckSame(exact.end, o, false);
  FUZZ_CHECK(exact.console.lines() == shown);
}

// Every way of running the input, checked against the exact run. -1 gives
// the input up.
int RunInput(const Input& in) {
  Listing listing(in.lineSeed, static_cast<uint32_t>(in.image.size()));
  try {
    Exact exact;
    SharedMachine(in.bits).WatchCode(true);
    exact.end = RunAs(Driver::Exact, in, listing, &exact.console);
    exact.rewroteCode = SharedMachine(in.bits).rewroteCode();
    SharedMachine(in.bits).WatchCode(false);
    switch (in.driver) {
      case Driver::Stepped: {
        const Outcome stepped = RunAs(Driver::Stepped, in, listing);
        GiveUpOnJumpsOut(exact.end, stepped);
        CheckSame(exact.end, stepped, true);
        break;
      }
      case Driver::RunBox: RunBox(in, listing, exact); break;
      default: CheckLongRun(exact, RunAs(in.driver, in, listing)); break;
    }
    CheckLongRun(exact, RunAs(Driver::Whole, in, listing));
  } catch (const KnownAbort&) {
    return -1;  // not kept in the corpus
  } catch (const TooMuchOutput&) {
    return -1;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!Parse(data, size, in)) return 0;
  const int result = RunInput(in);
  // The engine lets go of the memory the runs mapped, so that an input
  // leaves as much allocated as it found: libFuzzer runs an input that
  // leaves more once again, and then looks for leaks.
  Engine(in.bits).Reset(in.bits);
  return result;
}
