// The whole assembly path: the input is a source file, loaded as the
// workbench loads it, assembled in both passes, the .com written through the
// in-memory file layer. One workspace serves every input; a load clears only
// what the previous input wrote.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/loading.h"
#include "asm/driver.h"
#include "asm/env.h"
#include "fuzz_check.h"
#include "model/workspace.h"
#include "support/doubles.h"
#include "text/lines.h"

using namespace quorix;

namespace {

constexpr char kSource[] = "Compiler\\F.ASM";
constexpr char kOutput[] = "Compiler\\F.com";

struct Fixture {
  testing_support::MemoryPlatform platform;
  Workspace ws;
  SymbolIndex symbols;
  ContextRecord base{};
  Fixture() {
    base.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
    base.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    std::memcpy(ws.Bytes(Area::PathBuffer).data(), kSource, sizeof(kSource));
  }
};

uint32_t Record(Workspace& ws, const ContextRecord& r, uint32_t k, uint32_t field) {
  uint32_t v = 0;
  FUZZ_CHECK(ws.Read32(r.lpASCIIResult + 8 * k + 4 * field, v));
  return v;
}

struct Outcome {
  uint32_t state2, state3, bytes;
  std::string file;
  bool written;
};

Outcome Assemble(Fixture& f, ContextRecord* r, const AssembleOptions& options = {}) {
  f.platform.files.erase(kOutput);
  AsmEnv env{f.ws, f.platform, f.symbols};
  AssembleReport report = AssembleSource(r, env, options);
  Outcome o{r->state2, r->state3, report.bytes, {}, f.platform.files.count(kOutput) > 0};
  if (o.written) o.file = f.platform.files[kOutput];
  return o;
}

void CheckOutcome(Fixture& f, const ContextRecord& r, const Outcome& o) {
  if (o.state2 == Compiled) {
    // A success writes exactly the recorded bytes, and the line records
    // count them all. (Their addresses are offsets only while one origin
    // holds: an [ORG] in the middle shifts the lines before it.)
    FUZZ_CHECK(o.written);
    FUZZ_CHECK(o.file.size() == o.bytes);
    std::span<const uint8_t> out = f.ws.Resolve(r.lpMemHexResult, o.bytes);
    FUZZ_CHECK(out.data() != nullptr);
    FUZZ_CHECK(std::memcmp(out.data(), o.file.data(), o.bytes) == 0);
    uint64_t at = 0;
    for (uint32_t k = 0; k + 1 < r.LineCountsForFile; ++k) {
      at += Record(f.ws, r, k, 0);
    }
    FUZZ_CHECK(at == o.bytes);
  } else {
    // A failure writes nothing and names a line that exists.
    FUZZ_CHECK(o.state2 == CompileFailed);
    FUZZ_CHECK(!o.written);
    FUZZ_CHECK(o.state3 >= 1 && o.state3 < r.LineCountsForFile);
    // The error display finds the same line as the assembler.
    uint8_t byIndex[257] = {}, byScan[257] = {};
    std::span<uint8_t> text = f.ws.Tail(r.lpMemForSource);
    uint32_t a = FetchLine(o.state3, text, f.ws.Tail(r.IndSource), std::span(byIndex, 256),
                           r.Ukuran, r.LineCountsForFile);
    uint32_t b = FetchLineByScan(o.state3, text, std::span(byScan, 256), r.Ukuran,
                                 r.LineCountsForFile);
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
  f.platform.files[kOpcodePath] = "";
  f.platform.files[kSource] = source;

  ContextRecord r = f.base;
  LoadWorkspace(&r, f.ws, f.platform);
  const Outcome first = Assemble(f, &r);
  CheckOutcome(f, r, first);

  // Assembling the same loaded source again gives the same result, also
  // when pass 2 encodes every line instead of keeping what pass 1 wrote for
  // lines that cannot have changed: the same bytes and the same records.
  std::vector<uint32_t> records;
  for (uint32_t k = 0; k < r.LineCountsForFile; ++k) {
    uint32_t v = 0;
    f.ws.Read32(r.lpASCIIResult + 8 * k, v);
    records.push_back(v);
    f.ws.Read32(r.lpASCIIResult + 8 * k + 4, v);
    records.push_back(v);
  }
  r.state2 = Idle;
  AssembleOptions everyLine;
  everyLine.reuseUnchangedLines = false;
  const Outcome second = Assemble(f, &r, everyLine);
  FUZZ_CHECK(second.state2 == first.state2);
  FUZZ_CHECK(second.state3 == first.state3);
  FUZZ_CHECK(second.bytes == first.bytes);
  FUZZ_CHECK(second.file == first.file);
  for (uint32_t k = 0; k < r.LineCountsForFile; ++k) {
    uint32_t count = 0, address = 0;
    f.ws.Read32(r.lpASCIIResult + 8 * k, count);
    f.ws.Read32(r.lpASCIIResult + 8 * k + 4, address);
    FUZZ_CHECK(count == records[2 * k] && address == records[2 * k + 1]);
  }

  // The source file itself is never changed.
  FUZZ_CHECK(f.platform.files[kSource] == source);
  return 0;
}
