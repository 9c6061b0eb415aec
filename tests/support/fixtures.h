// Test fixtures on disk: their paths, and loading a registry fixture into a simulated machine.
#pragma once
#include <string>

#include "platform/sim/sim_machine.h"

namespace support {

// A path under tests/fixtures, e.g. FixturePath("registry/two-releases.reg").
std::string FixturePath(const std::string& relative);

// Loads a .reg fixture; the result's Describe() names the file and line of a fault.
sim::RegFileResult LoadRegistryFixture(sim::SimMachine& machine, const std::string& relative);

}  // namespace support
