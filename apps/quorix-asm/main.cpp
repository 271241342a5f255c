// quorix-asm: the workbench's assembler on the command line.
//
//   quorix-asm SOURCE [-o OUTPUT] [--listing | --explain] [--timings]
//
// Exit 0 on success (the file is written), 1 on an assembly error ("Error at
// Line:" with the line on stderr, nothing written), 2 on a usage, read or
// write error. Every instruction line that produced no bytes is reported on
// stderr ("produces no bytes"); that does not change the exit code.
// --explain prints the listing with each line's bytes decoded back into
// instructions, in the line's code width. --timings prints the time of each
// phase (load, symbols, pass 1, pass 2, checks, write) on stderr.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/assemble_text.h"
#include "app/loading.h"
#include "app/output_file.h"
#include "asm/driver.h"
#include "asm/encoder.h"
#include "asm/env.h"
#include "asm/records.h"
#include "asm/silent_lines.h"
#include "model/context_record.h"
#include "model/workspace.h"
#include "platform/services.h"
#include "text/lines.h"
#ifdef _WIN32
#include "backends/win32/win32_services.h"
using SystemServices = quorix::win32::Win32Services;
#else
#include "backends/posix/posix_services.h"
using SystemServices = quorix::PosixServices;
#endif

#ifdef QUORIX_HAVE_DISASM
#include "engine/disasm/disasm.h"
#endif

using namespace quorix;

namespace {

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "quorix-asm: %s\n", why);
  std::fprintf(stderr,
               "usage: quorix-asm SOURCE [-o OUTPUT] [--listing | --explain] [--timings]\n");
  return 2;
}

uint64_t NowNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void PrintTimings(uint64_t loadNs, const AssembleReport& report) {
  const uint64_t* p = report.phaseTime;
  const uint64_t phases[] = {loadNs,
                             p[static_cast<int>(AsmPhase::Symbols)],
                             p[static_cast<int>(AsmPhase::Pass1)],
                             p[static_cast<int>(AsmPhase::Pass2)],
                             p[static_cast<int>(AsmPhase::Checks)],
                             p[static_cast<int>(AsmPhase::Write)]};
  const char* names[] = {"load", "symbols", "pass 1", "pass 2", "checks", "write"};
  uint64_t total = 0;
  std::fprintf(stderr, "quorix-asm: timings (ms):");
  for (size_t i = 0; i < std::size(phases); ++i) {
    std::fprintf(stderr, " %s %.3f", names[i], phases[i] / 1e6);
    total += phases[i];
  }
  std::fprintf(stderr, " total %.3f\n", total / 1e6);
}

#ifdef QUORIX_HAVE_DISASM
// The code width of every line (index n for line n) and the final origin, as
// the bracket directives set them.
struct Widths {
  std::vector<int> bits;
  uint32_t origin = 0;
};
Widths LineWidths(const SourceText& source, Services& services) {
  Widths w;
  w.bits.assign(source.lineCount + 1, 16);
  InstructionRecord rec{};
  rec.BitsMode = kBits16;
  for (uint32_t n = 1; n < source.lineCount; ++n) {
    uint8_t buf[kLineBufferSize + 8] = {};
    std::span<uint8_t> line(buf, kLineBufferSize);
    uint32_t len = FetchLine(source, n, line);
    if (len != kFail) {
      services.UpperCase(line);
      if (CleanLine(line, len) != 0 && buf[0] == '[') ApplyBracketDirective(&rec, buf);
    }
    w.bits[n] = rec.BitsMode == kBits32 ? 32 : 16;
  }
  w.origin = rec.Origin;
  return w;
}
#endif

void PrintExplained(TextAssembler& as, Services& services, const std::vector<uint32_t>& silent) {
#ifdef QUORIX_HAVE_DISASM
  const Widths widths = LineWidths(as.source(), services);
  std::span<const uint8_t> out = as.env().regions.output;
  const LineRecords& records = as.env().regions.records;
  size_t next = 0;
  for (uint32_t n = 1; n < as.source().lineCount; ++n) {
    const uint32_t count = records.Get(n - 1).ByteCount;
    const uint32_t offset = records.Get(n - 1).Address;
    std::string bytes, meaning;
    const size_t avail = offset < out.size() ? std::min<size_t>(count, out.size() - offset) : 0;
    for (uint32_t j = 0; j < avail; ++j) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", out[offset + j]);
      bytes += hex;
    }
    if (!bytes.empty()) bytes.pop_back();
    const bool noBytes = next < silent.size() && silent[next] == n;
    if (noBytes) ++next;
    std::string upper = as.LineText(n, kLineBufferSize, true);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.push_back('\0');
    if (avail && !IsInstructionLine(reinterpret_cast<const uint8_t*>(upper.c_str()))) {
      meaning = "(data)";
    } else if (avail) {
      meaning =
          disasm::DecodeAll(out.data() + offset, avail, widths.origin + offset, widths.bits[n]);
    } else if (noBytes) {
      meaning = "(produces no bytes)";
    }
    std::printf("%6u %2d %08X  %-30s %-34s %s\n", n, widths.bits[n], offset, bytes.c_str(),
                as.LineText(n, kLineBufferSize, true).c_str(),
                meaning.empty() ? "" : ("; " + meaning).c_str());
  }
#else
  (void)as, (void)services, (void)silent;
#endif
}

void PrintListing(TextAssembler& as) {
  std::span<const uint8_t> out = as.env().regions.output;
  const LineRecords& records = as.env().regions.records;
  for (uint32_t n = 1; n < as.source().lineCount; ++n) {
    const uint32_t count = records.Get(n - 1).ByteCount;
    const uint32_t offset = records.Get(n - 1).Address;
    std::string bytes;
    for (uint32_t j = 0; j < count && offset + j < out.size(); ++j) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", out[offset + j]);
      bytes += hex;
    }
    if (!bytes.empty()) bytes.pop_back();
    std::printf("%6u %3u %08X  %-30s %s\n", n, count, offset, bytes.c_str(),
                as.LineText(n, kLineBufferSize, true).c_str());
  }
}

struct Options {
  const char* source = nullptr;
  const char* output = nullptr;
  bool listing = false, explain = false, timings = false;
};

// Reads the command line; returns -1 to go on, or the exit code.
int ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0) {
      if (++i >= argc) return Usage("-o needs a file name");
      o->output = argv[i];
    } else if (std::strcmp(argv[i], "--timings") == 0) {
      o->timings = true;
    } else if (std::strcmp(argv[i], "--listing") == 0) {
      o->listing = true;
    } else if (std::strcmp(argv[i], "--explain") == 0) {
#ifdef QUORIX_HAVE_DISASM
      o->explain = true;
#else
      std::fprintf(stderr,
                   "quorix-asm: --explain is not available: this build has no x86 decoder "
                   "(Zydis 4 was not found when it was configured)\n");
      return 2;
#endif
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      Usage(nullptr);
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != 0) {
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    } else if (o->source) {
      return Usage("only one source file");
    } else {
      o->source = argv[i];
    }
  }
  if (!o->source) return Usage("no source file");
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (const int code = ParseOptions(argc, argv, &o); code >= 0) return code;
  const char* source = o.source;
  const char* output = o.output;
  const bool listing = o.listing, explain = o.explain, timings = o.timings;

  SystemServices services;
  if (std::strlen(source) >= Workspace::kPathBufferSize) return Usage("source path too long");
  TextAssembler assembler(services);
  // Only a regular file read completely is a source; it is never created.
  const uint64_t loadStart = NowNs();
  const TextStatus status = assembler.LoadFile(source);
  const uint64_t loadNs = NowNs() - loadStart;
  if (status == TextStatus::Cut) {
    std::fprintf(stderr,
                 "quorix-asm: %s is too large: the source holds at most %u bytes and %u lines\n",
                 source, kReadLimit, Workspace::Size(Area::SourceIndex) / 4 - 1);
    return 2;
  }
  if (status != TextStatus::Loaded) {
    std::fprintf(stderr, "quorix-asm: cannot read %s: %s\n", source, DescribeTextStatus(status));
    return 2;
  }

  AssembleOptions options;
  if (timings) options.clock = NowNs;
  Assembly result = assembler.Assemble(options);
  AssembleReport& report = result.report;
  if (!report.ok) {
    std::string text = assembler.LineText(report.errorLine, 256, false);
    std::fprintf(stderr, "Error at Line: %u: %s", report.errorLine, text.c_str());
    if (!report.error.empty()) std::fprintf(stderr, " (%s)", report.error.c_str());
    std::fputc('\n', stderr);
    return 1;
  }
  const uint64_t writeStart = NowNs();
  const OutputWrite written = WriteOutputFile(
      services, source, assembler.workspace().load().sourceIdentity, output, result.bytes);
  report.phaseTime[static_cast<int>(AsmPhase::Write)] = NowNs() - writeStart;
  if (!written.ok) {
    std::fprintf(stderr, "quorix-asm: cannot write %s: %s\n",
                 written.path.empty() ? "(no output name)" : written.path.c_str(),
                 written.error.c_str());
    return 2;
  }
  const std::vector<uint32_t>& silent = report.silentLines;
  if (timings) PrintTimings(loadNs, report);
  for (uint32_t n : silent) {
    std::fprintf(stderr, "quorix-asm: warning: line %u produces no bytes: %s\n", n,
                 assembler.LineText(n, 256, true).c_str());
  }
  if (explain)
    PrintExplained(assembler, services, silent);
  else if (listing)
    PrintListing(assembler);
  return 0;
}
