// Time of one workbench step (render plus present; a present at the origin
// copies nothing, the window reads the back buffer) on the compile and debug
// screens with a 1,000-line source, and with the machine window open while
// the Run box executes the compiled program. The timer asks for one step per
// millisecond, so a step must stay well under that.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "app/machine_window.h"
#include "app/workbench.h"
#include "backends/headless/headless_platform.h"
#include "engine/machines.h"
#include "support/doubles.h"

namespace {

using namespace quorix;

// Headless platform whose files live in memory, so the bench measures steps
// and not the disk.
using MemoryHeadless = testing_support::WithMemoryFiles<HeadlessPlatform>;

std::string ThousandLines() {
  std::string s = "[ORG 100]\r\nSTART:\r\n";
  for (int i = 2; i < 999; ++i) {
    if (i % 50 == 0) {
      s += "L" + std::to_string(i) + ":\r\n";
      continue;
    }
    switch (i % 4) {
      case 0: s += "        MOV AX, " + std::to_string(i) + "   ; load\r\n"; break;
      case 1: s += "        ADD AX, BX\r\n"; break;
      case 2: s += "        SUB CX, DX\r\n"; break;
      default: s += "        NOP\r\n"; break;
    }
  }
  s += "        JMP START\r\n";
  return s;
}

struct Setup {
  MemoryHeadless platform;
  Workbench wb;
  uint32_t clock = 0;

  explicit Setup(MachineFactory machines = {}) : wb(platform, std::move(machines)) {
    platform.files[kOpcodePath] = "MOV|r16, imm16|B8+r iw\r\nNOP||90\r\nADD|r/m16, r16|01 /r\r\n";
    platform.files["bench.asm"] = ThousandLines();
    wb.WindowProc(MsgCreate, 0, 0);
    platform.SetEditorTitle("bench.asm");
    Tick();
    Move(600, 20);  // the Compile button
    wb.WindowProc(MsgLButtonDown, 1, PackPoint(600, 20));
    Tick();
    wb.WindowProc(MsgLButtonUp, 0, PackPoint(600, 20));
  }
  void Tick() { wb.TimerTick(++clock); }
  void Move(uint32_t x, uint32_t y) { wb.WindowProc(MsgMouseMove, 0, PackPoint(x, y)); }
  void Choose(uint32_t y) {
    Move(20, y);
    wb.WindowProc(MsgLButtonDown, 1, PackPoint(20, y));
    Tick();
    wb.WindowProc(MsgLButtonUp, 0, PackPoint(20, y));
  }
};

void BM_CompileScreenStep(benchmark::State& state) {
  Setup s;
  s.Move(5, 560);
  s.wb.record().PosSCL = 500;
  for (auto _ : state) s.Tick();
  if (s.wb.record().state != StateCompile || s.wb.record().state2 != Compiled)
    state.SkipWithError("not on the compile screen after a compile");
}
BENCHMARK(BM_CompileScreenStep)->Unit(benchmark::kMicrosecond);

void BM_DebugScreenStep(benchmark::State& state) {
  Setup s;
  s.Choose(80);
  s.Move(5, 560);
  s.wb.record().PosSCL = 500;
  for (auto _ : state) s.Tick();
  if (s.wb.record().state != StateDebug) state.SkipWithError("not on the debug screen");
}
BENCHMARK(BM_DebugScreenStep)->Unit(benchmark::kMicrosecond);

// The pointer on Run: the register panel, one simulator step and the scroll.
void BM_DebugScreenRunStep(benchmark::State& state) {
  Setup s;
  s.Choose(80);
  s.Move(200, 480);
  for (auto _ : state) s.Tick();
  if (s.wb.record().state2 != RunMarker) state.SkipWithError("the simulator is not running");
}
BENCHMARK(BM_DebugScreenRunStep)->Unit(benchmark::kMicrosecond);

// Debug chosen after a compile opens the machine window; the pointer rests
// on Run: each tick executes one instruction and draws both windows (the
// machine window draws whenever the program has moved).
void BM_MachineWindowRunStep(benchmark::State& state) {
  MachineFactory machines = DefaultMachineFactory();
  if (!machines) {
    state.SkipWithError("built without the emulator");
    return;
  }
  Setup s(machines);
  s.Choose(80);
  s.Move(200, 480);
  const uint64_t presents = s.platform.secondPresentCount();
  const uint64_t steps = s.wb.run().program()->executed();
  for (auto _ : state) s.Tick();
  if (s.platform.secondBuffer() == nullptr || s.wb.run().program()->executed() == steps ||
      s.platform.secondPresentCount() - presents < uint64_t(state.iterations()))
    state.SkipWithError("the machine window did not follow every step");
}
BENCHMARK(BM_MachineWindowRunStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
