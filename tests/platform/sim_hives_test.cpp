// The simulated machine's users and hive files beyond what the contract suite can check on
// Windows: signed-in hives held by the system, injected load failures, and the accounting of
// what the program loaded.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/sim/sim_machine.h"
#include "support/fixtures.h"

namespace {

using platform::Access;
using platform::Status;
using platform::UniqueKey;

constexpr const char* kAway = "S-1-5-21-1-2-3-1001";
constexpr const char* kHere = "S-1-5-21-1-2-3-1002";
const std::u8string kAwayFile = u8"C:\\Users\\Li Wei\\NTUSER.DAT";
const std::u8string kHereFile = u8"c:\\users\\maria\\ntuser.dat";  // any letter case names the file

std::u8string U8(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

class SimHives : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const sim::SimUser& user : {sim::SimUser{kAway, u8"PC\\Li Wei", u8"%SystemDrive%\\Users\\Li Wei", "", false},
                                     sim::SimUser{kHere, u8"", u8"C:\\Users\\Maria", "", true}}) {
      const sim::RegFileResult added = m_.AddUser(user);
      ASSERT_TRUE(added) << added.Describe();
    }
  }
  void TearDown() override { EXPECT_EQ(m_.registry().OpenHandleCount(), 0u); }

  sim::SimRegistry& reg() { return m_.registry(); }
  sim::SimMachine m_;
};

TEST_F(SimHives, AddUserGivesAProfileListEntryAFolderAndAHiveFile) {
  const std::string entry = std::string(sim::SimMachine::kProfileListPath) + "\\" + kAway;
  const auto path = reg().Get(platform::RootKey::LocalMachine, entry, "ProfileImagePath");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->type, platform::kRegExpandSz);
  EXPECT_EQ(platform::ValueText(*path), "%SystemDrive%\\Users\\Li Wei");
  EXPECT_TRUE(m_.files().IsDirectory("C:\\Users\\Li Wei"));
  EXPECT_EQ(m_.HiveFileOf(kAway), kAwayFile);
  EXPECT_TRUE(reg().HiveFileExists(kAwayFile));
  EXPECT_FALSE(reg().KeyExists(sim::kUsers, kAway)) << "not signed in: only in its file";
  EXPECT_TRUE(reg().KeyExists(sim::kUsers, kHere));
  std::u8string name;
  EXPECT_EQ(m_.system().AccountName(kAway, name), platform::kSuccess);
  EXPECT_EQ(name, u8"PC\\Li Wei");
  EXPECT_EQ(m_.system().AccountName(kHere, name), platform::kNoneMapped) << "an account that is gone";
}

TEST_F(SimHives, LoadAndUnloadAreRefusedAsOnWindows) {
  ASSERT_TRUE(reg().CreatePath(sim::kUsers, "Plain"));
  reg().FailLoadHive(u8"D:\\Roaming\\NTUSER.DAT", platform::kPathNotFound);
  struct Case {
    const char* label;
    bool load;
    std::u8string name;
    std::u8string file;
    Status status;
  };
  const Case cases[] = {
      {"no such file", true, u8"T", u8"C:\\Users\\Nobody\\NTUSER.DAT", platform::kFileNotFound},
      {"injected failure", true, u8"T", u8"D:\\Roaming\\NTUSER.DAT", platform::kPathNotFound},
      {"signed in: the file is held", true, u8"T", kHereFile, platform::kSharingViolation},
      {"name taken", true, u8"plain", kAwayFile, platform::kAlreadyExists},
      {"a path for a name", true, u8"T\\U", kAwayFile, platform::kInvalidParameter},
      {"no name", true, u8"", kAwayFile, platform::kInvalidParameter},
      {"nothing loaded", false, u8"T", u8"", platform::kFileNotFound},
      {"a key, no hive", false, u8"Plain", u8"", platform::kInvalidParameter},
      {"signed in: held by the system", false, U8(kHere), u8"", platform::kAccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.load ? reg().LoadHive(c.name, c.file) : reg().UnloadHive(c.name), c.status) << c.label;
    EXPECT_EQ(reg().LoadedHiveCount(), 0u) << c.label;
  }
}

// Only what the program loaded counts, and a handle anywhere in the hive, even one reached
// through a link, keeps it loaded.
TEST_F(SimHives, LoadedHivesAreCountedUntilUnloadedAndHandlesInThemHoldThem) {
  ASSERT_EQ(reg().LoadHive(u8"Temp", kAwayFile), platform::kSuccess);
  EXPECT_EQ(reg().LoadedHiveCount(), 1u);
  ASSERT_TRUE(reg().CreatePath(sim::kUsers, "Temp\\Deep\\Er"));
  ASSERT_TRUE(reg().CreateLink(platform::RootKey::CurrentUser, "Shortcut", sim::kUsers, "Temp\\Deep"));
  {
    UniqueKey user;
    UniqueKey through;
    ASSERT_EQ(reg().OpenRoot(platform::RootKey::CurrentUser, user), platform::kSuccess);
    ASSERT_EQ(reg().OpenKeyW(user.get(), u8"Shortcut\\Er", Access::Read, through), platform::kSuccess);
    user.reset();
    EXPECT_EQ(reg().UnloadHive(u8"temp"), platform::kAccessDenied);
  }
  EXPECT_EQ(reg().UnloadHive(u8"temp"), platform::kSuccess);
  EXPECT_EQ(reg().LoadedHiveCount(), 0u);
  // What was made while loaded is in the file, under whatever name it is loaded next.
  ASSERT_EQ(reg().LoadHive(u8"Again", kAwayFile), platform::kSuccess);
  EXPECT_TRUE(reg().KeyExists(sim::kUsers, "Again\\Deep\\Er"));
  EXPECT_EQ(reg().UnloadHive(u8"Again"), platform::kSuccess);
}

}  // namespace
