// Inputs found by fuzzing the "TRUSTEDPATHS" merge (fuzz/fuzz_trusted_paths.cpp), kept so that
// the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "install/install_test_support.h"
#include "users/trusted_paths.h"
#include "platform/text.h"

namespace {

using install_test::Unicode;

struct DamagedEndCase {
  const char* label;
  std::string oldText;  // code page 936 bytes, as an ANSI program may have written them
  std::string folder;
  std::u8string expected;
};

class DamagedEnd : public ::testing::TestWithParam<DamagedEndCase> {};

// An old value ending in half a double-byte character once took the ';' for its trail byte: the
// folder was glued to the last entry, never found again, and added at every install. Read as
// Unicode, the half character is a character of its own (U+FFFD) and the folder stands apart.
TEST_P(DamagedEnd, FolderStandsAsItsOwnEntry) {
  const DamagedEndCase& c = GetParam();
  const std::u8string folder = Unicode(c.folder);
  const std::u8string merged = MergeTrustedPaths(Unicode(c.oldText), folder);
  EXPECT_EQ(merged, c.expected);
  EXPECT_TRUE(TrustedPathsContain(merged, folder));
  // The next installation finds the folder: at most it upper-cases the text, and then it is stable.
  const std::u8string again = MergeTrustedPaths(merged, folder);
  EXPECT_EQ(again, text::ToUpperUtf8(merged));
  EXPECT_EQ(MergeTrustedPaths(again, folder), again);
}

INSTANTIATE_TEST_SUITE_P(
    FoundByFuzzing, DamagedEnd,
    ::testing::Values(
        // The fuzzer's input: a value cut after the lead byte 0xA6.
        DamagedEndCase{"CutAfterLeadByte", "D:\\\xC8\xED\xBC\\;D:\\T\xA6", "C:\\Vornex\\V-ZurezUvad",
                       Unicode("D:\\\xC8\xED\xBC\\;D:\\T") + u8"\uFFFD;C:\\VORNEX\\V-ZUREZUVAD"},
        DamagedEndCase{"OnlyLeadByteAfterEntry", "d:\\x;\x81", "C:\\V", u8"D:\\X;\uFFFD;C:\\V"},
        // A whole character whose trail byte is 0x5C is not damaged and stays.
        DamagedEndCase{"WholeCharacterAtTheEnd", "d:\\\xD5\x5C", "C:\\V", u8"D:\\誠;C:\\V"},
        // The fuzzer's input: two bytes and half a character. The half is a '?' in the code page,
        // so the value holds three bytes there and is kept.
        DamagedEndCase{"TwoBytesAndHalfACharacter", "C:\xAA", "C:\\", u8"C:\uFFFD;C:\\"},
        DamagedEndCase{"TwoBytesAndHalfACharacterBelowFolder", "c:\xAA", "c:\\Vornex", u8"C:\uFFFD;C:\\VORNEX"}),
    [](const ::testing::TestParamInfo<DamagedEndCase>& p) { return std::string(p.param.label); });

}  // namespace
