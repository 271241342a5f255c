// Time of one Run step on the debug screen while the compiled program
// executes (render, one instruction, listing position) for a 1,000-line
// and a 100,000-line program: the two must be the same within noise, since
// a step looks the next line up in a table built at compile time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "app/workbench.h"
#include "backends/headless/headless_platform.h"
#include "engine/machines.h"
#include "sim/run_session.h"
#include "support/doubles.h"

namespace {

using namespace quorix;
using MemoryHeadless = testing_support::WithMemoryFiles<HeadlessPlatform>;

// A flat 32-bit program of `lines` lines that loops from its end back to
// its start; labels every 100 lines.
std::string Program(int lines) {
  std::string s = "[ORG 400000]\r\n[BITS #32]\r\nSTART:\r\n";
  for (int i = 3; i < lines - 1; ++i) {
    if (i % 100 == 0) {
      s += "L" + std::to_string(i) + ":\r\n";
      continue;
    }
    switch (i % 4) {
      case 0: s += "DEC EDX\r\n"; break;
      case 1: s += "ADD EAX, EBX\r\n"; break;
      case 2: s += "INC ECX\r\n"; break;
      default: s += "NOP\r\n"; break;
    }
  }
  s += "JMP START\r\n";
  return s;
}

// A workbench with the program compiled, on the debug screen, the pointer
// resting on Run. False when that could not be reached.
bool Prepare(Workbench& wb, MemoryHeadless& platform, int lines) {
  wb.run().SetStepLimit(UINT64_MAX);
  uint32_t clock = 0;
  auto tick = [&] { wb.TimerTick(++clock); };
  auto click = [&](uint32_t x, uint32_t y) {
    wb.WindowProc(MsgMouseMove, 0, PackPoint(x, y));
    wb.WindowProc(MsgLButtonDown, 1, PackPoint(x, y));
    tick();
    wb.WindowProc(MsgLButtonUp, 0, PackPoint(x, y));
  };
  platform.files[kOpcodePath] = "NOP||90\r\n";
  platform.files["run.asm"] = Program(lines);
  wb.WindowProc(MsgCreate, 0, 0);
  platform.SetEditorTitle("run.asm");
  tick();
  click(600, 20);  // Compile
  if (wb.record().state2 != Compiled) return false;
  click(20, 80);                                        // Debug
  wb.WindowProc(MsgMouseMove, 0, PackPoint(200, 480));  // rest on Run
  return wb.run().Executes(wb.workspace());
}

// The whole timer tick: listing, register panel, console strip, one
// instruction.
void BM_RunBoxStep(benchmark::State& state) {
  if (!DefaultMachineFactory()) {
    state.SkipWithError("built without Unicorn");
    return;
  }
  MemoryHeadless platform;
  Workbench wb(platform, DefaultMachineFactory());
  if (!Prepare(wb, platform, static_cast<int>(state.range(0)))) {
    state.SkipWithError("the program did not compile");
    return;
  }
  uint32_t clock = 1000;
  for (auto _ : state) wb.TimerTick(++clock);
  if (wb.record().state2 != RunMarker || wb.run().program() == nullptr ||
      wb.run().program()->status() != RunStatus::Ready)
    state.SkipWithError("the program is not running");
  state.counters["lines"] = static_cast<double>(wb.record().LineCountsForFile - 1);
}
BENCHMARK(BM_RunBoxStep)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The execution part of the step alone: one instruction and the lookup of
// the line the listing moves to.
void BM_RunSessionStep(benchmark::State& state) {
  if (!DefaultMachineFactory()) {
    state.SkipWithError("built without Unicorn");
    return;
  }
  MemoryHeadless platform;
  Workbench wb(platform, DefaultMachineFactory());
  if (!Prepare(wb, platform, static_cast<int>(state.range(0)))) {
    state.SkipWithError("the program did not compile");
    return;
  }
  for (auto _ : state) wb.run().Step(&wb.record().PosSCL, &wb.cpu());
  if (wb.run().program()->status() != RunStatus::Ready) state.SkipWithError("the program stopped");
}
BENCHMARK(BM_RunSessionStep)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kNanosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
