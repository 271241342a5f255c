#include "app/machine_window.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "model/record_views.h"
#include "text/lines.h"

namespace quorix {

namespace {

constexpr uint32_t kWatchBytes = 32;   // of a watch's value, at most
constexpr uint32_t kContextAbove = 3;  // source lines shown above the next one

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Hex(uint32_t value, int digits) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

// The first two blank-separated words of a source line, upper-cased.
void Words(const std::string& line, std::string* first, std::string* second) {
  std::istringstream in(line);
  in >> *first >> *second;
  *first = Upper(*first);
  *second = Upper(*second);
}

// The label a line defines ("" when none): a first word with ':' names the
// text before it; a second word beginning with PROC, DATA or LABE names the
// first word.
std::string LabelOf(const std::string& line) {
  std::string first, second;
  Words(line, &first, &second);
  const size_t colon = first.find(':');
  if (colon != std::string::npos) return first.substr(0, colon);
  for (const char* kind : {"PROC", "DATA", "LABE"})
    if (second.rfind(kind, 0) == 0) return first;
  return {};
}

uint32_t DataUnit(const std::string& line) {
  std::string first, second;
  Words(line, &first, &second);
  if (first == "DB") return 1;
  if (first == "DW") return 2;
  if (first == "DD") return 4;
  return 0;
}

uint32_t ChangedRegisters(const uint32_t* before, const uint32_t* after) {
  uint32_t mask = 0;
  for (int i = 0; i < kRegCount; ++i)
    if (before[i] != after[i]) mask |= 1u << i;
  return mask;
}

const char* StateName(MachineState state) {
  switch (state) {
    case MachineState::None: return "none";
    case MachineState::Paused: return "paused";
    case MachineState::Running: return "running";
    case MachineState::Ended: return "ended";
    case MachineState::Stopped: return "stopped";
  }
  return "none";
}

}  // namespace

std::vector<DataLabel> FindDataLabels(const SourceText& source, const LineRecords& records,
                                      uint32_t origin) {
  std::vector<DataLabel> labels;
  for (uint32_t n = 1; n < source.lineCount; ++n) {
    const std::string name = LabelOf(SourceLineText(source, n));
    if (name.empty()) continue;
    DataLabel label{name, n, 0, 0, 0, false};
    uint32_t k = n + 1;
    for (; k < source.lineCount; ++k) {
      const std::string text = SourceLineText(source, k);
      if (text.empty()) continue;
      const uint32_t unit = DataUnit(text);
      if (unit == 0) break;
      const LineRecord rec = records.Get(k - 1);
      if (label.unit == 0) {
        label.unit = unit;
        label.address = origin + rec.Address;
      }
      label.size += rec.ByteCount;
      label.text = label.text || text.find('"') != std::string::npos;
    }
    if (label.unit != 0) labels.push_back(label);
    n = k - 1;
  }
  return labels;
}

MachineWindow::MachineWindow(Shell& shell, ContextRecord& record)
    : shell_(shell), record_(record), controller_(shell.run, shell.cpu, &record.PosSCL) {}

bool MachineWindow::Sync() {
  const bool active = shell_.ws != nullptr && shell_.run.Executes(*shell_.ws);
  if (active == active_ && shell_.run.serial() == serial_) return false;
  active_ = active;
  serial_ = shell_.run.serial();
  controller_.Attach(active);
  labels_.clear();
  if (active) {
    labels_ = FindDataLabels(shell_.run.source(), LineRecordsOf(record_, *shell_.ws),
                             shell_.run.program()->origin());
  }
  follow_ = Follow::Label;
  followLabel_ = labels_.empty() ? std::string() : labels_.front().name;
  editing_ = false;
  selected_ = controller_.NextLine();
  selectionMoved_ = true;
  dirty_ = true;
  return true;
}

void MachineWindow::Open() {
  if (!open()) {
    screen_ = MachineScreen{};
    screen_.dc = shell_.platform.OpenSecondWindow(kMachineWindowWidth, kMachineWindowHeight);
    if (screen_.dc == nullptr) return;
    CreateMachineObjects(screen_);
  }
  Sync();
  const uint32_t next = controller_.NextLine();
  if (next != 0) selected_ = next;
  selectionMoved_ = true;
  dirty_ = true;
  Draw();
}

void MachineWindow::Close() {
  controller_.Pause();
  if (!open()) return;
  shell_.platform.CloseSecondWindow();
  screen_ = MachineScreen{};
}

void MachineWindow::Tick() {
  if (!open()) return;
  Sync();
  controller_.Tick();
  const uint64_t version = (controller_.steps() << 8) | (uint64_t(controller_.State()) << 1) |
                           (shell_.run.waiting() ? 1 : 0);
  if (dirty_ || version != drawnVersion_) {
    drawnVersion_ = version;
    Draw();
  }
}

void MachineWindow::Draw() {
  if (!open()) return;
  dirty_ = false;
  DrawMachineWindow(screen_, Refresh());
  const MachineBox& d = screen_.damage;
  if (!d.empty()) shell_.platform.PresentSecondWindow(d.l, d.t, d.r, d.b);
}

// ---- the snapshot ------------------------------------------------------------

void MachineWindow::FillSource(const SourceText& source, const LineRecords& records,
                               uint32_t origin) {
  snap_.source.clear();
  const uint32_t lines = source.lineCount > 0 ? source.lineCount - 1 : 0;
  // The view stays while the next line moves inside it with a few lines
  // above and below; otherwise it shows the next line with kContextAbove
  // lines above it.
  const uint32_t next = snap_.nextLine;
  if (next != shownNext_) {
    shownNext_ = next;
    const uint32_t rows = kSourceRows;
    const bool inside =
        next >= top_ + std::min(top_ - 1, kContextAbove) && next + kContextAbove < top_ + rows;
    if (next != 0 && !inside) top_ = next > kContextAbove ? next - kContextAbove : 1;
  }
  if (selectionMoved_ && selected_ != 0) {
    if (selected_ < top_) top_ = selected_;
    if (selected_ >= top_ + kSourceRows) top_ = selected_ - kSourceRows + 1;
  }
  selectionMoved_ = false;
  if (top_ == 0 || top_ > lines) top_ = 1;
  for (uint32_t n = top_; n <= lines && snap_.source.size() < size_t(kSourceRows); ++n) {
    SourceRow row;
    row.line = n;
    row.text = SourceLineText(source, n);
    if (active_) {
      const LineRecord rec = records.Get(n - 1);
      row.hasBytes = rec.ByteCount != 0;
      row.address = origin + rec.Address;
      row.breakpoint = std::binary_search(snap_.breakpoints.begin(), snap_.breakpoints.end(), n);
    }
    snap_.source.push_back(std::move(row));
  }
}

uint32_t MachineWindow::ReturnLine(Machine& m, uint32_t value, uint32_t origin) {
  // A return address ends the bytes of a line whose instruction is a call.
  DosProgram& program = *shell_.run.program();
  const LineMap& lines = shell_.run.lines();
  if (value <= origin || value - origin > program.imageSize()) return 0;
  const uint32_t end = value - origin;
  const uint32_t callLine = lines.LineAt(end - 1);
  if (callLine == 0 || lines.EndAt(end - 1) != end) return 0;
  uint32_t start = end - 1;
  while (start > 0 && lines.LineAt(start - 1) == callLine && end - start < 15) --start;
  uint8_t code[3] = {};
  const uint32_t base = program.bits() == 32 ? 0 : m.Get(Reg::Cs) << 4;
  if (!m.Read(base + origin + start, code)) return 0;
  const uint8_t* op = code[0] == 0x66 || code[0] == 0x67 ? code + 1 : code;
  const bool call = op[0] == 0xE8 || (op[0] == 0xFF && ((op[1] >> 3) & 7) == 2);
  if (!call) return 0;
  const uint32_t after = lines.LineAt(end);
  return after != 0 ? after : callLine + 1;
}

void MachineWindow::FillStack(Machine& m, uint32_t origin) {
  snap_.stack.clear();
  const bool flat = snap_.bits == 32;
  const uint32_t unit = flat ? 4 : 2;
  const uint32_t base = flat ? 0 : (snap_.regs[int(Reg::Ss)] & 0xFFFF) << 4;
  const uint32_t sp = snap_.regs[int(Reg::Esp)] & (flat ? 0xFFFFFFFF : 0xFFFF);
  const uint32_t bp = snap_.regs[int(Reg::Ebp)] & (flat ? 0xFFFFFFFF : 0xFFFF);
  for (uint32_t k = 0; k < uint32_t(kStackRows); ++k) {
    StackRow row;
    row.address = flat ? sp + k * unit : (sp + k * unit) & 0xFFFF;
    uint8_t bytes[4] = {};
    row.readable = m.Read(base + row.address, std::span<uint8_t>(bytes, unit));
    row.value = bytes[0] | bytes[1] << 8 | (flat ? (bytes[2] << 16 | uint32_t(bytes[3]) << 24) : 0);
    row.sp = k == 0;
    row.bp = row.address == bp;
    if (row.readable) row.returnLine = ReturnLine(m, row.value, origin);
    snap_.stack.push_back(row);
  }
}

void MachineWindow::FillMemory(Machine& m) {
  const bool flat = snap_.bits == 32;
  uint32_t segment = flat ? 0 : snap_.regs[int(Reg::Ds)] & 0xFFFF;
  uint32_t offset = followOffset_;
  std::string name = Hex(followOffset_, flat ? 8 : 4);
  if (follow_ == Follow::Address) {
    if (!flat) segment = followSegment_;
  } else if (follow_ == Follow::Si) {
    offset = snap_.regs[int(Reg::Esi)];
    name = "DS:SI";
  } else if (follow_ == Follow::Di) {
    if (!flat) segment = snap_.regs[int(Reg::Es)] & 0xFFFF;
    offset = snap_.regs[int(Reg::Edi)];
    name = "ES:DI";
  } else {
    auto it = std::find_if(labels_.begin(), labels_.end(),
                           [&](const DataLabel& l) { return l.name == followLabel_; });
    offset = it != labels_.end() ? it->address : shell_.run.program()->origin();
    name = it != labels_.end() ? it->name : Hex(offset, flat ? 8 : 4);
  }
  if (!flat) offset &= 0xFFFF;
  snap_.memoryName = name;
  snap_.memorySegment = segment;
  snap_.memoryOffset = offset;
  const uint32_t linear = flat ? offset : (segment << 4) + offset;
  if (m.Read(linear, snap_.memory)) {
    snap_.memoryReadable.fill(true);
  } else {
    for (int i = 0; i < kMemoryBytes; ++i)
      snap_.memoryReadable[i] = m.Read(linear + i, std::span<uint8_t>(&snap_.memory[i], 1));
  }
}

void MachineWindow::FillWatches(Machine& m) {
  snap_.watches.clear();
  const uint32_t base = snap_.bits == 32 ? 0 : (snap_.regs[int(Reg::Ds)] & 0xFFFF) << 4;
  for (const DataLabel& label : labels_) {
    WatchRow w;
    w.name = label.name;
    w.address = label.address;
    w.unit = label.unit;
    w.text = label.text;
    w.size = label.size;
    w.bytes.resize(std::min(label.size, kWatchBytes));
    if (!m.Read(base + label.address, w.bytes)) w.bytes.clear();
    snap_.watches.push_back(std::move(w));
  }
}

// What the last instruction changed: its registers, and the bytes it
// wrote that the memory panel shows.
void MachineWindow::NoteChanges() {
  snap_.changed = 0;
  snap_.memoryWritten.fill(false);
  snap_.last = controller_.running() ? "running" : controller_.LastStep();
  const StepFacts* facts = controller_.LastFacts();
  if (facts == nullptr) return;
  snap_.changed = ChangedRegisters(facts->before, facts->after);
  const bool flat = snap_.bits == 32;
  const uint32_t base = flat ? 0 : DosProgram::kSegment << 4;
  const uint32_t first =
      flat ? snap_.memoryOffset : (snap_.memorySegment << 4) + snap_.memoryOffset;
  for (const MemoryChange& change : facts->changes) {
    const uint32_t i = base + change.address - first;
    if (i < uint32_t(kMemoryBytes)) snap_.memoryWritten[i] = true;
  }
}

const MachineSnapshot& MachineWindow::Refresh() {
  Sync();
  MachineSnapshot& s = snap_;
  s.state = controller_.State();
  s.status = controller_.Status();
  s.steps = controller_.steps();
  s.nextLine = controller_.NextLine();
  s.selectedLine = selected_;
  s.breakpoints = controller_.BreakpointLines();
  s.editingAddress = editing_;
  s.addressInput = input_;
  s.hasScreen = active_;
  Workspace* ws = shell_.ws;
  if (!active_) {
    s.bits = 16;
    std::fill(std::begin(s.regs), std::end(s.regs), 0);
    s.changed = 0;
    s.last.clear();
    s.stack.clear();
    s.watches.clear();
    s.memoryName.clear();
    s.memoryReadable.fill(false);
    s.memoryWritten.fill(false);
    if (ws != nullptr) FillSource(SourceOf(record_, *ws), {}, 0);
    return s;
  }
  DosProgram& program = *shell_.run.program();
  Machine& m = program.machine();
  s.bits = program.bits();
  for (int i = 0; i < kRegCount; ++i) s.regs[i] = m.Get(static_cast<Reg>(i));
  FillSource(shell_.run.source(), LineRecordsOf(record_, *ws), program.origin());
  FillStack(m, program.origin());
  FillMemory(m);
  FillWatches(m);
  NoteChanges();
  TextScreen& screen = program.screen();
  const std::vector<uint8_t> cells = screen.Bytes();
  for (size_t i = 0; i < s.screen.size() && 2 * i + 1 < cells.size(); ++i)
    s.screen[i] = {cells[2 * i], cells[2 * i + 1]};
  s.cursorRow = screen.row();
  s.cursorColumn = screen.column();
  s.cursorVisible = screen.cursorVisible();
  return s;
}

// ---- input -------------------------------------------------------------------

void MachineWindow::Select(uint32_t line) {
  const SourceText source = shell_.ws != nullptr ? SourceOf(record_, *shell_.ws) : SourceText{};
  if (source.lineCount < 2) return;
  selected_ = std::clamp<uint32_t>(line, 1, source.lineCount - 1);
  selectionMoved_ = true;
}

void MachineWindow::Command(MachineControl control) {
  MachineController& c = controller_;
  switch (control) {
    case MachineControl::Continue: c.Continue(); break;
    case MachineControl::Pause: c.Pause(); break;
    case MachineControl::StepInto: c.StepInto(); break;
    case MachineControl::StepOver: c.StepOver(); break;
    case MachineControl::StepOut: c.StepOut(); break;
    case MachineControl::StepBack: c.StepBack(); break;
    case MachineControl::Restart: c.Restart(); break;
    case MachineControl::RunToLine: c.RunToLine(selected_); break;
    case MachineControl::Breakpoint: c.ToggleBreakpoint(selected_); break;
    case MachineControl::MemoryAddress:
      editing_ = true;
      input_.clear();
      break;
    case MachineControl::FollowSi: follow_ = Follow::Si; break;
    case MachineControl::FollowDi: follow_ = Follow::Di; break;
    default: break;
  }
  dirty_ = true;
}

void MachineWindow::Key(uint32_t key, uint32_t modifiers) {
  const bool shift = (modifiers & ModShift) != 0, control = (modifiers & ModControl) != 0;
  MachineControl command = MachineControl::None;
  switch (key) {
    case KeyF5: command = control ? MachineControl::Restart : MachineControl::Continue; break;
    case KeyF6: command = MachineControl::Pause; break;
    case KeyF7: command = MachineControl::StepBack; break;
    case KeyF9: command = MachineControl::Breakpoint; break;
    case KeyF10: command = control ? MachineControl::RunToLine : MachineControl::StepOver; break;
    case KeyF11: command = shift ? MachineControl::StepOut : MachineControl::StepInto; break;
    case KeyUp: Select(selected_ > 1 ? selected_ - 1 : 1); break;
    case KeyDown: Select(selected_ + 1); break;
    default: return;
  }
  dirty_ = true;
  if (command != MachineControl::None) Command(command);
}

bool MachineWindow::ApplyAddress(const std::string& typed) {
  std::string text = Upper(typed);
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  if (text.empty()) return false;
  if (text == "DS:SI" || text == "SI") return follow_ = Follow::Si, true;
  if (text == "ES:DI" || text == "DI") return follow_ = Follow::Di, true;
  for (const DataLabel& l : labels_) {
    if (l.name == text) {
      follow_ = Follow::Label;
      followLabel_ = l.name;
      return true;
    }
  }
  const size_t colon = text.find(':');
  uint32_t segment = snap_.bits == 32 ? 0 : snap_.regs[int(Reg::Ds)] & 0xFFFF, offset = 0;
  auto parse = [](std::string_view t, uint32_t* v) {
    auto r = std::from_chars(t.data(), t.data() + t.size(), *v, 16);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
  };
  if (colon != std::string::npos) {
    if (!parse(std::string_view(text).substr(0, colon), &segment) || segment > 0xFFFF) return false;
    if (!parse(std::string_view(text).substr(colon + 1), &offset)) return false;
  } else if (!parse(text, &offset)) {
    return false;
  }
  follow_ = Follow::Address;
  followSegment_ = segment;
  followOffset_ = offset;
  return true;
}

void MachineWindow::Char(uint8_t c) {
  if (!editing_) {
    if (active_) shell_.run.Key(c);
    return;
  }
  if (c == '\r') {
    ApplyAddress(input_);
    editing_ = false;
  } else if (c == 27) {
    editing_ = false;
  } else if (c == 8) {
    if (!input_.empty()) input_.pop_back();
  } else if (c >= 0x20 && c < 0x7F && input_.size() < 20) {
    input_.push_back(static_cast<char>(c));
  }
  dirty_ = true;
}

void MachineWindow::Click(int x, int y) {
  const MachineHit hit = HitMachineWindow(snap_, x, y);
  if (hit.control != MachineControl::None) {
    Command(hit.control);
    return;
  }
  if (hit.line != 0) {
    // A click selects a line; a click on the selected line toggles its breakpoint.
    if (hit.line == selected_)
      controller_.ToggleBreakpoint(hit.line);
    else
      Select(hit.line);
  } else if (hit.watch >= 0 && size_t(hit.watch) < labels_.size()) {
    follow_ = Follow::Label;
    followLabel_ = labels_[size_t(hit.watch)].name;
  }
  dirty_ = true;
}

bool MachineWindow::WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) {
  if (!open()) return false;
  Sync();
  const int x = static_cast<int>(lParam & 0xFFFF), y = static_cast<int>(lParam >> 16);
  switch (msg) {
    case MsgMouseMove: {
      const MachineControl hover = HitMachineWindow(snap_, x, y).control;
      if (hover != snap_.hover) dirty_ = true;
      snap_.hover = hover;
      break;
    }
    case MsgLButtonDown: Click(x, y); break;
    case MsgKeyDown: Key(wParam, lParam); break;
    case MsgChar: Char(static_cast<uint8_t>(wParam)); break;
    case MsgClose: Close(); return true;
    default: return false;
  }
  if (dirty_) Draw();
  return true;
}

// ---- dump --------------------------------------------------------------------

namespace {

// "name: value", or "name:" when the value is empty.
void Item(std::ostream& out, const std::string& name, const std::string& value) {
  out << name << ':' << (value.empty() ? "" : " ") << value << '\n';
}

void DumpRegisters(std::ostream& out, const MachineSnapshot& s) {
  static constexpr Reg kOrder[] = {Reg::Eax, Reg::Ebx, Reg::Ecx, Reg::Edx,    Reg::Esi, Reg::Edi,
                                   Reg::Ebp, Reg::Esp, Reg::Eip, Reg::Eflags, Reg::Cs,  Reg::Ds,
                                   Reg::Es,  Reg::Ss,  Reg::Fs,  Reg::Gs};
  for (Reg r : kOrder) Item(out, RegisterName(r, 32), Hex(s.regs[int(r)], 8));
  static constexpr std::pair<const char*, uint32_t> kFlags[] = {
      {"CF", kFlagCF}, {"PF", kFlagPF}, {"AF", kFlagAF}, {"ZF", kFlagZF},
      {"SF", kFlagSF}, {"IF", kFlagIF}, {"DF", kFlagDF}, {"OF", kFlagOF}};
  for (const auto& [name, bit] : kFlags)
    Item(out, name, (s.regs[int(Reg::Eflags)] & bit) != 0 ? "1" : "0");
}

void DumpStackAndMemory(std::ostream& out, const MachineSnapshot& s) {
  const int digits = s.bits == 32 ? 8 : 4;
  for (size_t i = 0; i < s.stack.size(); ++i) {
    const StackRow& row = s.stack[i];
    std::string value = Hex(row.address, digits) + ' ' +
                        (row.readable ? Hex(row.value, digits) : std::string(digits, '-'));
    if (row.sp) value += " SP";
    if (row.bp) value += " BP";
    if (row.returnLine != 0) value += " ret " + std::to_string(row.returnLine);
    Item(out, "stack" + std::to_string(i), value);
  }
  Item(out, "memory", s.memoryName);
  for (int row = 0; row < kMemoryRows && s.state != MachineState::None; ++row) {
    const uint32_t offset = s.memoryOffset + uint32_t(row) * kMemoryColumns;
    std::string value =
        s.bits == 32 ? Hex(offset, 8) : Hex(s.memorySegment, 4) + ":" + Hex(offset & 0xFFFF, 4);
    for (int col = 0; col < kMemoryColumns; ++col) {
      const int i = row * kMemoryColumns + col;
      value += ' ' + (s.memoryReadable[i] ? Hex(s.memory[i], 2) : std::string("--"));
    }
    Item(out, "mem" + std::to_string(row), value);
  }
}

void DumpWatchesAndScreen(std::ostream& out, const MachineSnapshot& s) {
  for (const WatchRow& w : s.watches) {
    std::string value;
    for (uint8_t b : w.bytes) value += (value.empty() ? "" : " ") + Hex(b, 2);
    Item(out, "watch " + w.name, value);
  }
  if (!s.hasScreen) return;
  for (int row = 0; row < TextScreen::kRows; ++row) {
    std::string text;
    for (int col = 0; col < TextScreen::kColumns; ++col) {
      const uint8_t c = s.screen[size_t(row) * TextScreen::kColumns + col].character;
      text.push_back(c == 0 ? ' ' : c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c));
    }
    text.erase(text.find_last_not_of(' ') + 1);
    Item(out, "screen" + std::to_string(row), text);
  }
  Item(out, "cursor", std::to_string(s.cursorRow) + ' ' + std::to_string(s.cursorColumn));
}

}  // namespace

std::string MachineWindow::Dump() {
  const MachineSnapshot& s = Refresh();
  std::ostringstream out;
  Item(out, "state", StateName(s.state));
  Item(out, "status", s.status);
  Item(out, "line", std::to_string(s.nextLine));
  Item(out, "steps", std::to_string(s.steps));
  Item(out, "selected", std::to_string(s.selectedLine));
  std::string lines;
  for (uint32_t line : s.breakpoints) lines += (lines.empty() ? "" : " ") + std::to_string(line);
  Item(out, "breakpoints", lines);
  Item(out, "last", s.last);
  // What the last step changed, as the panels highlight it.
  std::string changed, written;
  for (int i = 0; i < kRegCount; ++i)
    if ((s.changed >> i) & 1)
      changed +=
          (changed.empty() ? "" : " ") + std::string(RegisterName(static_cast<Reg>(i), s.bits));
  for (int i = 0; i < kMemoryBytes; ++i)
    if (s.memoryWritten[i]) written += (written.empty() ? "" : " ") + std::to_string(i);
  Item(out, "changed", changed);
  Item(out, "written", written);
  DumpRegisters(out, s);
  DumpStackAndMemory(out, s);
  DumpWatchesAndScreen(out, s);
  return out.str();
}

}  // namespace quorix
