// A platform for programs without a window (the command-line assembler):
// real POSIX files and upper-casing; no windows, no back buffer.
#pragma once

#include "platform/posix/posix_services.h"

namespace quorix {

class ConsolePlatform : public PosixServices {
 public:
  bool FindWindowTitle(const char*, char*, size_t) override { return false; }
  Canvas* CreateBackBuffer(int, int) override { return nullptr; }
  void ReleaseBackBuffer() override {}
  void Present(int, int) override {}
  void PostQuit(int) override {}
  void StartTimer(uint32_t) override {}
  void StopTimer() override {}
};

}  // namespace quorix
