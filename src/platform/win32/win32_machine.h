// The real machine: the Win32 adapters bundled as the program's platform::Machine.
#pragma once
#include "platform/machine.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_prompts.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"

namespace platform::win32 {

class Win32Machine {
 public:
  Win32Machine() = default;
  Win32Machine(const Win32Machine&) = delete;
  Win32Machine& operator=(const Win32Machine&) = delete;

  Machine& Get() { return machine_; }

 private:
  Win32Registry registry_;
  Win32FileSystem files_;
  Win32SystemInfo system_;
  Win32Prompts prompts_;
  Machine machine_{registry_, files_, system_, prompts_};
};

// Makes the Win32 machine the current one (platform::SetCurrentMachine) and returns it. It lives
// until the process ends, so call it first thing at start-up, before anything asks for the machine.
Machine& UseWin32Machine();

}  // namespace platform::win32
