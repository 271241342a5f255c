// What the debugger's controller costs on a long run of bench/sieve.asm,
// against a plain DosProgram run in the same process: Continue with no
// breakpoint, with one breakpoint that is never hit, with two never hit
// that span the whole code (every instruction then tests the bitmap), and
// without history; then the time of one step back after 1,000,000
// instructions. Rounds are interleaved; medians and ratios are printed.
//
//   build/debugger_bench [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "sim/debugger.h"
#include "support/debug_support.h"

namespace {

using namespace quorix;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kLimit = 1'000'000'000;
constexpr uint64_t kStepBackAt = 1'000'000;
constexpr int kStepBackSamples = 41;  // spread over 16,400 instructions
constexpr uint64_t kStepBackSpread = 410;

class NoOutput : public ProgramOutput {
 public:
  void Write(int, std::span<const uint8_t> bytes) override { total += bytes.size(); }
  uint64_t total = 0;
};

class NoKeys : public KeySource {
 public:
  int Peek() override { return kEndOfInput; }
  void Take() override {}
  bool IsKeyboard() const override { return false; }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The program run to its end as quorix-run runs it.
double PlainRun(const DebugTarget& t, uint64_t* executed) {
  auto machine = DefaultMachineFactory()();
  NoKeys keys;
  NoOutput out;
  DosProgram program(*machine, keys, out);
  ProgramImage image;
  image.bytes = t.image;
  image.origin = t.origin;
  image.bits = t.bits;
  program.SetStepLimit(kLimit);
  program.Load(image);
  const auto start = Clock::now();
  while (program.Run(1'000'000) == RunStatus::Ready) {
  }
  const double ms = Ms(Clock::now() - start);
  *executed = program.executed();
  return ms;
}

// Continue from the entry to the end, with these breakpoints (addresses).
double ContinueRun(const DebugTarget& t, const std::vector<uint32_t>& breakpoints, bool history,
                   uint64_t* executed) {
  DebuggerOptions options;
  options.stepLimit = kLimit;
  options.history = history;
  Debugger d(DefaultMachineFactory()(), options);
  d.Load(t);
  for (uint32_t a : breakpoints) d.AddBreakpoint(a);
  const auto start = Clock::now();
  d.Continue();
  const DebugStop stop = d.Finish();
  const double ms = Ms(Clock::now() - start);
  if (stop.kind != StopKind::Ended)
    std::fprintf(stderr, "unexpected stop: %s\n", stop.message.c_str());
  *executed = d.executed();
  return ms;
}

// Step back one instruction at points after 1,000,000 instructions spread
// over one checkpoint interval.
std::vector<double> StepBacks(const DebugTarget& t) {
  DebuggerOptions options;
  options.stepLimit = kLimit;
  Debugger d(DefaultMachineFactory()(), options);
  d.Load(t);
  std::vector<double> times;
  for (int i = 0; i < kStepBackSamples; ++i) {
    const uint64_t at = kStepBackAt + static_cast<uint64_t>(i) * kStepBackSpread;
    d.Continue();
    d.Slice({at - d.executed(), {}});
    const auto start = Clock::now();
    const bool ok = d.StepBack(1);
    times.push_back(Ms(Clock::now() - start));
    if (!ok || d.executed() != at - 1)
      std::fprintf(stderr, "step back failed at %llu\n", static_cast<unsigned long long>(at));
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  if (!DefaultMachineFactory()) {
    std::printf("built without Unicorn: nothing to measure\n");
    return 0;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::ifstream file(std::string(QUORIX_SOURCE_DIR) + "/bench/sieve.asm", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  std::string error;
  const DebugTarget t = testing_support::AssembleTarget(text, &error);
  if (!error.empty() || t.image.empty()) {
    std::fprintf(stderr, "bench/sieve.asm: %s\n", error.c_str());
    return 1;
  }
  // Never hit: bytes inside instructions, where no instruction begins.
  const uint32_t first = t.origin + 1, last = t.origin + static_cast<uint32_t>(t.image.size()) - 2;
  const std::vector<std::pair<const char*, std::function<double(uint64_t*)>>> runs = {
      {"plain DosProgram run", [&](uint64_t* n) { return PlainRun(t, n); }},
      {"Continue, no breakpoint", [&](uint64_t* n) { return ContinueRun(t, {}, true, n); }},
      {"Continue, one breakpoint never hit",
       [&](uint64_t* n) { return ContinueRun(t, {first}, true, n); }},
      {"Continue, two never hit spanning the code",
       [&](uint64_t* n) {
         return ContinueRun(t, {first, last}, true, n);
       }},
      {"Continue, no history", [&](uint64_t* n) { return ContinueRun(t, {}, false, n); }},
  };
  std::vector<std::vector<double>> times(runs.size());
  std::vector<double> backs;
  uint64_t executed = 0;
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < runs.size(); ++i) {
      uint64_t n = 0;
      times[i].push_back(runs[i].second(&n));
      if (executed != 0 && n != executed)
        std::fprintf(stderr, "%s: %llu instructions\n", runs[i].first,
                     static_cast<unsigned long long>(n));
      executed = n;
    }
    const std::vector<double> b = StepBacks(t);
    backs.insert(backs.end(), b.begin(), b.end());
  }
  std::printf("bench/sieve.asm: %llu instructions; medians of %d interleaved rounds\n",
              static_cast<unsigned long long>(executed), rounds);
  const double plain = Median(times[0]), cont = Median(times[1]);
  for (size_t i = 0; i < runs.size(); ++i) {
    const double m = Median(times[i]);
    std::printf("  %-44s %8.1f ms   x%.3f of plain", runs[i].first, m, m / plain);
    if (i >= 2) std::printf("   x%.3f of Continue", m / cont);
    std::printf("\n");
  }
  std::printf("  step back after %llu instructions: median %.3f ms, max %.3f ms (%zu samples)\n",
              static_cast<unsigned long long>(kStepBackAt), Median(backs),
              *std::max_element(backs.begin(), backs.end()), backs.size());
  return 0;
}
