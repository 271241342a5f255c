// Run-box ticks: an endless three-byte program (L: NOP / JMP L, bytes
// 90 EB FD at 100h) compiled into a RunSession, then stepped once per tick
// as the debug screen steps it while the pointer rests on Run, 5,000,000
// ticks by default. Each tick is timed; the program prints the total time,
// the mean, the quartiles, the 99.99th percentile and the longest tick in
// microseconds, and the process's resident memory after setup, at the end
// (VmRSS) and at its peak (VmHWM).
//
//   build/run_ticks_bench [--ticks N]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/machines.h"
#include "model/workspace.h"
#include "sim/run_session.h"

namespace {

using namespace quorix;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kDefaultTicks = 5'000'000;
// Tick times in a histogram: 10 ns buckets below 1 ms, 10 us buckets from
// there to 1 s; longer ticks share the last bucket.
constexpr uint64_t kFineNs = 10;
constexpr uint64_t kCoarseNs = 10'000;
constexpr uint64_t kFineBuckets = 1'000'000 / kFineNs;
constexpr uint64_t kBuckets = kFineBuckets + 1'000'000'000 / kCoarseNs;

uint64_t Bucket(uint64_t ns) {
  if (ns < kFineBuckets * kFineNs) return ns / kFineNs;
  return std::min(kFineBuckets + ns / kCoarseNs, kBuckets - 1);
}

// The upper edge of a bucket, in microseconds.
double BucketEdgeUs(uint64_t b) {
  return b < kFineBuckets ? (b + 1) * kFineNs / 1000.0
                          : (b - kFineBuckets + 1) * kCoarseNs / 1000.0;
}

// The compile of "L: / NOP / JMP L" at [ORG 100]: its source text, the line
// index, one record per line (and one after the last) and the bytes.
struct Compiled {
  std::string text = "L:\r\nNOP\r\nJMP L\r\n";
  std::vector<uint8_t> index;
  std::vector<LineRecord> records = {{0, 0}, {1, 0}, {2, 1}, {0, 3}, {0, 3}};
  std::vector<uint8_t> bytes = {0x90, 0xEB, 0xFD};
  std::vector<uint8_t> textBytes;

  AsmRegions Regions() {
    textBytes.assign(text.begin(), text.end());
    index.clear();
    for (uint32_t start : {0u, 4u, 9u, 16u})
      for (int b = 0; b < 4; ++b) index.push_back(static_cast<uint8_t>(start >> (8 * b)));
    AsmRegions r;
    r.source.bytes = textBytes;
    r.source.index = index;
    r.source.size = static_cast<uint32_t>(textBytes.size());
    r.source.lineCount = 5;  // 2 plus the three CRs: lines 1 to 4, the last one empty
    r.records = LineRecords(std::span<uint8_t>(reinterpret_cast<uint8_t*>(records.data()),
                                               records.size() * sizeof(LineRecord)));
    r.output = bytes;
    return r;
  }
};

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when missing.
long StatusKiB(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
      kib = std::strtol(line + n + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return kib;
}

// The tick at `fraction` of the sorted ticks, as the upper edge of its
// histogram bucket in microseconds.
double PercentileUs(const std::vector<uint32_t>& histogram, uint64_t ticks, double fraction) {
  const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(fraction * ticks + 0.5));
  uint64_t seen = 0;
  for (uint64_t b = 0; b < histogram.size(); ++b) {
    seen += histogram[b];
    if (seen >= rank) return BucketEdgeUs(b);
  }
  return BucketEdgeUs(kBuckets - 1);
}

bool ParseTicks(int argc, char** argv, uint64_t& ticks) {
  ticks = kDefaultTicks;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ticks") != 0 || i + 1 >= argc) return false;
    const char* v = argv[++i];
    char* end = nullptr;
    if (*v < '1' || *v > '9') return false;
    ticks = std::strtoull(v, &end, 10);
    if (*end != '\0' || ticks == 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t ticks = 0;
  if (!ParseTicks(argc, argv, ticks)) {
    std::fprintf(stderr, "usage: run_ticks_bench [--ticks N]   (N a positive number)\n");
    return 2;
  }
  MachineFactory factory = DefaultMachineFactory();
  if (!factory) {
    std::fprintf(stderr, "run_ticks_bench: this build has no engine\n");
    return 1;
  }

  Workspace ws;  // only its load generation is read
  Compiled compiled;
  AssembleReport report;
  report.ok = true;
  report.bytes = static_cast<uint32_t>(compiled.bytes.size());
  report.origin = 0x100;
  report.entryBits = 16;
  RunSession session;
  session.SetFactory(factory);
  session.SetStepLimit(std::max(ticks, RunSession::kStepLimit));
  uint32_t position = session.AfterCompile(compiled.Regions(), ws, report);
  if (!session.Executes(ws) || session.program() == nullptr) {
    std::fprintf(stderr, "run_ticks_bench: the program was not taken\n");
    return 1;
  }
  CpuState cpu{};
  std::vector<uint32_t> histogram(kBuckets, 0);
  const long setupKiB = StatusKiB("VmRSS");

  uint64_t longestNs = 0;
  const Clock::time_point start = Clock::now();
  Clock::time_point before = start;
  for (uint64_t t = 0; t < ticks; ++t) {
    session.Step(&position, &cpu);
    ++position;  // the shell's increment after each step
    const Clock::time_point after = Clock::now();
    const uint64_t ns = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(after - before).count());
    before = after;
    longestNs = std::max(longestNs, ns);
    ++histogram[Bucket(ns)];
  }
  const double totalS = std::chrono::duration<double>(before - start).count();

  const DosProgram& program = *session.program();
  if (program.status() != RunStatus::Ready || program.executed() != ticks) {
    std::fprintf(stderr, "run_ticks_bench: %llu instructions executed, program %s\n",
                 static_cast<unsigned long long>(program.executed()),
                 program.status() == RunStatus::Ready ? "running" : program.message().c_str());
    return 1;
  }
  std::printf("ticks          %llu (one instruction each)\n",
              static_cast<unsigned long long>(ticks));
  std::printf("total          %.3f s (%.0f ticks per second)\n", totalS, ticks / totalS);
  std::printf("mean tick      %.2f us\n", totalS * 1e6 / static_cast<double>(ticks));
  // The NOP and the JMP are half the ticks each: the quartiles show both.
  std::printf("p25 tick       %.2f us\n", PercentileUs(histogram, ticks, 0.25));
  std::printf("median tick    %.2f us\n", PercentileUs(histogram, ticks, 0.5));
  std::printf("p75 tick       %.2f us\n", PercentileUs(histogram, ticks, 0.75));
  std::printf("p99.99 tick    %.2f us\n", PercentileUs(histogram, ticks, 0.9999));
  std::printf("longest tick   %.2f us\n", longestNs / 1000.0);
  std::printf("VmRSS setup    %ld KiB\n", setupKiB);
  std::printf("VmRSS end      %ld KiB\n", StatusKiB("VmRSS"));
  std::printf("VmHWM          %ld KiB\n", StatusKiB("VmHWM"));
  return 0;
}
