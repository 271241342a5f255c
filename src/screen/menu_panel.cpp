#include "screen/views.h"
#include "text/lines.h"

namespace quorix {

namespace {
// Entry 1 is the tall bar; entries 7 to 11 are blank; entry 12 is the list's
// end, whose box is still drawn.
constexpr char kMenuList[] =
    " \r\nLoad File\r\nCompile\r\nDebug\r\nExit\r\nCommand\r\n"
    " \r\n \r\n \r\n \r\n \r\n";
}  // namespace

void DrawMenuPanel(ContextRecord* record, Screen& screen) {
  ContextRecord r = *record;
  Canvas* dc = screen.dc;
  const Palette& p = screen.palette;
  dc->SetBackgroundTransparent();
  dc->SetTextColor(kYellow);

  uint32_t hit = DrawBox(screen, 120, 10, 25, 500, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, 1);
  if (hit != 0 && r.MouButt == 1) r.state = hit;

  char entry[256];
  uint32_t y = 10;
  for (uint32_t n = 2;; ++n) {
    uint32_t len = ListEntry(kMenuList, entry, n);
    hit = DrawBox(screen, 10, y, 100, 25, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, n);
    if (hit != 0 && r.MouButt == 1) r.state = hit;
    PutText(screen, 15, static_cast<int>(y), entry, len);
    y += 30;
    if (len == 0) break;
  }
  *record = r;
}

}  // namespace quorix
