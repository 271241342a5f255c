// The workbench on X11: its window (and the machine window once Debug opens
// it), driven by their events and a 1 ms timer,
// in the current directory (the workbench's file paths are relative to it).
//
// Setting QUORIX_X11_STATS=1 writes a line of loop counters per second to
// stderr (steps per second, CPU use, the presentation path).
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/workbench.h"
#include "backends/x11/x11_platform.h"
#include "engine/machines.h"
#include "platform/platform.h"

namespace {

class WorkbenchSink : public quorix::x11::MessageSink {
 public:
  explicit WorkbenchSink(quorix::Workbench& workbench) : workbench_(workbench) {}
  bool WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) override {
    return workbench_.WindowProc(msg, wParam, lParam);
  }
  bool SecondWindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) override {
    return workbench_.WindowProc(quorix::WindowId::Second, msg, wParam, lParam);
  }
  void TimerTick(uint32_t timeMs) override { workbench_.TimerTick(timeMs); }

 private:
  quorix::Workbench& workbench_;
};

}  // namespace

// The command line is not used: the workbench has no options.
int main() {
  // Window titles in other encodings than UTF-8 and Latin-1 are converted
  // through the locale.
  std::setlocale(LC_CTYPE, "");

  quorix::x11::X11Platform platform;
  std::string error;
  if (!platform.Open(nullptr, error)) {
    std::fprintf(stderr, "quorix: %s. The workbench needs an X display to run.\n", error.c_str());
    return 1;
  }
  if (!platform.CreateMainWindow(error)) {
    std::fprintf(stderr, "quorix: %s\n", error.c_str());
    return 1;
  }
  const char* stats = std::getenv("QUORIX_X11_STATS");
  bool statsEverySecond = stats != nullptr && std::strcmp(stats, "1") == 0;

  quorix::Workbench workbench(platform, quorix::DefaultMachineFactory());
  WorkbenchSink sink(workbench);
  workbench.WindowProc(quorix::MsgCreate, 0, 0);
  platform.ShowMainWindow();
  int code = platform.Run(sink, statsEverySecond);
  workbench.WindowProc(quorix::MsgDestroy, 0, 0);
  platform.DestroyMainWindow();
  return code;
}
