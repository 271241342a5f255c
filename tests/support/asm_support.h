// Assembling sources in memory for the assembler tests.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/assemble_text.h"
#include "app/output_file.h"
#include "model/context_record.h"
#include "asm/silent_lines.h"
#include "doubles.h"
#include "model/workspace.h"

namespace quorix::testing_support {

struct AsmRun {
  uint32_t state2 = 0;         // Compiled, CompileFailed or WriteFailed, as the workbench ends
  uint32_t state3 = 0;         // the failing line
  std::vector<uint8_t> bytes;  // the written .com
  std::string outputPath;      // the file written, or that could not be written
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

// Assembles sources as the workbench compiles them: the text read from a
// (memory) file, assembled, and the .com file written beside it.
class AsmHarness {
 public:
  MemoryPlatform pf;
  TextAssembler as{pf};
  Workspace* ws = &as.workspace();
  SymbolIndex& symbols = as.env().symbols;
  std::string path = "C:\\SRC\\T.ASM";

  void SetPath(const std::string& p) { path = p; }
  // Lines joined with CR LF.
  static std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (size_t i = 0; i < lines.size(); ++i) s += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    return s;
  }
  AsmRun Run(const std::string& source) {
    pf.files[path] = source;
    as.LoadFile(path.c_str());
    AsmRun r = Assemble({});
    if (r.state2 == Compiled) {
      // The driver lists the lines without bytes from its own copies; the
      // list must be the one a fresh reading of the source gives.
      if (r.report.silentLines != LinesWithoutBytes(as.env()))
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
    AsmRun r;
    Assembly a = as.Assemble(options);
    r.report = a.report;
    if (!a.report.ok) {
      r.state2 = CompileFailed;
      r.state3 = a.report.errorLine;
      return r;
    }
    const OutputWrite written =
        WriteOutputFile(pf, path, as.workspace().load().sourceIdentity, nullptr, a.bytes);
    r.outputPath = written.path;
    r.state2 = written.ok ? Compiled : WriteFailed;
    if (written.ok) {
      const std::string& f = pf.files[written.path];
      r.bytes.assign(f.begin(), f.end());
    }
    return r;
  }
  // The line records of the last run, one per line and the one after the last.
  std::vector<uint8_t> Records() {
    std::span<const uint8_t> all = ws->Bytes(Area::LineRecords);
    const size_t n = std::min<size_t>(all.size(), 8 * size_t(as.source().lineCount));
    return {all.begin(), all.begin() + n};
  }
  const LineRecords& records() { return as.env().regions.records; }
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
