// Other users' profiles and hives on a simulated machine with several users, signed in and not.
#include "users/user_hives.h"

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

  // The work every case runs: a key made in each hive reached. The SIDs reached, in order, each
  // marked when its hive was loaded for the work.
  std::vector<std::string> WorkOnEveryHive(std::vector<install::HiveFailure>& failures) {
    std::vector<std::string> reached;
    const auto work = [&](const OtherUser& user, platform::KeyHandle root) {
      UniqueKey key;
      EXPECT_EQ(sim_.registry().CreateKeyW(root, u8"Software\\Vornex", key), platform::kSuccess);
      reached.push_back(user.sid + (sim_.registry().LoadedHiveCount() == 1 ? " loaded" : ""));
    };
    EXPECT_EQ(install::ForEachOtherUserHive(sim_.machine(), failures, install::kEveryUser, work), platform::kSuccess);
    return reached;
  }
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
                       std::string(kGone) + " | " + kGone + " | C:\\Users\\Old",  // no account left to name it
                   }));
}

// A hive that cannot be reached is named, by the account's name or else its SID, and everyone
// else is still done; a signed-in user's hive is used where it is.
TEST_F(UserHivesTest, EveryHiveIsReachedButOneThatCannotBeWhichIsNamed) {
  struct Case {
    const char* sid;  // whose hive fails
    Status status;    // kFileNotFound: ProfileList names no profile folder
    std::u8string named;
  };
  for (const Case& c : {Case{nullptr, platform::kSuccess, u8""},
                        Case{kDesigner, platform::kSharingViolation, u8"PC\\设计师"},     // held by a service
                        Case{kEntra, platform::kNotRegistryFile, u8"AzureAD\\MariaGarcia"},  // damaged
                        Case{kGone, platform::kPathNotFound, text::AnsiToU8(kGone)},  // roaming, not here
                        Case{kDesigner, platform::kFileNotFound, u8"PC\\设计师"}}) {
    SCOPED_TRACE(c.status);
    sim_.registry().ClearFailures();
    const std::string entry = std::string(sim::SimMachine::kProfileListPath) + "\\" + (c.sid ? c.sid : "");
    if (c.status == platform::kFileNotFound) {
      sim_.registry().DeleteValue(platform::RootKey::LocalMachine, entry, "ProfileImagePath");
    } else if (c.sid != nullptr) {
      sim_.FailLoad(c.sid, c.status);
    }
    std::vector<std::string> expected = {std::string(kEntra) + " loaded", kLiWei, std::string(kDesigner) + " loaded",
                                         std::string(kGone) + " loaded"};
    std::erase_if(expected, [&](const std::string& s) { return c.sid != nullptr && s.starts_with(c.sid); });
    std::vector<install::HiveFailure> failures;
    EXPECT_EQ(WorkOnEveryHive(failures), expected);
    ASSERT_EQ(failures.size(), c.sid != nullptr ? 1u : 0u);
    if (c.sid == nullptr) continue;
    EXPECT_EQ(failures[0].user, c.named);
    EXPECT_EQ(failures[0].sid, c.sid);
    EXPECT_EQ(failures[0].status, c.status);
    EXPECT_FALSE(failures[0].workDone);
  }
}

// The work may throw, or leave a key open: the hive is unloaded on the way out or, while the key
// holds it, reported; the next run then finds it under the installer's name, and unloads it.
TEST_F(UserHivesTest, EveryHiveLoadedIsUnloadedOnTheWayOutOrByTheNextRun) {
  std::vector<install::HiveFailure> failures;
  const auto throwing = [&](const OtherUser& user, platform::KeyHandle) {
    if (user.sid == kDesigner) throw std::runtime_error("stopped");
  };
  EXPECT_THROW(install::ForEachOtherUserHive(sim_.machine(), failures, install::kEveryUser, throwing), std::runtime_error);
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u);

  std::vector<UniqueKey> leaked;
  install::ForEachOtherUserHive(sim_.machine(), failures, install::kEveryUser, [&](const OtherUser& user, platform::KeyHandle root) {
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
  EXPECT_EQ(WorkOnEveryHive(failures).size(), 4u);
  EXPECT_TRUE(failures.empty());
}

// The folder is expanded with the user's own profile path and the machine's variables, never with
// the installer's own per-user variables.
TEST_F(UserHivesTest, RoamingAppDataIsTheFolderTheUsersOwnHiveNames) {
  struct Case {
    const char* sid;
    std::u8string value;  // empty: as the hive has it
    Status status;
    std::u8string folder;
  };
  const Case cases[] = {
      {kDesigner, u8"", platform::kSuccess, u8"C:\\Users\\设计师\\AppData\\Roaming"},
      {kLiWei, u8"", platform::kSuccess, u8"C:\\Users\\Li Wei\\AppData\\Roaming"},
      {kGone, u8"", platform::kSuccess, u8"C:\\Users\\Old\\AppData\\Roaming"},  // the hive names none
      {kDesigner, u8"%SystemDrive%\\漫游%%\\100%", platform::kSuccess, u8"C:\\漫游%%\\100%"},
      {kDesigner, u8"%APPDATA%\\..", platform::kEnvVarNotFound, u8""},  // the installer's own
      {kDesigner, u8"%TEMP%", platform::kEnvVarNotFound, u8""},
      {kDesigner, u8"%NEVER_SET%", platform::kEnvVarNotFound, u8""},
  };
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  for (const Case& c : cases) {
    SCOPED_TRACE(text::U8ToAnsiLossy(c.value));
    const OtherUser& user = *std::find_if(users.begin(), users.end(), [&](const OtherUser& u) { return u.sid == c.sid; });
    install::UserHive hive;
    ASSERT_EQ(hive.Open(sim_.machine(), user), platform::kSuccess);
    if (!c.value.empty()) {
      UniqueKey folders;
      ASSERT_EQ(sim_.registry().CreateKeyW(hive.root(), text::AnsiToU8(kShellFolders), folders), platform::kSuccess);
      ASSERT_EQ(sim_.registry().SetTextW(folders.get(), u8"AppData", platform::kRegExpandSz, c.value), platform::kSuccess);
    }
    std::u8string folder = u8"stale";
    EXPECT_EQ(install::RoamingAppData(sim_.machine(), hive.root(), user, folder), c.status);
    EXPECT_EQ(folder, c.folder);
  }
}

}  // namespace

// A run killed while it held a user's hive leaves it loaded under the installer's name; the next
// run, whatever it does, unloads every such hive when it starts, and nothing else. One still held
// by an open key stays, and is named.
TEST_F(UserHivesTest, EveryHiveAKilledRunLeftLoadedIsUnloadedAtTheStart) {
  const std::u8string designer = install::TemporaryHiveName(kDesigner);
  const std::u8string gone = install::TemporaryHiveName(kGone);
  const struct {
    const char* name;
    std::vector<std::u8string> left;  // loaded under these names by the killed run
    bool held;                        // a key into the first one is still open
    std::vector<std::u8string> stayed;
  } cases[] = {
      {"two left", {designer, gone}, false, {}},
      {"one still held", {designer, gone}, true, {designer}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::u8string& name : c.left) {
      const char* sid = name == designer ? kDesigner : kGone;
      const std::u8string file = (name == designer ? std::u8string(u8"C:\\Users\\设计师") : u8"C:\\Users\\Old") + u8"\\NTUSER.DAT";
      ASSERT_EQ(sim_.registry().LoadHive(name, file), platform::kSuccess) << sid;
    }
    UniqueKey held;
    if (c.held) {
      UniqueKey users;
      ASSERT_EQ(sim_.registry().OpenUsersRoot(users), platform::kSuccess);
      ASSERT_EQ(sim_.registry().OpenKeyW(users.get(), c.left.front(), platform::Access::Read, held), platform::kSuccess);
    }
    std::vector<std::u8string> stayed;
    EXPECT_EQ(install::UnloadLeftHives(sim_.registry(), stayed), platform::kSuccess);
    EXPECT_EQ(stayed, c.stayed);
    EXPECT_EQ(sim_.registry().LoadedHiveCount(), c.stayed.size());
    // The signed-in user's hive is his session's, not ours: it stays where it is.
    UniqueKey users;
    UniqueKey signedIn;
    ASSERT_EQ(sim_.registry().OpenUsersRoot(users), platform::kSuccess);
    EXPECT_EQ(sim_.registry().OpenKeyW(users.get(), text::AnsiToU8(kLiWei), platform::Access::Read, signedIn),
              platform::kSuccess);
    signedIn.reset();
    users.reset();
    held.reset();
    EXPECT_EQ(install::UnloadLeftHives(sim_.registry(), stayed), platform::kSuccess);
    EXPECT_TRUE(stayed.empty());
  }
}
