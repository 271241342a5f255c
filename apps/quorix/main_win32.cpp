// The workbench on Windows: its window (and the machine window once Debug
// opens it) driven by their messages and a 1 ms timer, in the current
// directory (its file paths are relative to it). The Run box executes the
// program on the engine's emulator, as on Linux.
#include "backends/win32/windows_api.h"

#include "app/workbench.h"
#include "backends/win32/win32_platform.h"
#include "engine/machines.h"

namespace {

class WorkbenchSink : public quorix::win32::MessageSink {
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
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  quorix::win32::Win32Platform platform(instance);
  quorix::Workbench workbench(platform, quorix::DefaultMachineFactory());
  WorkbenchSink sink(workbench);
  int code = platform.RunMainWindow(sink);
  if (code < 0) {
    ::MessageBoxA(nullptr, "The workbench window could not be created.", "Quorix",
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  return code;
}
