// The two-pass driver: assembles a loaded text into the output region and
// writes one LineRecord per line. It reads and writes only the regions it is
// given; writing the .com file is the caller's business.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/diagnostics.h"
#include "asm/env.h"

namespace quorix {

inline constexpr uint32_t kLineBufferSize = 1024;

// Phases of a run, for --timings: the label scan, the two passes, the list
// of lines without bytes with the final addresses, and the writing of the
// output file (timed by whoever writes it).
enum class AsmPhase : uint8_t { Symbols, Pass1, Pass2, Checks, Write, Count };

struct AssembleOptions {
  // When set, read at the start of the run and after each phase; the
  // differences land in AssembleReport::phaseTime (any unit the clock uses).
  uint64_t (*clock)() = nullptr;
  // Pass 2 keeps what pass 1 wrote for lines whose bytes cannot have changed
  // (see the driver). Off, every line is encoded in both passes; the result
  // is the same either way, which the tests and the fuzzer check.
  bool reuseUnchangedLines = true;
};

struct AssembleReport {
  bool ok = false;          // every line assembled
  uint32_t errorLine = 0;   // otherwise the line at which the run stopped
  std::string error;        // why the line failed (never empty when errorLine is set)
  uint32_t bytes = 0;       // size of the output
  uint32_t origin = 0;      // the origin in force at the end ([ORG] / [ASLI])
  uint32_t entryBits = 16;  // code width of the first line that produced bytes: 16 or 32
  uint64_t phaseTime[static_cast<int>(AsmPhase::Count)] = {};  // with AssembleOptions::clock
  // After a successful run: the instruction lines that produced no bytes,
  // as LinesWithoutBytes finds them, read from the lines pass 1 prepared.
  std::vector<uint32_t> silentLines;
  // After a successful run: every warning, by line (a line may have more
  // than one): the lines without bytes (UnknownMnemonic when the first word
  // is no mnemonic), quotes that upper-casing or a ';' change, and a skipped
  // UTF-8 byte-order mark (line 1).
  std::vector<AsmWarning> warnings;
};

// Assembles env.regions.source in its phases: CollectSymbols, pass 1, pass 2
// (EncodeLine for each line), then the checks.
AssembleReport AssembleSource(AsmEnv& env, const AssembleOptions& options = {});

}  // namespace quorix
