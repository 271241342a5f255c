#include "screen/views.h"
#include "text/lines.h"

namespace quorix {

namespace {
// Entry 1 is the tall bar; entries 7 to 11 are blank; entry 12 is the list's
// end, whose box is still drawn.
constexpr char kMenuList[] =
    " \r\nLoad File\r\nCompile\r\nDebug\r\nExit\r\nCommand\r\n"
    " \r\n \r\n \r\n \r\n \r\n";
constexpr uint32_t kEntryX = 10, kEntryWidth = 100, kEntryHeight = 25, kEntryStep = 30;
constexpr uint32_t kFirstEntryY = 10, kLastEntry = 12;
}  // namespace

uint32_t MenuEntryAt(uint32_t x, uint32_t y) {
  if (PointInRect(120, 10, 145, 510, x, y)) return 1;
  for (uint32_t n = 2; n <= kLastEntry; ++n) {
    const uint32_t top = kFirstEntryY + (n - 2) * kEntryStep;
    if (PointInRect(kEntryX, top, kEntryX + kEntryWidth, top + kEntryHeight, x, y)) return n;
  }
  return 0;
}

void DrawMenuPanel(ContextRecord* record, Screen& screen) {
  ContextRecord r = *record;
  Canvas* dc = screen.dc;
  const Palette& p = screen.palette;
  dc->SetBackgroundTransparent();
  dc->SetTextColor(kYellow);

  uint32_t hit = DrawBox(screen, 120, 10, 25, 500, r.MouX, r.MouY, 1, p.BlackBrush, p.RedPen, 1);
  if (hit != 0 && r.MouButt == 1) r.state = hit;

  char entry[256];
  uint32_t y = kFirstEntryY;
  for (uint32_t n = 2;; ++n) {
    uint32_t len = ListEntry(kMenuList, entry, n);
    hit = DrawBox(screen, kEntryX, y, kEntryWidth, kEntryHeight, r.MouX, r.MouY, 1, p.BlackBrush,
                  p.RedPen, n);
    if (hit != 0 && r.MouButt == 1) r.state = hit;
    PutText(screen, 15, static_cast<int>(y), entry, len);
    y += kEntryStep;
    if (len == 0) break;
  }
  *record = r;
}

}  // namespace quorix
