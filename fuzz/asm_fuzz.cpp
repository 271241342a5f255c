// The whole assembly path: the input is a source file, loaded as the
// workbench loads it, assembled in both passes, the .com written through the
// in-memory file layer. One assembler (and its workspace) serves every
// input.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/assemble_text.h"
#include "app/output_file.h"
#include "fuzz_check.h"
#include "support/doubles.h"
#include "text/lines.h"

using namespace quorix;

namespace {

constexpr char kSource[] = "Compiler\\F.ASM";
constexpr char kOutput[] = "Compiler\\F.com";

struct Fixture {
  testing_support::MemoryPlatform platform;
  TextAssembler assembler{platform};
};

struct Outcome {
  Assembly assembly;
  std::string file;
  bool written;
};

Outcome Assemble(Fixture& f, const AssembleOptions& options = {}) {
  f.platform.files.erase(kOutput);
  Outcome o{f.assembler.Assemble(options), {}, false};
  if (o.assembly.report.ok) {
    const OutputWrite w =
        WriteOutputFile(f.platform, kSource, f.assembler.workspace().load().sourceIdentity, nullptr,
                        o.assembly.bytes);
    FUZZ_CHECK(w.ok && w.path == kOutput);
  }
  o.written = f.platform.files.count(kOutput) > 0;
  if (o.written) o.file = f.platform.files[kOutput];
  return o;
}

void CheckOutcome(Fixture& f, const Outcome& o) {
  const AssembleReport& report = o.assembly.report;
  const SourceText& source = f.assembler.source();
  if (report.ok) {
    // A success writes exactly the recorded bytes, and the line records
    // count them all. (Their addresses are offsets only while one origin
    // holds: an [ORG] in the middle shifts the lines before it.)
    FUZZ_CHECK(o.written);
    FUZZ_CHECK(o.file.size() == report.bytes);
    FUZZ_CHECK(o.assembly.bytes.size() == report.bytes);
    FUZZ_CHECK(std::string(o.assembly.bytes.begin(), o.assembly.bytes.end()) == o.file);
    uint64_t at = 0;
    for (uint32_t k = 0; k + 1 < source.lineCount; ++k) at += o.assembly.records.at(k).ByteCount;
    FUZZ_CHECK(at == report.bytes);
  } else {
    // A failure writes nothing and names a line that exists.
    FUZZ_CHECK(!o.written);
    FUZZ_CHECK(report.errorLine >= 1 && report.errorLine < source.lineCount);
    // The error display finds the same line as the assembler.
    uint8_t byIndex[257] = {}, byScan[257] = {};
    uint32_t a = FetchLine(source, report.errorLine, std::span(byIndex, 256));
    uint32_t b = FetchLineByScan(source, report.errorLine, std::span(byScan, 256));
    FUZZ_CHECK(a == b);
    FUZZ_CHECK(std::memcmp(byIndex, byScan, sizeof byIndex) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture* fixture = new Fixture;
  Fixture& f = *fixture;
  const std::string source(reinterpret_cast<const char*>(data), size);
  f.platform.files.clear();
  f.platform.files[kSource] = source;

  if (f.assembler.LoadFile(kSource) != TextStatus::Loaded) return 0;
  const Outcome first = Assemble(f);
  CheckOutcome(f, first);

  // Assembling the same loaded source again gives the same result, also
  // when pass 2 encodes every line instead of keeping what pass 1 wrote for
  // lines that cannot have changed: the same bytes and the same records.
  AssembleOptions everyLine;
  everyLine.reuseUnchangedLines = false;
  const Outcome second = Assemble(f, everyLine);
  FUZZ_CHECK(second.assembly.report.ok == first.assembly.report.ok);
  FUZZ_CHECK(second.assembly.report.errorLine == first.assembly.report.errorLine);
  FUZZ_CHECK(second.assembly.report.bytes == first.assembly.report.bytes);
  FUZZ_CHECK(second.file == first.file);
  FUZZ_CHECK(second.assembly.records == first.assembly.records);

  // The source file itself is never changed.
  FUZZ_CHECK(f.platform.files[kSource] == source);
  return 0;
}
