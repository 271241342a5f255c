#include "backends/x11/error_trap.h"

#include <cstdio>
#include <cstdlib>

namespace quorix::x11 {

namespace {
ErrorTrap* g_innermost = nullptr;
bool g_installed = false;
}  // namespace

int HandleXError(Display* display, XErrorEvent* error) {
  for (ErrorTrap* t = g_innermost; t != nullptr; t = t->outer_) {
    if (t->display_ == display && error->serial >= t->firstSerial_) {
      ++t->errors_;
      return 0;
    }
  }
  char text[160];
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "quorix: X error: %s (request %u.%u, resource 0x%lx)\n", text,
               error->request_code, error->minor_code, error->resourceid);
  return 0;
}

namespace {
int HandleIoError(Display* display) {
  std::fprintf(stderr, "quorix: lost the connection to the X server \"%s\"\n",
               DisplayString(display));
  std::exit(1);
}
}  // namespace

void InstallErrorHandler() {
  if (g_installed) return;
  XSetErrorHandler(HandleXError);
  XSetIOErrorHandler(HandleIoError);
  g_installed = true;
}

ErrorTrap::ErrorTrap(Display* display)
    : display_(display), firstSerial_(NextRequest(display)), outer_(g_innermost) {
  InstallErrorHandler();
  g_innermost = this;
}

ErrorTrap::~ErrorTrap() {
  // Errors of trapped requests that the server has not answered yet would
  // reach the handler after the trap is gone; collect them first.
  if (LastKnownRequestProcessed(display_) + 1 < NextRequest(display_)) {
    XSync(display_, False);
  }
  g_innermost = outer_;
}

bool ErrorTrap::SyncFailed() {
  XSync(display_, False);
  return errors_ != 0;
}

}  // namespace quorix::x11
