// Other users' hives as the program reaches them (HKEY_USERS, ProfileList, account names, loading a
// hive file), checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "contract/contract_env.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/user_environment.h"

namespace {

using platform::Access;
using platform::UniqueKey;

constexpr std::u8string_view kMarker = u8"李伟 Jörg";

std::u8string U8(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

class HiveContract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = contract::MakeEnv();
    UniqueKey user;
    ASSERT_EQ(reg().OpenRoot(platform::RootKey::CurrentUser, user), platform::kSuccess);
    ASSERT_EQ(reg().OpenKey(user.get(), env_->ScratchKey(), Access::ReadWrite, scratch_), platform::kSuccess);
    ASSERT_EQ(reg().OpenUsersRoot(users_), platform::kSuccess);
    ASSERT_EQ(env_->System().AccountSid(sid_), platform::kSuccess);
  }
  void TearDown() override { scratch_.reset(); }

  platform::Registry& reg() { return env_->Registry(); }

  // A new hive file in the scratch folder whose key "Sub" holds the marker.
  std::u8string MakeHiveFile(const std::string& fileName) {
    UniqueKey key;
    EXPECT_EQ(reg().CreateKeyW(scratch_.get(), U8(fileName) + u8"\\Sub", key), platform::kSuccess);
    EXPECT_EQ(reg().SetTextW(key.get(), u8"marker", platform::kRegSz, kMarker), platform::kSuccess);
    const std::u8string file = text::AnsiToU8(env_->ScratchDir() + "\\" + fileName);
    EXPECT_EQ(env_->SaveHive(env_->ScratchKey() + "\\" + fileName, file), platform::kSuccess);
    return file;
  }

  // The text of `value` in HKEY_USERS\<path>, or empty.
  std::u8string ReadUnderUsers(const std::u8string& path, std::u8string_view value = u8"marker") {
    UniqueKey key;
    std::uint32_t type = platform::kRegNone;
    std::u8string text;
    if (reg().OpenKeyW(users_.get(), path, Access::Read, key) == platform::kSuccess) {
      static_cast<void>(reg().QueryTextW(key.get(), value, type, text));
    }
    return text;
  }

  std::unique_ptr<contract::Env> env_;
  UniqueKey scratch_;
  UniqueKey users_;
  std::string sid_;
};

// HKEY_USERS\<SID> is HKEY_CURRENT_USER, and ProfileList names the account's profile folder.
TEST_F(HiveContract, TheRunningAccountHasItsHiveUnderItsSidAndItsProfileInProfileList) {
  ASSERT_EQ(reg().SetTextW(scratch_.get(), u8"marker", platform::kRegSz, kMarker), platform::kSuccess);
  EXPECT_EQ(ReadUnderUsers(U8(sid_) + u8"\\" + text::AnsiToU8(env_->ScratchKey())), kMarker);

  UniqueKey machine;
  UniqueKey entry;
  ASSERT_EQ(reg().OpenRoot(platform::RootKey::LocalMachine, machine), platform::kSuccess);
  ASSERT_EQ(reg().OpenKeyW(machine.get(), u8"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + U8(sid_),
                           Access::Read, entry),
            platform::kSuccess);
  std::uint32_t type = platform::kRegNone;
  std::u8string stored;
  std::u8string expanded;
  std::u8string profile;
  ASSERT_EQ(reg().QueryTextW(entry.get(), u8"ProfileImagePath", type, stored), platform::kSuccess);
  ASSERT_EQ(platform::ExpandForUser(stored, u8"", env_->System(), expanded), platform::kSuccess);
  ASSERT_EQ(env_->System().EnvironmentVariableW(u8"USERPROFILE", profile), platform::kSuccess);
  EXPECT_TRUE(text::EqualsNoCaseUtf8(expanded, profile)) << text::U8ToAnsiLossy(expanded);
}

TEST_F(HiveContract, AccountNamesAreLookedUpBySid) {
  std::u8string own;
  std::u8string userName;
  ASSERT_EQ(env_->System().AccountName(sid_, own), platform::kSuccess);
  ASSERT_EQ(env_->System().EnvironmentVariableW(u8"USERNAME", userName), platform::kSuccess);
  EXPECT_TRUE(text::EqualsNoCaseUtf8(own.substr(own.rfind(u8'\\') + 1), userName)) << text::U8ToAnsiLossy(own);
  // SYSTEM's name is in the system's language: that it has one is what counts.
  for (const auto& [sid, status] : {std::pair{"S-1-5-18", platform::kSuccess},
                                    std::pair{"S-1-5-21-1-2-3-4999", platform::kNoneMapped},
                                    std::pair{"not a SID", platform::kInvalidSid}}) {
    std::u8string name = u8"stale";
    EXPECT_EQ(env_->System().AccountName(sid, name), status) << sid;
    EXPECT_EQ(name.empty(), status != platform::kSuccess) << sid;
  }
}

TEST_F(HiveContract, ASavedKeyLoadsAsAHiveAndUnloadsOnceItsTopIsClosed) {
  const int privileges = env_->EnabledHivePrivileges();
  ASSERT_GE(privileges, 0) << "the token's privileges cannot be read";
  const std::u8string file = MakeHiveFile("load.dat");
  const std::u8string name = env_->UniqueHiveName(u8"VornexContract_");
  platform::LoadedHive missing;
  EXPECT_EQ(missing.Load(reg(), name, file + u8".absent"), platform::kFileNotFound);
  platform::LoadedHive hive;
  ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privileges) << "privileges left enabled";
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub"), kMarker);
  platform::LoadedHive taken;
  EXPECT_NE(taken.Load(reg(), name, MakeHiveFile("other.dat")), platform::kSuccess);
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub"), kMarker) << "the hive loaded first stays";

  UniqueKey top;
  ASSERT_EQ(reg().OpenKeyW(users_.get(), name, Access::ReadWrite, top), platform::kSuccess);
  EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
  top.reset();
  EXPECT_EQ(hive.Unload(), platform::kSuccess);
  EXPECT_EQ(reg().OpenKeyW(users_.get(), name, Access::Read, top), platform::kFileNotFound);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privileges) << "privileges left enabled";
}

// A hive file is held while loaded, by any key open in it; what changed then is in the file after.
TEST_F(HiveContract, ALoadedHiveHoldsItsFileAndKeepsItsChanges) {
  if (env_->IsWine()) {
    GTEST_SKIP() << "Wine 8 loads a hive file twice, unloads with a key below the top open, and drops a hive's "
                    "changes when it unloads it";
  }
  const std::u8string file = MakeHiveFile("held.dat");
  const std::u8string name = env_->UniqueHiveName(u8"VornexContract_");
  {
    platform::LoadedHive hive;
    ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
    platform::LoadedHive twice;
    EXPECT_EQ(twice.Load(reg(), env_->UniqueHiveName(u8"VornexContract_"), file), platform::kSharingViolation);
    UniqueKey sub;
    ASSERT_EQ(reg().OpenKeyW(users_.get(), name + u8"\\Sub", Access::ReadWrite, sub), platform::kSuccess);
    ASSERT_EQ(reg().SetTextW(sub.get(), u8"added", platform::kRegSz, u8"while loaded"), platform::kSuccess);
    EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
  }
  platform::LoadedHive again;
  ASSERT_EQ(again.Load(reg(), name, file), platform::kSuccess);
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub", u8"added"), u8"while loaded");
}

}  // namespace
