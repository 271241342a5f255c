// The machine window: a second window of the workbench that shows the state
// of the program the debug screen runs, drawn from a plain snapshot the app
// fills. Panels: the controls, a status line and the last step in words
// (top left), the program's 80x25 text screen and a memory dump (left), the
// source around the next line, the registers and flags, the stack and the
// program's data labels (right). Everything is drawn into the window's own
// back buffer through Canvas, with the workbench's colours and view font.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"
#include "screen/drawing.h"
#include "sim/machine.h"
#include "sim/text_screen.h"

namespace quorix {

inline constexpr int kMachineWindowWidth = 1320;
inline constexpr int kMachineWindowHeight = 688;
inline constexpr int kMachineCharWidth = 9;  // the view font's advance
inline constexpr int kMachineRowHeight = 16;
inline constexpr int kSourceRows = 14;
inline constexpr int kStackRows = 12;
inline constexpr int kMemoryRows = 8;
inline constexpr int kMemoryColumns = 16;
inline constexpr int kMemoryBytes = kMemoryRows * kMemoryColumns;
inline constexpr int kWatchRows = 15;

enum class MachineState { None, Paused, Running, Ended, Stopped };

// The buttons and boxes of the window that a click acts on.
enum class MachineControl {
  None,
  Continue,
  Pause,
  StepInto,
  StepOver,
  StepOut,
  StepBack,
  Restart,
  RunToLine,
  Breakpoint,
  MemoryAddress,  // the memory panel's address box: type an address or a label
  FollowSi,       // the memory panel follows DS:SI
  FollowDi,       // or ES:DI
};

struct SourceRow {
  uint32_t line = 0;
  uint32_t address = 0;  // as IP holds it; meaningful when hasBytes
  bool hasBytes = false;
  bool breakpoint = false;
  std::string text;
};

struct StackRow {
  uint32_t address = 0;  // offset in SS (or flat)
  uint32_t value = 0;    // a word in 16-bit code, a dword in 32-bit code
  bool readable = true;
  bool sp = false;
  bool bp = false;
  uint32_t returnLine = 0;  // the line a return address returns to (0: none)
};

struct WatchRow {
  std::string name;
  uint32_t address = 0;
  uint32_t unit = 1;           // bytes per element: 1, 2 or 4
  bool text = false;           // defined with a string: shown as its characters
  std::vector<uint8_t> bytes;  // the current value (its first bytes)
  uint32_t size = 0;           // all its bytes
};

// What the machine window shows, filled by the app from the running program.
struct MachineSnapshot {
  MachineState state = MachineState::None;
  std::string status;  // one line: where the program is, or why it stopped
  std::string last;    // the last step in words
  uint32_t bits = 16;
  uint64_t steps = 0;
  uint32_t nextLine = 0;  // the line of the next instruction (0: none)
  uint32_t selectedLine = 0;
  std::vector<uint32_t> breakpoints;  // lines, ascending
  std::vector<SourceRow> source;      // the rows in view, top first

  uint32_t regs[kRegCount] = {};
  uint32_t changed = 0;  // bit r: register r changed in the last step

  std::vector<StackRow> stack;  // from SS:SP up

  std::string memoryName;  // what the memory panel follows: a label, DS:SI, an address
  uint32_t memorySegment = 0;
  uint32_t memoryOffset = 0;
  std::array<uint8_t, kMemoryBytes> memory{};
  std::array<bool, kMemoryBytes> memoryReadable{};
  std::array<bool, kMemoryBytes> memoryWritten{};  // by the last step
  bool editingAddress = false;
  std::string addressInput;

  std::vector<WatchRow> watches;

  std::array<ScreenCell, TextScreen::kRows * TextScreen::kColumns> screen{};
  int cursorRow = 0;
  int cursorColumn = 0;
  bool cursorVisible = false;
  bool hasScreen = false;

  MachineControl hover = MachineControl::None;  // the button under the pointer
};

// The window's drawing objects: the workbench's colours and the text
// screen's sixteen.
struct MachinePalette {
  Palette base;
  uint32_t greenBrush = 0;
  uint32_t redBrush = 0;
  uint32_t screenBrush[8] = {};  // background colours 0 to 7
  uint32_t screenPen[8] = {};
};

// A rectangle of the window: l..r-1, t..b-1 (empty when l >= r).
struct MachineBox {
  int l = 0, t = 0, r = 0, b = 0;
  bool empty() const { return l >= r || t >= b; }
};

struct MachineScreen {
  Canvas* dc = nullptr;
  MachinePalette palette;
  uint32_t font = 0;
  // What each row of the window showed when it was last drawn: a draw
  // paints only the rows that change, unless redrawAll is set.
  std::vector<std::string> drawn;
  bool redrawAll = true;
  MachineBox damage;  // what the last draw painted
};

// Makes the objects on a freshly opened window's back buffer; the next draw
// paints everything.
void CreateMachineObjects(MachineScreen& screen);
// Brings the window up to the snapshot: the rows that differ from what it
// shows (every row after CreateMachineObjects or with redrawAll set).
void DrawMachineWindow(MachineScreen& screen, const MachineSnapshot& snapshot);

// What lies at a point of the window: a control, a source line (its
// number), or a watch (its index).
struct MachineHit {
  MachineControl control = MachineControl::None;
  uint32_t line = 0;
  int watch = -1;
};
MachineHit HitMachineWindow(const MachineSnapshot& snapshot, int x, int y);

// The colour of a text-screen colour number (0 to 15).
Rgb ScreenColor(uint32_t index);

// Register names as the code width has them ("AX" / "EAX"; segment
// registers and "IP"/"EIP", "FLAGS"/"EFLAGS").
const char* RegisterName(Reg r, uint32_t bits);

// The value of a watch as the panel writes it: its characters for a string,
// else its elements in hexadecimal, with the decimal value of a single
// element beside it.
std::string WatchValueText(const WatchRow& watch);

}  // namespace quorix
