// Assembling sources in memory for the assembler tests.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/loading.h"
#include "asm/driver.h"
#include "asm/env.h"
#include "asm/silent_lines.h"
#include "doubles.h"
#include "model/workspace.h"

namespace quorix::testing_support {

struct AsmRun {
  uint32_t state2 = 0;
  uint32_t state3 = 0;
  std::vector<uint8_t> bytes;  // the written .com, or the output region up to the failure
  AssembleReport report;
  std::string Hex() const {
    std::string s;
    for (uint8_t b : bytes) {
      char h[4];
      std::snprintf(h, sizeof h, "%02X ", b);
      s += h;
    }
    if (!s.empty()) s.pop_back();
    return s;
  }
};

class AsmHarness {
 public:
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  MemoryPlatform pf;
  SymbolIndex symbols;
  ContextRecord rec{};

  AsmHarness() {
    SetRegionAddresses(&rec);
    rec.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    rec.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
    SetPath("C:\\SRC\\T.ASM");
  }
  void SetPath(const std::string& p) {
    auto b = ws->Bytes(Area::PathBuffer);
    std::fill(b.begin(), b.end(), 0);
    std::copy(p.begin(), p.end(), b.begin());
    path = p;
  }
  // Lines joined with CR LF.
  static std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (size_t i = 0; i < lines.size(); ++i) s += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    return s;
  }
  AsmRun Run(const std::string& source) {
    pf.files[path] = source;
    LoadText(*ws, pf, path.c_str(), Area::SourceText, Area::SourceIndex, &rec.Ukuran,
             &rec.LineCountsForFile);
    AsmRun r = Assemble({});
    if (rec.state2 == Compiled) {
      // The driver lists the lines without bytes from its own copies; the
      // list must be the one a fresh reading of the source gives.
      AsmEnv env{*ws, pf, symbols};
      if (r.report.silentLines != LinesWithoutBytes(rec, env))
        ADD_FAILURE() << "the lines without bytes differ for:\n" << source;
    }
    if (!checkEveryLine) return r;
    // Pass 2 may keep what pass 1 wrote for lines that cannot have changed;
    // encoding every line again must give the very same result.
    AssembleOptions everyLine;
    everyLine.reuseUnchangedLines = false;
    const std::vector<uint8_t> records = Records();
    const AsmRun full = Assemble(everyLine);
    if (full.state2 != r.state2 || full.state3 != r.state3 || full.bytes != r.bytes ||
        full.report.bytes != r.report.bytes || full.report.entryBits != r.report.entryBits ||
        Records() != records) {
      ADD_FAILURE() << "encoding every line in pass 2 gives another result for:\n" << source;
    }
    return r;
  }
  AsmRun Assemble(const AssembleOptions& options) {
    AsmEnv env{*ws, pf, symbols};
    AsmRun r;
    rec.state2 = Idle;
    r.report = AssembleSource(&rec, env, options);
    r.state2 = rec.state2;
    r.state3 = rec.state3;
    if (rec.state2 == Compiled) {
      const std::string& f = pf.files[r.report.outputPath];
      r.bytes.assign(f.begin(), f.end());
    }
    return r;
  }
  // The line records of the last run, one per line and the one after the last.
  std::vector<uint8_t> Records() {
    std::span<const uint8_t> all = ws->Bytes(Area::LineRecords);
    const size_t n = std::min<size_t>(all.size(), 8 * size_t(rec.LineCountsForFile));
    return {all.begin(), all.begin() + n};
  }
  std::string path;
  // Each Run also assembles the source with every line encoded in both
  // passes and compares; a test that plants marks in the line records turns
  // this off, as a second run clears what the first one wrote.
  bool checkEveryLine = true;
};

// One line in 16-bit (bits 16) or 32-bit code: its bytes as hex, "" for no
// bytes, or "ERR" when the line fails.
inline std::string EncodeOne(const std::string& line, int bits = 16) {
  AsmHarness h;
  AsmRun r = h.Run(bits == 32 ? "[BITS #32]\r\n" + line : line);
  if (r.state2 != Compiled) return "ERR";
  return r.Hex();
}

}  // namespace quorix::testing_support
