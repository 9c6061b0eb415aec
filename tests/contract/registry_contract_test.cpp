// Registry behaviour the program relies on, checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_env.h"
#include "platform/registry.h"

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

}  // namespace
