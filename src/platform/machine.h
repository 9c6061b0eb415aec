// The whole machine the program works on: one reference per platform interface.
#pragma once
#include "platform/files.h"
#include "platform/log_support.h"
#include "platform/payload_integrity.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace platform {

struct Machine {
  Registry& registry;
  FileSystem& files;
  SystemInfo& system;
  Prompts& prompts;
  LogSupport& logging;  // the journal's and the log's files, the clock, the system's error texts
  PayloadIntegrity& integrity;  // the built-in payload manifest and the files' digests
};

}  // namespace platform
