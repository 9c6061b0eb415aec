// The simulated registry beyond what the contract suite can check on Windows: limits, handle
// accounting, multibyte names and the failure injection the catalogue tests rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/reg_file.h"
#include "platform/sim/sim_registry.h"

namespace {

using platform::Access;
using platform::RootKey;
using platform::UniqueKey;

class SimRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(reg_.OpenRoot(RootKey::LocalMachine, hklm_), platform::kSuccess); }
  void TearDown() override {
    hklm_.reset();
    EXPECT_EQ(reg_.OpenHandleCount(), 0u);
    EXPECT_EQ(reg_.BadCloseCount(), 0u);
  }

  sim::SimRegistry reg_;
  UniqueKey hklm_;
};

TEST_F(SimRegistryTest, HandleAccountingSeesEveryOpenAndClose) {
  EXPECT_EQ(reg_.OpenHandleCount(), 1u);
  {
    UniqueKey a;
    UniqueKey b;
    ASSERT_EQ(reg_.CreateKey(hklm_.get(), "SOFTWARE\\A", a), platform::kSuccess);
    ASSERT_EQ(reg_.OpenKey(hklm_.get(), "software", Access::Read, b), platform::kSuccess);
    EXPECT_EQ(reg_.OpenHandleCount(), 3u);
    UniqueKey failed;
    EXPECT_EQ(reg_.OpenKey(hklm_.get(), "missing", Access::Read, failed), platform::kFileNotFound);
    EXPECT_EQ(reg_.OpenHandleCount(), 3u) << "a failed open holds no handle";
    b = std::move(a);  // closes the old b
    EXPECT_EQ(reg_.OpenHandleCount(), 2u);
  }
  EXPECT_EQ(reg_.OpenHandleCount(), 1u);
  sim::SimRegistry other;
  other.CloseKey(hklm_.get());  // a handle of another registry is not this one's to close
  EXPECT_EQ(other.BadCloseCount(), 1u);
}

TEST_F(SimRegistryTest, ClosedOrUnknownHandlesAreInvalid) {
  UniqueKey key;
  ASSERT_EQ(reg_.CreateKey(hklm_.get(), "K", key), platform::kSuccess);
  const platform::KeyHandle stale = key.get();
  key.reset();
  std::uint32_t count = 0;
  EXPECT_EQ(reg_.CountSubKeys(stale, count), platform::kInvalidHandle);
  UniqueKey reopened;
  ASSERT_EQ(reg_.OpenKey(hklm_.get(), "K", Access::Read, reopened), platform::kSuccess);
  EXPECT_NE(reopened.get(), stale) << "handle values are never reused";
}

TEST_F(SimRegistryTest, SortOrderFollowsUpperCaseLikeWindows) {
  for (const char* name : {"_under", "zeta", "Alpha", "a1", "[x]"}) ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, name));
  // Upper-cased, '_' (0x5F) and '[' (0x5B) sort after the letters.
  EXPECT_EQ(reg_.SubKeyNames(RootKey::LocalMachine, ""),
            (std::vector<std::string>{"a1", "Alpha", "zeta", "[x]", "_under"}));
  // Names are Unicode: 中 (U+4E2D) sorts before 图 (U+56FE), though its code page 936 bytes
  // (D6 D0) sort after those of 图 (CD BC); ä sorts as Ä (U+00C4), after the ASCII letters, and
  // the code page lacks it.
  for (const std::u8string name : {u8"图", u8"中", u8"ä", u8"b"}) {
    ASSERT_TRUE(reg_.SetString(RootKey::CurrentUser, u8"K\\" + name, u8"v", u8"x"));
  }
  EXPECT_EQ(reg_.SubKeyNames(RootKey::CurrentUser, "K"),
            (std::vector<std::string>{"b", "?", "\xD6\xD0", "\xCD\xBC"}));
}

TEST_F(SimRegistryTest, TrailByte5CIsPartOfTheNameNotASeparator) {
  const std::string cheng = "\xD5\x5C";  // 誠
  UniqueKey key;
  ASSERT_EQ(reg_.CreateKey(hklm_.get(), cheng + "\\" + cheng + "x", key), platform::kSuccess);
  EXPECT_EQ(reg_.SubKeyNames(RootKey::LocalMachine, ""), std::vector<std::string>{cheng});
  EXPECT_EQ(reg_.SubKeyNames(RootKey::LocalMachine, cheng), std::vector<std::string>{cheng + "x"});
  // Fullwidth letters fold like ASCII ones.
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, "\xA3\xE1"));
  EXPECT_TRUE(reg_.KeyExists(RootKey::LocalMachine, "\xA3\xC1"));
}

TEST_F(SimRegistryTest, DepthLimitIs512LevelsAndARefusedCreateLeavesNothing) {
  std::string path;
  for (std::size_t level = 1; level <= sim::kMaxKeyDepth - 1; ++level) path += (level == 1 ? "" : "\\") + std::string("k");
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, path));
  UniqueKey deep;
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), path + "\\last", deep), platform::kSuccess);  // level 512
  deep.reset();
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), path + "\\last\\over", deep), platform::kInvalidParameter);
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), path + "\\a\\b", deep), platform::kInvalidParameter);
  EXPECT_FALSE(reg_.KeyExists(RootKey::LocalMachine, path + "\\a")) << "nothing of a refused chain is created";
}

TEST_F(SimRegistryTest, NameLengthCountsCharactersNotBytes) {
  // 255 double-byte characters are 510 bytes and still a valid name.
  std::string wide;
  for (int i = 0; i < 255; ++i) wide += "\xD6\xD0";
  UniqueKey key;
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), wide, key), platform::kSuccess);
  key.reset();
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), wide + "x", key), platform::kInvalidParameter);
}

TEST_F(SimRegistryTest, NameLengthCountsUtf16Units) {
  // A character beyond the first plane takes two units, as in Windows' UTF-16 names.
  const std::u8string smile = u8"\U0001F600";
  UniqueKey key;
  EXPECT_EQ(reg_.CreateKeyW(hklm_.get(), std::u8string(253, u8'a') + smile, key), platform::kSuccess);
  key.reset();
  EXPECT_EQ(reg_.CreateKeyW(hklm_.get(), std::u8string(254, u8'a') + smile, key), platform::kInvalidParameter);
}

// A link may lead to an ancestor: walks through it are bounded, and work on the tree itself
// (deleting, saving) never goes through it.
TEST_F(SimRegistryTest, LinkToAnAncestorIsALeafToTreeWork) {
  ASSERT_TRUE(reg_.SetString(RootKey::CurrentUser, "Top\\Inner", "v", "x"));
  ASSERT_TRUE(reg_.CreateLink(RootKey::CurrentUser, "Top\\Inner\\Loop", RootKey::CurrentUser, "top"));
  ASSERT_TRUE(reg_.CreateLink(RootKey::CurrentUser, "Machine", RootKey::LocalMachine, "SOFTWARE"));
  EXPECT_FALSE(reg_.CreateLink(RootKey::CurrentUser, "top\\inner\\LOOP", RootKey::CurrentUser, "Top"))
      << "the name is taken";
  EXPECT_EQ(reg_.GetString(RootKey::CurrentUser, "Top\\Inner\\Loop\\Inner\\Loop\\Inner", "v"), "x");
  std::string deep = "Top";
  for (int i = 0; i <= sim::kMaxLinksPerWalk; ++i) deep += "\\Inner\\Loop";
  EXPECT_FALSE(reg_.KeyExists(RootKey::CurrentUser, deep)) << "a walk passes " << sim::kMaxLinksPerWalk << " links at most";
  // Through a link into the other root: the handle names the key where it really lies.
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, "SOFTWARE\\Locked"));
  reg_.DenyOpen(RootKey::LocalMachine, "SOFTWARE\\Locked");
  UniqueKey hkcu;
  UniqueKey key;
  ASSERT_EQ(reg_.OpenRoot(RootKey::CurrentUser, hkcu), platform::kSuccess);
  EXPECT_EQ(reg_.OpenKey(hkcu.get(), "Machine\\Locked", Access::Read, key), platform::kAccessDenied);
  std::string text;
  EXPECT_FALSE(sim::SaveReg(reg_, text)) << "a .reg file has no form for a link";
  EXPECT_TRUE(reg_.DeleteTree(RootKey::CurrentUser, "Top"));
  EXPECT_FALSE(reg_.KeyExists(RootKey::CurrentUser, "Top"));
  EXPECT_TRUE(reg_.KeyExists(RootKey::CurrentUser, "Machine\\Locked"));
}

TEST_F(SimRegistryTest, PathForms) {
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, "A\\B"));
  struct Case {
    const char* path;
    platform::Status status;
  };
  for (const Case c : {Case{"A\\B", platform::kSuccess}, Case{"A\\B\\", platform::kSuccess},
                       Case{"a\\\\b", platform::kSuccess}, Case{"\\A", platform::kBadPathName},
                       Case{"A\\C", platform::kFileNotFound}}) {
    UniqueKey key;
    EXPECT_EQ(reg_.OpenKey(hklm_.get(), c.path, Access::Read, key), c.status) << c.path;
    EXPECT_EQ(static_cast<bool>(key), c.status == platform::kSuccess) << c.path;
  }
}

TEST_F(SimRegistryTest, DeletingAKeyOrARootIsGuarded) {
  EXPECT_EQ(reg_.DeleteKey(hklm_.get(), ""), platform::kAccessDenied) << "a root stays";
  UniqueKey key;
  ASSERT_EQ(reg_.CreateKey(hklm_.get(), "Gone", key), platform::kSuccess);
  // The empty name deletes the key behind the handle itself.
  EXPECT_EQ(reg_.DeleteKey(key.get(), ""), platform::kSuccess);
  UniqueKey child;
  EXPECT_EQ(reg_.OpenKey(key.get(), "", Access::Read, child), platform::kKeyDeleted);
  EXPECT_FALSE(reg_.KeyExists(RootKey::LocalMachine, "Gone"));
}

TEST_F(SimRegistryTest, DenyOpenRefusesOnlyThatKeyAndOnlyTheAccessNamed) {
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, "SOFTWARE\\Locked\\Inner"));
  ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, "SOFTWARE\\ReadOnly"));
  reg_.DenyOpen(RootKey::LocalMachine, "software\\LOCKED");
  reg_.DenyOpen(RootKey::LocalMachine, "SOFTWARE\\ReadOnly", sim::Deny::WriteAccess);
  struct Case {
    const char* path;
    Access access;
    platform::Status status;
  };
  for (const Case c : {Case{"SOFTWARE\\Locked", Access::Read, platform::kAccessDenied},
                       Case{"SOFTWARE\\Locked\\Inner", Access::Read, platform::kSuccess},
                       Case{"SOFTWARE\\ReadOnly", Access::Read, platform::kSuccess},
                       Case{"SOFTWARE\\ReadOnly", Access::ReadWrite, platform::kAccessDenied}}) {
    UniqueKey key;
    EXPECT_EQ(reg_.OpenKey(hklm_.get(), c.path, c.access, key), c.status) << c.path;
  }
  UniqueKey created;
  EXPECT_EQ(reg_.CreateKey(hklm_.get(), "SOFTWARE\\ReadOnly", created), platform::kAccessDenied);
  // The same key under the other root is not affected.
  ASSERT_TRUE(reg_.CreatePath(RootKey::CurrentUser, "SOFTWARE\\Locked"));
  UniqueKey hkcu;
  UniqueKey other;
  ASSERT_EQ(reg_.OpenRoot(RootKey::CurrentUser, hkcu), platform::kSuccess);
  EXPECT_EQ(reg_.OpenKey(hkcu.get(), "SOFTWARE\\Locked", Access::Read, other), platform::kSuccess);
  // A denied root cannot be opened at all.
  reg_.DenyOpen(RootKey::CurrentUser, "");
  UniqueKey denied;
  EXPECT_EQ(reg_.OpenRoot(RootKey::CurrentUser, denied), platform::kAccessDenied);
  reg_.ClearFailures();
  EXPECT_EQ(reg_.OpenRoot(RootKey::CurrentUser, denied), platform::kSuccess);
}

TEST_F(SimRegistryTest, FailEnumSubKeyBreaksOnlyThatIndex) {
  for (const char* name : {"R17.0", "R18.0", "R19.0"}) ASSERT_TRUE(reg_.CreatePath(RootKey::LocalMachine, std::string("AutoCAD\\") + name));
  reg_.FailEnumSubKey(RootKey::LocalMachine, "autocad", 1);
  UniqueKey key;
  ASSERT_EQ(reg_.OpenKey(hklm_.get(), "AutoCAD", Access::Read, key), platform::kSuccess);
  std::uint32_t count = 0;
  ASSERT_EQ(reg_.CountSubKeys(key.get(), count), platform::kSuccess);
  EXPECT_EQ(count, 3u);
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name = "stale";
    const platform::Status st = reg_.EnumSubKey(key.get(), i, 256, name);
    EXPECT_EQ(st, i == 1 ? platform::kAccessDenied : platform::kSuccess);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"R17.0", "", "R19.0"}));
}

TEST_F(SimRegistryTest, DirectAccessHelpersMatchWhatHandlesSee) {
  ASSERT_TRUE(reg_.SetString(RootKey::CurrentUser, "Software\\X", "Name", "value"));
  ASSERT_TRUE(reg_.SetDword(RootKey::CurrentUser, "Software\\X", "Flag", 2));
  EXPECT_EQ(reg_.GetString(RootKey::CurrentUser, "SOFTWARE\\x", "name"), "value");
  EXPECT_EQ(reg_.Get(RootKey::CurrentUser, "Software\\X", "flag")->data, platform::DwordData(2));
  EXPECT_FALSE(reg_.GetString(RootKey::CurrentUser, "Software\\X", "absent").has_value());
  EXPECT_TRUE(reg_.DeleteValue(RootKey::CurrentUser, "Software\\X", "NAME"));
  EXPECT_FALSE(reg_.Get(RootKey::CurrentUser, "Software\\X", "Name").has_value());
  EXPECT_TRUE(reg_.DeleteTree(RootKey::CurrentUser, "Software"));
  EXPECT_FALSE(reg_.KeyExists(RootKey::CurrentUser, "Software\\X"));
  EXPECT_FALSE(reg_.DeleteTree(RootKey::CurrentUser, ""));
}

}  // namespace
