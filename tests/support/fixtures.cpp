// Test fixtures.
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/utf8_text.h"

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

void ExpectInOrder(std::string_view written, const std::vector<std::u8string>& parts) {
  std::size_t at = 0;
  for (const std::u8string& part : parts) {
    const std::string_view wanted = text::Utf8Bytes(part);
    const std::size_t found = written.find(wanted, at);
    EXPECT_NE(found, std::string_view::npos) << "not there (in order): " << wanted << "\n" << written;
    if (found != std::string_view::npos) at = found + wanted.size();
  }
}

}  // namespace support
