// Other users' profiles and hives on a simulated machine with several users, signed in and not.
#include "install/user_hives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "platform/text.h"

namespace {

using install::OtherUser;
using platform::Status;
using platform::UniqueKey;

constexpr const char* kLiWei = "S-1-5-21-3623811015-3361044348-30300820-1001";
constexpr const char* kDesigner = "S-1-5-21-3623811015-3361044348-30300820-1002";
constexpr const char* kGone = "S-1-5-21-3623811015-3361044348-30300820-1003";
constexpr const char* kEntra = "S-1-12-1-1234567890-1234567890-1234567890-1234567890";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::u8string U8(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

std::string HiveWithAppData(const std::string& sid) {
  return "REGEDIT4\n[HKEY_USERS\\" + sid + "\\" + kShellFolders + "]\n\"AppData\"=\"%USERPROFILE%\\\\AppData\\\\Roaming\"\n";
}

class UserHivesTest : public install_test::MachineTest {
 protected:
  void SetUp() override {
    const sim::SimUser users[] = {
        {sim::SimSystem::kDefaultAccountSid, u8"PC\\Admin", u8"%SystemDrive%\\Users\\Admin", "", true},
        {"S-1-5-18", u8"", u8"%systemroot%\\system32\\config\\systemprofile", "", true},
        {"S-1-5-20", u8"", u8"%SystemRoot%\\ServiceProfiles\\NetworkService", "", true},
        {kLiWei, u8"PC\\Li Wei", u8"%SystemDrive%\\Users\\Li Wei", HiveWithAppData(kLiWei), true},
        {std::string(kLiWei) + ".bak", u8"", u8"C:\\Users\\TEMP", "", false},  // set aside as damaged
        {kDesigner, u8"PC\\设计师", u8"C:\\Users\\设计师", HiveWithAppData(kDesigner), false},
        {kGone, u8"", u8"C:\\Users\\Old", "", false},
        {kEntra, u8"AzureAD\\MariaGarcia", u8"C:\\Users\\MariaGarcia", "", false},
    };
    for (const sim::SimUser& user : users) ASSERT_TRUE(sim_.AddUser(user)) << user.sid;
    // The installer's own profile, which must never stand in for another user's.
    sim_.system().SetEnvironment("USERPROFILE", "C:\\Users\\Admin");
  }
  void TearDown() override {
    EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u) << "a hive stayed loaded";
    EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);
  }

  // What every case runs: a value written in each hive reached; the SIDs reached, in order.
  std::vector<std::string> WriteInEveryHive(std::vector<install::HiveFailure>& failures) {
    std::vector<std::string> reached;
    EXPECT_EQ(install::ForEachOtherUserHive(sim_.machine(), failures,
                                            [&](const OtherUser& user, platform::KeyHandle root) {
                                              UniqueKey key;
                                              EXPECT_EQ(sim_.registry().CreateKeyW(root, u8"Software\\Vornex", key),
                                                        platform::kSuccess);
                                              reached.push_back(user.sid);
                                            }),
              platform::kSuccess);
    return reached;
  }
  const std::vector<std::string> everyone_{kEntra, kLiWei, kDesigner, kGone};
};

TEST_F(UserHivesTest, ListsEveryOtherPersonWithAProfileButNoServiceAccountNorTheInstallersOwn) {
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  std::vector<std::string> lines;
  for (const OtherUser& u : users) {
    lines.push_back(u.sid + " | " + text::U8ToAnsiLossy(u.name) + " | " + text::U8ToAnsiLossy(u.profilePath) +
                    (u.hiveLoaded ? " | signed in" : ""));
  }
  const std::string designer = install_test::Ansi("设计师");
  EXPECT_EQ(lines, (std::vector<std::string>{
                       std::string(kEntra) + " | AzureAD\\MariaGarcia | C:\\Users\\MariaGarcia",
                       std::string(kLiWei) + " | PC\\Li Wei | C:\\Users\\Li Wei | signed in",
                       std::string(kDesigner) + " | PC\\" + designer + " | C:\\Users\\" + designer,
                       std::string(kGone) + " | " + kGone + " | C:\\Users\\Old",  // no account left to name
                   }));
  EXPECT_FALSE(install::IsUserSid("S-1-5-21-1-2-3-")) << "a SID ends in a number";
}

TEST_F(UserHivesTest, WorkReachesEveryHiveLoadingOnlyThoseNotSignedIn) {
  std::vector<install::HiveFailure> failures;
  std::vector<std::size_t> loaded;
  install::ForEachOtherUserHive(sim_.machine(), failures, [&](const OtherUser&, platform::KeyHandle) {
    loaded.push_back(sim_.registry().LoadedHiveCount());
  });
  EXPECT_EQ(loaded, (std::vector<std::size_t>{1, 0, 1, 1}));  // Li Wei's hive is used where it is
  EXPECT_EQ(WriteInEveryHive(failures), everyone_);
  EXPECT_TRUE(failures.empty());
}

// A hive that cannot be reached is named, by the account's name or else its SID, and everyone
// else is still done.
TEST_F(UserHivesTest, AHiveThatCannotBeReachedIsNamedAndTheOthersAreDone) {
  struct Case {
    const char* sid;
    Status status;  // kFileNotFound: ProfileList names no profile folder
    std::u8string named;
  };
  for (const Case& c : {Case{kDesigner, platform::kSharingViolation, u8"PC\\设计师"},     // held by a service
                        Case{kEntra, platform::kNotRegistryFile, u8"AzureAD\\MariaGarcia"},  // damaged
                        Case{kGone, platform::kPathNotFound, U8(kGone)},  // roaming, not on this machine
                        Case{kDesigner, platform::kFileNotFound, u8"PC\\设计师"}}) {
    SCOPED_TRACE(c.status);
    sim_.registry().ClearFailures();
    const std::string entry = std::string(sim::SimMachine::kProfileListPath) + "\\" + c.sid;
    if (c.status == platform::kFileNotFound) {
      sim_.registry().DeleteValue(platform::RootKey::LocalMachine, entry, "ProfileImagePath");
    } else {
      sim_.FailLoad(c.sid, c.status);
    }
    std::vector<install::HiveFailure> failures;
    std::vector<std::string> others = everyone_;
    std::erase(others, c.sid);
    EXPECT_EQ(WriteInEveryHive(failures), others);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].user, c.named);
    EXPECT_EQ(failures[0].sid, c.sid);
    EXPECT_EQ(failures[0].status, c.status);
    EXPECT_FALSE(failures[0].workDone);
  }
}

// The work may throw, or leave a key open: the hive is unloaded on the way out, or, while the key
// holds it, reported; the next run then finds it under the installer's name, and unloads it.
TEST_F(UserHivesTest, EveryHiveLoadedIsUnloadedOnTheWayOutOrByTheNextRun) {
  std::vector<install::HiveFailure> failures;
  const auto throwing = [&](const OtherUser& user, platform::KeyHandle) {
    if (user.sid == kDesigner) throw std::runtime_error("stopped");
  };
  EXPECT_THROW(install::ForEachOtherUserHive(sim_.machine(), failures, throwing), std::runtime_error);
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u);

  std::vector<UniqueKey> leaked;
  install::ForEachOtherUserHive(sim_.machine(), failures, [&](const OtherUser& user, platform::KeyHandle root) {
    if (user.sid == kDesigner) {
      ASSERT_EQ(sim_.registry().CreateKeyW(root, u8"", leaked.emplace_back()), platform::kSuccess);
    }
  });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].status, platform::kAccessDenied);
  EXPECT_TRUE(failures[0].workDone);
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 1u);
  leaked.clear();
  failures.clear();
  EXPECT_EQ(WriteInEveryHive(failures), everyone_);
  EXPECT_TRUE(failures.empty());
}

TEST_F(UserHivesTest, RoamingAppDataIsTheFolderTheUsersOwnHiveNames) {
  struct Case {
    const char* sid;
    std::uint32_t type;  // kRegNone: as the hive has it
    std::u8string value;
    Status status;
    std::u8string folder;
  };
  const Case cases[] = {
      {kDesigner, platform::kRegNone, u8"", platform::kSuccess, u8"C:\\Users\\设计师\\AppData\\Roaming"},
      {kLiWei, platform::kRegNone, u8"", platform::kSuccess, u8"C:\\Users\\Li Wei\\AppData\\Roaming"},
      {kGone, platform::kRegNone, u8"", platform::kSuccess, u8"C:\\Users\\Old\\AppData\\Roaming"},  // none named
      {kDesigner, platform::kRegExpandSz, u8"%SystemDrive%\\漫游\\设计师", platform::kSuccess, u8"C:\\漫游\\设计师"},
      {kDesigner, platform::kRegExpandSz, u8"%APPDATA%", platform::kEnvVarNotFound, u8""},  // the installer's
      {kDesigner, platform::kRegSz, u8"", platform::kInvalidData, u8""},
  };
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  for (const Case& c : cases) {
    SCOPED_TRACE(text::U8ToAnsiLossy(c.value));
    const OtherUser& user = *std::find_if(users.begin(), users.end(), [&](const OtherUser& u) { return u.sid == c.sid; });
    install::UserHive hive;
    ASSERT_EQ(hive.Open(sim_.machine(), user), platform::kSuccess);
    if (c.type != platform::kRegNone) {
      UniqueKey folders;
      ASSERT_EQ(sim_.registry().CreateKeyW(hive.root(), U8(kShellFolders), folders), platform::kSuccess);
      ASSERT_EQ(sim_.registry().SetTextW(folders.get(), u8"AppData", c.type, c.value), platform::kSuccess);
    }
    std::u8string folder = u8"stale";
    EXPECT_EQ(install::RoamingAppData(sim_.machine(), hive.root(), user, folder), c.status);
    EXPECT_EQ(folder, c.folder);
  }
}

}  // namespace
