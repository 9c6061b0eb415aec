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

}  // namespace platform
