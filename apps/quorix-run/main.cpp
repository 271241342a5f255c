// quorix-run: runs a program on the debugger's machine, with standard input
// as its keyboard and standard output as its screen.
//
//   quorix-run FILE [--trace] [--max-steps N] [--bits 16|32] [--origin N]
//              [--screen] [--screen-dump DUMP] [--break LINE]...
//
// FILE is a source in the workbench's dialect (assembled in memory, nothing
// is written; its warnings go to standard error as quorix-asm gives them) or, when its name ends in
// .com or .bin, machine code as it is. Once the program has ended or stopped, --screen prints its
// 80x25 text screen on standard output after the program's own output (25 lines, trailing blanks
// trimmed), and --screen-dump writes the screen's 4,000 raw bytes (character, attribute, row after
// row, as at B800:0000) to DUMP. Each time execution reaches a --break line (the first line with
// code from LINE on), the registers and the top of the stack go to standard error as "name: value"
// lines, and the program goes on. Exit status: the program's own exit code when it exits; otherwise
//   250 assembly error, 251 processor fault, 252 missing DOS/BIOS service,
//   253 step limit reached, 254 usage or file error,
// each with a message on standard error.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/assemble_text.h"
#include "app/output_file.h"
#include "engine/machines.h"
#ifdef QUORIX_HAVE_DISASM
#include "engine/disasm/disasm.h"
#endif
#include "sim/debugger.h"
#include "sim/dos_program.h"
#include "sim/run_session.h"
#include "sim/source_map.h"
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "backends/win32/win32_services.h"
using SystemServices = quorix::win32::Win32Services;
#else
#include "backends/posix/posix_services.h"
using SystemServices = quorix::PosixServices;
#endif

using namespace quorix;

namespace {

constexpr int kExitOutput = 249;
constexpr int kExitAssembly = 250;
constexpr int kExitFault = 251;
constexpr int kExitMissing = 252;
constexpr int kExitStepLimit = 253;
constexpr int kExitUsage = 254;
constexpr uint64_t kDefaultMaxSteps = 1'000'000'000;
constexpr uint64_t kChunk = 1'000'000;     // instructions between checks when not tracing
constexpr uint32_t kMaxImage = 16u << 20;  // a flat binary larger than this is refused
constexpr int kStackEntries = 12;          // shown at a --break line

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "quorix-run: %s\n", why);
  std::fprintf(stderr,
               "usage: quorix-run FILE [--trace] [--max-steps N] [--bits 16|32] [--origin N]\n"
               "                  [--screen] [--screen-dump DUMP] [--break LINE]...\n");
  return kExitUsage;
}

// A decimal number without leading zeros or, where hexAllowed, 0x and
// hexadecimal digits; nothing before or after it.
bool ParseCount(const char* text, uint64_t max, uint64_t* value, bool hexAllowed = false) {
  if (text == nullptr || *text == 0) return false;
  const bool hex = hexAllowed && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* digits = hex ? text + 2 : text;
  if (*digits == 0 || (!hex && digits[0] == '0' && digits[1] != 0)) return false;
  uint64_t v = 0;
  for (const char* p = digits; *p; ++p) {
    const int d = std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0'
                  : hex && std::isxdigit(static_cast<unsigned char>(*p))
                      ? std::tolower(*p) - 'a' + 10
                      : -1;
    if (d < 0) return false;
    const uint64_t base = hex ? 16 : 10;
    if (v > (max - static_cast<uint64_t>(d)) / base) return false;
    v = v * base + static_cast<uint64_t>(d);
  }
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

// The program's output on standard output and standard error. A write that
// fails or falls short is remembered: the run then ends as "output failed".
class StdoutScreen : public ProgramOutput {
 public:
  void Write(int handle, std::span<const uint8_t> bytes) override {
    FILE* f = handle == 2 ? stderr : stdout;
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) Failed(errno);
    if (handle != 2 && !bytes.empty()) lineOpen_ = bytes.back() != '\n';
    if (handle == 2 && std::fflush(stdout) != 0) Failed(errno);
  }
  // Flushes standard output; false when anything written to it was lost.
  bool Finish() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) Failed(errno);
    return error_ == 0;
  }
  int error() const { return error_; }
  // The program's standard output ends inside a line.
  bool lineOpen() const { return lineOpen_; }

 private:
  void Failed(int e) {
    if (error_ == 0) error_ = e != 0 ? e : EIO;
  }
  int error_ = 0;
  bool lineOpen_ = false;
};

// The program to run, and its source when it was assembled from one.
struct Program {
  std::vector<uint8_t> image;
  uint32_t origin = 0x100, bits = 16;
  bool isSource = false;
  std::unique_ptr<TextAssembler> assembler;  // holds the source's text
  std::vector<LineRecord> records;
  LineMap lines;
  FileIdentity identity;  // of the file read: the screen dump never replaces it
  std::string LineText(uint32_t line) const {
    return isSource && line != 0 ? SourceLineText(assembler->source(), line) : std::string();
  }
};

// The instruction at `at` as the decoder reads it, taken from the machine's
// memory before the step (so code the program rewrote shows as it ran);
// empty without a decoder.
struct TracedInstruction {
  std::vector<uint8_t> bytes;  // the memory at the instruction, before the step
  std::string text;            // the decoder's reading; empty without a decoder
  uint32_t length = 0;         // its length; 0 when it does not decode
};

// The instruction at `at` as it is in the machine's memory before the step,
// so that code the program rewrote shows as it runs.
TracedInstruction ReadInstruction(Machine& m, int bits, uint32_t at) {
  TracedInstruction t;
  const uint32_t base = bits == 32 ? 0 : m.Get(Reg::Cs) << 4;
  std::array<uint8_t, 15> bytes{};
  size_t size = bytes.size();
  while (size != 0 && !m.Read(base + at, std::span(bytes.data(), size))) --size;
  t.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
#ifdef QUORIX_HAVE_DISASM
  const disasm::Decoded d = disasm::DecodeOne(bytes.data(), size, at, bits);
  t.text = d.length != 0 ? d.text : "(undecodable)";
  t.length = d.length;
#endif
  return t;
}

void Trace(DosProgram& program, const Program& src, uint32_t at, const TracedInstruction& decoded) {
  const std::vector<uint8_t>& image = src.image;
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
    std::string t = src.LineText(line);
    if (t.size() > 28) t.resize(28);
    t.resize(28, ' ');
    text += t;
  }
  text += " |";
  if (length == 0) length = decoded.length;
  if (length == 0 || length > 10) length = std::min<uint32_t>(length == 0 ? 1 : length, 10);
  for (uint32_t i = 0; i < length && i < decoded.bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, " %02X", decoded.bytes[i]);
    text += buf;
  }
  text.resize(std::max<size_t>(text.size(), src.isSource ? 73 : 38), ' ');
  if (!decoded.text.empty()) {
    text += "  " + decoded.text;
    text.resize(std::max<size_t>(text.size(), (src.isSource ? 73 : 38) + 26), ' ');
  }
  static const char* const kNames[] = {"EAX", "ECX", "EDX", "EBX", "ESP",
                                       "EBP", "ESI", "EDI", "EIP"};
  for (int i = 0; i < 9; ++i) {
    std::snprintf(buf, sizeof buf, " %s=%08X", kNames[i], m.Get(static_cast<Reg>(i)));
    text += buf;
  }
  const uint32_t f = m.Get(Reg::Eflags);
  std::snprintf(buf, sizeof buf, " CF=%u ZF=%u SF=%u OF=%u PF=%u AF=%u DF=%u IF=%u", f & 1,
                (f >> 6) & 1, (f >> 7) & 1, (f >> 11) & 1, (f >> 2) & 1, (f >> 4) & 1,
                (f >> 10) & 1, (f >> 9) & 1);
  text += buf;
  std::fprintf(stderr, "%s\n", text.c_str());
}

struct Options {
  const char* file = nullptr;
  bool trace = false;
  std::vector<uint32_t> breaks;  // source lines
  uint64_t maxSteps = kDefaultMaxSteps;
  uint64_t bits = 0, origin = 0;
  bool haveBits = false, haveOrigin = false;
  bool screen = false;
  const char* screenDump = nullptr;
};

// Reads the command line; returns -1 to go on, or the exit code.
int ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--trace") == 0) {
      o->trace = true;
    } else if (std::strcmp(a, "--max-steps") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, UINT64_MAX, &o->maxSteps) ||
          o->maxSteps == 0)
        return Usage("--max-steps needs a positive number");
    } else if (std::strcmp(a, "--break") == 0) {
      uint64_t line = 0;
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, 0xFFFFFFFFull, &line) || line == 0)
        return Usage("--break needs a line number");
      o->breaks.push_back(static_cast<uint32_t>(line));
    } else if (std::strcmp(a, "--bits") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, 32, &o->bits) ||
          (o->bits != 16 && o->bits != 32))
        return Usage("--bits takes 16 or 32");
      o->haveBits = true;
    } else if (std::strcmp(a, "--origin") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, 0xFFFFFFFFull, &o->origin, true))
        return Usage("--origin needs a number (0x100 for hexadecimal)");
      o->haveOrigin = true;
    } else if (std::strcmp(a, "--screen") == 0) {
      o->screen = true;
    } else if (std::strcmp(a, "--screen-dump") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == 0) return Usage("--screen-dump needs a file name");
      o->screenDump = argv[++i];
    } else if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      Usage(nullptr);
      return 0;
    } else if (a[0] == '-' && a[1] != 0) {
      return Usage((std::string("unknown option ") + a).c_str());
    } else if (o->file) {
      return Usage("only one file");
    } else {
      o->file = a;
    }
  }
  if (!o->file) return Usage("no file");
  return -1;
}

// Why a file could not be read, in a user's words.
std::string ReadFailure(const char* file, ReadStatus status) {
  struct stat st;
  if (status == ReadStatus::NotRegular && ::stat(file, &st) == 0 && S_ISDIR(st.st_mode))
    return "is a directory";
  switch (status) {
    case ReadStatus::Missing: return "no such file";
    case ReadStatus::NotRegular: return "not a regular file";
    case ReadStatus::Denied: return "permission denied";
    default: return "read error";
  }
}

// A flat binary: a regular file, read once and whole, at most kMaxImage bytes.
int LoadBinary(const char* file, Services& services, Program* p) {
  p->image.resize(kMaxImage + 1);
  const FileReadResult r =
      services.ReadWholeFile(file, p->image, kMaxImage + 1, ReadMode::Existing);
  if (r.status != ReadStatus::Ok) {
    std::fprintf(stderr, "quorix-run: cannot read %s: %s\n", file,
                 ReadFailure(file, r.status).c_str());
    return kExitUsage;
  }
  if (r.fileSize > kMaxImage || r.bytesRead > kMaxImage) {
    std::fprintf(stderr, "quorix-run: %s is too large: a program holds at most %u bytes\n", file,
                 kMaxImage);
    return kExitUsage;
  }
  p->image.resize(r.bytesRead);
  p->identity = r.identity;
  return -1;
}

// A source, assembled in memory (nothing is written).
int AssembleProgram(const char* file, Services& services, Program* p) {
  if (std::strlen(file) >= Workspace::kPathBufferSize) return Usage("source path too long");
  p->assembler = std::make_unique<TextAssembler>(services);
  TextAssembler& as = *p->assembler;
  const TextStatus status = as.LoadFile(file);
  if (status == TextStatus::Cut) {
    std::fprintf(stderr, "quorix-run: %s is too large for the workbench's source region\n", file);
    return kExitUsage;
  }
  if (status == TextStatus::NotRegular) {
    std::fprintf(stderr, "quorix-run: cannot read %s: %s\n", file,
                 ReadFailure(file, ReadStatus::NotRegular).c_str());
    return kExitUsage;
  }
  if (status == TextStatus::Utf16) {
    std::fprintf(stderr, "quorix-run: %s: %s\n", file, DescribeTextStatus(status));
    return kExitUsage;
  }
  if (status != TextStatus::Loaded) {
    std::fprintf(stderr, "quorix-run: cannot read %s: %s\n", file, DescribeTextStatus(status));
    return kExitUsage;
  }
  Assembly result = as.Assemble();
  const AssembleReport& report = result.report;
  if (!report.ok) {
    std::fprintf(stderr, "%s\n", ErrorMessage(as.source(), report).c_str());
    return kExitAssembly;
  }
  // The same warnings as quorix-asm gives, before the program's own output.
  for (const std::string& w : WarningMessages(as.source(), report))
    std::fprintf(stderr, "quorix-run: warning: %s\n", w.c_str());
  p->image = std::move(result.bytes);
  p->records = std::move(result.records);
  p->origin = LoadOrigin(report.origin, report.entryBits);
  p->bits = report.entryBits;
  p->isSource = true;
  p->identity = as.workspace().load().sourceIdentity;
  p->lines.Build(as.env().regions.records, as.source().lineCount, report.bytes);
  return -1;
}

// The registers and the top of the stack where a --break line is reached,
// as "name: value" lines on standard error.
void PrintBreak(Machine& m, uint32_t bits, uint32_t line) {
  static const struct {
    const char* name;
    Reg reg;
  } kRegisters[] = {{"EAX", Reg::Eax}, {"EBX", Reg::Ebx},      {"ECX", Reg::Ecx}, {"EDX", Reg::Edx},
                    {"ESI", Reg::Esi}, {"EDI", Reg::Edi},      {"EBP", Reg::Ebp}, {"ESP", Reg::Esp},
                    {"EIP", Reg::Eip}, {"EFLAGS", Reg::Eflags}};
  std::string text = "line: " + std::to_string(line) + "\n";
  char buf[48];
  for (const auto& r : kRegisters) {
    std::snprintf(buf, sizeof buf, "%s: %08X\n", r.name, m.Get(r.reg));
    text += buf;
  }
  // 16-bit code: words at SS:SP upwards (wrapping in the segment); 32-bit
  // code: dwords at ESP upwards. A slot outside memory shows as ?.
  const uint32_t width = bits == 16 ? 2 : 4;
  const uint32_t sp = m.Get(Reg::Esp);
  for (int i = 0; i < kStackEntries; ++i) {
    uint32_t value = 0;
    bool readable = true;
    for (uint32_t k = 0; k < width; ++k) {
      const uint32_t offset = sp + i * width + k;
      const uint32_t at = bits == 16 ? (m.Get(Reg::Ss) << 4) + (offset & 0xFFFF) : offset;
      uint8_t b = 0;
      readable = readable && m.Read(at, std::span<uint8_t>(&b, 1));
      value |= uint32_t(b) << (8 * k);
    }
    if (readable)
      std::snprintf(buf, sizeof buf, "stack%d: %0*X\n", i, static_cast<int>(2 * width), value);
    else
      std::snprintf(buf, sizeof buf, "stack%d: %s\n", i, width == 2 ? "????" : "????????");
    text += buf;
  }
  std::fputs(text.c_str(), stderr);
}

// The source's lines and labels where the program runs.
SourceMap MapOf(const Program& p) {
  if (!p.isSource) return {};
  return SourceMap(p.records, p.assembler->source().lineCount, p.origin,
                   static_cast<uint32_t>(p.image.size()),
                   LabelsOf(p.assembler->source(), p.records, p.origin));
}

// The screen as the program left it: printed after its output (on a line of
// its own) and written raw to the dump file. False when the dump could not
// be written.
bool ShowScreen(DosProgram& program, const Program& p, const Options& o, StdoutScreen& out,
                Services& services) {
  TextScreen& screen = program.screen();
  if (o.screen) {
    if (out.lineOpen()) std::fputc('\n', stdout);
    for (int row = 0; row < TextScreen::kRows; ++row)
      std::fprintf(stdout, "%s\n", screen.RowText(row).c_str());
  }
  if (o.screenDump == nullptr) return true;
  const FileWriteResult w = services.WriteWholeFile(o.screenDump, screen.Bytes(), p.identity);
  if (!w.ok())
    std::fprintf(stderr, "quorix-run: cannot write the screen to %s: %s\n", o.screenDump,
                 DescribeWriteStatus(w.status));
  return w.ok();
}

// After the run: the screen shown, standard output flushed, the end
// reported; the exit code.
int Report(DosProgram& program, const Program& p, const Options& o, StdoutScreen& screen,
           Services& services) {
  const RunStatus status = program.status();
  const bool dumped = ShowScreen(program, p, o, screen, services);
  if (!screen.Finish()) {
    std::fprintf(stderr, "quorix-run: output failed: %s\n", std::strerror(screen.error()));
    return kExitOutput;
  }
  if (!dumped) return kExitUsage;
  if (status == RunStatus::Exited) {
    if (program.reason() == StopReason::Halted) {
      const uint32_t line = p.isSource ? p.lines.LineAt(program.stopAddress() - p.origin) : 0;
      std::fprintf(stderr, "quorix-run: %s\n", EndMessage(program, line, {}).c_str());
    }
    return program.exitCode();
  }

  const uint32_t line = p.isSource ? p.lines.LineAt(program.stopAddress() - p.origin) : 0;
  const std::string lineText = p.LineText(line);
  std::fprintf(stderr, "quorix-run: %s\n",
               EndMessage(program, program.stopAddress() >= p.origin ? line : 0, lineText).c_str());
  switch (program.reason()) {
    case StopReason::MissingService: return kExitMissing;
    case StopReason::StepLimit: return kExitStepLimit;
    default: return kExitFault;
  }
}

// With --break: the debugger's controller runs the program, stopping at
// each break line to show the registers.
int RunWithBreaks(std::unique_ptr<Machine> machine, const Program& p, const Options& o,
                  Services& services) {
  StdinKeys keys;
  StdoutScreen screen;
  DebuggerOptions options;
  options.history = false;
  options.stepLimit = o.maxSteps;
  Debugger debugger(std::move(machine), options);
  debugger.SetKeySource(&keys);
  debugger.SetOutputSink(&screen);
  DebugTarget target;
  target.image = p.image;
  target.origin = p.origin;
  target.bits = p.bits;
  target.source = MapOf(p);
  if (!debugger.Load(std::move(target))) {
    std::fprintf(stderr, "quorix-run: %s\n", debugger.program().message().c_str());
    return kExitUsage;
  }
  for (uint32_t line : o.breaks) debugger.AddLineBreakpoint(line);
  for (;;) {
    debugger.Continue();
    const DebugStop stop = debugger.Finish();
    if (stop.kind != StopKind::Breakpoint) break;
    PrintBreak(debugger.machine(), p.bits, stop.line);
  }
  return Report(debugger.program(), p, o, screen, services);
}

// Runs the loaded program to its end; returns the exit code.
int Run(std::unique_ptr<Machine> machine, const Program& p, const Options& o, Services& services) {
  if (!o.breaks.empty() && !o.trace) return RunWithBreaks(std::move(machine), p, o, services);
  StdinKeys keys;
  StdoutScreen screen;
  DosProgram program(*machine, keys, screen);
  ProgramImage pi;
  pi.bytes = p.image;
  pi.origin = p.origin;
  pi.bits = p.bits;
  program.SetStepLimit(o.maxSteps);
  if (!program.Load(pi)) {
    std::fprintf(stderr, "quorix-run: %s\n", program.message().c_str());
    return kExitUsage;
  }
  // Where a --break line's code begins.
  std::set<uint32_t> breaks;
  const SourceMap map = o.breaks.empty() ? SourceMap() : MapOf(p);
  for (uint32_t line : o.breaks) breaks.insert(map.AddressOfLine(map.LineWithBytesFrom(line)));
  RunStatus status = RunStatus::Ready;
  while (status == RunStatus::Ready || status == RunStatus::Waiting) {
    if (o.trace) {
      const uint32_t at = machine->Get(Reg::Eip);
      if (breaks.count(at) != 0) PrintBreak(*machine, p.bits, map.LineAt(at));
      // A source line's bytes are one instruction: where the next begins.
      uint32_t next = 0;
      if (p.isSource && at >= p.origin && p.lines.StartsLine(at - p.origin))
        next = p.lines.EndAt(at - p.origin) + p.origin;
      const TracedInstruction decoded = ReadInstruction(*machine, p.bits, at);
      status = program.Run(1, next);
      if (status == RunStatus::Ready || status == RunStatus::Exited) Trace(program, p, at, decoded);
    } else {
      status = program.Run(kChunk);
    }
  }
  return Report(program, p, o, screen, services);
}

// Every --break line must have code at or after it.
int CheckBreaks(const Program& p, const Options& o) {
  if (o.breaks.empty()) return -1;
  if (!p.isSource) return Usage("--break needs a source file");
  const SourceMap map = MapOf(p);
  for (uint32_t line : o.breaks) {
    if (map.LineWithBytesFrom(line) == 0) {
      std::fprintf(stderr, "quorix-run: --break %u: no code on or after that line\n", line);
      return kExitUsage;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (const int code = ParseOptions(argc, argv, &o); code >= 0) return code;

  MachineFactory factory = DefaultMachineFactory();
  std::unique_ptr<Machine> machine = factory ? factory() : nullptr;
  if (!machine) {
    std::fprintf(stderr, "quorix-run: no processor emulator in this build\n");
    return kExitUsage;
  }

#ifdef _WIN32
  // The program's bytes pass through unchanged: no CR is added before an LF
  // on the way out, none taken away and no Ctrl+Z ends the input.
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
  SystemServices services;
  const std::string name(o.file);
  Program p;
  const bool binary = EndsWith(name, ".com") || EndsWith(name, ".bin");
  const int loaded =
      binary ? LoadBinary(o.file, services, &p) : AssembleProgram(o.file, services, &p);
  if (loaded >= 0) return loaded;
  if (o.haveBits) p.bits = static_cast<uint32_t>(o.bits);
  if (o.haveOrigin) p.origin = static_cast<uint32_t>(o.origin);
  if (const int code = CheckBreaks(p, o); code >= 0) return code;
  return Run(std::move(machine), p, o, services);
}
