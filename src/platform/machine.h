// The whole machine the program works on: one reference per platform interface.
#pragma once
#include "platform/files.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace platform {

struct Machine {
  Registry& registry;
  FileSystem& files;
  SystemInfo& system;
  Prompts& prompts;
};

// The machine the running program uses: the Win32 adapters in SetUp.exe. Set once at start-up
// before anything reads it; host tests pass their simulated machine explicitly instead.
Machine& CurrentMachine();
void SetCurrentMachine(Machine* machine);

}  // namespace platform
