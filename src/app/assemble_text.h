// Assembling a text in memory: the one way the command-line programs, the
// tests and the fuzzer assemble. The text goes into a workspace of its own,
// exactly as the workbench loads a source, and the result comes back as
// bytes, line records, the error line and the warnings.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "asm/driver.h"
#include "asm/env.h"
#include "asm/symbols.h"
#include "model/line_records.h"
#include "model/source_text.h"
#include "model/workspace.h"
#include "platform/services.h"

namespace quorix {

struct Assembly {
  AssembleReport report;            // ok, or errorLine and error; origin, entry width, warnings
  std::vector<uint8_t> bytes;       // the program, when report.ok
  std::vector<LineRecord> records;  // one per line and the one after the last
};

class TextAssembler {
 public:
  explicit TextAssembler(Services& services);

  // Puts the text into the source area, as a load of a file with these
  // bytes would: Loaded, or Cut when it does not fit.
  TextStatus Load(std::span<const uint8_t> text);
  // Reads a source file as the workbench does (never creating it).
  TextStatus LoadFile(const char* path);
  // Assembles the loaded text.
  Assembly Assemble(const AssembleOptions& options = {});

  const SourceText& source() const { return env_.regions.source; }
  AsmEnv& env() { return env_; }
  Workspace& workspace() { return *ws_; }
  // Line n as the listing shows it: fetched, upper-cased and cleaned when
  // `cleaned`, else as written (cut to `limit` characters).
  std::string LineText(uint32_t n, size_t limit, bool cleaned);

 private:
  void Loaded(uint32_t size, uint32_t lineCount);
  Services& services_;
  std::unique_ptr<Workspace> ws_;
  SymbolIndex symbols_;
  AsmEnv env_;
};

// The message of a failed run, as the command-line programs print it:
// "Error at Line: N: TEXT (REASON)", TEXT being the line as written without
// its leading blanks, its comment and its trailing blanks (at most 255
// characters); just the reason when the run stopped at no line.
std::string ErrorMessage(const SourceText& source, const AssembleReport& report);

// One message per warning of a successful run, in line order: "line N
// produces no bytes: TEXT", "line N has a ; inside quotes, which starts a
// comment: TEXT", ... The lines without bytes show their text cleaned, the
// others as written (the quotes are the point), without leading blanks.
std::vector<std::string> WarningMessages(const SourceText& source, const AssembleReport& report,
                                         size_t limit = SIZE_MAX);

// Line n as the listing shows it: fetched, cleaned when `cleaned`, else as
// written (cut to `limit` characters).
std::string SourceLine(const SourceText& source, uint32_t n, size_t limit, bool cleaned);

// Assembles a text held in memory; a text that does not fit the source area
// fails with the reason.
Assembly AssembleText(std::string_view text, Services& services,
                      const AssembleOptions& options = {});

}  // namespace quorix
