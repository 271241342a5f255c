// Drives the workbench on the headless backend from a script, one command a
// line:
//   editor PATH   a companion editor window titled PATH now exists
//   noeditor      it is gone
//   window W      the window the commands below act on: main (at first) or
//                 machine
//   move X Y      pointer moved to (X, Y) of the window
//   down / up     left button pressed / released
//   tick N        N timer ticks
//   key TEXT      types TEXT, one character message a character (\r Enter,
//                 \b Backspace, \s a blank, \\ a backslash, \xHH any byte)
//   keydown NAME  a key pressed: F1 to F12, Up, Down or Esc, after any of
//                 Shift+ and Ctrl+ (keydown Shift+F11)
//   close         the window's close box
//   shot FILE     writes the window's back buffer as a PNG
//   dump          main: prints every record field: its label, a blank, its
//                 value; machine: the machine window's items, name: value
// Blank lines and lines starting with '#' are skipped. The workbench runs in
// the current directory, so its fixed relative paths apply.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/workbench.h"
#include "backends/headless/headless_platform.h"

namespace quorix {

class ReplaySession {
 public:
  // Creates the workbench window on the given platform.
  // With a machine factory the debug screen executes compiled programs.
  explicit ReplaySession(HeadlessPlatform& platform, MachineFactory machines = {});
  ~ReplaySession();

  // Runs one command; false with *error set when it cannot be run.
  bool Command(const std::string& line, std::ostream& out, std::string* error);
  // Runs a whole script. Stops at the first failing command (its line number
  // in *errorLine) or once the workbench has posted its quit message.
  bool Run(std::istream& script, std::ostream& out, std::string* error, int* errorLine);

  Workbench& workbench() { return *workbench_; }
  HeadlessPlatform& platform() { return platform_; }
  uint32_t clock() const { return clock_; }

 private:
  // window, keydown and close: whether it ran (*error says why not), or
  // nothing when the verb is another one.
  std::optional<bool> WindowCommand(std::string_view verb, std::string_view arg,
                                    std::string* error);
  // A message to the chosen window.
  void Send(uint32_t msg, uint32_t wParam, uint32_t lParam);
  bool machine() const { return window_ == WindowId::Second; }

  HeadlessPlatform& platform_;
  std::unique_ptr<Workbench> workbench_;
  WindowId window_ = WindowId::Main;
  uint32_t pointer_ = 0;  // last pointer position, packed
  uint32_t clock_ = 0;    // milliseconds of simulated time
};

// One line per record field as the variables panel labels it: "state: 3".
void DumpRecord(const ContextRecord& record, std::ostream& out);

}  // namespace quorix
