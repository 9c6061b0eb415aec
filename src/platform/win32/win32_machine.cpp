// The process's one Win32 machine.
#include "platform/win32/win32_machine.h"

namespace platform::win32 {

Machine& UseWin32Machine() {
  // A function-local object: built on first use, so static initialisation order cannot bite.
  static Win32Machine machine;
  SetCurrentMachine(&machine.Get());
  return machine.Get();
}

}  // namespace platform::win32
