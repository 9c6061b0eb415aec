// Registry behaviour the program relies on, checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "contract/contract_env.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

using platform::Access;
using platform::KeyHandle;
using platform::RegValue;
using platform::Status;
using platform::UniqueKey;

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = contract::MakeEnv();
    UniqueKey user;
    ASSERT_EQ(reg().OpenRoot(platform::RootKey::CurrentUser, user), platform::kSuccess);
    ASSERT_EQ(reg().OpenKey(user.get(), env_->ScratchKey(), Access::ReadWrite, scratch_), platform::kSuccess);
  }
  void TearDown() override { scratch_.reset(); }

  platform::Registry& reg() { return env_->Registry(); }

  // Names of all sub-keys of `key` in enumeration order.
  std::vector<std::string> Names(KeyHandle key) {
    std::vector<std::string> names;
    std::uint32_t count = 0;
    EXPECT_EQ(reg().CountSubKeys(key, count), platform::kSuccess);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::string name;
      EXPECT_EQ(reg().EnumSubKey(key, i, platform::kMaxKeyNameChars + 1, name), platform::kSuccess);
      names.push_back(name);
    }
    std::string past;
    EXPECT_EQ(reg().EnumSubKey(key, count, platform::kMaxKeyNameChars + 1, past), platform::kNoMoreItems);
    return names;
  }

  void Create(const std::string& path) {
    UniqueKey key;
    ASSERT_EQ(reg().CreateKey(scratch_.get(), path, key), platform::kSuccess) << path;
  }

  std::unique_ptr<contract::Env> env_;
  UniqueKey scratch_;
};

// ---- names ----

TEST_F(RegistryContract, OpensWithoutRegardToCaseAndEnumeratesTheCaseAsCreated) {
  Create("MixedCase");
  for (const char* spelling : {"MixedCase", "mixedcase", "MIXEDCASE", "mIXEDcASE"}) {
    UniqueKey key;
    EXPECT_EQ(reg().OpenKey(scratch_.get(), spelling, Access::Read, key), platform::kSuccess) << spelling;
  }
  // Creating it again under another spelling opens the existing key and keeps its case.
  Create("MIXEDCASE");
  EXPECT_EQ(Names(scratch_.get()), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryContract, EnumeratesSubKeysInCaseInsensitiveOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2", "a1", "Zeta", "b"}) Create(name);
  EXPECT_EQ(Names(scratch_.get()), (std::vector<std::string>{"a1", "Alpha", "ALPHA2", "b", "beta", "gamma", "Zeta"}));
}

TEST_F(RegistryContract, EmptySubKeyNameOpensTheKeyItselfAgain) {
  UniqueKey again;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "", Access::Read, again), platform::kSuccess);
  EXPECT_NE(again.get(), 0u);
  ASSERT_EQ(reg().SetValue(scratch_.get(), "marker", platform::kRegDword, platform::DwordData(7)), platform::kSuccess);
  RegValue value;
  ASSERT_EQ(platform::QueryWholeValue(reg(), again.get(), "marker", value), platform::kSuccess);
  EXPECT_EQ(value.data, platform::DwordData(7));
}

TEST_F(RegistryContract, CreateMakesEveryMissingLevelAndOpenWalksSeveralLevels) {
  Create("one\\two\\three");
  UniqueKey one;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "one", Access::Read, one), platform::kSuccess);
  EXPECT_EQ(Names(one.get()), std::vector<std::string>{"two"});
  UniqueKey three;
  ASSERT_EQ(reg().OpenKey(one.get(), "two\\three", Access::Read, three), platform::kSuccess);
  EXPECT_TRUE(Names(three.get()).empty());
  UniqueKey missing;
  EXPECT_EQ(reg().OpenKey(scratch_.get(), "one\\missing", Access::Read, missing), platform::kFileNotFound);
  EXPECT_FALSE(missing);
}

TEST_F(RegistryContract, KeyNameOf255CharactersIsAccepted) {
  const std::string longest(platform::kMaxKeyNameChars, 'k');
  Create(longest);
  std::string name;
  EXPECT_EQ(reg().EnumSubKey(scratch_.get(), 0, longest.size() + 1, name), platform::kSuccess);
  EXPECT_EQ(name, longest);
}

TEST_F(RegistryContract, KeyNameOf256CharactersIsRefused) {
  if (env_->IsWine()) GTEST_SKIP() << "Wine 8 accepts a key name of 256 characters; Windows stops at 255";
  UniqueKey tooLong;
  EXPECT_NE(reg().CreateKey(scratch_.get(), std::string(platform::kMaxKeyNameChars + 1, 'x'), tooLong),
            platform::kSuccess);
  EXPECT_FALSE(tooLong);
  EXPECT_TRUE(Names(scratch_.get()).empty());
}

TEST_F(RegistryContract, EnumSubKeyWithTooSmallBufferGivesMoreDataAndNoName) {
  Create("abcdef");
  struct Case {
    std::size_t capacity;
    Status status;
    const char* name;
  };
  for (const Case c : {Case{1, platform::kMoreData, ""}, Case{6, platform::kMoreData, ""},
                       Case{7, platform::kSuccess, "abcdef"}, Case{256, platform::kSuccess, "abcdef"}}) {
    std::string name = "stale";
    EXPECT_EQ(reg().EnumSubKey(scratch_.get(), 0, c.capacity, name), c.status) << c.capacity;
    EXPECT_EQ(name, c.name) << c.capacity;
  }
}

// ---- deletion ----

TEST_F(RegistryContract, DeleteIsRefusedWhileTheKeyHasSubKeys) {
  Create("parent\\child");
  EXPECT_EQ(reg().DeleteKey(scratch_.get(), "parent"), platform::kAccessDenied);
  UniqueKey parent;
  EXPECT_EQ(reg().OpenKey(scratch_.get(), "parent", Access::Read, parent), platform::kSuccess);
  parent.reset();
  EXPECT_EQ(reg().DeleteKey(scratch_.get(), "parent\\child"), platform::kSuccess);
  EXPECT_EQ(reg().DeleteKey(scratch_.get(), "PARENT"), platform::kSuccess);
  UniqueKey gone;
  EXPECT_EQ(reg().OpenKey(scratch_.get(), "parent", Access::Read, gone), platform::kFileNotFound);
  EXPECT_EQ(reg().DeleteKey(scratch_.get(), "parent"), platform::kFileNotFound);
}

TEST_F(RegistryContract, HandleOnADeletedKeyReportsKeyDeleted) {
  UniqueKey doomed;
  ASSERT_EQ(reg().CreateKey(scratch_.get(), "doomed", doomed), platform::kSuccess);
  ASSERT_EQ(reg().DeleteKey(scratch_.get(), "doomed"), platform::kSuccess);
  RegValue value;
  std::size_t required = 0;
  std::uint32_t count = 0;
  EXPECT_EQ(reg().QueryValue(doomed.get(), "x", 16, value, required), platform::kKeyDeleted);
  EXPECT_EQ(reg().CountSubKeys(doomed.get(), count), platform::kKeyDeleted);
  EXPECT_EQ(reg().SetValue(doomed.get(), "x", platform::kRegDword, platform::DwordData(1)), platform::kKeyDeleted);
}

// ---- values ----

struct ValueCase {
  const char* label;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<std::uint8_t> Bytes(std::u8string_view s) { return {s.begin(), s.end()}; }

TEST_F(RegistryContract, ValuesRoundTripWithTheirTypeAndBytes) {
  const ValueCase cases[] = {
      {"sz", platform::kRegSz, platform::SzData("C:\\Program Files\\AutoCAD 2010")},
      {"sz without terminator", platform::kRegSz, Bytes("no terminator")},
      {"empty sz", platform::kRegSz, platform::SzData("")},
      {"expand sz", platform::kRegExpandSz, platform::SzData("%APPDATA%\\Vornex")},
      {"multi sz", platform::kRegMultiSz, Bytes(std::string("a\0bc\0\0", 6))},
      {"dword", platform::kRegDword, platform::DwordData(0xA1B2C3D4u)},
      {"binary", platform::kRegBinary, {0x00, 0xFF, 0x00, 0x5C, 0x80}},
      {"empty binary", platform::kRegBinary, {}},
  };
  for (const ValueCase& c : cases) {
    ASSERT_EQ(reg().SetValue(scratch_.get(), c.label, c.type, c.data), platform::kSuccess) << c.label;
  }
  for (const ValueCase& c : cases) {
    RegValue value;
    std::size_t required = 0;
    ASSERT_EQ(reg().QueryValue(scratch_.get(), c.label, 4096, value, required), platform::kSuccess) << c.label;
    EXPECT_EQ(value.type, c.type) << c.label;
    EXPECT_EQ(value.data, c.data) << c.label;
    EXPECT_EQ(required, c.data.size()) << c.label;
  }
}

TEST_F(RegistryContract, ValueNamesMatchWithoutRegardToCase) {
  ASSERT_EQ(reg().SetValue(scratch_.get(), "AcadLocation", platform::kRegSz, platform::SzData("first")),
            platform::kSuccess);
  ASSERT_EQ(reg().SetValue(scratch_.get(), "ACADLOCATION", platform::kRegSz, platform::SzData("second")),
            platform::kSuccess);
  RegValue value;
  ASSERT_EQ(platform::QueryWholeValue(reg(), scratch_.get(), "acadlocation", value), platform::kSuccess);
  EXPECT_EQ(platform::ValueText(value), "second");
}

TEST_F(RegistryContract, TooSmallBufferGivesMoreDataWithTheSizeNeeded) {
  const std::vector<std::uint8_t> binary(100, 0x42);
  const std::vector<std::uint8_t> text = platform::SzData(std::string(50, 't'));
  ASSERT_EQ(reg().SetValue(scratch_.get(), "bin", platform::kRegBinary, binary), platform::kSuccess);
  ASSERT_EQ(reg().SetValue(scratch_.get(), "text", platform::kRegSz, text), platform::kSuccess);

  RegValue value;
  std::size_t required = 0;
  EXPECT_EQ(reg().QueryValue(scratch_.get(), "bin", 99, value, required), platform::kMoreData);
  EXPECT_TRUE(value.data.empty());
  EXPECT_EQ(required, binary.size());

  // The ANSI function may ask for more than the text needs (it sizes for the stored UTF-16),
  // never for less; the size it names is then enough.
  EXPECT_EQ(reg().QueryValue(scratch_.get(), "text", 10, value, required), platform::kMoreData);
  EXPECT_TRUE(value.data.empty());
  EXPECT_GE(required, text.size());
  ASSERT_EQ(reg().QueryValue(scratch_.get(), "text", required, value, required), platform::kSuccess);
  EXPECT_EQ(value.data, text);
}

TEST_F(RegistryContract, MissingValueIsFileNotFound) {
  RegValue value;
  std::size_t required = 0;
  EXPECT_EQ(reg().QueryValue(scratch_.get(), "absent", 256, value, required), platform::kFileNotFound);
}

TEST_F(RegistryContract, ReadOnlyHandleCannotSetValues) {
  UniqueKey readOnly;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "", Access::Read, readOnly), platform::kSuccess);
  EXPECT_EQ(reg().SetValue(readOnly.get(), "x", platform::kRegDword, platform::DwordData(1)), platform::kAccessDenied);
  RegValue value;
  std::size_t required = 0;
  EXPECT_EQ(reg().QueryValue(scratch_.get(), "x", 16, value, required), platform::kFileNotFound);
}

TEST_F(RegistryContract, DeleteValueRemovesOneValueWhateverItsCase) {
  ASSERT_EQ(reg().SetValue(scratch_.get(), "TrustedPaths", platform::kRegSz, platform::SzData("C:\\A")), platform::kSuccess);
  ASSERT_EQ(reg().SetValue(scratch_.get(), "Other", platform::kRegDword, platform::DwordData(1)), platform::kSuccess);
  EXPECT_EQ(reg().DeleteValue(scratch_.get(), "TRUSTEDPATHS"), platform::kSuccess);
  EXPECT_EQ(reg().DeleteValue(scratch_.get(), "TRUSTEDPATHS"), platform::kFileNotFound);
  RegValue value;
  EXPECT_EQ(platform::QueryWholeValue(reg(), scratch_.get(), "TrustedPaths", value), platform::kFileNotFound);
  EXPECT_EQ(platform::QueryWholeValue(reg(), scratch_.get(), "Other", value), platform::kSuccess);
  UniqueKey readOnly;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "", Access::Read, readOnly), platform::kSuccess);
  EXPECT_EQ(reg().DeleteValue(readOnly.get(), "Other"), platform::kAccessDenied);
}

TEST_F(RegistryContract, MegabyteValueReadsBackWhole) {
  std::vector<std::uint8_t> big(1024 * 1024);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 131 % 251);
  ASSERT_EQ(reg().SetValue(scratch_.get(), "big", platform::kRegBinary, big), platform::kSuccess);
  RegValue value;
  std::size_t required = 0;
  EXPECT_EQ(reg().QueryValue(scratch_.get(), "big", big.size() - 1, value, required), platform::kMoreData);
  EXPECT_EQ(required, big.size());
  ASSERT_EQ(platform::QueryWholeValue(reg(), scratch_.get(), "big", value), platform::kSuccess);
  EXPECT_EQ(value.type, platform::kRegBinary);
  EXPECT_TRUE(value.data == big);
}

// ---- depth ----

// The registry allows 512 levels; a hundred, created one at a time, is well inside that and
// far deeper than any AutoCAD key. They are opened again ten levels per call: Wine converts an
// ANSI sub-key path in a buffer of MAX_PATH characters, so longer paths are not portable.
TEST_F(RegistryContract, HundredLevelsCreateAndOpenAgain) {
  constexpr int kLevels = 100;
  constexpr int kPerOpen = 10;
  {
    UniqueKey current;
    ASSERT_EQ(reg().OpenKey(scratch_.get(), "", Access::ReadWrite, current), platform::kSuccess);
    for (int level = 0; level < kLevels; ++level) {
      UniqueKey next;
      ASSERT_EQ(reg().CreateKey(current.get(), "L" + std::to_string(level), next), platform::kSuccess) << level;
      current = std::move(next);
    }
    ASSERT_EQ(reg().SetValue(current.get(), "depth", platform::kRegDword, platform::DwordData(kLevels)),
              platform::kSuccess);
  }
  UniqueKey current;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "", Access::Read, current), platform::kSuccess);
  for (int level = 0; level < kLevels; level += kPerOpen) {
    std::string path;
    for (int k = level; k < level + kPerOpen; ++k) {
      path += (k == level ? "l" : "\\l") + std::to_string(k);  // any letter case opens
    }
    UniqueKey next;
    ASSERT_EQ(reg().OpenKey(current.get(), path, Access::Read, next), platform::kSuccess) << path;
    current = std::move(next);
  }
  RegValue value;
  ASSERT_EQ(platform::QueryWholeValue(reg(), current.get(), "depth", value), platform::kSuccess);
  EXPECT_EQ(value.data, platform::DwordData(kLevels));
}

// ---- the wide functions ----

// The ANSI form the ANSI functions give Unicode text: each character the code page lacks as '?'.
// Worked out character by character here, not by the conversion the code under test uses.
std::string AnsiForm(std::u8string_view unicode) {
  std::string ansi;
  for (std::size_t i = 0, length = 1; i < unicode.size(); i += length, length = 1) {
    while (i + length < unicode.size() && (unicode[i + length] & 0xC0) == 0x80) ++length;
    std::string form;
    ansi += text::Utf8ToAnsi(std::string(unicode.begin() + i, unicode.begin() + i + length), form) ? form : "?";
  }
  return ansi;
}

std::u8string U8(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

TEST_F(RegistryContract, TextWrittenInOneFamilyReadsInTheOther) {
  const ValueCase cases[] = {
      {"paths", platform::kRegSz, Bytes(u8"D:\\Jörg\\Lisp;E:\\한글;F:\\中")},
      {"expandable", platform::kRegExpandSz, Bytes(u8"%USERPROFILE%\\Jörg;F:\\中")},
      {"empty", platform::kRegSz, {}},
      // Longer than a first read takes: read again whole, never cut.
      {"long", platform::kRegSz, Bytes(std::u8string(1500, u8'D'))},
  };
  for (const ValueCase& c : cases) {
    const std::u8string written(c.data.begin(), c.data.end());
    ASSERT_EQ(reg().SetTextW(scratch_.get(), U8(c.label), c.type, written), platform::kSuccess) << c.label;
    std::uint32_t type = platform::kRegNone;
    std::u8string text = u8"stale";
    ASSERT_EQ(reg().QueryTextW(scratch_.get(), U8(c.label), type, text), platform::kSuccess) << c.label;
    EXPECT_EQ(type, c.type) << c.label;
    EXPECT_EQ(text, written) << c.label;
    RegValue value;
    ASSERT_EQ(platform::QueryWholeValue(reg(), scratch_.get(), c.label, value), platform::kSuccess) << c.label;
    EXPECT_EQ(value.type, c.type) << c.label;
    EXPECT_EQ(value.data, platform::SzData(AnsiForm(written))) << c.label;
  }
  // ANSI text reads as Unicode; each code page holds one of these, and the other is passed over.
  for (const std::u8string_view unicode : {u8"D:\\中文;E:\\誠", u8"D:\\Jörg;E:\\Ä"}) {
    std::string ansi;
    if (!text::Utf8ToAnsi(std::string(unicode.begin(), unicode.end()), ansi)) continue;
    ASSERT_EQ(reg().SetValue(scratch_.get(), "ansi", platform::kRegSz, platform::SzData(ansi)), platform::kSuccess);
    std::uint32_t type = platform::kRegNone;
    std::u8string text;
    ASSERT_EQ(reg().QueryTextW(scratch_.get(), u8"ansi", type, text), platform::kSuccess);
    EXPECT_EQ(text, unicode);
  }
}

TEST_F(RegistryContract, UnicodeKeyNamesEnumerateWideAndAnsiWithQuestionMarks) {
  std::u8string longName;
  for (int i = 0; i < 130; ++i) longName += u8"图";  // 130 characters, 260 bytes in code page 936
  int parent = 0;
  for (const std::u8string& name : {std::u8string(u8"프로필"), std::u8string(u8"Jörg"), longName}) {
    const std::string ansi = AnsiForm(name);
    SCOPED_TRACE(ansi);
    // One parent each, so that each name is its parent's only sub-key.
    const std::u8string parentName = U8("p" + std::to_string(parent++));
    UniqueKey key;
    ASSERT_EQ(reg().CreateKeyW(scratch_.get(), parentName + u8"\\" + name, key), platform::kSuccess);
    ASSERT_EQ(reg().OpenKeyW(scratch_.get(), parentName, Access::Read, key), platform::kSuccess);
    std::u8string wide;
    ASSERT_EQ(reg().EnumSubKeyW(key.get(), 0, wide), platform::kSuccess);
    EXPECT_EQ(wide, name);
    UniqueKey sub;  // letter case does not matter in Unicode either
    EXPECT_EQ(reg().OpenKeyW(key.get(), text::ToUpperUtf8(name), Access::Read, sub), platform::kSuccess);
    // The ANSI name has '?' for what the code page lacks, needs a buffer for its bytes, and opens
    // nothing when it is not the name.
    std::string ansiName;
    const bool fits = ansi.size() < platform::kMaxKeyNameChars + 1;
    EXPECT_EQ(reg().EnumSubKey(key.get(), 0, platform::kMaxKeyNameChars + 1, ansiName),
              fits ? platform::kSuccess : platform::kMoreData);
    EXPECT_EQ(ansiName, fits ? ansi : "");
    EXPECT_EQ(reg().OpenKey(key.get(), ansi, Access::Read, sub),
              ansi.find('?') == std::string::npos ? platform::kSuccess : platform::kFileNotFound);
  }
}

// QueryTextW tells the type of a value that is not text; SetTextW stores nothing it cannot store
// as given.
TEST_F(RegistryContract, WideTextCallsTellOtherTypesAndRefuseWhatTheyCannotStore) {
  for (const ValueCase& c : {ValueCase{"multi", platform::kRegMultiSz, Bytes(std::string("a\0b\0\0", 5))},
                             ValueCase{"binary", platform::kRegBinary, {0x41, 0x00, 0x42}},
                             ValueCase{"dword", platform::kRegDword, platform::DwordData(7)},
                             ValueCase{"long binary", platform::kRegBinary, std::vector<std::uint8_t>(5000, 0x41)}}) {
    ASSERT_EQ(reg().SetValue(scratch_.get(), c.label, c.type, c.data), platform::kSuccess) << c.label;
    std::uint32_t type = platform::kRegNone;
    std::u8string text = u8"stale";
    ASSERT_EQ(reg().QueryTextW(scratch_.get(), U8(c.label), type, text), platform::kSuccess) << c.label;
    EXPECT_EQ(type, c.type) << c.label;
    EXPECT_EQ(text, u8"") << c.label;
  }
  std::u8string notUtf8 = u8"bad";
  notUtf8.push_back(static_cast<char8_t>(0xFF));
  EXPECT_EQ(reg().SetTextW(scratch_.get(), u8"v", platform::kRegDword, u8"1"), platform::kInvalidParameter);
  EXPECT_EQ(reg().SetTextW(scratch_.get(), u8"v", platform::kRegSz, notUtf8), platform::kNoUnicodeTranslation);
  EXPECT_EQ(reg().SetTextW(scratch_.get(), u8"v", platform::kRegSz, std::u8string(u8"a\0b", 3)),
            platform::kInvalidParameter);
  std::uint32_t type = platform::kRegNone;
  std::u8string text;
  EXPECT_EQ(reg().QueryTextW(scratch_.get(), u8"v", type, text), platform::kFileNotFound);
  UniqueKey key;
  EXPECT_EQ(reg().CreateKeyW(scratch_.get(), notUtf8, key), platform::kNoUnicodeTranslation);
}

// ---- links ----

// A link key leads every walk through it to its target, the way the catalogue scan may meet one;
// one that leads to an ancestor makes a loop that only a bounded walk survives.
TEST_F(RegistryContract, WalksGoThroughALinkKeyToItsTarget) {
  const std::string base = env_->ScratchKey() + "\\";
  UniqueKey key;
  ASSERT_EQ(reg().CreateKey(scratch_.get(), "target\\child", key), platform::kSuccess);
  ASSERT_EQ(reg().SetValue(key.get(), "marker", platform::kRegDword, platform::DwordData(1)), platform::kSuccess);
  ASSERT_EQ(env_->CreateLink(base + "link", base + "target"), platform::kSuccess);
  ASSERT_EQ(env_->CreateLink(base + "target\\loop", base + "target"), platform::kSuccess);

  ASSERT_EQ(reg().OpenKey(scratch_.get(), "link\\child", Access::Read, key), platform::kSuccess);
  RegValue marker;
  EXPECT_EQ(platform::QueryWholeValue(reg(), key.get(), "marker", marker), platform::kSuccess);
  EXPECT_EQ(reg().OpenKeyW(scratch_.get(), u8"LINK\\loop\\loop\\loop\\child", Access::Read, key), platform::kSuccess);
  // A handle opened through the link is the target's.
  UniqueKey link;
  ASSERT_EQ(reg().OpenKey(scratch_.get(), "link", Access::ReadWrite, link), platform::kSuccess);
  EXPECT_EQ(Names(link.get()), (std::vector<std::string>{"child", "loop"}));
  ASSERT_EQ(reg().CreateKey(link.get(), "made", key), platform::kSuccess);
  EXPECT_EQ(reg().OpenKey(scratch_.get(), "target\\made", Access::Read, key), platform::kSuccess);
  // Two links that lead to each other end the walk with a failure, not a hang.
  ASSERT_EQ(env_->CreateLink(base + "a", base + "b"), platform::kSuccess);
  ASSERT_EQ(env_->CreateLink(base + "b", base + "a"), platform::kSuccess);
  EXPECT_NE(reg().OpenKey(scratch_.get(), "a", Access::Read, key), platform::kSuccess);
  EXPECT_FALSE(key);
}

// A rollback keeps every value of a key it is about to delete and make again: each one comes out of
// the enumeration whole, whatever its name, type or size, and the end is told.
TEST_F(RegistryContract, EnumValueGivesEveryValueWholeThenNoMoreItems) {
  const std::vector<std::uint8_t> megabyte(1 << 20, 0xA5);
  struct Case {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const Case cases[] = {
      {"", platform::kRegSz, {'d', 'e', 'f', 0}},                     // the key's default value
      {"Empty", platform::kRegBinary, {}},
      {"Big", platform::kRegBinary, megabyte},                        // beyond any first guess of a buffer
      {"Lines", platform::kRegMultiSz, {'a', 0, 'b', 0, 0}},
  };
  UniqueKey key;
  ASSERT_EQ(reg().CreateKey(scratch_.get(), "values", key), platform::kSuccess);
  for (const Case& c : cases) ASSERT_EQ(reg().SetValue(key.get(), c.name, c.type, c.data), platform::kSuccess) << c.name;

  std::vector<std::pair<std::string, RegValue>> listed;
  std::uint32_t index = 0;
  for (;; ++index) {
    std::string name = "stale";
    RegValue value;
    const Status st = reg().EnumValue(key.get(), index, name, value);
    if (st == platform::kNoMoreItems) break;
    ASSERT_EQ(st, platform::kSuccess) << index;
    listed.emplace_back(name, value);
  }
  EXPECT_EQ(index, std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = std::find_if(listed.begin(), listed.end(), [&c](const auto& one) { return one.first == c.name; });
    ASSERT_NE(found, listed.end());
    EXPECT_EQ(found->second.type, c.type);
    EXPECT_EQ(found->second.data, c.data);
  }
}

}  // namespace
