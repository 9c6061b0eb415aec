// Other users' hives as the program reaches them (HKEY_USERS, ProfileList, account names, loading a
// hive file), checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "contract/contract_env.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/user_environment.h"

namespace {

using platform::Access;
using platform::Status;
using platform::UniqueKey;

constexpr std::u8string_view kMarker = u8"李伟 Jörg";
constexpr std::u8string_view kHivePrefix = u8"VornexContract_";

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
  void TearDown() override {
    scratch_.reset();
    users_.reset();
  }

  platform::Registry& reg() { return env_->Registry(); }

  // A new hive file in the scratch folder, saved from a key whose sub-key "Sub" holds the marker.
  std::u8string MakeHiveFile(std::string_view fileName) {
    const std::string source = "hive-" + std::string(fileName);
    UniqueKey key;
    EXPECT_EQ(reg().CreateKeyW(scratch_.get(), U8(source) + u8"\\Sub", key), platform::kSuccess);
    EXPECT_EQ(reg().SetTextW(key.get(), u8"marker", platform::kRegSz, kMarker), platform::kSuccess);
    key.reset();
    const std::u8string file = text::AnsiToU8(env_->ScratchDir()) + u8"\\" + U8(fileName);
    EXPECT_EQ(env_->SaveHive(env_->ScratchKey() + "\\" + source, file), platform::kSuccess);
    return file;
  }

  // The text of `value` in HKEY_USERS\<path>, or the status that kept it from being read.
  std::u8string ReadUnderUsers(const std::u8string& path, std::u8string_view value = u8"marker") {
    UniqueKey key;
    if (const Status st = reg().OpenKeyW(users_.get(), path, Access::Read, key); st != platform::kSuccess) {
      return u8"open failed: " + U8(std::to_string(st));
    }
    std::uint32_t type = platform::kRegNone;
    std::u8string text;
    if (const Status st = reg().QueryTextW(key.get(), value, type, text); st != platform::kSuccess) {
      return u8"read failed: " + U8(std::to_string(st));
    }
    return text;
  }

  std::unique_ptr<contract::Env> env_;
  UniqueKey scratch_;
  UniqueKey users_;
  std::string sid_;
};

// ---- the running account ----

// HKEY_CURRENT_USER is the running account's hive in HKEY_USERS, under its SID.
TEST_F(HiveContract, UsersHoldsTheRunningAccountsHiveUnderItsSid) {
  ASSERT_EQ(reg().SetTextW(scratch_.get(), u8"marker", platform::kRegSz, kMarker), platform::kSuccess);
  EXPECT_EQ(ReadUnderUsers(U8(sid_) + u8"\\" + text::AnsiToU8(env_->ScratchKey())), kMarker);
  bool listed = false;
  std::u8string name;
  for (std::uint32_t i = 0; reg().EnumSubKeyW(users_.get(), i, name) == platform::kSuccess; ++i) {
    listed = listed || text::EqualsNoCaseUtf8(name, U8(sid_));
  }
  EXPECT_TRUE(listed) << sid_ << " among the sub-keys of HKEY_USERS";
}

TEST_F(HiveContract, ProfileListNamesTheRunningAccountsProfileFolder) {
  UniqueKey machine;
  UniqueKey entry;
  ASSERT_EQ(reg().OpenRoot(platform::RootKey::LocalMachine, machine), platform::kSuccess);
  ASSERT_EQ(reg().OpenKeyW(machine.get(), u8"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + U8(sid_),
                           Access::Read, entry),
            platform::kSuccess);
  std::uint32_t type = platform::kRegNone;
  std::u8string stored;
  ASSERT_EQ(reg().QueryTextW(entry.get(), u8"ProfileImagePath", type, stored), platform::kSuccess);
  EXPECT_TRUE(type == platform::kRegExpandSz || type == platform::kRegSz) << type;
  std::u8string expanded;
  ASSERT_EQ(platform::ExpandForUser(stored, u8"", env_->System(), expanded), platform::kSuccess);
  std::u8string profile;
  ASSERT_EQ(env_->System().EnvironmentVariableW(u8"USERPROFILE", profile), platform::kSuccess);
  EXPECT_TRUE(text::EqualsNoCaseUtf8(expanded, profile)) << text::U8ToAnsiLossy(expanded);
}

TEST_F(HiveContract, AccountNamesAreLookedUpBySid) {
  std::u8string userName;
  ASSERT_EQ(env_->System().EnvironmentVariableW(u8"USERNAME", userName), platform::kSuccess);
  std::u8string own;
  ASSERT_EQ(env_->System().AccountName(sid_, own), platform::kSuccess);
  const std::u8string suffix = u8"\\" + userName;
  EXPECT_TRUE(own.size() > suffix.size() && text::EqualsNoCaseUtf8(own.substr(own.size() - suffix.size()), suffix))
      << text::U8ToAnsiLossy(own);
  // SYSTEM's name is in the system's language; that it has one is what matters.
  struct Case {
    const char* sid;
    Status status;
  };
  for (const Case c : {Case{"S-1-5-18", platform::kSuccess}, Case{"S-1-5-21-1-2-3-4999", platform::kNoneMapped},
                       Case{"not a SID", platform::kInvalidSid}}) {
    std::u8string name = u8"stale";
    EXPECT_EQ(env_->System().AccountName(c.sid, name), c.status) << c.sid;
    EXPECT_EQ(name.empty(), c.status != platform::kSuccess) << c.sid;
  }
}

TEST_F(HiveContract, WideEnvironmentReadsWhatTheAnsiOneReads) {
  std::string ansi;
  ASSERT_EQ(env_->System().EnvironmentVariable("APPDATA", platform::kMaxPath, ansi), platform::kSuccess);
  std::u8string wide;
  ASSERT_EQ(env_->System().EnvironmentVariableW(u8"appdata", wide), platform::kSuccess);
  EXPECT_EQ(wide, text::AnsiToU8(ansi));
  EXPECT_EQ(env_->System().EnvironmentVariableW(u8"VORNEX_CONTRACT_NEVER_SET", wide), platform::kFileNotFound);
  EXPECT_EQ(wide, u8"");
}

// ---- loading a hive ----

TEST_F(HiveContract, SavedKeyLoadsAsAHiveAndUnloadsOnceItsTopIsClosed) {
  const int privilegesBefore = env_->EnabledHivePrivileges();
  ASSERT_GE(privilegesBefore, 0) << "the token's privileges cannot be read";
  const std::u8string file = MakeHiveFile("load.dat");
  const std::u8string name = env_->UniqueHiveName(kHivePrefix);
  platform::LoadedHive hive;
  ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privilegesBefore) << "the privileges stay enabled after the load";
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub"), kMarker);

  UniqueKey top;
  ASSERT_EQ(reg().OpenKeyW(users_.get(), name, Access::ReadWrite, top), platform::kSuccess);
  EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
  EXPECT_TRUE(hive) << "a refused unload keeps the hive owned";
  top.reset();
  EXPECT_EQ(hive.Unload(), platform::kSuccess);
  EXPECT_FALSE(hive);
  EXPECT_EQ(reg().OpenKeyW(users_.get(), name, Access::Read, top), platform::kFileNotFound);
  EXPECT_EQ(env_->EnabledHivePrivileges(), privilegesBefore) << "the privileges stay enabled after the unload";
}

TEST_F(HiveContract, UnloadIsRefusedWhileAnyKeyInTheHiveIsOpen) {
  if (env_->IsWine()) {
    GTEST_SKIP() << "Wine 8 refuses the unload only for a handle on the hive's top key; Windows for any key in it";
  }
  const std::u8string name = env_->UniqueHiveName(kHivePrefix);
  platform::LoadedHive hive;
  ASSERT_EQ(hive.Load(reg(), name, MakeHiveFile("busy.dat")), platform::kSuccess);
  UniqueKey sub;
  ASSERT_EQ(reg().OpenKeyW(users_.get(), name + u8"\\Sub", Access::Read, sub), platform::kSuccess);
  EXPECT_EQ(hive.Unload(), platform::kAccessDenied);
  sub.reset();
  EXPECT_EQ(hive.Unload(), platform::kSuccess);
}

TEST_F(HiveContract, ChangesMadeWhileLoadedAreInTheFileAfterTheUnload) {
  if (env_->IsWine()) GTEST_SKIP() << "Wine 8 unloads a hive by dropping its keys: changes never reach the file";
  const std::u8string file = MakeHiveFile("changed.dat");
  const std::u8string name = env_->UniqueHiveName(kHivePrefix);
  {
    platform::LoadedHive hive;
    ASSERT_EQ(hive.Load(reg(), name, file), platform::kSuccess);
    UniqueKey sub;
    ASSERT_EQ(reg().OpenKeyW(users_.get(), name + u8"\\Sub", Access::ReadWrite, sub), platform::kSuccess);
    ASSERT_EQ(reg().SetTextW(sub.get(), u8"added", platform::kRegSz, u8"while loaded"), platform::kSuccess);
  }
  platform::LoadedHive again;
  ASSERT_EQ(again.Load(reg(), name, file), platform::kSuccess);
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub", u8"added"), u8"while loaded");
}

TEST_F(HiveContract, LoadIsRefusedForAMissingFileATakenNameAndAFileLoadedAlready) {
  const std::u8string file = MakeHiveFile("first.dat");
  const std::u8string name = env_->UniqueHiveName(kHivePrefix);
  platform::LoadedHive missing;
  EXPECT_EQ(missing.Load(reg(), name, text::AnsiToU8(env_->ScratchDir()) + u8"\\absent.dat"), platform::kFileNotFound);
  EXPECT_FALSE(missing);
  UniqueKey key;
  EXPECT_EQ(reg().OpenKeyW(users_.get(), name, Access::Read, key), platform::kFileNotFound);

  platform::LoadedHive first;
  ASSERT_EQ(first.Load(reg(), name, file), platform::kSuccess);
  platform::LoadedHive taken;
  EXPECT_NE(taken.Load(reg(), name, MakeHiveFile("second.dat")), platform::kSuccess);
  EXPECT_FALSE(taken);
  EXPECT_EQ(ReadUnderUsers(name + u8"\\Sub"), kMarker) << "the hive loaded first stays";

  if (env_->IsWine()) GTEST_SKIP() << "Wine 8 loads a hive file that is loaded already a second time";
  platform::LoadedHive twice;
  EXPECT_EQ(twice.Load(reg(), env_->UniqueHiveName(kHivePrefix), file), platform::kSharingViolation);
  EXPECT_FALSE(twice);
}

}  // namespace
