// The menu panel and the views of the workbench screens. Every routine takes
// the address of a ContextRecord, works on a private copy and copies it back
// (the variables panel only reads). Coordinates are back-buffer pixels.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/context_record.h"
#include "model/workspace.h"
#include "screen/drawing.h"
#include "sim/cpu_state.h"
#include "sim/run_session.h"

namespace quorix {

// Rows of the source view, the opcode table and the listing: y = 15, 45, ...
// while y is below three quarters of the back buffer's height.
inline constexpr uint32_t kFirstRowY = 15;
inline constexpr uint32_t kRowStep = 30;

// The menu column and the tall bar; sets state to the id of the entry on
// which the left button is down. Also sets the text mode all views use.
void DrawMenuPanel(ContextRecord* record, Screen& screen);
// The id of the menu entry (or the tall bar) under the point; 0 when none.
uint32_t MenuEntryAt(uint32_t x, uint32_t y);

// The compile screen's two columns. The source view's "Compile" button sets
// state2 to CompileRequested in the copy.
void DrawOpcodeTable(ContextRecord* record, Screen& screen, Workspace& ws);
void DrawSourceView(ContextRecord* record, Screen& screen, Workspace& ws);

// The error display of the compile screen: "Error at Line:", the number,
// the line's text and, in the rows under it, the reason (word-wrapped to the
// status column) while state2 is CompileFailed; a short notice and the
// output path while it is WriteFailed. outputPath is the file of the last run.
void DrawCompileStatus(const ContextRecord* record, Screen& screen, Workspace& ws,
                       std::string_view outputPath, std::string_view reason = {});
// One line under the views when the last load had to cut a text to fit.
void DrawLoadNotice(Screen& screen, const Workspace& ws);
// After a successful compile with warnings: their number at (160, 490) and,
// under it in the console strip's place, the first of them, one a row
// (nothing is drawn when there are none).
void DrawWarningsNotice(Screen& screen, uint32_t count, std::span<const std::string> first);
// The warning rows reach past the console strip to the back buffer's right
// edge (70 characters from x 160); this clears all of their place.
inline constexpr int kWarningRowsRight = 800;
void ClearWarningRows(Screen& screen);
// The rows of a text word-wrapped to rows of at most `columns` characters
// (a word longer than a row is cut).
std::vector<std::string> WrapText(std::string_view text, size_t columns);

// The debug screen: listing rows, column heads, scroll buttons, the Run box
// and, while the pointer is on Run, the register panel. Leaves state2 at
// RunMarker when the pointer is on the Run box, else Idle.
void DrawListingView(ContextRecord* record, CpuState* cpu, Screen& screen, Workspace& ws);

// The console strip under the work area: the last lines a running program
// printed, in the view font. ClearConsoleStrip blanks it on other screens.
inline constexpr int kConsoleLeft = 150;
inline constexpr int kConsoleTop = 513;
inline constexpr int kConsoleRight = 750;
inline constexpr int kConsoleBottom = 598;
inline constexpr size_t kConsoleRows = 5;
inline constexpr int kConsoleRowStep = 16;
inline constexpr size_t kConsoleColumns = 70;
void DrawConsoleStrip(Screen& screen, const ConsoleLog& console);
void ClearConsoleStrip(Screen& screen);

// Every field of the record with its label; changes nothing.
void DrawVariablesPanel(const ContextRecord* record, Screen& screen);

// Label i (0-based) of the record's fields as the variables panel shows it.
std::string_view VariableLabel(int i);

// Fixed texts of the screens.
inline constexpr char kErrorAtLine[] = "Error at Line:";
inline constexpr char kWriteFailedText[] = "Output not written:";
inline constexpr char kColumnHead1[] = "CS(Dec) - Offset(Hex)";
inline constexpr char kColumnHead2[] = "OpCode(P)";
inline constexpr char kRunText[] = "Run";
inline constexpr char kCompileText[] = "Compile";

}  // namespace quorix
