// Inputs found by fuzzing the folder chooser's path rules (fuzz/fuzz_path_rules.cpp), kept so
// that the faults stay fixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "ui/path_dialog.h"

namespace {

struct HalfCharacterCase {
  const char* label;
  std::string path;
  std::vector<std::string> created;  // the whole levels above the fault, made before it is seen
};

class HalfCharacterPath : public ::testing::TestWithParam<HalfCharacterCase> {};

// A lead byte without a trail byte names no folder: before a NUL the ANSI API would end the
// name early and make another folder; at the end the install folder's "\" below it would become
// the trail byte and the chosen folder would no longer be its parent; before a byte that is no
// trail byte in any code page ('/', ':') the system would take that byte on its own.
TEST_P(HalfCharacterPath, IsInvalidAndMakesNoFolderOfIt) {
  const HalfCharacterCase& c = GetParam();
  sim::SimMachine sim;
  const std::vector<std::string> before = sim.files().Tree();
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), c.path, true), platform::kInvalidName);
  EXPECT_EQ(sim.files().Tree(), before);
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), c.path, false), platform::kInvalidName);
  std::vector<std::string> made;
  for (const std::string& entry : sim.files().Tree()) {
    if (std::find(before.begin(), before.end(), entry) == before.end()) made.push_back(entry);
  }
  EXPECT_EQ(made, c.created);
}

INSTANTIATE_TEST_SUITE_P(
    FoundByFuzzing, HalfCharacterPath,
    ::testing::Values(
        // The fuzzer's input, shortened: a NUL taken as the trail byte of 0x94.
        HalfCharacterCase{"LeadByteBeforeNul", std::string("C:\\a\\!\x94\0\x03\x94\x94\\b", 13), {"C:\\a\\"}},
        HalfCharacterCase{"LeadByteBeforeNulFirstLevel", std::string("C:\\\x81\0", 5), {}},
        HalfCharacterCase{"LeadByteAtTheEnd", "C:\\abc\x81", {}},
        HalfCharacterCase{"LeadByteAtTheEndOfDeeperLevel", "C:\\Vornex\\\xD5\x5C\xB1", {"C:\\Vornex\\"}},
        // The fuzzer's input, shortened: '/' (no trail byte in any code page) after the lead
        // byte 0xBC, which the file system took for a separator.
        HalfCharacterCase{"LeadByteBeforeSlash", "C:\\\xBF\xC2\xBC/6\\b", {}},
        HalfCharacterCase{"LeadByteBeforeColon", "C:\\a\\\xD5:b", {"C:\\a\\"}}),
    [](const ::testing::TestParamInfo<HalfCharacterCase>& p) { return std::string(p.param.label); });

TEST(HalfCharacterComponent, WholeCharactersStayValid) {
  // The same bytes as whole characters are fine, trail byte 0x5C included.
  EXPECT_TRUE(CPathDialog::IsComponentValid("abc\x81\x40"));
  EXPECT_TRUE(CPathDialog::IsComponentValid("\xD5\x5C"));
  EXPECT_FALSE(CPathDialog::IsComponentValid("abc\x81"));
  EXPECT_FALSE(CPathDialog::IsComponentValid(std::string("\x81\0", 2)));
  EXPECT_FALSE(CPathDialog::IsComponentValid("a\x81/b"));
  EXPECT_FALSE(CPathDialog::IsComponentValid("a\x81 "));
  EXPECT_TRUE(CPathDialog::IsComponentValid("a\x81\x7C"));  // '|' is a trail byte
  sim::SimFileSystem files;
  EXPECT_EQ(CPathDialog::CreatePath(files, "C:\\abc\x81\x40\\V-ZurezUvad", true), platform::kSuccess);
}

}  // namespace
