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

#include "app/loading.h"
#include "asm/driver.h"
#include "asm/encoder.h"
#include "asm/env.h"
#include "asm/records.h"
#include "asm/silent_lines.h"
#include "model/context_record.h"
#include "model/workspace.h"
#include "platform/platform.h"
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

// Line n of the loaded source as the workbench shows it (cut to fit `cap`).
std::string SourceLine(Workspace& ws, const ContextRecord& r, uint32_t n, size_t cap,
                       bool clean) {
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> line(buf, std::min<size_t>(cap, kLineBufferSize));
  uint32_t len = FetchLine(n, ws.Tail(r.lpMemForSource), ws.Tail(r.IndSource), line, r.Ukuran,
                           r.LineCountsForFile);
  if (len == kFail) return {};
  if (clean && CleanLine(line, len) == 0) return {};
  return reinterpret_cast<char*>(buf);
}

#ifdef QUORIX_HAVE_DISASM
// The code width of every line (index n for line n) and the final origin, as
// the bracket directives set them.
struct Widths {
  std::vector<int> bits;
  uint32_t origin = 0;
};
Widths LineWidths(Workspace& ws, const ContextRecord& r, Services& services) {
  Widths w;
  w.bits.assign(r.LineCountsForFile + 1, 16);
  InstructionRecord rec{};
  rec.BitsMode = kBits16;
  for (uint32_t n = 1; n < r.LineCountsForFile; ++n) {
    uint8_t buf[kLineBufferSize + 8] = {};
    std::span<uint8_t> line(buf, kLineBufferSize);
    uint32_t len = FetchLine(n, ws.Tail(r.lpMemForSource), ws.Tail(r.IndSource), line, r.Ukuran,
                             r.LineCountsForFile);
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

void PrintExplained(Workspace& ws, const ContextRecord& r, Services& services,
                    const std::vector<uint32_t>& silent) {
#ifdef QUORIX_HAVE_DISASM
  const Widths widths = LineWidths(ws, r, services);
  std::span<const uint8_t> out = ws.Tail(r.lpMemHexResult);
  size_t next = 0;
  for (uint32_t n = 1; n < r.LineCountsForFile; ++n) {
    uint32_t count = 0, offset = 0;
    ws.Read32(r.lpASCIIResult + 8 * (n - 1), count);
    ws.Read32(r.lpASCIIResult + 8 * (n - 1) + 4, offset);
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
    std::string upper = SourceLine(ws, r, n, kLineBufferSize, true);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.push_back('\0');
    if (avail && !IsInstructionLine(reinterpret_cast<const uint8_t*>(upper.c_str()))) {
      meaning = "(data)";
    } else if (avail) {
      meaning = disasm::DecodeAll(out.data() + offset, avail, widths.origin + offset, widths.bits[n]);
    } else if (noBytes) {
      meaning = "(produces no bytes)";
    }
    std::printf("%6u %2d %08X  %-30s %-34s %s\n", n, widths.bits[n], offset, bytes.c_str(),
                SourceLine(ws, r, n, kLineBufferSize, true).c_str(),
                meaning.empty() ? "" : ("; " + meaning).c_str());
  }
#else
  (void)ws, (void)r, (void)services, (void)silent;
#endif
}

void PrintListing(Workspace& ws, const ContextRecord& r) {
  std::span<const uint8_t> out = ws.Tail(r.lpMemHexResult);
  for (uint32_t n = 1; n < r.LineCountsForFile; ++n) {
    uint32_t count = 0, offset = 0;
    ws.Read32(r.lpASCIIResult + 8 * (n - 1), count);
    ws.Read32(r.lpASCIIResult + 8 * (n - 1) + 4, offset);
    std::string bytes;
    for (uint32_t j = 0; j < count && offset + j < out.size(); ++j) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", out[offset + j]);
      bytes += hex;
    }
    if (!bytes.empty()) bytes.pop_back();
    std::printf("%6u %3u %08X  %-30s %s\n", n, count, offset, bytes.c_str(),
                SourceLine(ws, r, n, kLineBufferSize, true).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* source = nullptr;
  const char* output = nullptr;
  bool listing = false, explain = false, timings = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0) {
      if (++i >= argc) return Usage("-o needs a file name");
      output = argv[i];
    } else if (std::strcmp(argv[i], "--timings") == 0) {
      timings = true;
    } else if (std::strcmp(argv[i], "--listing") == 0) {
      listing = true;
    } else if (std::strcmp(argv[i], "--explain") == 0) {
#ifdef QUORIX_HAVE_DISASM
      explain = true;
#else
      std::fprintf(stderr, "quorix-asm: --explain is not available: this build has no x86 decoder "
                           "(Zydis 4 was not found when it was configured)\n");
      return 2;
#endif
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      Usage(nullptr);
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != 0) {
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    } else if (source) {
      return Usage("only one source file");
    } else {
      source = argv[i];
    }
  }
  if (!source) return Usage("no source file");

  // The system's services. No window: Windowless only because the
  // assembler's environment (AsmEnv) asks for a Platform.
  Windowless<SystemServices> platform;
  Workspace ws(platform);
  if (std::strlen(source) >= Workspace::kPathBufferSize) return Usage("source path too long");
  ContextRecord r{};
  SetRegionAddresses(&r);
  r.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
  std::span<uint8_t> pathBuf = ws.Bytes(Area::PathBuffer);
  std::memcpy(pathBuf.data(), source, std::strlen(source) + 1);
  // Only a regular file read completely is a source; it is never created.
  const uint64_t loadStart = NowNs();
  const TextStatus status = LoadText(ws, platform, source, Area::SourceText, Area::SourceIndex,
                                     &r.Ukuran, &r.LineCountsForFile, ReadMode::Existing);
  ws.load().source = status;
  const uint64_t loadNs = NowNs() - loadStart;
  if (status == TextStatus::Cut) {
    std::fprintf(stderr, "quorix-asm: %s is too large: the source holds at most %u bytes and %u lines\n",
                 source, kReadLimit, Workspace::Size(Area::SourceIndex) / 4 - 1);
    return 2;
  }
  if (status != TextStatus::Loaded) {
    std::fprintf(stderr, "quorix-asm: cannot read %s: %s\n", source, DescribeTextStatus(status));
    return 2;
  }

  SymbolIndex symbols;
  AsmEnv env{ws, platform, symbols};
  AssembleOptions options;
  options.outputPath = output;
  if (timings) options.clock = NowNs;
  AssembleReport report = AssembleSource(&r, env, options);

  switch (r.state2) {
    case Compiled: {
      const std::vector<uint32_t>& silent = report.silentLines;
      if (timings) PrintTimings(loadNs, report);
      for (uint32_t n : silent) {
        std::fprintf(stderr, "quorix-asm: warning: line %u produces no bytes: %s\n", n,
                     SourceLine(ws, r, n, 256, true).c_str());
      }
      if (explain)
        PrintExplained(ws, r, platform, silent);
      else if (listing)
        PrintListing(ws, r);
      return 0;
    }
    case CompileFailed: {
      std::string text = SourceLine(ws, r, r.state3, 256, false);
      std::fprintf(stderr, "Error at Line: %u: %s", r.state3, text.c_str());
      if (!report.error.empty()) std::fprintf(stderr, " (%s)", report.error.c_str());
      std::fputc('\n', stderr);
      return 1;
    }
    default:
      std::fprintf(stderr, "quorix-asm: cannot write %s: %s\n",
                   report.outputPath.empty() ? "(no output name)" : report.outputPath.c_str(),
                   report.error.c_str());
      return 2;
  }
}
