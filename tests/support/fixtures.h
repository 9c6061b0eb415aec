// Test fixtures: paths on disk, loading a registry fixture into a simulated machine, the code
// page 936 bytes of texts written in UTF-8, and texts looked for in a log or a message.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace support {

// A path under tests/fixtures, e.g. FixturePath("registry/two-releases.reg").
std::string FixturePath(const std::string& relative);

// Loads a .reg fixture; the result's Describe() names the file and line of a fault.
sim::RegFileResult LoadRegistryFixture(sim::SimMachine& machine, const std::string& relative);

// Code page 936 bytes of a UTF-8 literal: paths and registry names as the ANSI API sees them.
// Fails the test when the text has no such form.
std::string Ansi(const std::string& utf8);

// Fails the test unless each of `parts` is in `written` (UTF-8), in this order.
void ExpectInOrder(std::string_view written, const std::vector<std::u8string>& parts);

}  // namespace support
