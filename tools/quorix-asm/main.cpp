// quorix-asm: the workbench's assembler on the command line.
//
//   quorix-asm SOURCE [-o OUTPUT] [--listing]
//
// Exit 0 on success (the file is written), 1 on an assembly error ("Error at
// Line:" with the line on stderr, nothing written), 2 on a usage, read or
// write error.
#include <cstdio>
#include <cstring>
#include <string>

#include "model/context_record.h"
#include "app/loading.h"
#include "model/workspace.h"
#include "asm/driver.h"
#include "asm/env.h"
#include "asm/records.h"
#include "platform/posix/console_platform.h"
#include "text/lines.h"

using namespace quorix;

namespace {

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "quorix-asm: %s\n", why);
  std::fprintf(stderr, "usage: quorix-asm SOURCE [-o OUTPUT] [--listing]\n");
  return 2;
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
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0) {
      if (++i >= argc) return Usage("-o needs a file name");
      output = argv[i];
    } else if (std::strcmp(argv[i], "--listing") == 0) {
      listing = true;
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

  ConsolePlatform platform;
  static Workspace ws;
  if (std::strlen(source) >= Workspace::kPathBufferSize) return Usage("source path too long");
  ContextRecord r{};
  SetRegionAddresses(&r);
  r.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
  std::span<uint8_t> pathBuf = ws.Bytes(Area::PathBuffer);
  std::memcpy(pathBuf.data(), source, std::strlen(source) + 1);
  // Only a regular file read completely is a source; it is never created.
  const TextStatus status = LoadText(ws, platform, source, Area::SourceText, Area::SourceIndex,
                                     &r.Ukuran, &r.LineCountsForFile, ReadMode::Existing);
  ws.load().source = status;
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
  AssembleReport report = AssembleSource(&r, env, options);

  switch (r.state2) {
    case Compiled:
      if (listing) PrintListing(ws, r);
      return 0;
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
