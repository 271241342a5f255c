#include "app/step_screen.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "app/assemble_text.h"
#include "app/loading.h"
#include "app/output_file.h"
#include "asm/driver.h"
#include "model/record_views.h"
#include "screen/views.h"
#include "sim/simulator.h"

namespace quorix {

namespace {

// Rows of the load screen's notices: 72 characters from x = 160.
constexpr int kNoticeX = 160;
constexpr int kNoticeRowStep = 20;
constexpr size_t kNoticeRowChars = 72;
constexpr size_t kNoticeFolderRows = 8;

void PutRow(Screen& screen, int y, std::string_view text) {
  PutText(screen, kNoticeX, y, text.data(), static_cast<uint32_t>(text.size()));
}

// Which file is missing and the folder it was looked for in (in rows; a
// folder longer than the rows hold keeps its end), then the way out.
void DrawOpcodeMissing(Screen& screen, int y, std::string_view path, std::string_view folder) {
  std::string head(path);
  head += kOpcodeMissing;
  PutRow(screen, y, std::string_view(head).substr(0, kNoticeRowChars));
  std::string shown(folder.empty() ? "(the current folder cannot be told)" : folder);
  constexpr size_t kRoom = kNoticeFolderRows * kNoticeRowChars;
  if (shown.size() > kRoom) shown = ".." + shown.substr(shown.size() - (kRoom - 2));
  for (size_t at = 0; at < shown.size(); at += kNoticeRowChars) {
    y += kNoticeRowStep;
    PutRow(screen, y, std::string_view(shown).substr(at, kNoticeRowChars));
  }
  PutRow(screen, y + kNoticeRowStep, kOpcodeMissingHint);
}

}  // namespace

void PollEditor(ContextRecord* record, Shell& shell, bool withMessage) {
  ContextRecord r = *record;
  char opcodePath[64];
  shell.ws->ReadCString(r.lpSourceForCompilerFileName, opcodePath);
  // One byte more than the path buffer holds, to tell a title that fits
  // from one that had to be cut.
  char title[Workspace::kPathBufferSize + 1];
  if (!shell.platform.FindWindowTitle(kEditorClass, title, sizeof(title))) {
    if (withMessage) {
      r.state2 = Idle;
      PutText(shell.screen, kNoticeX, 30, kEditorMissing, sizeof(kEditorMissing) - 1);
      // Both missing: the opcode file is named under the editor's line.
      if (!shell.platform.FileExists(opcodePath))
        DrawOpcodeMissing(shell.screen, 30 + 2 * kNoticeRowStep, opcodePath,
                          shell.platform.CurrentFolder());
    }
    *record = r;
    return;
  }
  // The whole title is the path; one too long for the path buffer is kept
  // as far as it fits, for the screen to name, and is not loaded.
  const size_t length = strnlen(title, sizeof(title) - 1);
  const bool tooLong = length >= Workspace::kPathBufferSize;
  std::span<uint8_t> path = shell.ws->Resolve(r.lpSourceCodeFileName, Workspace::kPathBufferSize);
  if (path.data() != nullptr) {
    const size_t n = std::min<size_t>(length, path.size() - 1);
    std::memcpy(path.data(), title, n);
    path[n] = 0;
  }
  if (shell.platform.FileExists(opcodePath)) {
    LoadWorkspace(&r, *shell.ws, shell.platform, tooLong || path.data() == nullptr);
    // Nothing of the previous program stays on the debug screen.
    shell.run.Drop();
    if (shell.cpu != nullptr) *shell.cpu = CpuState{};
    r.state = StateCompile;
  } else if (withMessage) {
    DrawOpcodeMissing(shell.screen, 30, opcodePath, shell.platform.CurrentFolder());
  }
  *record = r;
}

AsmRegions RegionsOf(const ContextRecord& record, Workspace& ws) {
  return {SourceOf(record, ws), LineRecordsOf(record, ws), OutputOf(record, ws), record.AddrFunct};
}

void CompileSource(ContextRecord* record, Shell& shell) {
  ContextRecord r = *record;
  Workspace& ws = *shell.ws;
  AsmEnv env{ws, shell.platform, *shell.symbols, RegionsOf(r, ws)};
  AssembleReport report = AssembleSource(env);
  shell.outputPath.clear();
  shell.compileError = report.error;
  if (!report.ok) {
    r.state2 = CompileFailed;
    r.state3 = report.errorLine;
  } else {
    const OutputWrite written =
        WriteOutputFile(shell.platform, SourcePathOf(r, ws), ws.load().sourceIdentity, nullptr,
                        env.regions.output.first(report.bytes));
    shell.outputPath = written.path;
    if (!written.ok) shell.compileError = written.error;
    r.state2 = written.ok ? Compiled : WriteFailed;
  }
  // The Run box executes only a program whose .com file was written. The
  // listing moves to the entry when Debug is opened; the source view shares
  // PosSCL and keeps its place.
  report.ok = r.state2 == Compiled;
  if (shell.run.AfterCompile(env.regions, ws, report) != 0) shell.run.FillCpuState(shell.cpu);
  const bool listed = r.state2 == Compiled;
  shell.warningCount = listed ? static_cast<uint32_t>(report.warnings.size()) : 0;
  shell.warnings = listed ? WarningMessages(env.regions.source, report, kConsoleRows)
                          : std::vector<std::string>();
  *record = r;
}

void SimulateStep(ContextRecord* record, CpuState* cpu, AsmEnv& env) {
  ContextRecord r = *record;
  env.regions = RegionsOf(r, env.ws);
  SimulateSourceLine(&r.PosSCL, cpu, env);
  if (r.MouButt == 0) r.state = StateDebug;
  *record = r;
}

namespace {

void CompileScreen(ContextRecord* r, Shell& shell) {
  Workspace& ws = *shell.ws;
  // Only a source loaded whole is compiled; the notice says why not.
  if (r->state2 == CompileRequested && ws.load().source != TextStatus::Loaded) r->state2 = Idle;
  if (r->state2 != CompileRequested) {
    DrawOpcodeTable(r, shell.screen, ws);
    DrawSourceView(r, shell.screen, ws);
  }
  if (r->state2 == CompileRequested) {
    CompileSource(r, shell);
  } else {
    DrawCompileStatus(r, shell.screen, ws, shell.outputPath, shell.compileError);
    if (r->state2 == Compiled && shell.warningCount != 0) {
      DrawWarningsNotice(shell.screen, shell.warningCount, shell.warnings);
      shell.stripUsed = true;
    }
  }
  DrawLoadNotice(shell.screen, ws);
}

void DebugScreen(ContextRecord* r, Shell& shell, bool entered) {
  const bool executes = shell.run.Executes(*shell.ws);
  if (entered) ++shell.debugEntries;
  if (executes && entered) {
    // Entering Debug from another screen starts the program over.
    const uint32_t entry = shell.run.Restart();
    if (entry != 0) r->PosSCL = entry;
    shell.run.FillCpuState(shell.cpu);
  }
  DrawListingView(r, shell.cpu, shell.screen, *shell.ws);
  if (r->state2 == RunMarker) {
    if (executes) {
      shell.run.Step(&r->PosSCL, shell.cpu);
    } else {
      AsmEnv env{*shell.ws, shell.platform, *shell.symbols, {}};
      SimulateStep(r, shell.cpu, env);
    }
    r->PosSCL += 1;
  }
  if (executes) DrawConsoleStrip(shell.screen, shell.run.console());
}

}  // namespace

void StepScreen(ContextRecord* record, Shell& shell, uint32_t msg, uint32_t wParam,
                uint32_t lParam) {
  if (shell.screen.dc == nullptr || shell.ws == nullptr) return;
  ContextRecord r = *record;
  Screen& screen = shell.screen;

  screen.dc->Select(screen.palette.BlackBrush);
  // A long error line runs past the work area's right edge: the strip
  // beside the area is cleared with it, so none of it stays on other screens.
  screen.dc->Select(screen.palette.BlackPen);
  screen.dc->Rectangle(751, 10, 800, 510);
  screen.dc->Select(screen.palette.RedPen);
  screen.dc->Rectangle(150, 10, 750, 510);
  const bool enteredDebug = r.state == StateDebug && shell.shownState != StateDebug;
  shell.shownState = r.state;
  // The strip under the work area: the running program's console, or the
  // compile screen's warnings, which go with the screen that drew them.
  if ((shell.run.HasEngine() || shell.stripUsed) &&
      (r.state != StateDebug || !shell.run.Executes(*shell.ws))) {
    ClearConsoleStrip(screen);
    if (shell.stripUsed) ClearWarningRows(screen);
    shell.stripUsed = false;
  }

  switch (r.state) {
    case StateStart:
      DrawEmblem(screen, kEmblemX, kEmblemY);
      PollEditor(&r, shell, false);
      break;
    case StateVariables: DrawVariablesPanel(&r, screen); break;
    case StateLoad: PollEditor(&r, shell, true); break;
    case StateCompile: CompileScreen(&r, shell); break;
    case StateDebug: DebugScreen(&r, shell, enteredDebug); break;
    case StateExit: shell.platform.PostQuit(0); break;
    default:  // "Command" and the blank entries: the empty work area
      break;
  }

  switch (msg) {
    case MsgLButtonDown: r.MouButt = 1; break;
    case MsgLButtonUp: r.MouButt = 0; break;
    case MsgChar:
      // A key for the running program, typed while the debug screen shows.
      if (r.state == StateDebug && shell.run.Executes(*shell.ws)) shell.run.Key(wParam & 0xFF);
      break;
    case MsgMouseMove:
      r.MouX = (lParam & 0xFFFF) - r.PosX;
      r.MouY = (lParam >> 16) - r.PosY;
      break;
    default: break;
  }

  DrawMenuPanel(&r, screen);
  // Debug chosen again while the debug screen shows (entering it from
  // another screen counts in DebugScreen).
  if (msg == MsgLButtonDown && shell.shownState == StateDebug && r.state == StateDebug &&
      MenuEntryAt(r.MouX, r.MouY) == StateDebug)
    ++shell.debugEntries;
  PresentBackBuffer(&r, shell.platform);
  *record = r;
}

}  // namespace quorix
