// A run that stops leaves the machine as it found it: a first installation and an upgrade, each
// stopped at the copy, at the lock-down, and killed after so many journal records (then finished
// by the next run), compared whole with the machine before the run.
#include "install/rollback.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "install/install_engine.h"
#include "platform/sim/sim_machine.h"
#include "records/journal.h"
#include "support/fixtures.h"
#include "support/machine_snapshot.h"

namespace {

using install::InstallOutcome;
using platform::RootKey;

constexpr const char* kAcad2008 = "C:\\Program Files\\Autodesk\\AutoCAD 2008";
constexpr const char* kAcad2010 = "C:\\Program Files\\Autodesk\\AutoCAD 2010";
constexpr const char* kAcad2022 = "C:\\Program Files\\Autodesk\\AutoCAD 2022";
constexpr const char* kProduct2008 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804";
constexpr const char* kInstallFolder = "C:\\Vornex\\V-ZurezUvad";
constexpr const char8_t* kJournal = u8"C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal";
constexpr const char* kDriver = "C:\\Program Files\\Autodesk\\AutoCAD 2008\\Drv\\pdfplot9.hdi";
constexpr const char* kDesigner = "S-1-5-21-1-2-3-1002";  // not signed in: reached through his hive file
const std::vector<std::string> kPayload = {"VX_ZurezUvad2008.arx", "VX_ZurezUvad2010.arx", "VX_ZurezUvad2021.arx",
                                           "VXCAD2013P.dll",       "Vornex_EN.shx",        "Vornex.prt5",
                                           "itextsharp.dll",       "Vornex.Ini"};

class NullView final : public install::InstallView {
 public:
  void CopyStarting() override {}
  platform::ProgressBar& Progress() override { return progress; }
  sim::SimProgressBar progress;
};

// AutoCAD 2008 (whose driver the add-on replaces), 2010 and 2022; a profile without "Variables";
// another user, signed out, with profiles of his own; the payload beside the installer.
class Rig {
 public:
  Rig() {
    const sim::RegFileResult loaded = support::LoadRegistryFixture(sim, "registry/two-releases.reg");
    EXPECT_TRUE(loaded) << loaded.Describe();
    auto& reg = sim.registry();
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, kProduct2008, "AcadLocation", std::string(kAcad2008) + "\\"));
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, kProduct2008, "ProductName", "AutoCAD 2008"));
    EXPECT_TRUE(reg.CreatePath(RootKey::CurrentUser, "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting"));
    const std::string top = std::string("[HKEY_USERS\\") + kDesigner + "\\Software\\Autodesk\\AutoCAD\\";
    EXPECT_TRUE(sim.AddUser({kDesigner, u8"PC\\Designer", u8"C:\\Users\\Designer",
                             "REGEDIT4\n" + top + "R18.0\\ACAD-8001:804\\Profiles\\<<Unnamed Profile>>\\Variables]\n" + top +
                                 "R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables]\n\"TRUSTEDPATHS\"=\"D:\\\\LISP\"\n",
                             false}));
    Payload("1");
    for (const char* acad : {kAcad2008, kAcad2010, kAcad2022}) {
      EXPECT_TRUE(sim.files().MakeDirectories(std::string(acad) + "\\Fonts"));
    }
    EXPECT_TRUE(sim.files().WriteFile(kDriver, "AutoCAD's own driver"));
    catalog.Scan(sim.registry());
  }

  // Every payload file, its content marked with the build: an upgrade replaces each of them.
  void Payload(const std::string& build) {
    for (const std::string& name : kPayload) EXPECT_TRUE(sim.files().WriteFile("C:\\Setup\\Data\\" + name, name + " " + build));
  }

  InstallOutcome Install(int version) {
    install::InstallChoices choices;
    for (const int year : {2008, 2010, 2022}) choices.releases[YearIndex(year)] = 1;
    choices.typedFolder = "C:\\Vornex";
    install::CInstallEngine engine(sim.machine(), catalog, 64, version);
    return engine.Run(choices, view);
  }

  sim::SimMachine sim;
  CAcadCatalog catalog;
  NullView view;
};

enum class Stop { kCopy, kLockDown, kKilled };

struct Case {
  const char* name;
  bool upgrade;  // an earlier installation is there, and the run replaces every file of it
  Stop stop;
  int records;   // kKilled: the journal appends that went through before the kill
};

// The journal appends of a whole run, counted on a machine of its own.
int AppendsOfAWholeRun(bool upgrade) {
  Rig rig;
  if (upgrade) {
    EXPECT_EQ(rig.Install(20250101), InstallOutcome::kDone);
    rig.Payload("2");
  }
  const std::size_t before = rig.sim.files().ReadFile("C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal").value_or("").size();
  EXPECT_EQ(rig.Install(20250428), InstallOutcome::kDone);
  const std::string journal = rig.sim.files().ReadFile("C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal").value_or("");
  int lines = 0;
  for (std::size_t i = before; i < journal.size(); ++i) lines += journal[i] == '\n' ? 1 : 0;
  // A new journal's note line and its RUN go in one append.
  return upgrade ? lines : lines - 1;
}

TEST(Rollback, AStoppedOrKilledRunLeavesTheMachineAsItWas) {
  const int whole[] = {AppendsOfAWholeRun(false), AppendsOfAWholeRun(true)};
  std::vector<Case> cases = {
      {"first installation, a payload file held", false, Stop::kCopy, 0},
      {"upgrade, an installed module held open", true, Stop::kCopy, 0},
      {"first installation, the folder cannot be locked down", false, Stop::kLockDown, 0},
      {"upgrade, the folder cannot be locked down", true, Stop::kLockDown, 0},
  };
  // Killed as the journal opens, early in the copy, and then at points through registration, the
  // other user, the support files and the uninstaller's entry, up to the last record before END.
  for (const bool upgrade : {false, true}) {
    const int all = whole[upgrade ? 1 : 0];
    for (const int n : {0, 1, 4, all / 4, all / 2, all * 3 / 4, all - 2, all - 1}) {
      cases.push_back({upgrade ? "upgrade, killed" : "first installation, killed", upgrade, Stop::kKilled, n});
    }
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(c.records) + " records");
    Rig rig;
    if (c.upgrade) {
      ASSERT_EQ(rig.Install(20250101), InstallOutcome::kDone);
      rig.Payload("2");
    }
    rig.sim.prompts().Clear();
    const support::Snapshot before = support::Take(rig.sim);

    switch (c.stop) {
      case Stop::kCopy:
        // Held by another program: neither copied over nor moved aside. Abort in the copy box.
        rig.sim.files().FailOn(sim::FileOp::Copy, std::string(kInstallFolder) + "\\VXCAD2013P.dll", platform::kSharingViolation);
        rig.sim.files().FailOn(sim::FileOp::Move, std::string(kInstallFolder) + "\\VXCAD2013P.dll", platform::kSharingViolation);
        rig.sim.prompts().Answer(platform::kIdAbort);
        EXPECT_EQ(rig.Install(20250428), InstallOutcome::kStopped);
        break;
      case Stop::kLockDown:
        rig.sim.files().FailOn(sim::FileOp::ProtectFolder, kInstallFolder, platform::kAccessDenied);
        rig.sim.prompts().Answer(platform::kIdOk);
        EXPECT_EQ(rig.Install(20250428), InstallOutcome::kNotProtected);
        break;
      case Stop::kKilled: {
        rig.sim.logging().files().KillAfter(kJournal, c.records);
        bool killed = false;
        try {
          (void)rig.Install(20250428);
        } catch (const sim::Killed&) {
          killed = true;
        }
        ASSERT_TRUE(killed) << "the run ended before its kill";
        rig.sim.logging().files().KillAfter(u8"", 0);
        // The next run, whichever it is, finishes the one cut off first.
        EXPECT_TRUE(install::FinishInterruptedRun(rig.sim.machine(), nullptr));
        break;
      }
    }
    EXPECT_EQ(rig.sim.prompts().PendingAnswers(), 0u);
    EXPECT_EQ(support::Changes(before, support::Take(rig.sim)), std::vector<std::string>{});
    // Nothing is left for a later run to finish.
    EXPECT_FALSE(install::FinishInterruptedRun(rig.sim.machine(), nullptr));
  }
}

}  // namespace
