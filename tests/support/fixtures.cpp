// Test fixtures.
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace support {

std::string FixturePath(const std::string& relative) { return std::string(SETUP_FIXTURES_DIR) + "/" + relative; }

sim::RegFileResult LoadRegistryFixture(sim::SimMachine& machine, const std::string& relative) {
  return machine.LoadRegistryFixture(FixturePath(relative));
}

std::string Ansi(const std::string& utf8) {
  std::string ansi;
  EXPECT_TRUE(text::Utf8ToAnsi(utf8, ansi)) << utf8;
  return ansi;
}

}  // namespace support
