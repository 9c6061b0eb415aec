// The running account's settings file is replaced by an installation; other content in it is kept
// beside it first, named at the end, left by the uninstall and taken back by a rollback.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "records/install_texts.h"
#include "support/addon_rig.h"
#include "support/machine_snapshot.h"

namespace {

using install::InstallOutcome;

constexpr const char* kSettings = "C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini";
constexpr const char* kBackup = "C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini.20250607-083005.bak";

struct Case {
  const char* name;
  const char* before;                   // the settings file's content before the run
  std::function<void(support::AddonRig&)> also;  // what else is on the machine, or happens to the run
  InstallOutcome outcome;
  const char* backup;                   // the copy kept, with the content before; null: none
  bool uninstall;                       // then uninstalled: the copy stays
};

TEST(SettingsBackup, OtherContentIsKeptBesideTheFileUntilARollbackTakesItBack) {
  const auto taken = [](support::AddonRig& rig) {
    // A second run in the same second, or a file of the user's own by that name.
    EXPECT_TRUE(rig.sim.files().WriteFile(kBackup, "the user's"));
  };
  const auto held = [](support::AddonRig& rig) {
    // A module held open: the copy is given up, and everything this run did goes back.
    for (const sim::FileOp op : {sim::FileOp::Copy, sim::FileOp::Move}) {
      rig.sim.files().FailOn(op, std::string(support::kInstallFolder) + "\\VXCAD2013P.dll", platform::kSharingViolation);
    }
    rig.sim.prompts().Answer(platform::kIdAbort);
  };
  const std::string numbered = std::string(kSettings) + ".20250607-083005-2.bak";
  const Case cases[] = {
      {"the same content", "Vornex.Ini", nullptr, InstallOutcome::kDone, nullptr, false},
      {"the user's own settings, then uninstalled", "Pen=0.35", nullptr, InstallOutcome::kDone, kBackup, true},
      {"the user's own settings, the copy's name taken", "Pen=0.35", taken, InstallOutcome::kDone, numbered.c_str(),
       false},
      {"the user's own settings, the run stopped", "Pen=0.35", held, InstallOutcome::kStopped, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    support::AddonRig rig("AutoCAD's own driver");
    rig.sim.logging().clock().Set({2025, 6, 7, 8, 30, 5});
    EXPECT_TRUE(rig.sim.files().WriteFile(kSettings, c.before));
    if (c.also) c.also(rig);
    const support::Snapshot before = support::Take(rig.sim);

    EXPECT_EQ(rig.Install(), c.outcome);
    if (c.outcome == InstallOutcome::kStopped) {
      EXPECT_EQ(support::Changes(before, support::Take(rig.sim)), std::vector<std::string>{});
      continue;
    }
    EXPECT_EQ(rig.sim.files().ReadFile(kSettings), "Vornex.Ini");
    if (c.backup == nullptr) {
      EXPECT_TRUE(rig.sim.prompts().Boxes().empty()) << text::Utf8Bytes(rig.LastBox());
      EXPECT_EQ(rig.sim.files().Tree("C:\\Users\\User\\AppData\\Roaming\\Vornex"), std::vector<std::string>{kSettings});
      continue;
    }
    EXPECT_EQ(rig.sim.files().ReadFile(c.backup), c.before);
    EXPECT_EQ(rig.LastBox(), install::kDoneLead + install::WithPath(install::kSettingsKeptNote, c.backup));
    if (c.also) {
      EXPECT_EQ(rig.sim.files().ReadFile(kBackup), "the user's");
    }
    if (c.uninstall) {
      install::UninstallChoices quiet;
      quiet.ask = false;
      EXPECT_EQ(rig.Uninstall(quiet), install::UninstallOutcome::kDone);
      EXPECT_EQ(rig.sim.files().ReadFile(c.backup), c.before);
    }
  }
}

}  // namespace
