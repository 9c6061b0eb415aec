// Test fixtures on disk.
#include "support/fixtures.h"

namespace support {

std::string FixturePath(const std::string& relative) { return std::string(SETUP_FIXTURES_DIR) + "/" + relative; }

sim::RegFileResult LoadRegistryFixture(sim::SimMachine& machine, const std::string& relative) {
  return machine.LoadRegistryFixture(FixturePath(relative));
}

}  // namespace support
