// Every user's AutoCAD: the installation and the uninstall reach the other users' profiles through
// their hives, signed in or not, and name the users they cannot reach.
#include "users/other_users.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/install_engine.h"
#include "records/install_texts.h"
#include "uninstall/uninstall.h"
#include "app/unattended.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "support/fixtures.h"

namespace {

using platform::RootKey;

constexpr const char* kLiWei = "S-1-5-21-1-2-3-1001";     // signed in
constexpr const char* kDesigner = "S-1-5-21-1-2-3-1002";  // not signed in; has a settings file of his own
constexpr const char* kHeld = "S-1-5-21-1-2-3-1003";      // his hive is held by a service
constexpr const char* kRoaming = "S-1-5-21-1-2-3-1004";   // his roaming folder is on a share not here
constexpr const char* kLeft = "S-1-5-21-1-2-3-1005";      // left: his NTUSER.DAT is gone
constexpr const char* kGone = "S-1-5-21-1-2-3-1006";      // left: his whole profile folder is gone
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kFolder = "C:\\Vornex\\V-ZurezUvad";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char* const kProfiles[] = {"Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<Unnamed Profile>>",
                                 "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>"};

// A hive with an AutoCAD profile in 2010 (no TRUSTEDPATHS yet) and in 2022 (one entry), and `more`.
std::string ProfilesHive(const std::string& sid, const std::string& more = "") {
  const std::string top = "[HKEY_USERS\\" + sid + "\\";
  return "REGEDIT4\n" + top + kProfiles[0] + "\\Variables]\n" + top + kProfiles[1] +
         "\\Variables]\n\"TRUSTEDPATHS\"=\"D:\\\\LISP\"\n" + more;
}

class OtherUsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const sim::RegFileResult loaded = support::LoadRegistryFixture(sim_, "registry/two-releases.reg");
    ASSERT_TRUE(loaded) << loaded.Describe();
    const std::string redirected = "[HKEY_USERS\\" + std::string(kRoaming) + "\\" + kShellFolders +
                                   "]\n\"AppData\"=\"\\\\\\\\fs1\\\\profiles\\\\wang\"\n";
    const sim::SimUser users[] = {
        {sim::SimSystem::kDefaultAccountSid, u8"PC\\Admin", u8"C:\\Users\\Admin", "", true},
        {kSystem, u8"", u8"%SystemRoot%\\system32\\config\\systemprofile", ProfilesHive(kSystem), true},
        {kLiWei, u8"PC\\Li Wei", u8"C:\\Users\\Li Wei", ProfilesHive(kLiWei), true},
        {kDesigner, u8"PC\\设计师", u8"%SystemDrive%\\Users\\设计师", ProfilesHive(kDesigner), false},
        {kHeld, u8"PC\\Zhang", u8"C:\\Users\\Zhang", ProfilesHive(kHeld), false},
        {kRoaming, u8"", u8"C:\\Users\\Wang", ProfilesHive(kRoaming, redirected), false},
        {kLeft, u8"PC\\Left", u8"C:\\Users\\Left", ProfilesHive(kLeft), false},
        {kGone, u8"PC\\Gone", u8"C:\\Users\\Gone", ProfilesHive(kGone), false},
    };
    for (const sim::SimUser& user : users) ASSERT_TRUE(sim_.AddUser(user)) << user.sid;
    // What loading their hive files gives on Windows once the file, or the folder, is gone.
    sim_.FailLoad(kLeft, platform::kFileNotFound);
    sim_.FailLoad(kGone, platform::kPathNotFound);
    sim_.FailLoad(kHeld, platform::kSharingViolation);
    ASSERT_TRUE(sim_.files().WriteFile("C:\\Users\\" + text::U8ToAnsiLossy(u8"设计师") +
                                           "\\AppData\\Roaming\\Vornex\\Vornex.Ini", "his own"));
    for (const char* name : {"VX_ZurezUvad2010.arx", "Vornex.Ini"}) {
      ASSERT_TRUE(sim_.files().WriteFile(std::string("C:\\Setup\\Data\\") + name, name));
    }
    catalog_.Scan(sim_.registry());
  }

  void TearDown() override {
    EXPECT_EQ(sim_.registry().LoadedHiveCount(), 0u) << "a hive stayed loaded";
    EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);
  }

  install::InstallOutcome Install() {
    install::InstallChoices choices;
    for (const int year : {2010, 2022}) choices.releases[YearIndex(year)] = 1;
    choices.typedFolder = "C:\\Vornex";
    install::CInstallEngine engine(sim_.machine(), catalog_, 64, 20250428);
    return engine.Run(choices, view_);
  }

  // Each user's TRUSTEDPATHS in his two profiles ("-" for none) and his settings file ("-" for
  // none), read from his hive as it is now, loaded for the look when he is not signed in.
  std::vector<std::string> State(const char* sid, const std::string& profile) {
    const std::u8string file = sim_.HiveFileOf(sid);
    const bool signedIn = sid == std::string(kLiWei) || sid == std::string(kSystem);
    const std::u8string name = signedIn ? text::AnsiToU8(sid) : u8"look";
    EXPECT_TRUE(signedIn || sim_.registry().LoadHive(name, file) == platform::kSuccess);
    std::vector<std::string> state;
    for (const char* key : kProfiles) {
      const auto value = sim_.registry().GetString(sim::kUsers, text::U8ToAnsiLossy(name) + "\\" + key + "\\Variables",
                                                   "TRUSTEDPATHS");
      state.push_back(value.value_or("-"));
    }
    if (!signedIn) {
      EXPECT_EQ(sim_.registry().UnloadHive(name), platform::kSuccess);
    }
    state.push_back(sim_.files().ReadFile(profile + "\\AppData\\Roaming\\Vornex\\Vornex.Ini").value_or("-"));
    return state;
  }

  struct Expected {
    const char* sid;
    std::string profile;
    std::vector<std::string> state;
  };
  void ExpectStates(const std::vector<Expected>& expected) {
    sim_.registry().ClearFailures();  // the held hive too is looked at
    for (const Expected& e : expected) EXPECT_EQ(State(e.sid, e.profile), e.state) << e.sid;
  }

  sim::SimMachine sim_;
  CAcadCatalog catalog_;
  app::QuietView view_;
  const std::string designer_ = "C:\\Users\\" + text::U8ToAnsiLossy(u8"设计师");
  const std::string merged_ = std::string("D:\\LISP;") + "C:\\VORNEX\\V-ZUREZUVAD";
};

TEST_F(OtherUsersTest, EveryOtherUserIsReachedSignedInOrNotAndWhoCannotBeIsNamed) {
  sim_.prompts().Answer(platform::kIdOk);
  EXPECT_EQ(Install(), install::InstallOutcome::kDoneWithIssues);
  ExpectStates({
      {kLiWei, "C:\\Users\\Li Wei", {kFolder, merged_, "Vornex.Ini"}},
      {kDesigner, designer_, {kFolder, merged_, "his own"}},  // his own file stays
      {kHeld, "C:\\Users\\Zhang", {"-", "D:\\LISP", "-"}},
      {kRoaming, "C:\\Users\\Wang", {kFolder, merged_, "-"}},
      {kSystem, "C:\\Windows\\system32\\config\\systemprofile", {"-", "D:\\LISP", "-"}},  // not a person
  });
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  const std::u8string box = sim_.prompts().Boxes()[0].text;
  for (const std::u8string& named : {install::UserLabel(u8"PC\\Zhang", kHeld) + install::kIssueHiveUnreachable,
                                     install::UserLabel(text::AnsiToU8(kRoaming), kRoaming) + u8" \\\\fs1\\profiles\\wang\\Vornex\\Vornex.Ini"}) {
    EXPECT_NE(box.find(named), std::u8string::npos) << text::U8ToAnsiLossy(box);
  }
  // Users who left (their profile gone, their ProfileList entry not) are no step left undone.
  for (const std::u8string& left : {install::UserLabel(u8"PC\\Left", kLeft), install::UserLabel(u8"PC\\Gone", kGone)}) {
    EXPECT_EQ(box.find(left), std::u8string::npos) << text::U8ToAnsiLossy(box);
  }
  const std::string journal = *sim_.files().ReadFile(std::string(kFolder) + "\\VornexSetup.journal");
  for (const char* sid : {kLiWei, kDesigner, kRoaming}) {
    EXPECT_NE(journal.find(std::string("\t") + sid + "\t"), std::string::npos) << sid << "\n" << journal;
  }
}

// Out again: what the journal recorded for each user, or, without the journal, the folder out of
// every profile of everybody (the 2010 value made by the installation then stays, empty).
TEST_F(OtherUsersTest, UninstallTakesTheFolderOutOfEveryUsersProfiles) {
  for (const bool withJournal : {true, false}) {
    SCOPED_TRACE(withJournal);
    sim_.FailLoad(kHeld, platform::kSharingViolation);
    sim_.FailLoad(kGone, platform::kPathNotFound);
    sim_.prompts().Answer(platform::kIdOk);
    ASSERT_EQ(Install(), install::InstallOutcome::kDoneWithIssues);
    if (!withJournal) {
      ASSERT_TRUE(sim_.files().Remove(std::string(kFolder) + "\\VornexSetup.journal"));
    }
    install::UninstallChoices choices;
    choices.typedFolder = "C:\\Vornex";
    choices.ask = false;
    sim_.prompts().Answer(platform::kIdOk);
    install::CUninstallEngine engine(sim_.machine(), catalog_);
    EXPECT_EQ(engine.Run(choices, view_),
              withJournal ? install::UninstallOutcome::kDone : install::UninstallOutcome::kDoneWithIssues);
    const std::string made = withJournal ? "-" : "";
    ExpectStates({
        {kLiWei, "C:\\Users\\Li Wei", {made, "D:\\LISP", "Vornex.Ini"}},  // settings stay
        {kDesigner, designer_, {made, "D:\\LISP", "his own"}},
        {kRoaming, "C:\\Users\\Wang", {made, "D:\\LISP", "-"}},
    });
    // Only the hive that could not be loaded at the installation is named, and only without the
    // journal, which holds nothing for that user.
    const std::u8string held = install::UserLabel(u8"PC\\Zhang", kHeld);
    EXPECT_EQ(engine.ClosingText().find(held) != std::u8string::npos, !withJournal);
    EXPECT_EQ(engine.ClosingText().find(install::UserLabel(u8"PC\\Gone", kGone)), std::u8string::npos);
  }
}

// A user who signed in after the installation had the folder trusted by Active Setup, which no
// journal records: the uninstall takes it out of his profiles too.
TEST_F(OtherUsersTest, UninstallReachesAUserWhoCameAfterTheInstallation) {
  sim_.prompts().Answer(platform::kIdOk);
  ASSERT_EQ(Install(), install::InstallOutcome::kDoneWithIssues);
  constexpr const char* kLater = "S-1-5-21-1-2-3-1009";
  const std::string later = "[HKEY_USERS\\" + std::string(kLater) + "\\" + kProfiles[1] +
                            "\\Variables]\n\"TRUSTEDPATHS\"=\"D:\\\\LISP;C:\\\\Vornex\\\\V-ZurezUvad\"\n";
  ASSERT_TRUE(sim_.AddUser({kLater, u8"PC\\Later", u8"C:\\Users\\Later", "REGEDIT4\n" + later, false}));
  install::UninstallChoices choices;
  choices.typedFolder = "C:\\Vornex";
  choices.ask = false;
  sim_.prompts().Answer(platform::kIdOk);
  install::CUninstallEngine engine(sim_.machine(), catalog_);
  EXPECT_EQ(engine.Run(choices, view_), install::UninstallOutcome::kDone);
  ExpectStates({{kLater, "C:\\Users\\Later", {"-", "D:\\LISP", "-"}}});
}

// Another user's settings file goes only where his own hive names a folder inside his own profile
// folder, reached without a link, and is his; anywhere else nothing is written and he is named.
TEST_F(OtherUsersTest, SettingsFileGoesOnlyInsideTheUsersOwnProfile) {
  const std::string home = "C:\\Users\\Li Wei";
  const struct {
    const char* name;
    std::string appData;  // what his hive names
    std::string link;     // a junction made below his profile first; empty: none
    bool placed;          // in <appData>\Vornex, his; else nothing anywhere
  } cases[] = {
      {"inside his profile", "%USERPROFILE%\\AppData\\Roaming", "", true},
      {"a folder beside his profile", "C:\\Users\\Li Wei2\\AppData", "", false},
      {"out again through dots", home + "\\AppData\\..\\..\\..\\Windows", "", false},
      {"a share on a host he chose", "\\\\attacker-host\\share", "", false},
      {"a link at his Vornex folder", home + "\\AppData\\Roaming", home + "\\AppData\\Roaming\\Vornex", false},
      {"a link higher up", home + "\\AppData\\Roaming", home + "\\AppData", false},
  };
  ASSERT_TRUE(sim_.files().MakeDirectories("C:\\Users\\Li Wei2\\AppData"));
  catalog_.m_strInstallFolder = kFolder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sim_.files().Remove(home + "\\AppData") || !sim_.files().Exists(home + "\\AppData"));
    if (!c.link.empty()) {
      ASSERT_TRUE(sim_.files().MakeJunction(c.link));
    }
    ASSERT_TRUE(sim_.registry().SetString(sim::kUsers, std::string(kLiWei) + "\\" + kShellFolders, "AppData", c.appData));
    const std::vector<std::string> before = sim_.files().Tree();
    install::InstallRecord record(nullptr, nullptr);
    install::ReachOtherUsers(catalog_, "C:\\Setup\\Data\\Vornex.Ini", sim_.machine(), record);

    std::vector<std::string> made;
    for (const std::string& entry : sim_.files().Tree()) {
      if (std::find(before.begin(), before.end(), entry) == before.end()) made.push_back(entry);
    }
    const std::u8string named = install::UserLabel(u8"PC\\Li Wei", kLiWei);
    bool isNamed = false;
    for (const std::u8string& item : record.Issues().Items()) {
      isNamed = isNamed || (item.starts_with(named) && item.ends_with(install::kIssueSettingsOutsideProfile));
    }
    EXPECT_EQ(isNamed, !c.placed);
    if (!c.placed) {
      EXPECT_TRUE(made.empty()) << made.front();
      continue;
    }
    const std::string roaming = home + "\\AppData\\Roaming";
    EXPECT_EQ(made, (std::vector<std::string>{home + "\\AppData\\", roaming + "\\", roaming + "\\Vornex\\",
                                              roaming + "\\Vornex\\Vornex.Ini"}));
    for (const std::string& entry : made) {
      const std::string path = entry.ends_with("\\") ? entry.substr(0, entry.size() - 1) : entry;
      EXPECT_EQ(sim_.files().SecurityOf(path)->owner, kLiWei) << path;
    }
  }
}

}  // namespace
