// Inputs found by fuzzing the "TRUSTEDPATHS" merge (fuzz/fuzz_trusted_paths.cpp), kept so that
// the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "install/trusted_paths.h"
#include "platform/text.h"

namespace {

struct DamagedEndCase {
  const char* label;
  std::string oldText;
  std::string folder;
  std::string expected;
};

class DamagedEnd : public ::testing::TestWithParam<DamagedEndCase> {};

// An old value ending in half a double-byte character would take the ';' for its trail byte:
// the folder would be glued to the last entry, never found again, and added at every install.
TEST_P(DamagedEnd, FolderStandsAsItsOwnEntry) {
  const DamagedEndCase& c = GetParam();
  const std::string merged = MergeTrustedPaths(c.oldText, c.folder);
  EXPECT_EQ(merged, c.expected);
  EXPECT_TRUE(TrustedPathsContain(merged, c.folder));
  // The next installation finds the folder: at most it upper-cases the text, and then it is stable.
  const std::string again = MergeTrustedPaths(merged, c.folder);
  EXPECT_EQ(again, text::ToUpper(merged));
  EXPECT_EQ(MergeTrustedPaths(again, c.folder), again);
}

INSTANTIATE_TEST_SUITE_P(
    FoundByFuzzing, DamagedEnd,
    ::testing::Values(
        // The fuzzer's input: a value cut after the lead byte 0xA6.
        DamagedEndCase{"CutAfterLeadByte", "D:\\\xC8\xED\xBC\\;D:\\T\xA6", "C:\\Vornex\\V-ZurezUvad",
                       "D:\\\xC8\xED\xBC\\;D:\\T;C:\\VORNEX\\V-ZUREZUVAD"},
        DamagedEndCase{"OnlyLeadByteAfterEntry", "d:\\x;\x81", "C:\\V", "D:\\X;;C:\\V"},
        // A whole character whose trail byte is 0x5C is not damaged and stays.
        DamagedEndCase{"WholeCharacterAtTheEnd", "d:\\\xD5\x5C", "C:\\V", "D:\\\xD5\x5C;C:\\V"},
        // The fuzzer's input: two bytes and half a character hold no entry, so the folder replaces
        // them, in its own case, as it would replace any two bytes.
        DamagedEndCase{"TwoBytesAndHalfACharacter", "C:\xAA", "C:\\", "C:\\"},
        DamagedEndCase{"TwoBytesAndHalfACharacterBelowFolder", "c:\xAA", "c:\\Vornex", "c:\\Vornex"}),
    [](const ::testing::TestParamInfo<DamagedEndCase>& p) { return std::string(p.param.label); });

}  // namespace
