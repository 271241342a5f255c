// The machine factory that a program's main hands the workbench (and that
// quorix-run uses): the Unicorn engine when the build found it, otherwise
// none, and the debug screen keeps its line stepper.
#pragma once

#include "sim/machine.h"

namespace quorix {

// Empty when this build has no engine.
MachineFactory DefaultMachineFactory();

}  // namespace quorix
