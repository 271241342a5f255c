// Xlib reports protocol errors through one process-wide handler, and by
// default that handler ends the program. The workbench installs its own:
// errors inside an ErrorTrap are counted for the code that expects them
// (another program's window can vanish between two requests), and any other
// error is printed and the program goes on.
#pragma once

#include <X11/Xlib.h>

namespace quorix::x11 {

// Installs the handler; idempotent.
void InstallErrorHandler();

// Counts the errors of the requests that display sends while the trap is
// alive. Traps nest; an error belongs to the innermost trap of its display.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Waits until the server has handled every request sent so far, then tells
  // whether any of the trapped requests failed.
  bool SyncFailed();
  // Errors seen so far, without waiting.
  int errors() const { return errors_; }

 private:
  friend int HandleXError(Display*, XErrorEvent*);
  Display* display_;
  unsigned long firstSerial_;
  int errors_ = 0;
  ErrorTrap* outer_;
};

}  // namespace quorix::x11
