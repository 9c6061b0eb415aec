// A run that stops leaves the machine as it found it: a first installation and an upgrade, each
// stopped at the copy, at the lock-down, and killed after so many journal records (then finished
// by the next run), compared whole with the machine before the run.
#include "install/rollback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_engine.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "records/journal.h"
#include "support/addon_rig.h"
#include "support/machine_snapshot.h"

namespace {

using install::InstallOutcome;

constexpr const char8_t* kJournal = u8"C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal";
constexpr const char* kDesigner = "S-1-5-21-1-2-3-1002";  // not signed in: reached through his hive file
const std::vector<std::string> kPayload = {"VX_ZurezUvad2008.arx", "VX_ZurezUvad2010.arx", "VX_ZurezUvad2021.arx",
                                           "VXCAD2013P.dll",       "Vornex_EN.shx",        "Vornex.prt5",
                                           "itextsharp.dll",       "Vornex.Ini"};

// The add-on's machine with another user, signed out, who has profiles of his own; every payload
// file marked with the build, so that an upgrade replaces each of them.
class Rig : public support::AddonRig {
 public:
  Rig() : AddonRig("AutoCAD's own driver", kPayload, " 1") {
    const std::string top = std::string("[HKEY_USERS\\") + kDesigner + "\\Software\\Autodesk\\AutoCAD\\";
    EXPECT_TRUE(sim.AddUser({kDesigner, u8"PC\\Designer", u8"C:\\Users\\Designer",
                             "REGEDIT4\n" + top + "R18.0\\ACAD-8001:804\\Profiles\\<<Unnamed Profile>>\\Variables]\n" + top +
                                 "R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables]\n\"TRUSTEDPATHS\"=\"D:\\\\LISP\"\n",
                             false}));
  }

  // For an upgrade, an earlier installation, each of whose files the next payload replaces.
  void Before(bool upgrade) {
    if (!upgrade) return;
    EXPECT_EQ(Install(20250101), InstallOutcome::kDone);
    Payload(kPayload, " 2");
  }
};

enum class Stop { kCopy, kLockDown, kKilled };

struct Case {
  const char* name;
  bool upgrade;  // an earlier installation is there, and the run replaces every file of it
  Stop stop;
  int records;   // kKilled: the journal appends that went through before the kill
  const char* dir = nullptr;  // installed as /DIR does, every missing level of it made
};

// The journal appends of a whole run, counted on a machine of its own.
int AppendsOfAWholeRun(bool upgrade) {
  Rig rig;
  rig.Before(upgrade);
  // Counted as they go: a run that ends well rewrites the whole journal.
  const int before = rig.sim.logging().files().AppendsTo(kJournal);
  EXPECT_EQ(rig.Install(20250428), InstallOutcome::kDone);
  return rig.sim.logging().files().AppendsTo(kJournal) - before;
}

TEST(Rollback, AStoppedOrKilledRunLeavesTheMachineAsItWas) {
  const int whole[] = {AppendsOfAWholeRun(false), AppendsOfAWholeRun(true)};
  std::vector<Case> cases = {
      {"first installation, a payload file held", false, Stop::kCopy, 0},
      {"upgrade, an installed module held open", true, Stop::kCopy, 0},
      {"first installation, the folder cannot be locked down", false, Stop::kLockDown, 0},
      {"upgrade, the folder cannot be locked down", true, Stop::kLockDown, 0},
      // Every level of C:\\A\\B\\C made, none of them there before: the levels made before the
      // journal can exist are known only from the run's mark.
      {"first installation into a folder three levels deep, killed", false, Stop::kKilled, 1, "C:\\A\\B\\C"},
  };
  // Killed as the journal opens, at the first record, half-way, and at the last record before END:
  // every kind of record the run writes is then there to be taken back.
  for (const bool upgrade : {false, true}) {
    const int all = whole[upgrade ? 1 : 0];
    for (const int n : {0, 1, all / 2, all - 1}) {
      cases.push_back({upgrade ? "upgrade, killed" : "first installation, killed", upgrade, Stop::kKilled, n});
    }
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(c.records) + " records");
    Rig rig;
    rig.Before(c.upgrade);
    rig.sim.prompts().Clear();
    const support::Snapshot before = support::Take(rig.sim);
    const std::string chosen = c.dir != nullptr ? c.dir : "C:\\Vornex";
    const std::string folder = chosen + "\\V-ZurezUvad";
    const auto install = [&] { return rig.Install(20250428, chosen, c.dir != nullptr); };

    switch (c.stop) {
      case Stop::kCopy:
        // Held by another program: neither copied over nor moved aside. Abort in the copy box.
        for (const sim::FileOp op : {sim::FileOp::Copy, sim::FileOp::Move}) {
          rig.sim.files().FailOn(op, folder + "\\VXCAD2013P.dll", platform::kSharingViolation);
        }
        rig.sim.prompts().Answer(platform::kIdAbort);
        EXPECT_EQ(install(), InstallOutcome::kStopped);
        break;
      case Stop::kLockDown:
        rig.sim.files().FailOn(sim::FileOp::ProtectFolder, folder, platform::kAccessDenied);
        rig.sim.prompts().Answer(platform::kIdOk);
        EXPECT_EQ(install(), InstallOutcome::kNotProtected);
        break;
      case Stop::kKilled: {
        rig.sim.logging().files().KillAfter(text::FromAnsi(folder) + u8"\\VornexSetup.journal", c.records);
        ASSERT_THROW((void)install(), sim::Killed) << "the run ended before its kill";
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
