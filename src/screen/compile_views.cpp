// The compile screen: the opcode reference table, the source view with its
// "Compile" button, and the status shown beside them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/record_views.h"
#include "screen/views.h"
#include "text/lines.h"

namespace quorix {

namespace {

constexpr uint32_t kOpcodeLineBuffer = 256;
constexpr uint32_t kSourceLineBuffer = 1024;
constexpr uint32_t kErrorLineBuffer = 256;
constexpr uint32_t kSourceRowChars = 15;
// Characters that fit between the error display's x (570) and the work
// area's right edge at the view font's 9-pixel advance.
constexpr size_t kStatusColumnChars = 20;
constexpr int kStatusRowStep = 20;
constexpr int kStatusLastRowY = 440;

uint32_t RowLimit(const ContextRecord& r) { return r.Tng / 4 * 3; }

}  // namespace

void DrawOpcodeTable(ContextRecord* record, Screen& screen, Workspace& ws) {
  ContextRecord r = *record;
  const Palette& p = screen.palette;
  if (r.PosSFC == 0) r.PosSFC = 1;
  const SourceText table = OpcodeTextOf(r, ws);

  uint8_t buf[kOpcodeLineBuffer];
  uint32_t line = r.PosSFC;
  for (uint32_t y = kFirstRowY; y < RowLimit(r); y += kRowStep, ++line) {
    uint32_t n = FetchLine(table, line, buf);
    DrawBox(screen, 160, y, 100, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, line);
    DrawBox(screen, 270, y, 100, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, line);
    if (n == kFail) continue;
    uint32_t bar = FindChar(buf, '|');
    if (bar == kFail) continue;
    PutText(screen, 165, static_cast<int>(y + 5), buf, bar - 1);
    const uint8_t* second = buf + bar;
    uint32_t bar2 = FindChar(second, '|');
    if (bar2 != kFail) PutText(screen, 275, static_cast<int>(y + 5), second, bar2 - 1);
  }

  if (DrawBox(screen, 375, 15, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 100) != 0 &&
      r.MouButt == 1)
    r.PosSFC += 1;
  if (DrawBox(screen, 375, 45, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 101) != 0 &&
      r.MouButt == 1)
    r.PosSFC -= 1;
  *record = r;
}

namespace {

// In place of the source view: which path could not be loaded, and why.
void DrawUnloadedSource(const ContextRecord& r, Screen& screen, const Workspace& ws) {
  char path[Workspace::kPathBufferSize];
  ws.ReadCString(r.lpSourceCodeFileName, path);
  constexpr char kHead[] = "Cannot load:";
  PutText(screen, 405, kFirstRowY, kHead, sizeof(kHead) - 1);
  // The path in rows reaching to the work area's right edge (the status
  // column is empty while nothing can be compiled); a path longer than the
  // rows hold keeps its end, which names the file.
  constexpr size_t kRows = 12;
  constexpr size_t kRowChars = 37;
  std::string_view shown(path);
  std::string cut;
  if (shown.size() > kRows * kRowChars) {
    cut = ".." + std::string(shown.substr(shown.size() - (kRows * kRowChars - 2)));
    shown = cut;
  }
  uint32_t y = kFirstRowY + kRowStep;
  for (size_t at = 0; at < shown.size(); at += kRowChars, y += kRowStep) {
    const size_t n = std::min<size_t>(kRowChars, shown.size() - at);
    PutText(screen, 405, static_cast<int>(y), shown.data() + at, static_cast<uint32_t>(n));
  }
  for (const std::string& row : WrapText(DescribeTextStatus(ws.load().source), kRowChars)) {
    PutText(screen, 405, static_cast<int>(y), row.data(), static_cast<uint32_t>(row.size()));
    y += kRowStep;
  }
}

}  // namespace

void DrawSourceView(ContextRecord* record, Screen& screen, Workspace& ws) {
  ContextRecord r = *record;
  const Palette& p = screen.palette;
  if (r.PosSCL == 0) r.PosSCL = 1;
  const TextStatus status = ws.load().source;
  if (status != TextStatus::Loaded && status != TextStatus::Cut) {
    DrawUnloadedSource(r, screen, ws);
    *record = r;
    return;
  }
  const SourceText source = SourceOf(r, ws);

  uint8_t buf[kSourceLineBuffer] = {};
  uint32_t line = r.PosSCL;
  for (uint32_t y = kFirstRowY; y < RowLimit(r); y += kRowStep, ++line) {
    uint32_t n = FetchLine(source, line, buf);
    DrawBox(screen, 400, y, 150, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.GreenPen, 0);
    if (r.state == StateCompile && r.state2 == CompileFailed && line == r.state3)
      DrawBox(screen, 400, y, 150, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, 0);
    if (n != kFail) {
      n = CleanLine(buf, n);
      if (n != kFail && n != 0)
        PutText(screen, 405, static_cast<int>(y), buf, std::min(n, kSourceRowChars));
    }
    ZeroBytes(buf, sizeof(buf));
  }

  uint32_t hit = DrawBox(screen, 555, 15, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 101);
  if (hit == 101 && r.MouButt == 1) r.PosSCL += 1;
  hit = DrawBox(screen, 555, 45, 10, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 102);
  if (hit == 102 && r.MouButt == 1) r.PosSCL -= 1;

  // A cut source is shown but not compiled.
  if (r.state2 != CompileRequested && r.state2 != Compiled && status == TextStatus::Loaded) {
    hit = DrawBox(screen, 590, 15, 130, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.WhitePen, 103);
    PutText(screen, 620, 16, kCompileText, 7);
    if (hit == 103 && r.MouButt == 1) r.state2 = CompileRequested;
  }
  *record = r;
}

std::vector<std::string> WrapText(std::string_view text, size_t columns) {
  std::vector<std::string> rows;
  std::string row;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ') ++at;
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(at, end - at);
    at = end;
    if (word.empty()) break;
    if (!row.empty() && row.size() + 1 + word.size() > columns) {
      rows.push_back(row);
      row.clear();
    }
    if (!row.empty()) row += ' ';
    row += word.substr(0, columns - row.size());
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

void DrawCompileStatus(const ContextRecord* record, Screen& screen, Workspace& ws,
                       std::string_view outputPath, std::string_view reason) {
  const ContextRecord r = *record;
  const int x = static_cast<int>(r.Lbr - 230 + r.PosX);
  if (r.state2 == CompileFailed) {
    PutText(screen, x, 80, kErrorAtLine, 14);
    char number[16];
    PutText(screen, x, 100, number, FormatDecimal(r.state3, number));
    uint8_t buf[kErrorLineBuffer] = {};
    uint32_t n = FetchLineByScan(SourceOf(r, ws), r.state3, buf);
    PutText(screen, x, 120, buf, n);  // its characters and the zero; a failed fetch draws nothing
    // The reason, in the status column's rows down to the end of the views.
    int y = 140;
    for (const std::string& row : WrapText(reason, kStatusColumnChars)) {
      if (y > kStatusLastRowY) break;
      PutText(screen, x, y, row.data(), static_cast<uint32_t>(row.size()));
      y += kStatusRowStep;
    }
  } else if (r.state2 == WriteFailed) {
    PutText(screen, x, 80, kWriteFailedText, sizeof(kWriteFailedText) - 1);
    // The path's end names the file: keep that part when the whole does not fit.
    if (outputPath.size() > kStatusColumnChars) {
      char cut[kStatusColumnChars + 1];
      cut[0] = cut[1] = '.';
      std::string_view tail = outputPath.substr(outputPath.size() - (kStatusColumnChars - 2));
      std::memcpy(cut + 2, tail.data(), tail.size());
      PutText(screen, x, 100, cut, kStatusColumnChars);
    } else {
      PutText(screen, x, 100, outputPath.data(), static_cast<uint32_t>(outputPath.size()));
    }
  }
}

void DrawWarningsNotice(Screen& screen, uint32_t count, std::span<const std::string> first) {
  if (count == 0) return;
  char text[64];
  const size_t shown = std::min<size_t>({first.size(), count, kConsoleRows});
  const int n =
      shown < count
          ? std::snprintf(text, sizeof text, "%u warnings; the first %u:", count,
                          static_cast<unsigned>(shown))
          : std::snprintf(text, sizeof text, "%u %s:", count, count == 1 ? "warning" : "warnings");
  PutText(screen, 160, 490, text, static_cast<uint32_t>(n));  // below the cut notice
  int y = kConsoleTop;
  for (size_t i = 0; i < shown; ++i, y += kConsoleRowStep) {
    const size_t chars = std::min(first[i].size(), kConsoleColumns);
    PutText(screen, kConsoleLeft + 10, y, first[i].data(), static_cast<uint32_t>(chars));
  }
}

void ClearWarningRows(Screen& screen) {
  const Palette& p = screen.palette;
  screen.dc->Select(p.BlackBrush);
  screen.dc->Select(p.BlackPen);
  screen.dc->Rectangle(kConsoleLeft, kConsoleTop, kWarningRowsRight, kConsoleBottom + 2);
}

void DrawLoadNotice(Screen& screen, const Workspace& ws) {
  const Workspace::LoadInfo& info = ws.load();
  const char* text = nullptr;
  if (info.sourceCut && info.opcodeCut)
    text = "Source and OpCode text too large: cut to fit";
  else if (info.sourceCut)
    text = "Source text too large: cut to fit, not compiled";
  else if (info.opcodeCut)
    text = "OpCode text too large: cut to fit";
  if (text != nullptr) PutText(screen, 160, 475, text, static_cast<uint32_t>(std::strlen(text)));
}

}  // namespace quorix
