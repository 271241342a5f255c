// quorix-asm: the workbench's assembler on the command line.
//
//   quorix-asm SOURCE [-o OUTPUT] [--listing | --explain] [--timings]
//
// Exit 0 on success (the file is written), 1 on an assembly error ("Error at
// Line:" with the line and the reason on stderr, nothing written), 2 on a
// usage, read or write error. The warnings (lines that produce no bytes,
// quotes that upper-casing or a ';' change, a skipped byte-order mark) go to
// stderr; they do not change the exit code. --help prints the full help.
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
               "usage: quorix-asm SOURCE [-o OUTPUT] [--listing | --explain] [--timings]\n"
               "       quorix-asm --help\n");
  return 2;
}

// --help (and /? on Windows): on standard output, exit 0.
int Help() {
  std::fputs(
      "usage: quorix-asm SOURCE [-o OUTPUT] [--listing | --explain] [--timings]\n"
      "\n"
      "Assembles SOURCE, a text in the Quorix dialect, into a flat .com program:\n"
      "the workbench's assembler on the command line.\n"
      "\n"
      "Options:\n"
      "  -o OUTPUT    write the program to OUTPUT (default: the source's name up to\n"
      "               its first '.', then .com, beside the source); never the source\n"
      "  --listing    print each line's number, byte count, offset, bytes and text\n"
      "  --explain    the listing with each line's bytes decoded into instructions\n"
      "  --timings    print the time of each phase on standard error\n"
      "  --help, -h   this text (on Windows also /?)\n"
      "\n"
      "Exit status:\n"
      "  0  assembled; the program was written (warnings do not change this)\n"
      "  1  a line could not be assembled: \"Error at Line: N: TEXT (REASON)\" on\n"
      "     standard error, nothing written\n"
      "  2  a usage error, or the source could not be read (a UTF-16 source among\n"
      "     them: save it as ANSI) or the output could not be written\n"
      "\n"
      "Warnings (\"quorix-asm: warning: line N ...\") name the lines that produce no\n"
      "bytes, lower-case letters inside quotes (they become upper case) and a ';'\n"
      "inside quotes (it starts a comment).\n"
      "\n"
      "Example:\n"
      "  quorix-asm hello.asm             writes hello.com\n"
      "  quorix-asm hello.asm --listing   the same, and prints the listing\n"
      "\n"
      "The dialect: numbers are hexadecimal unless written #decimal, lines are\n"
      "upper-cased, one label or instruction per line. Its reference, with a\n"
      "section for students, is docs/dialect.md in the Quorix sources.\n",
      stdout);
  return 0;
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

// "/?", the Windows way of asking for help.
bool IsWindowsHelp(const char* arg) {
#ifdef _WIN32
  return std::strcmp(arg, "/?") == 0;
#else
  (void)arg;
  return false;
#endif
}

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
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0 ||
               IsWindowsHelp(argv[i])) {
      return Help();
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
  if (status == TextStatus::Utf16) {
    std::fprintf(stderr, "quorix-asm: %s: %s\n", source, DescribeTextStatus(status));
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
    std::fprintf(stderr, "%s\n", ErrorMessage(assembler.source(), report).c_str());
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
  for (const std::string& w : WarningMessages(assembler.source(), report))
    std::fprintf(stderr, "quorix-asm: warning: %s\n", w.c_str());
  if (explain)
    PrintExplained(assembler, services, silent);
  else if (listing)
    PrintListing(assembler);
  return 0;
}
