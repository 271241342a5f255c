// What the workbench (app/) is given: the operating system's services
// (platform/services.h) and its window (platform/window.h). Backends
// implement it; code that needs only files, memory or upper-casing takes a
// Services& instead.
#pragma once

#include <concepts>

#include "platform/services.h"
#include "platform/window.h"

namespace quorix {

// Both bases are virtual, so a backend joins a services class of its own
// (one that derives virtually from Services) with a window and the result
// has one Services: class HeadlessPlatform : public Platform, public
// PosixServices takes its files from PosixServices.
class Platform : public virtual Services, public virtual Window {};

// The services S with no window: no editor window is ever found, no back
// buffer is made, nothing is shown and no timer runs. For programs and tests
// that draw nothing but hand a Platform to code that asks for one.
template <std::derived_from<Services> S>
class Windowless : public Platform, public S {
 public:
  using S::S;
  bool FindWindowTitle(const char*, char*, size_t) override { return false; }
  Canvas* CreateBackBuffer(int, int) override { return nullptr; }
  void ReleaseBackBuffer() override {}
  void Present(int, int) override {}
  void PostQuit(int) override {}
  void StartTimer(uint32_t) override {}
  void StopTimer() override {}
};

}  // namespace quorix
