// Programs for the debugger's controller in tests and benchmarks: a dialect
// source assembled in memory into a DebugTarget, and the whole observable
// state of a program (registers, memory, output, keys read) for comparisons.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/assemble_text.h"
#include "doubles.h"
#include "engine/machines.h"
#include "sim/debugger.h"

namespace quorix::testing_support {

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

// The target of a source; `error` says why there is none.
inline DebugTarget AssembleTarget(const std::string& text, std::string* error) {
  MemoryPlatform pf;
  TextAssembler as(pf);
  as.Load(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  const Assembly a = as.Assemble();
  if (!a.report.ok) {
    *error = "line " + std::to_string(a.report.errorLine) + ": " + a.report.error;
    return {};
  }
  error->clear();
  return TargetOfAssembly(a.bytes, a.report, a.records, as.source());
}

// A debugger with the program loaded; null (and `error` set) when the
// source does not assemble or there is no engine.
inline std::unique_ptr<Debugger> DebuggerFor(const std::string& text, std::string* error,
                                             DebuggerOptions options = {}) {
  MachineFactory factory = DefaultMachineFactory();
  if (!factory) {
    *error = "no engine";
    return nullptr;
  }
  DebugTarget target = AssembleTarget(text, error);
  if (!error->empty()) return nullptr;
  auto d = std::make_unique<Debugger>(factory(), options);
  if (!d->Load(std::move(target))) {
    *error = d->stop().message;
    return nullptr;
  }
  return d;
}

struct ProgramState {
  uint32_t regs[kRegCount] = {};
  std::vector<uint8_t> memory;
  std::string output;
  uint64_t keys = 0;
  uint64_t executed = 0;
  bool ended = false;
  int row = 0, column = 0;  // the screen's cursor
  bool operator==(const ProgramState& o) const {
    return std::equal(regs, regs + kRegCount, o.regs) && memory == o.memory && output == o.output &&
           keys == o.keys && executed == o.executed && ended == o.ended && row == o.row &&
           column == o.column;
  }
};

inline ProgramState StateOf(Debugger& d) {
  ProgramState s;
  for (int i = 0; i < kRegCount; ++i) s.regs[i] = d.machine().Get(static_cast<Reg>(i));
  for (const AddressRange& r : d.machine().MappedRanges()) {
    const size_t at = s.memory.size();
    s.memory.resize(at + (r.end - r.begin));
    d.machine().Read(r.begin, std::span<uint8_t>(s.memory.data() + at, r.end - r.begin));
  }
  s.output = d.output().Text();
  s.keys = d.keys().position();
  s.executed = d.executed();
  s.ended = d.ended();
  s.row = d.program().screen().row();
  s.column = d.program().screen().column();
  return s;
}

// What differs between two states, for a failure message.
inline std::string Difference(const ProgramState& a, const ProgramState& b) {
  static const char* const kNames[kRegCount] = {"EAX", "ECX", "EDX", "EBX",    "ESP", "EBP",
                                                "ESI", "EDI", "EIP", "EFLAGS", "ES",  "CS",
                                                "SS",  "DS",  "FS",  "GS"};
  std::string d;
  char buf[96];
  for (int i = 0; i < kRegCount; ++i) {
    if (a.regs[i] == b.regs[i]) continue;
    std::snprintf(buf, sizeof buf, " %s %08X/%08X", kNames[i], a.regs[i], b.regs[i]);
    d += buf;
  }
  for (size_t i = 0; i < a.memory.size() && i < b.memory.size(); ++i) {
    if (a.memory[i] == b.memory[i]) continue;
    std::snprintf(buf, sizeof buf, " memory+%zX %02X/%02X", i, a.memory[i], b.memory[i]);
    d += buf;
    break;
  }
  if (a.output != b.output) d += " output '" + a.output + "'/'" + b.output + "'";
  if (a.keys != b.keys) d += " keys " + std::to_string(a.keys) + "/" + std::to_string(b.keys);
  if (a.executed != b.executed)
    d += " executed " + std::to_string(a.executed) + "/" + std::to_string(b.executed);
  if (a.ended != b.ended) d += " ended";
  if (a.row != b.row || a.column != b.column) d += " cursor";
  return d;
}

}  // namespace quorix::testing_support
