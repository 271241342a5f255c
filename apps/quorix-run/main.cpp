// quorix-run: runs a program on the debugger's machine, with standard input
// as its keyboard and standard output as its screen.
//
//   quorix-run FILE [--trace] [--max-steps N] [--bits 16|32] [--origin N]
//
// FILE is a source in the workbench's dialect (assembled in memory, nothing
// is written) or, when its name ends in .com or .bin, machine code as it is.
// Exit status: the program's own exit code when it exits; otherwise
//   250 assembly error, 251 processor fault, 252 missing DOS/BIOS service,
//   253 step limit reached, 254 usage or file error,
// each with a message on standard error.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/loading.h"
#include "asm/driver.h"
#include "asm/env.h"
#include "backends/posix/posix_services.h"
#include "engine/machines.h"
#include "model/context_record.h"
#include "model/workspace.h"
#include "platform/platform.h"
#include "sim/dos_program.h"
#include "sim/run_session.h"

using namespace quorix;

namespace {

constexpr int kExitAssembly = 250;
constexpr int kExitFault = 251;
constexpr int kExitMissing = 252;
constexpr int kExitStepLimit = 253;
constexpr int kExitUsage = 254;
constexpr uint64_t kDefaultMaxSteps = 1'000'000'000;
constexpr uint64_t kChunk = 1'000'000;  // instructions between checks when not tracing

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "quorix-run: %s\n", why);
  std::fprintf(stderr,
               "usage: quorix-run FILE [--trace] [--max-steps N] [--bits 16|32] [--origin N]\n");
  return kExitUsage;
}

bool ParseCount(const char* text, uint64_t max, uint64_t* value) {
  if (text == nullptr || *text == 0) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != 0 || text[0] == '-' || v > max) return false;
  *value = v;
  return true;
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

// Standard input, byte by byte, without buffering past what is asked for.
class StdinKeys : public KeySource {
 public:
  int Peek() override {
    if (have_) return next_;
    uint8_t c = 0;
    ssize_t n;
    do {
      n = ::read(0, &c, 1);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return kEndOfInput;
    have_ = true;
    next_ = c;
    return next_;
  }
  void Take() override { have_ = false; }
  bool IsKeyboard() const override { return false; }

 private:
  bool have_ = false;
  int next_ = 0;
};

class StdoutScreen : public ProgramOutput {
 public:
  void Write(int handle, std::span<const uint8_t> bytes) override {
    FILE* f = handle == 2 ? stderr : stdout;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (handle == 2) std::fflush(stdout);
  }
};

struct Source {
  bool isSource = false;
  Workspace* ws = nullptr;
  ContextRecord r{};
  LineMap lines;
};

void Trace(DosProgram& program, const std::vector<uint8_t>& image, Source& src, uint32_t at) {
  Machine& m = program.machine();
  const uint32_t origin = program.origin();
  std::string text;
  char buf[64];
  std::snprintf(buf, sizeof buf, program.bits() == 32 ? "%08X" : "%04X", at);
  text += buf;
  uint32_t line = 0, length = 0;
  if (at >= origin && at - origin < image.size()) {
    const uint32_t off = at - origin;
    if (src.isSource) {
      line = src.lines.LineAt(off);
      uint32_t end = off;
      while (end < image.size() && src.lines.LineAt(end) == line) ++end;
      length = end - off;
    }
  }
  if (src.isSource) {
    std::snprintf(buf, sizeof buf, " %6u  ", line);
    text += buf;
    std::string t = line != 0 ? SourceLineText(*src.ws, src.r, line) : std::string();
    if (t.size() > 28) t.resize(28);
    t.resize(28, ' ');
    text += t;
  }
  text += " |";
  if (length == 0 || length > 10) length = std::min<uint32_t>(length == 0 ? 1 : length, 10);
  for (uint32_t i = 0; i < length && at - origin + i < image.size() && at >= origin; ++i) {
    std::snprintf(buf, sizeof buf, " %02X", image[at - origin + i]);
    text += buf;
  }
  text.resize(std::max<size_t>(text.size(), src.isSource ? 73 : 38), ' ');
  static const char* const kNames[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI", "EIP"};
  for (int i = 0; i < 9; ++i) {
    std::snprintf(buf, sizeof buf, " %s=%08X", kNames[i], m.Get(static_cast<Reg>(i)));
    text += buf;
  }
  const uint32_t f = m.Get(Reg::Eflags);
  std::snprintf(buf, sizeof buf, " CF=%u ZF=%u SF=%u OF=%u PF=%u AF=%u DF=%u IF=%u", f & 1,
                (f >> 6) & 1, (f >> 7) & 1, (f >> 11) & 1, (f >> 2) & 1, (f >> 4) & 1, (f >> 10) & 1,
                (f >> 9) & 1);
  text += buf;
  std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const char* file = nullptr;
  bool trace = false;
  uint64_t maxSteps = kDefaultMaxSteps;
  uint64_t bitsArg = 0, originArg = 0;
  bool haveBits = false, haveOrigin = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--trace") == 0) {
      trace = true;
    } else if (std::strcmp(a, "--max-steps") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, UINT64_MAX, &maxSteps) || maxSteps == 0)
        return Usage("--max-steps needs a positive number");
    } else if (std::strcmp(a, "--bits") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, 32, &bitsArg) ||
          (bitsArg != 16 && bitsArg != 32))
        return Usage("--bits takes 16 or 32");
      haveBits = true;
    } else if (std::strcmp(a, "--origin") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, 0xFFFFFFFFull, &originArg))
        return Usage("--origin needs a number (0x100 for hexadecimal)");
      haveOrigin = true;
    } else if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      Usage(nullptr);
      return 0;
    } else if (a[0] == '-' && a[1] != 0) {
      return Usage((std::string("unknown option ") + a).c_str());
    } else if (file) {
      return Usage("only one file");
    } else {
      file = a;
    }
  }
  if (!file) return Usage("no file");

  MachineFactory factory = DefaultMachineFactory();
  std::unique_ptr<Machine> machine = factory ? factory() : nullptr;
  if (!machine) {
    std::fprintf(stderr, "quorix-run: no processor emulator in this build\n");
    return kExitUsage;
  }

  // The system's services. No window: Windowless only because the
  // assembler's environment (AsmEnv) asks for a Platform.
  Windowless<PosixServices> platform;
  static Workspace ws;
  Source src;
  src.ws = &ws;
  std::vector<uint8_t> image;
  uint32_t origin = 0x100, bits = 16;
  const std::string name(file);
  const bool binary = EndsWith(name, ".com") || EndsWith(name, ".bin");
  if (!platform.FileExists(file)) {
    std::fprintf(stderr, "quorix-run: cannot read %s: no such file\n", file);
    return kExitUsage;
  }
  if (binary) {
    FILE* f = std::fopen(file, "rb");
    if (!f) {
      std::fprintf(stderr, "quorix-run: cannot read %s: %s\n", file, std::strerror(errno));
      return kExitUsage;
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) image.insert(image.end(), buf, buf + n);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) {
      std::fprintf(stderr, "quorix-run: cannot read %s\n", file);
      return kExitUsage;
    }
  } else {
    if (name.size() >= Workspace::kPathBufferSize) return Usage("source path too long");
    ContextRecord& r = src.r;
    SetRegionAddresses(&r);
    r.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
    std::memcpy(ws.Bytes(Area::PathBuffer).data(), file, name.size() + 1);
    const TextStatus status = LoadText(ws, platform, file, Area::SourceText, Area::SourceIndex,
                                       &r.Ukuran, &r.LineCountsForFile);
    if (status == TextStatus::Cut) {
      std::fprintf(stderr, "quorix-run: %s is too large for the workbench's source region\n", file);
      return kExitUsage;
    }
    if (status != TextStatus::Loaded) {
      std::fprintf(stderr, "quorix-run: cannot read %s: %s\n", file, DescribeTextStatus(status));
      return kExitUsage;
    }
    SymbolIndex symbols;
    AsmEnv env{ws, platform, symbols};
    AssembleOptions options;
    options.writeFile = false;
    AssembleReport report = AssembleSource(&r, env, options);
    if (r.state2 != Compiled) {
      std::string text = SourceLineText(ws, r, r.state3);
      std::fprintf(stderr, "Error at Line: %u: %s", r.state3, text.c_str());
      if (!report.error.empty()) std::fprintf(stderr, " (%s)", report.error.c_str());
      std::fputc('\n', stderr);
      return kExitAssembly;
    }
    std::span<const uint8_t> out = ws.Resolve(r.lpMemHexResult, report.bytes);
    image.assign(out.begin(), out.end());
    origin = report.origin;
    bits = report.entryBits;
    src.isSource = true;
    src.lines.Build(ws, r, report.bytes);
  }
  if (haveBits) bits = static_cast<uint32_t>(bitsArg);
  if (haveOrigin) origin = static_cast<uint32_t>(originArg);

  StdinKeys keys;
  StdoutScreen screen;
  DosProgram program(*machine, keys, screen);
  ProgramImage pi;
  pi.bytes = image;
  pi.origin = origin;
  pi.bits = bits;
  program.SetStepLimit(maxSteps);
  if (!program.Load(pi)) {
    std::fprintf(stderr, "quorix-run: %s\n", program.message().c_str());
    return kExitUsage;
  }
  RunStatus status = RunStatus::Ready;
  while (status == RunStatus::Ready || status == RunStatus::Waiting) {
    if (trace) {
      const uint32_t at = machine->Get(Reg::Eip);
      // A source line's bytes are one instruction: where the next begins.
      uint32_t next = 0;
      if (src.isSource && at >= origin && src.lines.StartsLine(at - origin))
        next = src.lines.EndAt(at - origin) + origin;
      status = program.Run(1, next);
      if (status == RunStatus::Ready || status == RunStatus::Exited) Trace(program, image, src, at);
    } else {
      status = program.Run(kChunk);
    }
  }
  std::fflush(stdout);
  if (status == RunStatus::Exited) return program.exitCode();

  const uint32_t line = src.isSource ? src.lines.LineAt(program.stopAddress() - origin) : 0;
  const std::string lineText =
      src.isSource && line != 0 ? SourceLineText(ws, src.r, line) : std::string();
  std::fprintf(stderr, "quorix-run: %s\n", EndMessage(program, program.stopAddress() >= origin ? line : 0, lineText).c_str());
  switch (program.reason()) {
    case StopReason::MissingService:
      return kExitMissing;
    case StopReason::StepLimit:
      return kExitStepLimit;
    default:
      return kExitFault;
  }
}
