// The process's current machine.
#include "platform/machine.h"

#include <cstdlib>

namespace platform {
namespace {
Machine* g_machine = nullptr;
}

Machine& CurrentMachine() {
  // Reading it before start-up has set it is a programming error; fail loudly, not with a null deref.
  if (g_machine == nullptr) std::abort();
  return *g_machine;
}

void SetCurrentMachine(Machine* machine) { g_machine = machine; }

}  // namespace platform
