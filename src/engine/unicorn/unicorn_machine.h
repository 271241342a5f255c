// The machine of the debugger and quorix-run, on the Unicorn CPU emulator.
#pragma once

#include <memory>

#include "sim/machine.h"

namespace quorix {

// A fresh machine, or null when the emulator cannot be opened.
std::unique_ptr<Machine> CreateUnicornMachine();

}  // namespace quorix
