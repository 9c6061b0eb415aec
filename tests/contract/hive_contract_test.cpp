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
    return reg().OpenKeyW(users_.get(), path, Access::Read, key) == platform::kSuccess &&
                   reg().QueryTextW(key.get(), value, type, text) == platform::kSuccess
               ? text
               : u8"";
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

// On Windows a loaded hive file is held (a second load meets a sharing violation), and so is the
// hive by any key open in it; what changed while it was loaded is in the file afterwards.
TEST_F(HiveContract, ASavedKeyLoadsAsAHiveAndUnloadsOnceNoKeyInItIsOpen) {
  const int privileges = env_->EnabledHivePrivileges();
  ASSERT_GE(privileges, 0) << "the token's privileges cannot be read";
  const std::u8string file = MakeHiveFile("load.dat");
  const std::u8string name = env_->UniqueHiveName(u8"VornexContract_");
  platform::LoadedHive hive;
  EXPECT_EQ(hive.Load(reg(), name, file + u8".absent"), platform::kFileNotFound);
  ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privileges) << "privileges left enabled";
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub"), kMarker);
  platform::LoadedHive other;
  EXPECT_NE(other.Load(reg(), name, MakeHiveFile("other.dat")), platform::kSuccess) << "a name taken";
  {
    UniqueKey top;
    ASSERT_EQ(reg().OpenKeyW(users_.get(), name, Access::ReadWrite, top), platform::kSuccess);
    ASSERT_EQ(reg().SetTextW(top.get(), u8"added", platform::kRegSz, u8"while loaded"), platform::kSuccess);
    EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
  }
  const bool wine = env_->IsWine();
  UniqueKey sub;
  if (!wine) {
    EXPECT_EQ(other.Load(reg(), env_->UniqueHiveName(u8"VornexContract_"), file), platform::kSharingViolation);
    ASSERT_EQ(reg().OpenKeyW(users_.get(), name + u8"\\Sub", Access::Read, sub), platform::kSuccess);
    EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
    sub.reset();
  }
  EXPECT_EQ(hive.Unload(), platform::kSuccess);
  EXPECT_EQ(reg().OpenKeyW(users_.get(), name, Access::Read, sub), platform::kFileNotFound);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privileges) << "privileges left enabled";
  ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
  if (wine) {
    GTEST_SKIP() << "Wine 8 loads a hive file twice, unloads a hive with a key below its top open, and drops "
                    "a hive's changes when it unloads it";
  }
  EXPECT_EQ(ReadUnderUsers(name, u8"added"), u8"while loaded");
}

}  // namespace
