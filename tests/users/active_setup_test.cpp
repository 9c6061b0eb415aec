// Users who sign in after the installation: the Active Setup key the installation leaves, and what
// /USERSETUP does as the user signing in.
#include "users/active_setup.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"
#include "records/install_log.h"
#include "support/addon_rig.h"
#include "support/fixtures.h"

namespace {

using platform::RootKey;

constexpr const char* kFolder = "C:\\Vornex\\V-ZurezUvad";
constexpr const char* kSettings = "C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini";
constexpr const char* k2010 = "Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
constexpr const char* k2022 = "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting\\Variables";

// As the user signing in: every profile trusts the folder, the settings file comes only when he has
// none, and a user with no AutoCAD profile yet (or a machine with nothing installed) is no failure.
// The installation left the key Windows reads at every sign-in, and the settings file kept for it.
TEST(UserSetup, TheUserSigningInGetsTheFolderAndASettingsFile) {
  const struct {
    const char* name;
    bool installed;
    bool profiles;
    const char* ownSettings;  // his settings file before, or null
    install::UserSetupOutcome outcome;
    std::string trusted2010, trusted2022, settings;
  } cases[] = {
      {"a new user with profiles", true, true, nullptr, install::UserSetupOutcome::kDone, kFolder, kFolder, "Vornex.Ini"},
      {"his own settings file stays", true, true, "his own", install::UserSetupOutcome::kDone, kFolder, kFolder, "his own"},
      {"no AutoCAD profile yet", true, false, nullptr, install::UserSetupOutcome::kDone, "-", "-", "Vornex.Ini"},
      {"nothing installed", false, true, nullptr, install::UserSetupOutcome::kNoInstallation, "-", "-", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    support::AddonRig rig("AutoCAD's own driver");
    sim::SimMachine& sim = rig.sim;
    if (c.installed) {
      ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);
      const char* key = install::kActiveSetupKeyPath;
      EXPECT_EQ(sim.registry().GetString(RootKey::LocalMachine, key, "StubPath"),
                "\"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe\" /USERSETUP");
      EXPECT_EQ(sim.registry().GetString(RootKey::LocalMachine, key, "Version"), "2025,4,28");
      EXPECT_EQ(sim.registry().GetString(RootKey::LocalMachine, key, ""), support::Ansi("V-批打印软件"));
      EXPECT_EQ(sim.files().ReadFile(std::string(kFolder) + "\\VornexSetup.Ini"), "Vornex.Ini");
    }
    // He signs in for the first time: the installation found none of what follows.
    ASSERT_TRUE(sim.registry().DeleteTree(RootKey::CurrentUser, "Software\\Autodesk"));
    (void)sim.files().Remove("C:\\Users\\User\\AppData\\Roaming\\Vornex");
    if (c.profiles) {
      for (const char* variables : {k2010, k2022}) ASSERT_TRUE(sim.registry().CreatePath(RootKey::CurrentUser, variables));
    }
    if (c.ownSettings != nullptr) {
      ASSERT_TRUE(sim.files().WriteFile(kSettings, c.ownSettings));
    }
    install::InstallLog log(sim.logging().support());
    EXPECT_EQ(log.Open(u8"C:\\Setup\\VornexUserSetup.log"), platform::kSuccess);
    EXPECT_EQ(install::RunUserSetup(sim.machine(), log), c.outcome);
    EXPECT_EQ(sim.registry().GetString(RootKey::CurrentUser, k2010, "TRUSTEDPATHS").value_or("-"), c.trusted2010);
    EXPECT_EQ(sim.registry().GetString(RootKey::CurrentUser, k2022, "TRUSTEDPATHS").value_or("-"), c.trusted2022);
    EXPECT_EQ(sim.files().ReadFile(kSettings).value_or("-"), c.settings);
  }
}

}  // namespace
