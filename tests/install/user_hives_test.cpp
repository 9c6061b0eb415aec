// Other users' profiles and hives on a simulated machine with several users, signed in and not.
#include "install/user_hives.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "platform/text.h"

namespace {

using install::OtherUser;
using platform::Access;
using platform::Status;
using platform::UniqueKey;

constexpr const char* kSelf = sim::SimSystem::kDefaultAccountSid;
constexpr const char* kLiWei = "S-1-5-21-3623811015-3361044348-30300820-1001";
constexpr const char* kDesigner = "S-1-5-21-3623811015-3361044348-30300820-1002";
constexpr const char* kGone = "S-1-5-21-3623811015-3361044348-30300820-1003";
constexpr const char* kEntra = "S-1-12-1-1234567890-1234567890-1234567890-1234567890";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::u8string_view kMarkerKey = u8"Software\\Vornex";

std::u8string U8(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// A hive's .reg text whose Explorer folders name the roaming folder as Windows writes it.
std::string HiveWithAppData(const std::string& sid) {
  std::string hex;
  for (const char c : std::string_view("%USERPROFILE%\\AppData\\Roaming")) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += {kDigits[(c >> 4) & 0xF], kDigits[c & 0xF], ',', '0', '0', ','};
  }
  return "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\" + sid + "\\" + kShellFolders +
         "]\n\"AppData\"=hex(2):" + hex + "00,00\n";
}

class UserHivesTest : public install_test::MachineTest {
 protected:
  void SetUp() override {
    const sim::SimUser users[] = {
        {kSelf, u8"PC\\Admin", u8"%SystemDrive%\\Users\\Admin", "", true},
        {"S-1-5-18", u8"", u8"%systemroot%\\system32\\config\\systemprofile", "", true},
        {"S-1-5-19", u8"", u8"%SystemRoot%\\ServiceProfiles\\LocalService", "", true},
        {"S-1-5-20", u8"", u8"%SystemRoot%\\ServiceProfiles\\NetworkService", "", true},
        {kLiWei, u8"PC\\Li Wei", u8"%SystemDrive%\\Users\\Li Wei", HiveWithAppData(kLiWei), true},
        {std::string(kLiWei) + ".bak", u8"", u8"C:\\Users\\TEMP", "", false},
        {kDesigner, u8"PC\\设计师", u8"C:\\Users\\设计师", HiveWithAppData(kDesigner), false},
        {kGone, u8"", u8"C:\\Users\\Old", "", false},
        {kEntra, u8"AzureAD\\MariaGarcia", u8"C:\\Users\\MariaGarcia", "", false},
    };
    for (const sim::SimUser& user : users) {
      const sim::RegFileResult added = sim_.AddUser(user);
      ASSERT_TRUE(added) << added.Describe();
    }
    // The installer's own profile, which must never stand in for another user's.
    sim_.system().SetEnvironment("USERPROFILE", "C:\\Users\\Admin");
  }
  void TearDown() override {
    EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u) << "a hive stayed loaded";
    EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);
    EXPECT_EQ(sim_.registry().BadCloseCount(), 0u);
  }

  // Runs the work that every case shares: a marker value written into each user's hive. Returns
  // the SIDs it reached.
  std::vector<std::string> MarkEveryHive(std::vector<install::HiveFailure>& failures) {
    std::vector<std::string> reached;
    const Status listed = install::ForEachOtherUserHive(
        sim_.machine(), failures, [&](const OtherUser& user, platform::KeyHandle root) {
          UniqueKey key;
          ASSERT_EQ(sim_.registry().CreateKeyW(root, kMarkerKey, key), platform::kSuccess) << user.sid;
          ASSERT_EQ(sim_.registry().SetTextW(key.get(), u8"marker", platform::kRegSz, U8(user.sid)), platform::kSuccess);
          reached.push_back(user.sid);
        });
    EXPECT_EQ(listed, platform::kSuccess);
    return reached;
  }

  // The marker as it stands in the user's hive: the loaded one, or else the one in its file.
  std::optional<std::u8string> Marker(const std::string& sid) {
    const std::u8string path = U8(sid) + u8"\\" + std::u8string(kMarkerKey);
    if (sim_.registry().KeyExists(sim::kUsers, sid)) return sim_.registry().GetString(sim::kUsers, path, u8"marker");
    const std::u8string peek = u8"peek";
    if (sim_.registry().LoadHive(peek, sim_.HiveFileOf(sid)) != platform::kSuccess) return std::nullopt;
    std::optional<std::u8string> marker =
        sim_.registry().GetString(sim::kUsers, peek + u8"\\" + std::u8string(kMarkerKey), u8"marker");
    EXPECT_EQ(sim_.registry().UnloadHive(peek), platform::kSuccess);
    return marker;
  }
};

// One line per user, so that a difference shows at a glance.
std::string Describe(const OtherUser& user) {
  return user.sid + " | " + text::U8ToAnsiLossy(user.name) + " | " + text::U8ToAnsiLossy(user.profilePath) +
         (user.hiveLoaded ? " | signed in" : " | not signed in");
}

TEST_F(UserHivesTest, ListsEveryOtherPersonWithAProfileButNoServiceAccountNorTheInstallersOwn) {
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  std::vector<std::string> described;
  for (const OtherUser& user : users) described.push_back(Describe(user));
  const std::string gone(kGone);
  EXPECT_EQ(described, (std::vector<std::string>{
                           std::string(kEntra) + " | AzureAD\\MariaGarcia | C:\\Users\\MariaGarcia | not signed in",
                           std::string(kLiWei) + " | PC\\Li Wei | C:\\Users\\Li Wei | signed in",
                           std::string(kDesigner) + " | PC\\" + install_test::Ansi("设计师") + " | C:\\Users\\" +
                               install_test::Ansi("设计师") + " | not signed in",
                           gone + " | " + gone + " | C:\\Users\\Old | not signed in",
                       }));
}

TEST_F(UserHivesTest, UserSidsAreThoseOfLocalDomainAndEntraAccounts) {
  struct Case {
    const char* sid;
    bool user;
  };
  for (const Case c : {Case{kLiWei, true}, Case{kEntra, true}, Case{"s-1-5-21-1-2-3-500", true},
                       Case{"S-1-5-18", false}, Case{"S-1-5-19", false}, Case{"S-1-5-20", false},
                       Case{"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", false},
                       Case{"S-1-5-21-1-2-3-1001.bak", false}, Case{"S-1-5-21-", false}, Case{"S-1-5-21-1--2", false},
                       Case{"S-1-5-21-1-2-3-", false}, Case{"S-1-12-1-", false}, Case{"S-1-5-32-544", false}}) {
    EXPECT_EQ(install::IsUserSid(c.sid), c.user) << c.sid;
  }
}

TEST_F(UserHivesTest, WorkReachesEveryHiveAndWhatWasLoadedForItIsUnloaded) {
  std::vector<install::HiveFailure> failures;
  std::vector<std::size_t> loadedDuringWork;
  const Status listed = install::ForEachOtherUserHive(sim_.machine(), failures, [&](const OtherUser&, platform::KeyHandle) {
    loadedDuringWork.push_back(sim_.registry().LoadedHiveCount());
  });
  EXPECT_EQ(listed, platform::kSuccess);
  // Li Wei is signed in: his hive is used where it is, not loaded a second time.
  EXPECT_EQ(loadedDuringWork, (std::vector<std::size_t>{1, 0, 1, 1}));

  EXPECT_EQ(MarkEveryHive(failures), (std::vector<std::string>{kEntra, kLiWei, kDesigner, kGone}));
  EXPECT_TRUE(failures.empty());
  for (const char* sid : {kEntra, kLiWei, kDesigner, kGone}) EXPECT_EQ(Marker(sid), U8(sid)) << sid;
  EXPECT_FALSE(Marker(kSelf)) << "the installer's own account is left to HKEY_CURRENT_USER";
  EXPECT_FALSE(sim_.registry().KeyExists(sim::kUsers, text::U8ToAnsiLossy(install::TemporaryHiveName(kDesigner))));
}

// A hive that cannot be reached is named, by the account's name or else its SID, and everyone
// else is still done.
TEST_F(UserHivesTest, AHiveThatCannotBeReachedIsNamedAndTheOthersAreDone) {
  struct Case {
    const char* label;
    const char* sid;
    Status status;
    std::u8string named;
  };
  const Case cases[] = {
      {"held by a service", kDesigner, platform::kSharingViolation, u8"PC\\设计师"},
      {"damaged", kEntra, platform::kNotRegistryFile, u8"AzureAD\\MariaGarcia"},
      {"roaming profile not on this machine", kGone, platform::kPathNotFound, U8(kGone)},
      {"no profile path in ProfileList", kDesigner, platform::kFileNotFound, u8"PC\\设计师"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sim_.registry().ClearFailures();
    const std::string entry = std::string(sim::SimMachine::kProfileListPath) + "\\" + c.sid;
    const std::optional<platform::RegValue> path =
        sim_.registry().Get(platform::RootKey::LocalMachine, entry, "ProfileImagePath");
    if (c.status == platform::kFileNotFound) {
      sim_.registry().DeleteValue(platform::RootKey::LocalMachine, entry, "ProfileImagePath");
    } else {
      sim_.FailLoad(c.sid, c.status);
    }
    std::vector<install::HiveFailure> failures;
    std::vector<std::string> expected;
    for (const char* sid : {kEntra, kLiWei, kDesigner, kGone}) {
      if (std::string_view(sid) != c.sid) expected.push_back(sid);
    }
    EXPECT_EQ(MarkEveryHive(failures), expected);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].user, c.named);
    EXPECT_EQ(failures[0].sid, c.sid);
    EXPECT_EQ(failures[0].status, c.status);
    EXPECT_FALSE(failures[0].workDone);
    if (path) sim_.registry().Set(platform::RootKey::LocalMachine, entry, "ProfileImagePath", *path);
  }
}

TEST_F(UserHivesTest, AHiveIsUnloadedWhenTheWorkThrows) {
  std::vector<install::HiveFailure> failures;
  EXPECT_THROW(install::ForEachOtherUserHive(sim_.machine(), failures,
                                             [&](const OtherUser& user, platform::KeyHandle root) {
                                               UniqueKey key;
                                               ASSERT_EQ(sim_.registry().OpenKeyW(root, u8"", Access::Read, key),
                                                         platform::kSuccess);
                                               if (user.sid == kDesigner) throw std::runtime_error("stopped");
                                             }),
               std::runtime_error);
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u);
}

TEST_F(UserHivesTest, AHiveIsUnloadedOnAnEarlyReturn) {
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  const auto firstValue = [&](const OtherUser& user) -> Status {
    install::UserHive hive;
    if (const Status st = hive.Open(sim_.machine(), user); st != platform::kSuccess) return st;
    UniqueKey folders;
    // Returns with the key and the hive still open: their owners close and unload, in that order.
    return sim_.registry().OpenKeyW(hive.root(), U8(kShellFolders), Access::Read, folders);
  };
  EXPECT_EQ(firstValue(users[2]), platform::kSuccess);  // the designer, whose hive has the key
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u);
  EXPECT_EQ(firstValue(users[3]), platform::kFileNotFound);  // the gone account, whose hive is empty
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u);
}

// A key that the work leaves open keeps the hive loaded: that is reported, and the next run,
// finding the hive under the installer's name, works in it and unloads it.
TEST_F(UserHivesTest, AHiveLeftLoadedIsReportedAndTheNextRunUnloadsIt) {
  std::vector<UniqueKey> leaked;
  std::vector<install::HiveFailure> failures;
  install::ForEachOtherUserHive(sim_.machine(), failures, [&](const OtherUser& user, platform::KeyHandle root) {
    if (user.sid != kDesigner) return;
    leaked.emplace_back();
    ASSERT_EQ(sim_.registry().OpenKeyW(root, u8"", Access::Read, leaked.back()), platform::kSuccess);
  });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].sid, kDesigner);
  EXPECT_EQ(failures[0].status, platform::kAccessDenied);
  EXPECT_TRUE(failures[0].workDone);
  EXPECT_EQ(sim_.registry().LoadedHiveCount(), 1u);

  leaked.clear();
  failures.clear();
  EXPECT_EQ(MarkEveryHive(failures), (std::vector<std::string>{kEntra, kLiWei, kDesigner, kGone}));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(Marker(kDesigner), U8(kDesigner));
}

TEST_F(UserHivesTest, RoamingAppDataIsTheFolderTheUsersOwnHiveNames) {
  struct Case {
    const char* label;
    const char* sid;
    std::uint32_t type;  // kRegNone: the value is left as the hive has it
    const char8_t* value;
    Status status;
    const char8_t* folder;
  };
  const Case cases[] = {
      {"as Windows writes it", kDesigner, platform::kRegNone, u8"", platform::kSuccess,
       u8"C:\\Users\\设计师\\AppData\\Roaming"},
      {"signed in", kLiWei, platform::kRegNone, u8"", platform::kSuccess, u8"C:\\Users\\Li Wei\\AppData\\Roaming"},
      {"none named", kGone, platform::kRegNone, u8"", platform::kSuccess, u8"C:\\Users\\Old\\AppData\\Roaming"},
      {"redirected", kDesigner, platform::kRegExpandSz, u8"%SystemDrive%\\Roaming\\设计师", platform::kSuccess,
       u8"C:\\Roaming\\设计师"},
      {"plain text", kDesigner, platform::kRegSz, u8"D:\\漫游", platform::kSuccess, u8"D:\\漫游"},
      {"another user's variable", kDesigner, platform::kRegExpandSz, u8"%APPDATA%", platform::kEnvVarNotFound, u8""},
      {"empty", kDesigner, platform::kRegSz, u8"", platform::kInvalidData, u8""},
      {"not text", kDesigner, platform::kRegDword, u8"", platform::kInvalidData, u8""},
  };
  std::vector<OtherUser> users;
  ASSERT_EQ(install::ListOtherUsers(sim_.machine(), users), platform::kSuccess);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const OtherUser* user = nullptr;
    for (const OtherUser& candidate : users) user = candidate.sid == c.sid ? &candidate : user;
    ASSERT_NE(user, nullptr);
    install::UserHive hive;
    ASSERT_EQ(hive.Open(sim_.machine(), *user), platform::kSuccess);
    if (c.type != platform::kRegNone) {
      UniqueKey folders;
      ASSERT_EQ(sim_.registry().CreateKeyW(hive.root(), U8(kShellFolders), folders), platform::kSuccess);
      const Status set = c.type == platform::kRegDword
                             ? sim_.registry().SetValue(folders.get(), "AppData", c.type, platform::DwordData(26))
                             : sim_.registry().SetTextW(folders.get(), u8"AppData", c.type, c.value);
      ASSERT_EQ(set, platform::kSuccess);
    }
    std::u8string folder = u8"stale";
    EXPECT_EQ(install::RoamingAppData(sim_.machine(), hive.root(), *user, folder), c.status);
    EXPECT_EQ(folder, std::u8string(c.folder));
    EXPECT_EQ(hive.Close(), platform::kSuccess);
  }
}

}  // namespace
