#include <string_view>

#include "screen/views.h"
#include "text/lines.h"

namespace quorix {

namespace {
constexpr char kLabelList[] =
    "hWnd:\r\nwHDC:\r\nmDC:\r\nhBmp:\r\nPosX:\r\nPosY:\r\nLbr:\r\nTng:\r\nMouX:\r\nMouY:\r\n"
    "MouButt:\r\nPosSFC:\r\nPosSCL:\r\nlpSourceCodeFileName:\r\n"
    "lpSourceForCompilerFileName:\r\nLineCountsForFile:\r\nLineCountsForCompiler:\r\n"
    "Ukuran:\r\ngMemHnd:\r\nlpASCIIResult:\r\nlpMemHexResult:\r\nlpMemForSource:\r\n"
    "lpMemForCompiler:\r\nIndSource:\r\nlpIndComp:\r\nAddrFunct\r\nstate:\r\nstate2:\r\n"
    "state3:\r\n";
}  // namespace

std::string_view VariableLabel(int i) {
  std::string_view list(kLabelList);
  for (int n = 0; n < kContextFieldCount; ++n) {
    size_t end = list.find('\r');
    if (n == i) return list.substr(0, end);
    list.remove_prefix(end + 2);
  }
  return {};
}

void DrawVariablesPanel(const ContextRecord* record, Screen& screen) {
  const ContextRecord r = *record;  // read only: nothing is copied back
  Canvas* dc = screen.dc;
  dc->Select(screen.palette.BlackBrush);
  dc->Select(screen.palette.BlackPen);
  dc->SetTextColor(kYellow);

  char buf[256];
  int count = 0;
  int y = 15;
  for (uint32_t n = 1;; ++n) {
    uint32_t len = ListEntry(kLabelList, buf, n);
    if (len == 0) break;
    PutText(screen, 160, y, buf, len);
    ++count;
    y += 15;
  }
  y = 15;
  for (int i = 0; i < count && i < kContextFieldCount; ++i) {
    uint32_t len = FormatDecimal(ContextField(r, i), buf);
    PutText(screen, 450, y, buf, len);
    y += 15;
  }
}

}  // namespace quorix
