#include "app/workbench.h"

#include <cstring>

#include "app/loading.h"
#include "app/machine_window.h"
#include "app/step_screen.h"
#include "screen/views.h"

namespace quorix {

namespace {
constexpr uint32_t kTimerId = 1;
constexpr uint32_t kTimerPeriodMs = 1;
constexpr uint32_t kBackBufferWidth = 800;
constexpr uint32_t kBackBufferHeight = 600;
}  // namespace

Workbench::Workbench(Platform& platform, MachineFactory machines)
    : platform_(platform), shell_(std::make_unique<Shell>(platform)) {
  shell_->cpu = &cpu_;
  shell_->symbols = &symbols_;
  shell_->run.SetFactory(std::move(machines));
  machine_ = std::make_unique<MachineWindow>(*shell_, record_);
}

RunSession& Workbench::run() { return shell_->run; }

Workbench::~Workbench() = default;

void Workbench::AfterStep() {
  if (shell_->debugEntries == debugEntries_) return;
  debugEntries_ = shell_->debugEntries;
  machine_->Open();
}

bool Workbench::WindowProc(WindowId window, uint32_t msg, uint32_t wParam, uint32_t lParam) {
  if (window == WindowId::Second) return machine_->WindowProc(msg, wParam, lParam);
  return WindowProc(msg, wParam, lParam);
}

bool Workbench::WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam) {
  StepScreen(&record_, *shell_, msg, wParam, lParam);
  AfterStep();
  switch (msg) {
    case MsgCreate: {
      workspaceBlock_ = std::make_unique<Workspace>(platform_);
      workspace_ = workspaceBlock_.get();
      shell_->ws = workspace_;
      record_.hWnd = platform_.WindowHandle();
      record_.wHDC = platform_.DeviceContextHandle();
      std::span<uint8_t> path = workspace_->Bytes(Area::PathBuffer);
      std::memcpy(path.data(), kDefaultSourcePath, sizeof(kDefaultSourcePath));
      record_.Lbr = kBackBufferWidth;
      record_.Tng = kBackBufferHeight;
      record_.lpSourceForCompilerFileName = Workspace::Address(Area::OpcodePath);
      record_.lpSourceCodeFileName = Workspace::Address(Area::PathBuffer);
      CreateBackBuffer(&record_, shell_->screen, platform_);
      record_.gMemHnd = Workspace::kBlockBase;  // the fixed block's handle is its address
      canvas_ = shell_->screen.dc;
      CreateDrawingObjects(shell_->screen);
      LoadWorkspace(&record_, *workspace_, platform_);
      if (canvas_ != nullptr) DrawMenuPanel(&record_, shell_->screen);
      platform_.StartTimer(kTimerPeriodMs);
      return true;
    }
    case MsgClose: platform_.PostQuit(0); return true;
    case MsgDestroy:
      machine_->Close();
      shell_->ws = nullptr;
      workspace_ = nullptr;
      workspaceBlock_.reset();
      platform_.StopTimer();
      ReleaseBackBuffer(shell_->screen, platform_);
      canvas_ = nullptr;
      return true;
    case MsgMouseMove:
    case MsgLButtonDown:
    case MsgLButtonUp:
    case MsgChar:
    case MsgCommand: return true;
    default: return false;
  }
}

void Workbench::TimerTick(uint32_t timeMs) {
  StepScreen(&record_, *shell_, MsgTimer, kTimerId, timeMs);
  AfterStep();
  machine_->Tick();
}

}  // namespace quorix
