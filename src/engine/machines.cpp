#include "engine/machines.h"

#ifdef QUORIX_HAVE_UNICORN
#include "engine/unicorn/unicorn_machine.h"
#endif

namespace quorix {

MachineFactory DefaultMachineFactory() {
#ifdef QUORIX_HAVE_UNICORN
  return [] { return CreateUnicornMachine(); };
#else
  return {};
#endif
}

}  // namespace quorix
