// The two-pass driver: assembles the loaded source into the output region,
// writes one LineRecord per line and, on success, the flat .com file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/context_record.h"
#include "asm/env.h"

namespace quorix {

inline constexpr uint32_t kLineBufferSize = 1024;

// Phases of a run, for --timings: the label scan, the two passes, the list
// of lines without bytes, and the writing of the output file.
enum class AsmPhase : uint8_t { Symbols, Pass1, Pass2, Checks, Write, Count };

struct AssembleOptions {
  const char* outputPath = nullptr;  // overrides the name built from the source path
  bool writeFile = true;
  // When set, read at the start of the run and after each phase; the
  // differences land in AssembleReport::phaseTime (any unit the clock uses).
  uint64_t (*clock)() = nullptr;
  // Pass 2 keeps what pass 1 wrote for lines whose bytes cannot have changed
  // (see the driver). Off, every line is encoded in both passes; the result
  // is the same either way, which the tests and the fuzzer check.
  bool reuseUnchangedLines = true;
};

struct AssembleReport {
  std::string outputPath;  // the file written, or that could not be written
  uint32_t bytes = 0;      // size of the output
  std::string error;       // why the run stopped, when it was not a plain encoding error
  uint32_t origin = 0;     // the origin in force at the end ([ORG] / [ASLI])
  uint32_t entryBits = 16; // code width of the first line that produced bytes: 16 or 32
  uint64_t phaseTime[static_cast<int>(AsmPhase::Count)] = {};  // with AssembleOptions::clock
  // After a successful run: the instruction lines that produced no bytes,
  // as LinesWithoutBytes finds them, read from the lines pass 1 prepared.
  std::vector<uint32_t> silentLines;
};

// state2 ends as Compiled, CompileFailed (state3 = the line) or WriteFailed.
AssembleReport AssembleSource(ContextRecord* record, AsmEnv& env,
                              const AssembleOptions& options = {});

// The output name: the source path up to the first '.' of its file name,
// then ".com"; ".com" appended when the name has no '.'. Empty when the
// result would not fit `capacity` bytes with its NUL.
std::string OutputNameFor(const char* sourcePath, size_t capacity = 512);

}  // namespace quorix
