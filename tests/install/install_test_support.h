// Shared helpers of the installation tests.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "support/fixtures.h"

namespace install_test {

inline constexpr const char* kInstallFolder = "C:\\Vornex\\V-ZurezUvad";

using support::Ansi;

// Code page 936 text (a test's ANSI literal or Ansi(...)) as the Unicode text the wide functions see.
inline std::u8string Unicode(std::string_view ansi) { return text::AnsiToU8(ansi); }
// A test's UTF-8 literal in a std::string (before Ansi(...)) as the UTF-8 text a message shows.
inline std::u8string U8(std::string_view utf8) { return {utf8.begin(), utf8.end()}; }

// A simulated machine on which any message box fails the test unless the test scripts it.
class MachineTest : public ::testing::Test {
 protected:
  MachineTest() {
    sim_.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << "unexpected message box: " << text::Utf8Bytes(box.text);
    });
  }

  void LoadRegistry(const std::string& fixture) {
    const sim::RegFileResult loaded = support::LoadRegistryFixture(sim_, "registry/" + fixture);
    ASSERT_TRUE(loaded) << loaded.Describe();
  }

  std::optional<std::string> HklmString(const std::string& path, const std::string& name) {
    return sim_.registry().GetString(platform::RootKey::LocalMachine, path, name);
  }
  std::optional<std::uint32_t> HklmDword(const std::string& path, const std::string& name) {
    const std::optional<platform::RegValue> value = sim_.registry().Get(platform::RootKey::LocalMachine, path, name);
    if (!value || value->type != platform::kRegDword || value->data.size() != 4) return std::nullopt;
    std::uint32_t number = 0;
    for (std::size_t i = 4; i-- > 0;) number = (number << 8) | value->data[i];
    return number;
  }
  std::optional<std::string> HkcuString(const std::string& path, const std::string& name) {
    return sim_.registry().GetString(platform::RootKey::CurrentUser, path, name);
  }

  sim::SimMachine sim_;
};

}  // namespace install_test
