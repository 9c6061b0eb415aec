// An upgrade leaves exactly the new version, and its journal one run's description; an installation
// into another folder moves the installation there. Each is followed by the uninstall, which must
// give back the machine as it was before the first installation.
#include "install/upgrade.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_engine.h"
#include "install/rollback.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "records/journal.h"
#include "records/installed.h"
#include "records/journal_compaction.h"
#include "support/addon_rig.h"
#include "support/machine_snapshot.h"

namespace {

using install::InstallOutcome;
using install::UninstallOutcome;

constexpr const char* kOwnDriver = "AutoCAD's own PDF driver";
constexpr const char* kData = "C:\\Setup\\Data\\";
const std::string kFont2010 = std::string(support::kAcad2010) + "\\Fonts\\Vornex_EN.shx";

install::UninstallChoices FromAppsAndFeatures() {
  install::UninstallChoices choices;
  choices.ask = false;
  choices.checkAcadRunning = false;
  return choices;
}

// The machine without the payload the installer is run from, which the tests change between runs.
support::Snapshot WithoutPayload(sim::SimMachine& sim) {
  support::Snapshot lines = support::Take(sim);
  std::erase_if(lines, [](const std::string& line) { return line.starts_with(kData); });
  return lines;
}

// The add-on's machine and a snapshot of it before anything was installed.
class Rig : public support::AddonRig {
 public:
  Rig() : AddonRig(kOwnDriver, WithSupportModule(), " 1") { before = WithoutPayload(sim); }

  static std::vector<std::string> WithSupportModule() {
    std::vector<std::string> payload = support::kAddonPayload;
    payload.push_back("VXCAD2021P.dll");
    return payload;
  }

  // The uninstall from Apps & features leaves the machine as it was before the first installation,
  // as it leaves it after a single installation: with the user's settings file, which it keeps.
  void ExpectUninstalledClean() {
    EXPECT_EQ(Uninstall(FromAppsAndFeatures()), UninstallOutcome::kDone) << text::Utf8Bytes(LastBox());
    EXPECT_EQ(support::Changes(before, WithoutPayload(sim)), OneInstallationUninstalled());
  }

  static std::vector<std::string> OneInstallationUninstalled() {
    Rig once;
    EXPECT_EQ(once.Install(), InstallOutcome::kDone);
    EXPECT_EQ(once.Uninstall(FromAppsAndFeatures()), UninstallOutcome::kDone);
    return support::Changes(once.before, WithoutPayload(once.sim));
  }

  support::Snapshot before;
};

// How the upgrade's rewrite of the journal ends: it must leave the old journal or the new one,
// whole, and the uninstall must still give the machine back.
enum class Cut { kNone, kKilledWriting, kCannotReplace };

TEST(Upgrade, LeavesExactlyTheNewVersionAndTheUninstallGivesTheMachineBack) {
  const std::string folder = support::kInstallFolder;
  const struct {
    const char* name;
    std::vector<std::string> dropped, changed, added;  // in the payload, by the second build
    std::vector<std::string> gone;                      // after the upgrade
    std::vector<std::pair<std::string, std::string>> there;
    Cut cut;
  } cases[] = {
      {"a module dropped, a font changed, a module added", {"VX_ZurezUvad2021.arx"}, {"Vornex_EN.shx"},
       {"VX_ZurezUvad2022.arx"}, {folder + "\\VX_ZurezUvad2021.arx"},
       {{kFont2010, "Vornex_EN.shx 2"}, {folder + "\\VX_ZurezUvad2022.arx", "VX_ZurezUvad2022.arx 2"}}, Cut::kNone},
      {"a support module dropped from AutoCAD's folders, another added", {"VXCAD2021P.dll"}, {}, {"VXCAD2022P.dll"},
       {std::string(support::kAcad2022) + "\\VXCAD2021P.dll", folder + "\\VXCAD2021P.dll"},
       {{std::string(support::kAcad2022) + "\\VXCAD2022P.dll", "VXCAD2022P.dll 2"}}, Cut::kNone},
      {"the PDF driver dropped: AutoCAD's own comes back", {"Vornex.prt5"}, {}, {}, {folder + "\\Backup"},
       {{support::kDriver, kOwnDriver}}, Cut::kNone},
      {"killed writing the new journal", {"VX_ZurezUvad2021.arx"}, {}, {}, {folder + "\\VX_ZurezUvad2021.arx"}, {},
       Cut::kKilledWriting},
      {"the new journal cannot take the old one's place", {"VX_ZurezUvad2021.arx"}, {}, {},
       {folder + "\\VX_ZurezUvad2021.arx"}, {}, Cut::kCannotReplace},
  };
  const std::u8string newJournal = install::NewJournalPath(text::FromAnsi(support::kInstallFolder));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(20250101), InstallOutcome::kDone);
    const std::string journalBefore = *rig.sim.files().ReadFile(support::kJournal);
    for (const std::string& name : c.dropped) EXPECT_TRUE(rig.sim.files().Remove(kData + name));
    rig.Payload(c.changed, " 2");
    rig.Payload(c.added, " 2");
    if (c.cut == Cut::kKilledWriting) {
      rig.sim.logging().files().KillAfter(newJournal, 0);
      ASSERT_THROW((void)rig.Install(20250428), sim::Killed);
      rig.sim.logging().files().KillAfter(u8"", 0);
      EXPECT_TRUE(install::FinishInterruptedRun(rig.sim.machine(), nullptr));
    } else {
      if (c.cut == Cut::kCannotReplace) {
        rig.sim.files().FailOn(sim::FileOp::Move, std::string(text::Utf8Bytes(newJournal)), platform::kAccessDenied);
      }
      ASSERT_EQ(rig.Install(20250428), InstallOutcome::kDone) << text::Utf8Bytes(rig.LastBox());
      rig.sim.files().ClearFailures();
    }
    for (const std::string& path : c.gone) EXPECT_FALSE(rig.sim.files().Exists(path)) << path;
    for (const auto& [path, content] : c.there) EXPECT_EQ(rig.sim.files().ReadFile(path), content) << path;
    // Cut off, the old journal stays whole, the run that ended well appended to it.
    const std::string journal = *rig.sim.files().ReadFile(support::kJournal);
    EXPECT_EQ(journal.compare(0, journalBefore.size(), journalBefore) == 0, c.cut != Cut::kNone);
    EXPECT_TRUE(journal.ends_with("END\tDONE\r\n"));
    rig.ExpectUninstalledClean();
  }
}

TEST(Upgrade, FiveReinstallsLeaveTheJournalAndTheSummaryOfOne) {
  Rig once;
  ASSERT_EQ(once.Install(), InstallOutcome::kDone);
  const std::string journalOfOne = *once.sim.files().ReadFile(support::kJournal);
  install::CUninstallEngine single(once.sim.machine(), once.catalog);
  ASSERT_EQ(single.Run(FromAppsAndFeatures(), once.view), UninstallOutcome::kDone);

  Rig five;
  for (int run = 0; run < 5; ++run) ASSERT_EQ(five.Install(), InstallOutcome::kDone);
  EXPECT_EQ(five.sim.files().ReadFile(support::kJournal)->size(), journalOfOne.size());
  install::CUninstallEngine uninstall(five.sim.machine(), five.catalog);
  ASSERT_EQ(uninstall.Run(FromAppsAndFeatures(), five.view), UninstallOutcome::kDone);
  EXPECT_EQ(text::Utf8Bytes(uninstall.ClosingText()), text::Utf8Bytes(single.ClosingText()));
  EXPECT_EQ(support::Changes(five.before, WithoutPayload(five.sim)), Rig::OneInstallationUninstalled());
}

// What stops the move: the new run (rolled back, the earlier installation untouched and still the
// one installed) or a file of the earlier one that cannot be deleted (said; the new one stays).
enum class Stop { kNone, kNewRunStops, kEarlierFileHeld };

TEST(Move, AnInstallationIntoAnotherFolderTakesTheEarlierOneOut) {
  const std::string earlierModule = std::string(support::kInstallFolder) + "\\VX_ZurezUvad2008.arx";
  const struct {
    const char* name;
    const char* folder;  // the second installation's
    Stop stop;
    InstallOutcome outcome;
  } cases[] = {
      {"to another folder on C:", "C:\\Tools", Stop::kNone, InstallOutcome::kDone},
      {"to another drive", "D:\\Tools", Stop::kNone, InstallOutcome::kDone},
      {"the new installation stops", "C:\\Tools", Stop::kNewRunStops, InstallOutcome::kStopped},
      {"a file of the earlier one cannot be deleted", "C:\\Tools", Stop::kEarlierFileHeld, InstallOutcome::kDoneWithIssues},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string installFolder = std::string(c.folder) + "\\V-ZurezUvad";
    Rig rig;
    rig.sim.files().AddDrive('D');
    rig.before = WithoutPayload(rig.sim);
    ASSERT_EQ(rig.Install(), InstallOutcome::kDone);
    ASSERT_EQ(rig.sim.files().ReadFile(std::string(support::kInstallFolder) + "\\Backup\\1\\pdfplot9.hdi"), kOwnDriver);
    const support::Snapshot installed = WithoutPayload(rig.sim);
    rig.Payload({"Vornex.prt5"}, " 2");  // the new build's driver differs from the one in place
    if (c.stop == Stop::kNewRunStops) {
      rig.sim.files().FailOn(sim::FileOp::Copy, installFolder + "\\VX_ZurezUvad2010.arx", platform::kAccessDenied);
      rig.sim.prompts().Answer(platform::kIdAbort);
    } else if (c.stop == Stop::kEarlierFileHeld) {
      for (const sim::FileOp op : {sim::FileOp::DeleteFile, sim::FileOp::DeleteLater}) {
        rig.sim.files().FailOn(op, earlierModule, platform::kAccessDenied);
      }
      rig.sim.prompts().Answer(platform::kIdOk);
    }
    ASSERT_EQ(rig.Install(20250428, c.folder), c.outcome) << text::Utf8Bytes(rig.LastBox());
    rig.sim.files().ClearFailures();

    if (c.stop == Stop::kNewRunStops) {
      EXPECT_EQ(support::Changes(installed, WithoutPayload(rig.sim)), std::vector<std::string>{});
    } else if (c.stop == Stop::kEarlierFileHeld) {
      EXPECT_NE(text::Utf8Bytes(rig.LastBox()).find(earlierModule), std::string::npos) << text::Utf8Bytes(rig.LastBox());
      EXPECT_EQ(install::ReadInstalledEntry(rig.sim.registry()).folder, installFolder);
      EXPECT_EQ(rig.sim.files().ReadFile(installFolder + "\\VX_ZurezUvad2008.arx"), "VX_ZurezUvad2008.arx 1");
      continue;
    } else {
      EXPECT_FALSE(rig.sim.files().Exists("C:\\Vornex"));
      EXPECT_EQ(rig.sim.files().ReadFile(support::kDriver), "Vornex.prt5 2");
      // AutoCAD's driver, not the earlier installation's, is the original the new one keeps.
      EXPECT_EQ(rig.sim.files().ReadFile(installFolder + "\\Backup\\1\\pdfplot9.hdi"), kOwnDriver);
    }
    rig.ExpectUninstalledClean();
  }
}

// What the compacted journal keeps of records that repeat, each in its first place: the uninstall
// reads the first TRUSTED of an entry (it knows whether the value was made) and the last VALUE of a
// name; a record only a later version knows leaves the journal as it is.
TEST(JournalCompaction, KeepsWhatTheUninstallReads) {
  using namespace install;
  const RunStarted first{u8"2026-01-01 00:00:00", u8"20250101", 0};
  const RunStarted second{u8"2026-02-01 00:00:00", u8"20250428", 900};
  const ChangeRecord end{ChangeKind::kRunEnded, {u8"DONE"}};
  const TrustedPathAdded made{std::nullopt, u8"P\\Variables", u8"C:\\VORNEX", true};
  const TrustedPathAdded again{std::nullopt, u8"P\\Variables", u8"C:\\Vornex", false};
  const ValueWritten oldLoader{platform::RootKey::LocalMachine, u8"K", u8"LOADER", platform::kRegSz, u8"old"};
  const ValueWritten newLoader{platform::RootKey::LocalMachine, u8"k", u8"loader", platform::kRegSz, u8"new"};
  EXPECT_EQ(CompactJournal({first, made, oldLoader, end, second, again, newLoader, end}, {}),
            (std::vector<JournalRecord>{RunStarted{second.time, second.version}, made, newLoader, end}));
  EXPECT_EQ(CompactJournal({first, UnknownRecord{u8"LATER", {}}, end}, {}), std::nullopt);
}

// Paths compared as the file system compares them: the same path in other letters is the same
// file, one recorded twice goes once, and a user's settings file outside the install folder stays.
TEST(JournalCompaction, FindsWhatTheLastRunNoLongerHas) {
  using namespace install;
  const RunStarted run{u8"2026-01-01 00:00:00", u8"20250101", 0};
  const FileCopied dropped{u8"C:\\Vornex\\V-X\\Old.dll", 1};
  const FileCopied settings{u8"C:\\Users\\a\\Vornex.Ini", 1};
  const SupportFilePlaced gone{u8"C:\\Acad\\Gone.dll", 1, u8"", false};
  const OriginalBackedUp goneBackup{u8"C:\\ACAD\\GONE.DLL", u8"C:\\Vornex\\V-X\\Backup\\1\\Gone.dll"};
  const FileCopied kept{u8"c:\\vornex\\v-x\\MODULE.DLL", 1};
  const SupportFilePlaced placed{u8"c:\\acad\\vx.DLL", 1, u8"", false};
  const std::vector<JournalRecord> records{
      run, FileCopied{u8"C:\\Vornex\\V-X\\Module.dll", 1}, dropped, dropped, settings,
      SupportFilePlaced{u8"C:\\Acad\\VX.dll", 1, u8"", false}, gone, goneBackup, run, kept, placed};
  const SupersededRecords superseded =
      FindSuperseded(records, u8"C:\\Vornex\\V-X", [](std::u8string_view) { return false; });
  EXPECT_EQ(superseded.files, std::vector<std::u8string>{dropped.path});
  EXPECT_EQ(superseded.records, (std::vector<JournalRecord>{dropped, gone, goneBackup}));
  // What it settles leaves the compacted journal in any letters; the last run's records take the
  // earlier ones' places.
  EXPECT_EQ(CompactJournal(records, {u8"C:\\VORNEX\\V-X\\OLD.DLL", u8"c:\\acad\\gone.dll"}),
            (std::vector<JournalRecord>{RunStarted{run.time, run.version}, kept, settings, placed,
                                        ChangeRecord{ChangeKind::kRunEnded, {u8"DONE"}}}));
}

}  // namespace
