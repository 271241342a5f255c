#include "sim/run_session.h"

#include <cstdio>

#include "sim/debugger.h"
#include "text/lines.h"

namespace quorix {

namespace {

constexpr uint32_t kMessageLineChars = 60;

}  // namespace

// ---- console --------------------------------------------------------------

void ConsoleLog::Write(int /*handle*/, std::span<const uint8_t> bytes) {
  for (uint8_t c : bytes) {
    std::string& line = lines_.back();
    if (c == '\n') {
      lines_.emplace_back();
      column_ = 0;
      if (lines_.size() > kMaxLines) lines_.pop_front();
    } else if (c == '\r') {
      column_ = 0;
    } else if (c == 8) {
      if (column_ > 0) --column_;
    } else {
      char shown = c == '\t' ? ' ' : c < 0x20 ? '.' : static_cast<char>(c);
      if (column_ >= kMaxColumns) continue;
      if (column_ < line.size())
        line[column_] = shown;
      else
        line.push_back(shown);
      ++column_;
    }
  }
}

void ConsoleLog::Note(const std::string& text) {
  if (!lines_.back().empty()) lines_.emplace_back();
  lines_.back() = text;
  lines_.emplace_back();
  column_ = 0;
  while (lines_.size() > kMaxLines) lines_.pop_front();
}

void ConsoleLog::Clear() {
  lines_.assign(1, std::string());
  column_ = 0;
}

// ---- address to line ------------------------------------------------------

void LineMap::Build(const LineRecords& records, uint32_t lineCount, uint32_t outputBytes) {
  lines_.assign(outputBytes, 0);
  ends_.assign(lineCount, 0);
  for (uint32_t line = 1; line < lineCount && line - 1 < records.size(); ++line) {
    const uint32_t count = records.Get(line - 1).ByteCount;
    const uint32_t offset = records.Get(line - 1).Address;
    for (uint64_t j = offset; j < uint64_t(offset) + count && j < outputBytes; ++j)
      lines_[j] = line;
    if (count != 0) ends_[line] = offset + count;
  }
}

// ---- the session ------------------------------------------------------------

RunSession::RunSession() = default;
RunSession::~RunSession() = default;

void RunSession::Key(uint8_t key) {
  if (debugger_) debugger_->Key(key);
}

DosProgram* RunSession::program() { return debugger_ ? &debugger_->program() : nullptr; }

bool RunSession::waiting() const {
  return debugger_ && debugger_->program().status() == RunStatus::Waiting;
}

uint32_t RunSession::AfterCompile(const AsmRegions& regions, const Workspace& ws,
                                  const AssembleReport& report) {
  ++serial_;
  debugger_.reset();
  lineMap_.Clear();
  if (!factory_ || !report.ok || report.bytes > regions.output.size()) return 0;
  std::span<const uint8_t> out = regions.output.first(report.bytes);
  std::unique_ptr<Machine> machine = factory_();
  if (!machine) return 0;
  DebuggerOptions options;
  options.stepLimit = stepLimit_;
  debugger_ = std::make_unique<Debugger>(std::move(machine), options);
  debugger_->SetOutputSink(&console_);
  origin_ = LoadOrigin(report.origin, report.entryBits);
  bits_ = report.entryBits;
  generation_ = ws.load().generation;
  lineMap_.Build(regions.records, regions.source.lineCount, report.bytes);
  source_ = regions.source;
  debugger_->Load(TargetOfAssembly(out, report, regions.records.all(), regions.source));
  return Restart();
}

void RunSession::Drop() {
  ++serial_;
  debugger_.reset();
  lineMap_.Clear();
  console_.Clear();
  ended_ = false;
}

bool RunSession::Executes(const Workspace& ws) const {
  return debugger_ != nullptr && ws.load().generation == generation_;
}

uint32_t RunSession::Restart() {
  if (!debugger_) return 0;
  console_.Clear();
  ended_ = false;
  debugger_->Restart();  // no keys typed yet, no history
  debugger_->program().SetStepLimit(stepLimit_);
  return LineOfAddress(origin_);
}

uint32_t RunSession::LineOfAddress(uint32_t address) const {
  if (address < origin_) return 0;
  return lineMap_.LineAt(address - origin_);
}

void RunSession::FillCpuState(CpuState* cpu) {
  if (!debugger_) return;
  DosProgram& program = debugger_->program();
  Machine& m = program.machine();
  CpuState c = *cpu;
  for (int i = 0; i < kRegCount; ++i) c.Regs[i] = m.Get(static_cast<Reg>(i));
  if (program.status() == RunStatus::Stopped && program.reason() == StopReason::LoadFailed)
    for (int i = 0; i < kRegCount; ++i) c.Regs[i] = 0;
  c.CpuMode = program.bits() == 32 ? 2 : 1;
  *cpu = c;
}

void RunSession::Step(uint32_t* position, CpuState* cpu) {
  uint32_t line = 0;
  if (debugger_) {
    DosProgram& program = debugger_->program();
    const RunStatus before = program.status();
    if (before == RunStatus::Ready || before == RunStatus::Waiting) {
      // One instruction, as the debugger's step into makes it.
      debugger_->StepInto();
      debugger_->Slice();
      const RunStatus after = program.status();
      if (after == RunStatus::Ready) line = LineOfAddress(program.machine().Get(Reg::Eip));
      if (after == RunStatus::Exited || after == RunStatus::Stopped) NoteEnd();
    } else if (!ended_) {
      NoteEnd();  // a program that could not even be loaded
    }
    FillCpuState(cpu);
  }
  // The shell adds 1 afterwards: land on the next instruction's line, or
  // stay where the listing is when the program did not move.
  *position = line != 0 ? line - 1 : *position - 1;
}

void RunSession::NoteEnd() {
  if (ended_ || !debugger_) return;
  const DosProgram& program = debugger_->program();
  if (program.status() != RunStatus::Exited && program.status() != RunStatus::Stopped) return;
  ended_ = true;
  const uint32_t line = LineOfAddress(program.stopAddress());
  console_.Note(
      EndMessage(program, line, line != 0 ? SourceLineText(source_, line) : std::string()));
}

std::string SourceLineText(const SourceText& source, uint32_t n) {
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> line(buf, kLineBufferSize);
  uint32_t len = FetchLine(source, n, line);
  if (len == kFail) return {};
  len = CleanLine(line, len);
  if (len == kFail || len == 0) return {};
  std::string text(reinterpret_cast<char*>(buf));
  if (text.size() > kMessageLineChars) text.resize(kMessageLineChars);
  return text;
}

std::string EndMessage(const DosProgram& program, uint32_t line, const std::string& lineText) {
  if (program.status() == RunStatus::Exited && program.reason() == StopReason::Halted) {
    char at[16];
    std::snprintf(at, sizeof at, program.bits() == 32 ? "%08X" : "%04X", program.stopAddress());
    return std::string("Program ended at HLT (") + at +
           (line != 0 ? ", line " + std::to_string(line) : std::string()) + ")";
  }
  if (program.status() == RunStatus::Exited)
    return "Program exited with code " + std::to_string(program.exitCode());
  char address[16];
  std::snprintf(address, sizeof address, program.bits() == 32 ? "%08X" : "%04X",
                program.stopAddress());
  std::string where = std::string("Stopped at ") + address;
  if (line != 0)
    where += " (line " + std::to_string(line) + (lineText.empty() ? "" : ": " + lineText) + ")";
  return where + ": " + program.message();
}

}  // namespace quorix
