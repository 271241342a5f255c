#include "screen/machine_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quorix {

namespace {

constexpr int kCw = kMachineCharWidth;
constexpr int kRh = kMachineRowHeight;
constexpr int kTitleHeight = 22;  // a panel's title row; its rows follow
constexpr int kPanelPad = 6;      // below the last row
// The view font's ink lies 3 to 16 pixels below the point text is drawn at:
// a row's background and the box cleared for it start one pixel down.
constexpr int kInkTop = 1;

struct Box {
  int l, t, r, b;
  bool Contains(int x, int y) const { return x >= l && x < r && y >= t && y < b; }
};

// ---- layout ----------------------------------------------------------------
constexpr int kLeftX = 8;
constexpr int kLeftW = 736;
constexpr int kRightX = 752;
constexpr int kRightW = 560;

constexpr int kButtonY = 8;
constexpr int kButtonH = 38;
constexpr int kButtonW = 78;
constexpr int kButtonGap = 4;
constexpr int kStatusY = 52;
constexpr int kLastY = 70;

constexpr int PanelHeight(int rows) { return kTitleHeight + rows * kRh + kPanelPad; }
constexpr Box kScreenPanel{kLeftX, 90, kLeftX + kLeftW, 90 + PanelHeight(TextScreen::kRows)};
constexpr Box kMemoryPanel{kLeftX, kScreenPanel.b + 6, kLeftX + kLeftW,
                           kScreenPanel.b + 6 + PanelHeight(kMemoryRows)};
constexpr Box kSourcePanel{kRightX, 8, kRightX + kRightW, 8 + PanelHeight(kSourceRows)};
constexpr Box kRegisterPanel{kRightX, kSourcePanel.b + 6, kRightX + kRightW,
                             kSourcePanel.b + 6 + PanelHeight(7)};
constexpr Box kStackPanel{kRightX, kRegisterPanel.b + 6, kRightX + 256, kMemoryPanel.b};
constexpr Box kWatchPanel{kRightX + 262, kRegisterPanel.b + 6, kRightX + kRightW, kMemoryPanel.b};
static_assert(kMemoryPanel.b <= kMachineWindowHeight - 4);
static_assert(kStackPanel.t + PanelHeight(kStackRows) <= kStackPanel.b);
static_assert(kWatchPanel.t + PanelHeight(kWatchRows) <= kWatchPanel.b);

// The memory panel's boxes in its title row.
constexpr Box kAddressBox{kMemoryPanel.l + 80, kMemoryPanel.t + 2, kMemoryPanel.l + 80 + 22 * kCw,
                          kMemoryPanel.t + 20};
constexpr Box kFollowSiBox{kAddressBox.r + 8, kAddressBox.t, kAddressBox.r + 8 + 7 * kCw,
                           kAddressBox.b};
constexpr Box kFollowDiBox{kFollowSiBox.r + 6, kAddressBox.t, kFollowSiBox.r + 6 + 7 * kCw,
                           kAddressBox.b};

// Source row columns.
constexpr int kLineNumberX = kSourcePanel.l + 6;
constexpr int kMarkX = kSourcePanel.l + 46;
constexpr int kAddressX = kSourcePanel.l + 62;
constexpr int kSourceTextX = kAddressX + 10 * kCw;
constexpr size_t kSourceTextChars = (kSourcePanel.r - 4 - kSourceTextX) / kCw;

struct ButtonFace {
  MachineControl control;
  const char* name;
  const char* key;
};
constexpr ButtonFace kButtons[] = {
    {MachineControl::Continue, "Continue", "F5"},
    {MachineControl::Pause, "Pause", "F6"},
    {MachineControl::StepInto, "Into", "F11"},
    {MachineControl::StepOver, "Over", "F10"},
    {MachineControl::StepOut, "Out", "Sh+F11"},
    {MachineControl::StepBack, "Back", "F7"},
    {MachineControl::Restart, "Restart", "Ctrl+F5"},
    {MachineControl::RunToLine, "To line", "Ctrl+F10"},
    {MachineControl::Breakpoint, "Break", "F9"},
};

constexpr Box ButtonBox(int i) {
  const int l = kLeftX + i * (kButtonW + kButtonGap);
  return {l, kButtonY, l + kButtonW, kButtonY + kButtonH};
}

constexpr Rgb kScreenColors[16] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},   {170, 0, 0},   {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};

// Row ids of the cache: every row of every panel that is drawn on its own.
constexpr int kIdButtons = 0;
constexpr int kIdStatus = kIdButtons + int(std::size(kButtons));
constexpr int kIdLast = kIdStatus + 1;
constexpr int kIdScreenTitle = kIdLast + 1;
constexpr int kIdScreenRows = kIdScreenTitle + 1;
constexpr int kIdMemoryHeader = kIdScreenRows + TextScreen::kRows;
constexpr int kIdMemoryRows = kIdMemoryHeader + 1;
constexpr int kIdSourceRows = kIdMemoryRows + kMemoryRows;
constexpr int kIdRegisterRows = kIdSourceRows + kSourceRows;
constexpr int kRegisterRows = 7;
constexpr int kIdStackRows = kIdRegisterRows + kRegisterRows;
constexpr int kIdWatchRows = kIdStackRows + kStackRows;
constexpr int kRowIds = kIdWatchRows + kWatchRows;

// ---- drawing helpers -------------------------------------------------------

void Text(MachineScreen& s, int x, int y, std::string_view text, Rgb color) {
  if (text.empty()) return;
  s.dc->SetTextColor(color);
  s.dc->TextOut(x, y, text.data(), static_cast<int>(text.size()));
}

void Fill(MachineScreen& s, const Box& b, uint32_t brush, uint32_t pen) {
  s.dc->Select(brush);
  s.dc->Select(pen);
  s.dc->Rectangle(b.l, b.t, b.r, b.b);
}

void AddDamage(MachineScreen& s, const Box& b) {
  MachineBox& d = s.damage;
  if (d.empty()) {
    d = {b.l, b.t, b.r, b.b};
    return;
  }
  d = {std::min(d.l, b.l), std::min(d.t, b.t), std::max(d.r, b.r), std::max(d.b, b.b)};
}

// True when row `id` must be drawn (its key differs from what it shows):
// then its box is cleared black and counts as painted.
bool Row(MachineScreen& s, int id, const Box& box, std::string key) {
  if (!s.redrawAll && s.drawn[size_t(id)] == key) return false;
  s.drawn[size_t(id)] = std::move(key);
  Fill(s, box, s.palette.base.BlackBrush, s.palette.base.BlackPen);
  AddDamage(s, box);
  return true;
}

// A row of a panel's interior.
Box RowBox(const Box& panel, int row) {
  const int y = panel.t + kTitleHeight + row * kRh;
  return {panel.l + 2, y + kInkTop, panel.r - 2, y + kInkTop + kRh};
}

void Panel(MachineScreen& s, const Box& b, std::string_view title) {
  Fill(s, b, s.palette.base.BlackBrush, s.palette.base.GreenPen);
  Text(s, b.l + 6, b.t + 3, title, kWhite);
}

std::string Hex(uint32_t value, int digits) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

int Digits(uint32_t bits) { return bits == 32 ? 8 : 4; }

// ---- panels ----------------------------------------------------------------

void DrawButtons(MachineScreen& s, MachineControl hover) {
  const MachinePalette& p = s.palette;
  for (int i = 0; i < int(std::size(kButtons)); ++i) {
    const ButtonFace& face = kButtons[i];
    const Box b = ButtonBox(i);
    const bool lit = face.control == hover;
    std::string& drawn = s.drawn[size_t(kIdButtons) + size_t(i)];
    if (!s.redrawAll && drawn == (lit ? "1" : "0")) continue;
    drawn = lit ? "1" : "0";
    AddDamage(s, b);
    Fill(s, b, lit ? p.base.WhiteBrush : p.base.BlackBrush, p.base.GreenPen);
    const Rgb color = lit ? kBlack : kYellow;
    const int nameW = static_cast<int>(std::strlen(face.name)) * kCw;
    const int keyW = static_cast<int>(std::strlen(face.key)) * kCw;
    Text(s, b.l + (kButtonW - nameW) / 2, b.t + 3, face.name, color);
    Text(s, b.l + (kButtonW - keyW) / 2, b.t + 20, face.key, lit ? kBlack : kWhite);
  }
}

void DrawStatus(MachineScreen& s, const MachineSnapshot& snap) {
  const size_t chars = kLeftW / kCw;
  std::string status = snap.status.substr(0, chars);
  if (Row(s, kIdStatus, {kLeftX, kStatusY + kInkTop, kLeftX + kLeftW, kStatusY + kInkTop + kRh},
          status))
    Text(s, kLeftX + 2, kStatusY, status, kWhite);
  std::string last = "Last step: " + (snap.last.empty() ? std::string("-") : snap.last);
  if (last.size() > chars) last.resize(chars);
  if (Row(s, kIdLast, {kLeftX, kLastY + kInkTop, kLeftX + kLeftW, kLastY + kInkTop + kRh}, last))
    Text(s, kLeftX + 2, kLastY, last, kYellow);
}

// Runs of cells with the same background, then runs with the same
// foreground; blanks are not drawn.
void DrawScreenRow(MachineScreen& s, const MachineSnapshot& snap, int row, int x0, int y) {
  const ScreenCell* cells = &snap.screen[size_t(row) * TextScreen::kColumns];
  const MachinePalette& p = s.palette;
  for (int c = 0; c < TextScreen::kColumns;) {
    const uint32_t bg = (cells[c].attribute >> 4) & 7;
    int e = c + 1;
    while (e < TextScreen::kColumns && ((cells[e].attribute >> 4) & 7) == bg) ++e;
    if (bg != 0)
      Fill(s, {x0 + c * kCw, y + kInkTop, x0 + e * kCw, y + kInkTop + kRh}, p.screenBrush[bg],
           p.screenPen[bg]);
    c = e;
  }
  char text[TextScreen::kColumns];
  for (int c = 0; c < TextScreen::kColumns;) {
    const uint8_t fg = cells[c].attribute & 0x0F;
    int e = c;
    while (e < TextScreen::kColumns && (cells[e].attribute & 0x0F) == fg) {
      const uint8_t ch = cells[e].character;
      text[e - c] = static_cast<char>(ch == 0 ? ' ' : ch);
      ++e;
    }
    int first = 0, n = e - c;
    while (first < n && text[first] == ' ') ++first;
    while (n > first && text[n - 1] == ' ') --n;
    if (n > first)
      Text(s, x0 + (c + first) * kCw, y, std::string_view(text + first, size_t(n - first)),
           kScreenColors[fg]);
    c = e;
  }
}

void DrawCursor(MachineScreen& s, const MachineSnapshot& snap, int x0, int y0) {
  const ScreenCell cell =
      snap.screen[size_t(snap.cursorRow) * TextScreen::kColumns + snap.cursorColumn];
  const uint32_t fg = cell.attribute & 7;  // the pens of the eight dark colours
  const int x = x0 + snap.cursorColumn * kCw, y = y0 + snap.cursorRow * kRh;
  const uint32_t index = fg == ((cell.attribute >> 4) & 7) ? 7 - fg : fg;
  const uint32_t brush = index == 0 ? s.palette.base.WhiteBrush : s.palette.screenBrush[index];
  const uint32_t pen = index == 0 ? s.palette.base.WhitePen : s.palette.screenPen[index];
  Fill(s, {x, y + kInkTop + kRh - 3, x + kCw, y + kInkTop + kRh - 1}, brush, pen);
}

void DrawTextScreen(MachineScreen& s, const MachineSnapshot& snap) {
  const Box& b = kScreenPanel;
  char title[64] = "Screen 80x25";
  if (snap.hasScreen)
    std::snprintf(title, sizeof title, "Screen 80x25   cursor row %d, column %d%s", snap.cursorRow,
                  snap.cursorColumn, snap.cursorVisible ? "" : " (hidden)");
  if (Row(s, kIdScreenTitle, {b.l + 2, b.t + 2, b.r - 2, b.t + kTitleHeight - 2}, title))
    Text(s, b.l + 6, b.t + 3, title, kWhite);
  const int x0 = b.l + 8, y0 = b.t + kTitleHeight;
  for (int row = 0; row < TextScreen::kRows; ++row) {
    std::string key;
    if (snap.hasScreen) {
      key.assign(reinterpret_cast<const char*>(&snap.screen[size_t(row) * TextScreen::kColumns]),
                 TextScreen::kColumns * sizeof(ScreenCell));
      if (snap.cursorVisible && snap.cursorRow == row) key += char(snap.cursorColumn);
    }
    if (!Row(s, kIdScreenRows + row, RowBox(b, row), key) || !snap.hasScreen) continue;
    DrawScreenRow(s, snap, row, x0, y0 + row * kRh);
    if (snap.cursorVisible && snap.cursorRow == row) DrawCursor(s, snap, x0, y0);
  }
}

void DrawMemoryHeader(MachineScreen& s, const MachineSnapshot& snap) {
  const MachinePalette& p = s.palette;
  std::string shown = snap.editingAddress ? snap.addressInput + "_" : snap.memoryName;
  if (shown.size() > 21) shown.erase(0, shown.size() - 21);
  const Box header{kAddressBox.l, kAddressBox.t, kFollowDiBox.r, kAddressBox.b};
  if (!Row(s, kIdMemoryHeader, header, (snap.editingAddress ? "E" : "N") + shown)) return;
  Fill(s, kAddressBox, snap.editingAddress ? p.base.WhiteBrush : p.base.BlackBrush,
       p.base.WhitePen);
  Text(s, kAddressBox.l + 5, kAddressBox.t + 1, shown, snap.editingAddress ? kBlack : kYellow);
  const bool si = snap.memoryName == "DS:SI", di = snap.memoryName == "ES:DI";
  Fill(s, kFollowSiBox, si ? p.greenBrush : p.base.BlackBrush, p.base.GreenPen);
  Text(s, kFollowSiBox.l + kCw, kFollowSiBox.t + 1, "DS:SI", si ? kBlack : kYellow);
  Fill(s, kFollowDiBox, di ? p.greenBrush : p.base.BlackBrush, p.base.GreenPen);
  Text(s, kFollowDiBox.l + kCw, kFollowDiBox.t + 1, "ES:DI", di ? kBlack : kYellow);
}

void DrawMemoryRow(MachineScreen& s, const MachineSnapshot& snap, int row) {
  const Box& b = kMemoryPanel;
  const int y = b.t + kTitleHeight + row * kRh;
  const uint32_t offset = snap.memoryOffset + uint32_t(row) * kMemoryColumns;
  std::string address =
      snap.bits == 32 ? Hex(offset, 8) : Hex(snap.memorySegment, 4) + ":" + Hex(offset & 0xFFFF, 4);
  std::string key = address;
  for (int col = 0; col < kMemoryColumns; ++col) {
    const int i = row * kMemoryColumns + col;
    key += char(snap.memory[i]);
    key += char((snap.memoryReadable[i] ? 1 : 0) | (snap.memoryWritten[i] ? 2 : 0));
  }
  if (snap.state == MachineState::None) key.clear();
  if (!Row(s, kIdMemoryRows + row, RowBox(b, row), key) || key.empty()) return;
  const int hexX = b.l + 6 + (snap.bits == 32 ? 10 : 11) * kCw;
  const int charX = hexX + kMemoryColumns * 3 * kCw + kCw;
  Text(s, b.l + 6, y, address, kWhite);
  std::string chars(kMemoryColumns, ' ');
  for (int col = 0; col < kMemoryColumns; ++col) {
    const int i = row * kMemoryColumns + col;
    const int x = hexX + col * 3 * kCw;
    if (!snap.memoryReadable[i]) {
      Text(s, x, y, "--", kGreen);
      continue;
    }
    const uint8_t v = snap.memory[i];
    if (snap.memoryWritten[i])
      Fill(s, {x - 2, y + kInkTop, x + 2 * kCw + 2, y + kInkTop + kRh}, s.palette.redBrush,
           s.palette.base.RedPen);
    Text(s, x, y, Hex(v, 2), snap.memoryWritten[i] ? kWhite : kYellow);
    chars[col] = v >= 0x20 && v < 0x7F ? static_cast<char>(v) : '.';
  }
  Text(s, charX, y, chars, kYellow);
}

void DrawSourceRow(MachineScreen& s, const MachineSnapshot& snap, int index) {
  const Box rowBox = RowBox(kSourcePanel, index);
  const SourceRow* row = size_t(index) < snap.source.size() ? &snap.source[size_t(index)] : nullptr;
  const bool next = row != nullptr && row->line == snap.nextLine && snap.nextLine != 0;
  const bool selected = row != nullptr && row->line == snap.selectedLine;
  std::string key;
  if (row != nullptr) {
    key = std::to_string(row->line) + (next ? "N" : "") + (selected ? "S" : "") +
          (row->breakpoint ? "B" : "") +
          (row->hasBytes ? Hex(row->address, Digits(snap.bits)) : std::string("-")) + "|" +
          row->text;
  }
  if (!Row(s, kIdSourceRows + index, rowBox, key) || row == nullptr) return;
  const MachinePalette& p = s.palette;
  const int y = rowBox.t - kInkTop;
  if (next) Fill(s, rowBox, p.greenBrush, p.base.GreenPen);
  if (selected) {
    s.dc->Select(next ? p.greenBrush : s.dc->StockBlackBrush());
    s.dc->Select(p.base.WhitePen);
    s.dc->Rectangle(rowBox.l, rowBox.t, rowBox.r, rowBox.b);
  }
  const Rgb color = next ? kBlack : kYellow;
  char number[12];
  std::snprintf(number, sizeof number, "%4u", row->line);
  Text(s, kLineNumberX, y, number, next ? kBlack : kWhite);
  if (row->breakpoint) {
    s.dc->Select(p.redBrush);
    s.dc->Select(p.base.RedPen);
    s.dc->Ellipse(kMarkX, y + 4, kMarkX + 12, y + 16);
  }
  if (row->hasBytes) Text(s, kAddressX, y, Hex(row->address, Digits(snap.bits)), color);
  Text(s, kSourceTextX, y, std::string_view(row->text).substr(0, kSourceTextChars), color);
}

void DrawRegister(MachineScreen& s, const MachineSnapshot& snap, Reg r, int x, int y) {
  const char* name = RegisterName(r, snap.bits);
  const int index = std::clamp(static_cast<int>(r), 0, kRegCount - 1);
  uint32_t value = snap.regs[index];
  const int digits = Digits(snap.bits);
  if (snap.bits != 32) value &= 0xFFFF;
  // The label with its colon, a blank, then the digits: never on each other.
  Text(s, x, y, std::string(name) + ":", kWhite);
  const int hexX = x + 8 * kCw;
  const bool changed = (snap.changed >> index) & 1;
  if (changed)
    Fill(s, {hexX - 2, y + kInkTop, hexX + digits * kCw + 2, y + kInkTop + kRh}, s.palette.redBrush,
         s.palette.base.RedPen);
  Text(s, hexX, y, Hex(value, digits), changed ? kWhite : kYellow);
  Text(s, hexX + (digits + 2) * kCw, y, std::to_string(value), kYellow);
}

// The key of a register row: the values it shows and which changed.
std::string RegisterKey(const MachineSnapshot& snap, std::initializer_list<Reg> regs) {
  std::string key;
  for (Reg r : regs) {
    const int i = static_cast<int>(r);
    key += Hex(snap.regs[i], 8) + ((snap.changed >> i) & 1 ? "*" : " ");
  }
  return key;
}

void DrawSegments(MachineScreen& s, const MachineSnapshot& snap, int y) {
  static constexpr Reg kSegments[] = {Reg::Cs, Reg::Ds, Reg::Es, Reg::Ss, Reg::Fs, Reg::Gs};
  int x = kRegisterPanel.l + 8;
  for (Reg r : kSegments) {
    const int index = static_cast<int>(r);
    const bool changed = (snap.changed >> index) & 1;
    Text(s, x, y, std::string(RegisterName(r, snap.bits)) + ":", kWhite);
    const int hexX = x + 4 * kCw;
    if (changed)
      Fill(s, {hexX - 2, y + kInkTop, hexX + 4 * kCw + 2, y + kInkTop + kRh}, s.palette.redBrush,
           s.palette.base.RedPen);
    Text(s, hexX, y, Hex(snap.regs[index] & 0xFFFF, 4), changed ? kWhite : kYellow);
    x += 10 * kCw;
  }
}

void DrawFlags(MachineScreen& s, const MachineSnapshot& snap, int y) {
  struct Flag {
    const char* name;
    uint32_t bit;
  };
  static constexpr Flag kFlags[] = {{"CF", kFlagCF}, {"PF", kFlagPF}, {"AF", kFlagAF},
                                    {"ZF", kFlagZF}, {"SF", kFlagSF}, {"IF", kFlagIF},
                                    {"DF", kFlagDF}, {"OF", kFlagOF}};
  const uint32_t flags = snap.regs[static_cast<int>(Reg::Eflags)];
  int x = kRegisterPanel.l + 8;
  for (const Flag& f : kFlags) {
    const bool on = (flags & f.bit) != 0;
    if (on)
      Fill(s, {x - 2, y + kInkTop, x + 2 * kCw + 2, y + kInkTop + kRh}, s.palette.greenBrush,
           s.palette.base.GreenPen);
    Text(s, x, y, f.name, on ? kBlack : kYellow);
    Text(s, x + 3 * kCw, y, on ? "1" : "0", kWhite);
    x += 6 * kCw;
  }
}

void DrawRegisters(MachineScreen& s, const MachineSnapshot& snap) {
  const Box& b = kRegisterPanel;
  static constexpr Reg kLeft[] = {Reg::Eax, Reg::Ebx, Reg::Ecx, Reg::Edx, Reg::Eip};
  static constexpr Reg kRight[] = {Reg::Esi, Reg::Edi, Reg::Ebp, Reg::Esp, Reg::Eflags};
  const int y0 = b.t + kTitleHeight;
  for (int i = 0; i < 5; ++i) {
    if (!Row(s, kIdRegisterRows + i, RowBox(b, i), RegisterKey(snap, {kLeft[i], kRight[i]})))
      continue;
    DrawRegister(s, snap, kLeft[i], b.l + 8, y0 + i * kRh);
    DrawRegister(s, snap, kRight[i], b.l + 280, y0 + i * kRh);
  }
  if (Row(s, kIdRegisterRows + 5, RowBox(b, 5),
          RegisterKey(snap, {Reg::Cs, Reg::Ds, Reg::Es, Reg::Ss, Reg::Fs, Reg::Gs})))
    DrawSegments(s, snap, y0 + 5 * kRh);
  if (Row(s, kIdRegisterRows + 6, RowBox(b, 6), Hex(snap.regs[int(Reg::Eflags)], 8)))
    DrawFlags(s, snap, y0 + 6 * kRh);
}

void DrawStack(MachineScreen& s, const MachineSnapshot& snap) {
  const Box& b = kStackPanel;
  const int digits = Digits(snap.bits);
  for (int i = 0; i < kStackRows; ++i) {
    const StackRow* row = size_t(i) < snap.stack.size() ? &snap.stack[size_t(i)] : nullptr;
    std::string key;
    if (row != nullptr)
      key = Hex(row->address, digits) + (row->readable ? Hex(row->value, digits) : "-") +
            (row->sp ? "S" : "") + (row->bp ? "B" : "") + std::to_string(row->returnLine);
    if (!Row(s, kIdStackRows + i, RowBox(b, i), key) || row == nullptr) continue;
    const int x = b.l + 6, y = b.t + kTitleHeight + i * kRh;
    Text(s, x, y, Hex(row->address, digits), kWhite);
    const int valueX = x + (digits + 1) * kCw;
    Text(s, valueX, y, row->readable ? Hex(row->value, digits) : std::string(digits, '-'), kYellow);
    const int markX = valueX + (digits + 1) * kCw;
    if (row->sp) Text(s, markX, y, "SP", kGreen);
    if (row->bp) Text(s, markX + 3 * kCw, y, "BP", kGreen);
    if (row->returnLine != 0)
      Text(s, markX + 6 * kCw, y, "ret " + std::to_string(row->returnLine), kWhite);
  }
}

void DrawWatches(MachineScreen& s, const MachineSnapshot& snap) {
  const Box& b = kWatchPanel;
  const size_t chars = (b.r - b.l - 12) / kCw;
  for (int i = 0; i < kWatchRows; ++i) {
    std::string name, value;
    if (size_t(i) < snap.watches.size()) {
      name = snap.watches[size_t(i)].name.substr(0, 8);
      value = WatchValueText(snap.watches[size_t(i)]);
      if (value.size() > chars - 9) value.replace(chars - 11, std::string::npos, "..");
    } else if (i == 0 && snap.state != MachineState::None) {
      value = "no data labels";
    }
    std::string key = name;
    key += '|';
    key += value;
    if (!Row(s, kIdWatchRows + i, RowBox(b, i), std::move(key))) continue;
    const int y = b.t + kTitleHeight + i * kRh;
    Text(s, b.l + 6, y, name, kWhite);
    Text(s, b.l + 6 + (name.empty() ? 0 : 9 * kCw), y, value, name.empty() ? kGreen : kYellow);
  }
}

void DrawFrames(MachineScreen& s, const MachineSnapshot& snap) {
  Fill(s, {0, 0, s.dc->Width(), s.dc->Height()}, s.palette.base.BlackBrush,
       s.palette.base.BlackPen);
  AddDamage(s, {0, 0, s.dc->Width(), s.dc->Height()});
  Panel(s, kScreenPanel, "");
  Panel(s, kMemoryPanel, "Memory");
  Panel(s, kSourcePanel, "Source");
  Panel(s, kRegisterPanel, snap.bits == 32 ? "Registers (32-bit code)" : "Registers (16-bit code)");
  Panel(s, kStackPanel, "Stack (SS:SP up)");
  Panel(s, kWatchPanel, "Data");
}

}  // namespace

Rgb ScreenColor(uint32_t index) { return kScreenColors[index & 15]; }

const char* RegisterName(Reg r, uint32_t bits) {
  static constexpr const char* k16[] = {"AX", "CX",    "DX", "BX", "SP", "BP", "SI", "DI",
                                        "IP", "FLAGS", "ES", "CS", "SS", "DS", "FS", "GS"};
  static constexpr const char* k32[] = {"EAX", "ECX",    "EDX", "EBX", "ESP", "EBP", "ESI", "EDI",
                                        "EIP", "EFLAGS", "ES",  "CS",  "SS",  "DS",  "FS",  "GS"};
  const int i = static_cast<int>(r);
  if (i < 0 || i >= kRegCount) return "";
  return bits == 32 ? k32[i] : k16[i];
}

std::string WatchValueText(const WatchRow& w) {
  if (w.text) {
    std::string t = "\"";
    for (uint8_t c : w.bytes) t.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.');
    if (w.bytes.size() < w.size) t += "..";
    return t + "\"";
  }
  const uint32_t unit = w.unit == 4 || w.unit == 2 ? w.unit : 1;
  const size_t elements = w.bytes.size() / unit;
  std::string t;
  uint32_t last = 0;
  for (size_t e = 0; e < elements; ++e) {
    uint32_t v = 0;
    for (uint32_t k = 0; k < unit; ++k) v |= uint32_t(w.bytes[e * unit + k]) << (8 * k);
    if (!t.empty()) t += ' ';
    t += Hex(v, int(unit) * 2);
    last = v;
  }
  if (elements == 1 && w.size <= unit) t += " (" + std::to_string(last) + ")";
  if (w.bytes.size() < w.size) t += " ..";
  return t;
}

void CreateMachineObjects(MachineScreen& screen) {
  Canvas* dc = screen.dc;
  if (dc == nullptr) return;
  Screen base{dc, {}, 0};
  CreateDrawingObjects(base);
  MachinePalette& p = screen.palette;
  p.base = base.palette;
  p.greenBrush = dc->CreateSolidBrush(kGreen);
  p.redBrush = dc->CreateSolidBrush(kRed);
  for (uint32_t i = 0; i < 8; ++i) {
    p.screenBrush[i] = dc->CreateSolidBrush(kScreenColors[i]);
    p.screenPen[i] = dc->CreatePen(kScreenColors[i]);
  }
  screen.font = dc->CreateViewFont();
  dc->Select(screen.font);
  dc->SetBackgroundTransparent();
  screen.redrawAll = true;
}

void DrawMachineWindow(MachineScreen& s, const MachineSnapshot& snap) {
  s.damage = {};
  if (s.dc == nullptr) return;
  s.drawn.resize(kRowIds + 1);
  // The width of the code changes the register panel's title and every row.
  const std::string bits = snap.bits == 32 ? "32" : "16";
  if (s.drawn[kRowIds] != bits) s.redrawAll = true;
  s.drawn[kRowIds] = bits;
  if (s.redrawAll) DrawFrames(s, snap);
  DrawButtons(s, snap.hover);
  DrawStatus(s, snap);
  DrawTextScreen(s, snap);
  DrawMemoryHeader(s, snap);
  for (int row = 0; row < kMemoryRows; ++row) DrawMemoryRow(s, snap, row);
  for (int row = 0; row < kSourceRows; ++row) DrawSourceRow(s, snap, row);
  DrawRegisters(s, snap);
  DrawStack(s, snap);
  DrawWatches(s, snap);
  s.redrawAll = false;
}

MachineHit HitMachineWindow(const MachineSnapshot& snap, int x, int y) {
  MachineHit hit;
  for (int i = 0; i < int(std::size(kButtons)); ++i) {
    if (ButtonBox(i).Contains(x, y)) {
      hit.control = kButtons[i].control;
      return hit;
    }
  }
  if (kAddressBox.Contains(x, y)) hit.control = MachineControl::MemoryAddress;
  if (kFollowSiBox.Contains(x, y)) hit.control = MachineControl::FollowSi;
  if (kFollowDiBox.Contains(x, y)) hit.control = MachineControl::FollowDi;
  if (hit.control != MachineControl::None) return hit;
  const int sourceTop = kSourcePanel.t + kTitleHeight;
  if (kSourcePanel.Contains(x, y) && y >= sourceTop) {
    const size_t row = size_t(y - sourceTop) / kRh;
    if (row < snap.source.size() && sourceTop + int(row + 1) * kRh <= kSourcePanel.b)
      hit.line = snap.source[row].line;
    return hit;
  }
  const int watchTop = kWatchPanel.t + kTitleHeight;
  if (kWatchPanel.Contains(x, y) && y >= watchTop) {
    const size_t row = size_t(y - watchTop) / kRh;
    if (row < snap.watches.size() && row < size_t(kWatchRows)) hit.watch = static_cast<int>(row);
  }
  return hit;
}

}  // namespace quorix
