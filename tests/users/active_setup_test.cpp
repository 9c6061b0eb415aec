// Users who sign in after the installation: the Active Setup key the installation leaves, and what
// /USERSETUP does as the user signing in.
#include "users/active_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/unattended.h"
#include "install/install_engine.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "records/addon_names.h"
#include "support/fixtures.h"

namespace {

using platform::RootKey;

constexpr const char* kFolder = "C:\\Vornex\\V-ZurezUvad";
constexpr const char* kSettings = "C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini";
constexpr const char* k2010 = "Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
constexpr const char* k2022 = "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting\\Variables";

// A machine with AutoCAD 2010 and 2022 and a payload beside the installer.
class Rig {
 public:
  Rig() {
    EXPECT_TRUE(support::LoadRegistryFixture(sim_, "registry/two-releases.reg"));
    EXPECT_TRUE(sim_.files().MakeDirectories("C:\\Temp"));
    for (const char* name : {"VX_ZurezUvad2010.arx", "Vornex.Ini"}) {
      EXPECT_TRUE(sim_.files().WriteFile(std::string("C:\\Setup\\Data\\") + name, std::string("payload ") + name));
    }
    catalog_.Scan(sim_.registry());
  }

  void Install() {
    install::InstallChoices choices;
    choices.releases[YearIndex(2010)] = 1;
    choices.typedFolder = "C:\\Vornex";
    install::CInstallEngine engine(sim_.machine(), catalog_, 64, 20250428);
    EXPECT_EQ(engine.Run(choices, view_), install::InstallOutcome::kDone);
  }

  install::UserSetupOutcome UserSetup() {
    install::InstallLog log(sim_.logging().support());
    EXPECT_EQ(log.Open(u8"C:\\Temp\\VornexUserSetup.log"), platform::kSuccess);
    return install::RunUserSetup(sim_.machine(), log);
  }

  std::string Trusted(const char* variables) {
    return sim_.registry().GetString(RootKey::CurrentUser, variables, "TRUSTEDPATHS").value_or("-");
  }

  sim::SimMachine sim_;
  CAcadCatalog catalog_;
  app::QuietView view_;
};

// The key Windows reads at every sign-in, and the settings file kept for it.
TEST(UserSetup, TheInstallationLeavesTheActiveSetupKey) {
  Rig rig;
  rig.Install();
  sim::SimMachine& sim_ = rig.sim_;
  const char* key = install::kActiveSetupKeyPath;
  EXPECT_EQ(sim_.registry().GetString(RootKey::LocalMachine, key, "StubPath"),
            "\"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe\" /USERSETUP");
  EXPECT_EQ(sim_.registry().GetString(RootKey::LocalMachine, key, "Version"), "2025,4,28");
  EXPECT_EQ(sim_.registry().GetString(RootKey::LocalMachine, key, ""), support::Ansi("V-批打印软件"));
  EXPECT_EQ(sim_.files().ReadFile(std::string(kFolder) + "\\VornexSetup.Ini"), "payload Vornex.Ini");
}

// As the user signing in: every profile trusts the folder, the settings file comes only when he has
// none, and a user with no AutoCAD profile yet (or a machine with nothing installed) is no failure.
TEST(UserSetup, TheUserSigningInGetsTheFolderAndASettingsFile) {
  const struct {
    const char* name;
    bool installed;
    bool profiles;
    const char* ownSettings;  // his settings file before, or null
    install::UserSetupOutcome outcome;
    std::string trusted2010, trusted2022, settings;
  } cases[] = {
      {"a new user with profiles", true, true, nullptr, install::UserSetupOutcome::kDone, kFolder, kFolder,
       "payload Vornex.Ini"},
      {"his own settings file stays", true, true, "his own", install::UserSetupOutcome::kDone, kFolder, kFolder,
       "his own"},
      {"no AutoCAD profile yet", true, false, nullptr, install::UserSetupOutcome::kDone, "-", "-",
       "payload Vornex.Ini"},
      {"nothing installed", false, true, nullptr, install::UserSetupOutcome::kNoInstallation, "-", "-", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    sim::SimMachine& sim_ = rig.sim_;
    if (c.installed) rig.Install();
    // He signs in for the first time: the installation found none of what follows.
    ASSERT_TRUE(sim_.registry().DeleteTree(RootKey::CurrentUser, "Software\\Autodesk"));
    (void)sim_.files().Remove("C:\\Users\\User\\AppData\\Roaming\\Vornex");
    if (c.profiles) {
      for (const char* variables : {k2010, k2022}) ASSERT_TRUE(sim_.registry().CreatePath(RootKey::CurrentUser, variables));
    }
    if (c.ownSettings != nullptr) {
      ASSERT_TRUE(sim_.files().WriteFile(kSettings, c.ownSettings));
    }
    EXPECT_EQ(rig.UserSetup(), c.outcome);
    EXPECT_EQ(rig.Trusted(k2010), c.trusted2010);
    EXPECT_EQ(rig.Trusted(k2022), c.trusted2022);
    EXPECT_EQ(sim_.files().ReadFile(kSettings).value_or("-"), c.settings);
  }
}

}  // namespace
