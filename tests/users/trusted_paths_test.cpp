// The "TRUSTEDPATHS" merge: which entries count as the install folder, and what is written.
#include "users/trusted_paths.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "platform/text.h"

namespace {

using install_test::Ansi;
using install_test::Unicode;

constexpr const char* kFolder = "C:\\Vornex\\V-ZurezUvad";
constexpr const char* kUpperFolder = "C:\\VORNEX\\V-ZUREZUVAD";

struct MergeCase {
  const char* label;
  std::string oldText;
  std::string expected;
};

class MergeTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeTest, WritesExpectedText) {
  const MergeCase& c = GetParam();
  EXPECT_EQ(MergeTrustedPaths(Unicode(c.oldText), Unicode(kFolder)), Unicode(c.expected)) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MergeTest,
    ::testing::Values(
        MergeCase{"empty", "", kFolder},
        MergeCase{"one byte", ";", kFolder},
        MergeCase{"two bytes", "d:", kFolder},
        MergeCase{"three bytes lacking the folder", "d:\\", std::string("D:\\;") + kUpperFolder},
        MergeCase{"ending in a separator", "d:\\lisp;", std::string("D:\\LISP;;") + kUpperFolder},
        MergeCase{"present in another case", "d:\\lisp;c:\\vornex\\v-zurezuvad", "D:\\LISP;C:\\VORNEX\\V-ZUREZUVAD"},
        MergeCase{"present with a trailing backslash", "c:\\Vornex\\V-ZurezUvad\\;d:\\x", "C:\\VORNEX\\V-ZUREZUVAD\\;D:\\X"},
        MergeCase{"present with its sub-folders", "C:\\Vornex\\V-ZurezUvad\\...", "C:\\VORNEX\\V-ZUREZUVAD\\..."},
        MergeCase{"present with sub-folders and a backslash", "c:\\vornex\\v-zurezuvad\\...\\;e:\\y",
                  "C:\\VORNEX\\V-ZUREZUVAD\\...\\;E:\\Y"},
        MergeCase{"present, ending in a separator", "C:\\Vornex\\V-ZurezUvad;", "C:\\VORNEX\\V-ZUREZUVAD;"},
        MergeCase{"only a longer path with the folder's text", "C:\\Vornex\\V-ZurezUvad2;D:\\x",
                  std::string("C:\\VORNEX\\V-ZUREZUVAD2;D:\\X;") + kUpperFolder},
        MergeCase{"only a sub-folder", "C:\\Vornex\\V-ZurezUvad\\Fonts",
                  std::string("C:\\VORNEX\\V-ZUREZUVAD\\FONTS;") + kUpperFolder},
        MergeCase{"only the parent", "C:\\Vornex", std::string("C:\\VORNEX;") + kUpperFolder},
        MergeCase{"folder text inside another entry", "X:\\C:\\Vornex\\V-ZurezUvad",
                  std::string("X:\\C:\\VORNEX\\V-ZUREZUVAD;") + kUpperFolder},
        MergeCase{"dots without a backslash", "C:\\Vornex\\V-ZurezUvad...",
                  std::string("C:\\VORNEX\\V-ZUREZUVAD...;") + kUpperFolder}));

TEST(MergeTrustedPaths, KeepsTheFolderCaseOnlyWhenTheOldTextIsReplaced) {
  EXPECT_EQ(MergeTrustedPaths(u8"", u8"d:\\Tools\\V-ZurezUvad"), u8"d:\\Tools\\V-ZurezUvad");
  EXPECT_EQ(MergeTrustedPaths(u8"e:\\", u8"d:\\Tools\\V-ZurezUvad"), u8"E:\\;D:\\TOOLS\\V-ZUREZUVAD");
}

// Characters whose code page 936 form has a trail byte that looks like ASCII are whole characters
// in Unicode; case mapping and separators leave them alone.
TEST(MergeTrustedPaths, TreatsDoubleByteCharactersWhole) {
  // 誠 is D5 5C in code page 936: its trail byte is the backslash code.
  const std::u8string cheng = Unicode(Ansi("C:\\誠"));
  EXPECT_EQ(MergeTrustedPaths(u8"d:\\x;" + cheng, cheng), u8"D:\\X;" + cheng);
  EXPECT_EQ(MergeTrustedPaths(u8"d:\\x;" + cheng + u8"\\", cheng), u8"D:\\X;" + cheng + u8"\\");
  // 癮 is B0 61: its trail byte is the code of 'a' and must survive upper-casing.
  EXPECT_EQ(MergeTrustedPaths(Unicode(Ansi("D:\\癮\\lisp")), Unicode(kFolder)),
            Unicode(Ansi("D:\\癮\\LISP;") + kUpperFolder));
  // A Chinese install folder found in another letter case.
  EXPECT_EQ(MergeTrustedPaths(u8"d:\\软件\\v-zurezuvad\\...", u8"D:\\软件\\V-ZurezUvad"),
            u8"D:\\软件\\V-ZUREZUVAD\\...");
}

TEST(MergeTrustedPaths, KeepsAHundredKilobytesWhole) {
  std::string old;
  for (int i = 0; old.size() < 100 * 1024; ++i) old += "D:\\PROJECTS\\CLIENT" + std::to_string(i) + "\\LISP;";
  old.pop_back();
  const std::u8string merged = MergeTrustedPaths(Unicode(old), Unicode(kFolder));
  EXPECT_EQ(merged, Unicode(old + ";" + kUpperFolder));
  // Found at the very end of a long text.
  EXPECT_EQ(MergeTrustedPaths(merged, Unicode(kFolder)), merged);
}

struct ContainCase {
  const char* text;
  const char* folder;
  bool present;
};

TEST(TrustedPathsContain, DecidesEntryByEntry) {
  const ContainCase cases[] = {
      {"", kFolder, false},
      {"C:\\Vornex\\V-ZurezUvad", kFolder, true},
      {"C:\\VORNEX\\V-ZUREZUVAD\\", "c:\\vornex\\v-zurezuvad\\", true},  // one backslash dropped on both sides
      {"C:\\Vornex\\V-ZurezUvad\\\\", kFolder, false},                    // only one is dropped
      {"a;;C:\\Vornex\\V-ZurezUvad\\...;b", kFolder, true},
      {"C:\\Vornex\\V-ZurezUvad\\....", kFolder, false},
      {"C:\\Vornex\\V-ZurezUvadX\\...", kFolder, false},
      {" C:\\Vornex\\V-ZurezUvad", kFolder, false},
  };
  for (const ContainCase& c : cases) {
    EXPECT_EQ(TrustedPathsContain(Unicode(c.text), Unicode(c.folder)), c.present)
        << '"' << c.text << "\" / \"" << c.folder << '"';
  }
}

TEST(RemoveTrustedPath, DropsTheFolderEntryByEntryAndKeepsTheRest) {
  const struct {
    const char* text;
    const char* rest;
  } cases[] = {
      {"", ""},
      {"C:\\Vornex\\V-ZurezUvad", ""},
      {"D:\\LISP;C:\\VORNEX\\V-ZUREZUVAD", "D:\\LISP"},
      {"d:\\lisp;;C:\\VORNEX\\V-ZUREZUVAD", "d:\\lisp;"},
      {"c:\\vornex\\v-zurezuvad\\;D:\\x;C:\\Vornex\\V-ZurezUvad\\...;E:\\y;", "D:\\x;E:\\y;"},
      {"C:\\Vornex\\V-ZurezUvad\\...\\;a", "a"},
      {"C:\\Vornex\\V-ZurezUvad\\\\;C:\\Vornex\\V-ZurezUvad\\Fonts;C:\\Vornex;C:\\Vornex\\V-ZurezUvad2",
       "C:\\Vornex\\V-ZurezUvad\\\\;C:\\Vornex\\V-ZurezUvad\\Fonts;C:\\Vornex;C:\\Vornex\\V-ZurezUvad2"},
      {"a;C:\\Vornex\\V-ZurezUvad;b", "a;b"},
      {";C:\\Vornex\\V-ZurezUvad", ""},
      {"C:\\誠;C:\\Vornex\\V-ZurezUvad;한", "C:\\誠;한"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveTrustedPath(Unicode(c.text), Unicode(kFolder)), Unicode(c.rest)) << c.text;
  }
}

// Whatever the old text, the merge keeps all of it (upper-cased), trusts the folder afterwards,
// a second merge changes nothing, and taking the folder out again gives the old text back
// upper-cased when it did not hold the folder.
TEST(MergeTrustedPaths, KeepsEverythingAndSettlesOnRandomTexts) {
  const std::u8string folder = Unicode(kFolder);
  const std::vector<std::u8string> pieces = {u8";", u8"\\", u8"...", u8"c:", u8"C:", u8"vornex", u8"V-ZurezUvad",
                                             folder, u8"誠", u8"癮", u8"a", u8"ö", u8"한", u8"ｖ"};
  std::mt19937 random(20250428);
  for (int round = 0; round < 3000; ++round) {
    std::u8string old;
    const int count = static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) old += pieces[random() % pieces.size()];
    const std::string label(old.begin(), old.end());
    const std::u8string merged = MergeTrustedPaths(old, folder);
    ASSERT_TRUE(TrustedPathsContain(merged, folder)) << label;
    if (text::AnsiLength(old) > 2) {
      const std::u8string upper = text::ToUpperUtf8(old);
      ASSERT_EQ(merged.compare(0, upper.size(), upper), 0) << label;
      ASSERT_TRUE(merged.size() == upper.size() || merged == upper + u8";" + Unicode(kUpperFolder)) << label;
    }
    ASSERT_EQ(MergeTrustedPaths(merged, folder), text::AnsiLength(merged) > 2 ? text::ToUpperUtf8(merged) : merged)
        << label;
    const std::u8string rest = RemoveTrustedPath(merged, folder);
    ASSERT_FALSE(TrustedPathsContain(rest, folder)) << label;
    if (text::AnsiLength(old) > 2 && !TrustedPathsContain(old, folder)) {
      ASSERT_EQ(rest, text::ToUpperUtf8(old)) << label;
    }
  }
}

}  // namespace
