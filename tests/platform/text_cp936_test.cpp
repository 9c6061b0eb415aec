// Code page 936 text helpers: trail bytes that look like ASCII must never be taken for it.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

// GBK bytes used below. Both of the first two end in 0x5C, the backslash code.
const std::string kCheng = "\xD5\x5C";  // 誠
const std::string kYun = "\xDF\x5C";    // 運
const std::string kZhongWen = "\xD6\xD0\xCE\xC4";  // 中文
// A double-byte character whose trail byte is 'a' (0x61): no letter, and no case.
const std::string kTrailA = "\xB0\x61";

constexpr auto npos = std::string::npos;

TEST(TextCp936, LeadBytesAre81ToFE) {
  struct Case {
    unsigned char byte;
    bool lead;
  };
  for (const Case c : {Case{0x00, false}, Case{0x5C, false}, Case{0x7F, false}, Case{0x80, false},
                       Case{0x81, true}, Case{0xA3, true}, Case{0xFE, true}, Case{0xFF, false}}) {
    EXPECT_EQ(text::IsLeadByte(c.byte), c.lead) << static_cast<int>(c.byte);
  }
}

TEST(TextCp936, BackslashSearchesSkipTrailBytes) {
  struct Case {
    std::string s;
    std::size_t last;
    std::size_t first;
  };
  const Case cases[] = {
      {"C:\\Setup\\SetUp.exe", 8, 2},
      {"C:\\" + kCheng, 2, 2},                        // the trail 0x5C is not a separator
      {kYun, npos, npos},                             // nothing but a trail byte
      {kCheng + kYun + "\\x", 4, 4},
      {"\\" + kCheng + kYun, 0, 0},
      {"a\xB0", npos, npos},                          // lone lead byte at the end
      {"a\xB0\\", npos, npos},                        // ... which takes the next byte with it
      {"", npos, npos},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::ReverseFind(c.s, '\\'), c.last) << c.s;
    EXPECT_EQ(text::Find(c.s, '\\'), c.first) << c.s;
  }
  EXPECT_EQ(text::Find("a\\" + kCheng + "\\", '\\', 2), 4u);
}

TEST(TextCp936, SubstringMatchesOnlyWholeCharacters) {
  struct Case {
    std::string haystack;
    std::string needle;
    std::size_t at;
  };
  const Case cases[] = {
      {"\xB0\x41" "B", "AB", npos},        // "AB" would start on the trail byte 0x41
      {"\xB0\x41" "AB", "AB", 2},
      {kCheng + "\\x", "\\x", 2},          // not at 1, the trail byte
      {"\xB0\xA1", "\xB0", npos},          // a needle ending in a lead byte must not split a character
      {"ab" + kZhongWen, kZhongWen, 2},
      {"VX_ZurezUvad2010.arx", "2010", 12},
      {"abc", "", 0},
      {"ab", "abc", npos},
  };
  for (const Case& c : cases) EXPECT_EQ(text::FindSubstring(c.haystack, c.needle), c.at) << c.haystack;
}

TEST(TextCp936, CaseChangesWholeCharacters) {
  struct Case {
    std::string mixed;
    std::string upper;
    std::string lower;
  };
  const Case cases[] = {
      {"Vornex.Ini", "VORNEX.INI", "vornex.ini"},
      {"a" + kTrailA + "b", "A" + kTrailA + "B", "a" + kTrailA + "b"},  // the trail 'a' stays
      {"\xA3\xE1\xA3\xDA", "\xA3\xC1\xA3\xDA", "\xA3\xE1\xA3\xFA"},     // ａＺ fullwidth
      {"\xA6\xC1\xA6\xA2", "\xA6\xA1\xA6\xA2", "\xA6\xC1\xA6\xC2"},     // αΒ Greek
      {"\xA7\xD1\xA7\xA7", "\xA7\xA1\xA7\xA7", "\xA7\xD1\xA7\xD7"},     // аЁ Cyrillic
      {"\xA2\xA1\xA2\xFA", "\xA2\xF1\xA2\xFA", "\xA2\xA1\xA2\xAA"},     // ⅰⅩ Roman numerals
      {"\xA2\xB1\xA2\xE5", "\xA2\xB1\xA2\xE5", "\xA2\xB1\xA2\xE5"},     // ⒈㈠ beside them: no case
      {kCheng + "x", kCheng + "X", kCheng + "x"},
      {"z\xA3", "Z\xA3", "z\xA3"},                                       // lone lead at the end
      {kZhongWen, kZhongWen, kZhongWen},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::ToUpper(c.mixed), c.upper) << c.mixed;
    EXPECT_EQ(text::ToLower(c.mixed), c.lower) << c.mixed;
  }
}

TEST(TextCp936, EqualsNoCase) {
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  };
  const Case cases[] = {
      {"SetUp.EXE", "setup.exe", true},
      {"\xA3\xC1" "b", "\xA3\xE1" "B", true},
      {kTrailA, "\xB0\x41", false},  // different characters that differ only in a trail byte's "case"
      {"abc", "abcd", false},
      {"", "", true},
  };
  for (const Case& c : cases) EXPECT_EQ(text::EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(TextCp936, AnsiToUtf8ReplacesWhatDoesNotConvert) {
  struct Case {
    std::string ansi;
    std::string utf8;
  };
  const Case cases[] = {
      {kZhongWen, "中文"},
      {kCheng + "\\" + kYun, "誠\\運"},
      {"C:\\Vornex", "C:\\Vornex"},
      {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},  // 0xFF is no character
      {"a\xB0", "a\xEF\xBF\xBD"},          // lone lead byte at the end
      {"\xB0" "0x", "\xEF\xBF\xBD" "0x"},  // a lead byte before a byte that cannot trail
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(text::AnsiToUtf8(c.ansi), c.utf8) << c.ansi;
}

TEST(TextCp936, Utf8ToAnsiFailsForCharactersOutsideTheCodePage) {
  std::string ansi = "unchanged";
  ASSERT_TRUE(text::Utf8ToAnsi("<<未命名配置>>", ansi));
  EXPECT_EQ(ansi, "<<\xCE\xB4\xC3\xFC\xC3\xFB\xC5\xE4\xD6\xC3>>");
  ASSERT_TRUE(text::Utf8ToAnsi("誠", ansi));
  EXPECT_EQ(ansi, kCheng);
  ansi = "unchanged";
  EXPECT_FALSE(text::Utf8ToAnsi("smile \xF0\x9F\x98\x80", ansi));
  EXPECT_EQ(ansi, "unchanged");
  EXPECT_FALSE(text::Utf8ToAnsi("broken \xE4\xB8", ansi));
}

// Unicode text: upper-casing keeps what has no case, and the ANSI form has '?' for what code
// page 936 lacks, one byte each.
TEST(TextUnicode, UpperCasesEveryScriptThatHasCase) {
  struct Case {
    std::u8string mixed;
    std::u8string upper;
  };
  const Case cases[] = {
      {u8"d:\\jörg\\lisp", u8"D:\\JÖRG\\LISP"},
      {u8"äöü", u8"ÄÖÜ"},
      {u8"e:\\한글", u8"E:\\한글"},
      {u8"f:\\中文\\誠", u8"F:\\中文\\誠"},
      {u8"ａｚ", u8"ＡＺ"},
      {u8"αβω", u8"ΑΒΩ"},
      {u8"", u8""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::ToUpperUtf8(c.mixed), c.upper);
    EXPECT_TRUE(text::EqualsNoCaseUtf8(c.mixed, c.upper));
  }
  EXPECT_FALSE(text::EqualsNoCaseUtf8(u8"jörg", u8"jorg"));
  EXPECT_FALSE(text::EqualsNoCaseUtf8(u8"中", u8"中文"));
  // Bytes that are no UTF-8 have no case to change.
  std::u8string broken = u8"ab";
  broken.push_back(static_cast<char8_t>(0xFF));
  EXPECT_EQ(text::ToUpperUtf8(broken), broken);
}

TEST(TextUnicode, AnsiFormAndLength) {
  struct Case {
    std::u8string unicode;
    std::string ansi;
  };
  const Case cases[] = {
      {u8"D:\\Jörg\\Lisp;E:\\한글;F:\\中", "D:\\J?rg\\Lisp;E:\\??;F:\\" + kZhongWen.substr(0, 2)},
      {u8"中文", kZhongWen},
      {u8"C:\\誠", "C:\\" + kCheng},
      {u8"ö;", "?;"},
      {u8"한", "?"},
      {std::u8string(u8"a\0b", 3), std::string("a\0b", 3)},
      {u8"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::U8ToAnsiLossy(c.unicode), c.ansi) << c.ansi;
    EXPECT_EQ(text::AnsiLength(c.unicode), c.ansi.size()) << c.ansi;
  }
  EXPECT_EQ(text::AnsiToU8(kZhongWen + "\\" + kCheng), u8"中文\\誠");
  EXPECT_EQ(text::AnsiToU8("a\xFF"), u8"a\uFFFD");
}

}  // namespace
