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

TEST(Upgrade, LeavesExactlyTheNewVersionAndTheUninstallGivesTheMachineBack) {
  const struct {
    const char* name;
    std::vector<std::string> dropped;  // from the payload, by the second build
    std::vector<std::string> changed;
    std::vector<std::string> added;
    std::vector<std::string> gone;     // after the upgrade
    std::vector<std::pair<std::string, std::string>> there;  // after the upgrade: path, content
  } cases[] = {
      {"a module dropped, a font changed, a module added",
       {"VX_ZurezUvad2021.arx"},
       {"Vornex_EN.shx"},
       {"VX_ZurezUvad2022.arx"},
       {std::string(support::kInstallFolder) + "\\VX_ZurezUvad2021.arx"},
       {{kFont2010, "Vornex_EN.shx 2"}, {std::string(support::kInstallFolder) + "\\VX_ZurezUvad2022.arx", "VX_ZurezUvad2022.arx 2"}}},
      {"a support module dropped from AutoCAD's folders, another added",
       {"VXCAD2021P.dll"},
       {},
       {"VXCAD2022P.dll"},
       {std::string(support::kAcad2022) + "\\VXCAD2021P.dll", std::string(support::kInstallFolder) + "\\VXCAD2021P.dll"},
       {{std::string(support::kAcad2022) + "\\VXCAD2022P.dll", "VXCAD2022P.dll 2"}}},
      {"the PDF driver dropped: AutoCAD's own comes back at the upgrade",
       {"Vornex.prt5"},
       {},
       {},
       {std::string(support::kInstallFolder) + "\\Backup"},
       {{support::kDriver, kOwnDriver}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(20250101), InstallOutcome::kDone);
    for (const std::string& name : c.dropped) EXPECT_TRUE(rig.sim.files().Remove(kData + name));
    rig.Payload(c.changed, " 2");
    rig.Payload(c.added, " 2");
    ASSERT_EQ(rig.Install(20250428), InstallOutcome::kDone) << text::Utf8Bytes(rig.LastBox());

    for (const std::string& path : c.gone) EXPECT_FALSE(rig.sim.files().Exists(path)) << path;
    for (const auto& [path, content] : c.there) EXPECT_EQ(rig.sim.files().ReadFile(path), content) << path;
    install::JournalContents journal;
    ASSERT_EQ(install::ReadJournal(rig.sim.logging().files(), text::FromAnsi(support::kInstallFolder), journal),
              platform::kSuccess);
    for (const install::JournalRecord& record : journal.records) {
      const auto* file = std::get_if<install::FileCopied>(&record);
      if (file != nullptr) {
        EXPECT_TRUE(rig.sim.files().Exists(std::string(text::Utf8Bytes(file->path)))) << text::Utf8Bytes(file->path);
      }
    }
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

// The journal rewrite is cut off (the power goes as the new file is written, or as it takes the
// old one's place): the journal is the old one or the new one, whole, and the uninstall still
// gives the machine back.
TEST(Upgrade, AJournalRewriteCutOffLeavesAWholeJournal) {
  const std::u8string newJournal = install::NewJournalPath(text::FromAnsi(support::kInstallFolder));
  const struct {
    const char* name;
    bool failReplace;  // the new file was written, and could not take the old one's place
  } cases[] = {{"killed writing the new journal", false}, {"the new journal cannot take the old one's place", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(20250101), InstallOutcome::kDone);
    const std::string journalBefore = *rig.sim.files().ReadFile(support::kJournal);
    EXPECT_TRUE(rig.sim.files().Remove(std::string(kData) + "VX_ZurezUvad2021.arx"));
    if (c.failReplace) {
      rig.sim.files().FailOn(sim::FileOp::Move, std::string(text::Utf8Bytes(newJournal)), platform::kAccessDenied);
      ASSERT_EQ(rig.Install(20250428), InstallOutcome::kDone);
    } else {
      rig.sim.logging().files().KillAfter(newJournal, 0);
      ASSERT_THROW((void)rig.Install(20250428), sim::Killed);
      rig.sim.logging().files().KillAfter(u8"", 0);
      EXPECT_TRUE(install::FinishInterruptedRun(rig.sim.machine(), nullptr));
    }
    // The old journal, with the run appended that ended well: nothing of it is taken back.
    const std::string journal = *rig.sim.files().ReadFile(support::kJournal);
    EXPECT_EQ(journal.compare(0, journalBefore.size(), journalBefore), 0);
    EXPECT_NE(journal.find("END\tDONE", journalBefore.size()), std::string::npos);
    rig.sim.files().ClearFailures();
    rig.ExpectUninstalledClean();
  }
}

TEST(Move, AnInstallationIntoAnotherFolderTakesTheEarlierOneOut) {
  const struct {
    const char* name;
    const char* folder;  // the second installation's
    const char* installFolder;
  } cases[] = {
      {"to another folder on C:", "C:\\Tools", "C:\\Tools\\V-ZurezUvad"},
      {"to another drive", "D:\\Tools", "D:\\Tools\\V-ZurezUvad"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.sim.files().AddDrive('D');
    rig.before = WithoutPayload(rig.sim);
    ASSERT_EQ(rig.Install(), InstallOutcome::kDone);
    const std::string original = std::string(support::kInstallFolder) + "\\Backup\\1\\pdfplot9.hdi";
    ASSERT_EQ(rig.sim.files().ReadFile(original), kOwnDriver);
    rig.Payload({"Vornex.prt5"}, " 2");  // the new build's driver differs from the one in place
    ASSERT_EQ(rig.Install(20250428, c.folder), InstallOutcome::kDone) << text::Utf8Bytes(rig.LastBox());

    EXPECT_FALSE(rig.sim.files().Exists("C:\\Vornex"));
    EXPECT_EQ(rig.sim.files().ReadFile(support::kDriver), "Vornex.prt5 2");
    // AutoCAD's driver, not the earlier installation's, is the original the new one keeps.
    EXPECT_EQ(rig.sim.files().ReadFile(std::string(c.installFolder) + "\\Backup\\1\\pdfplot9.hdi"), kOwnDriver);
    const auto trusted = rig.sim.registry().Get(
        platform::RootKey::CurrentUser,
        u8"Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables", u8"TRUSTEDPATHS");
    if (trusted) {
      const std::string paths = platform::ValueText(*trusted);
      EXPECT_EQ(text::ToUpper(paths).find("C:\\VORNEX"), std::string::npos) << paths;
      EXPECT_NE(text::ToUpper(paths).find(text::ToUpper(c.installFolder)), std::string::npos) << paths;
    }
    rig.ExpectUninstalledClean();
  }
}

TEST(Move, TheEarlierInstallationStaysWhereTheMoveCannotFinish) {
  const std::string earlierModule = std::string(support::kInstallFolder) + "\\VX_ZurezUvad2008.arx";
  const struct {
    const char* name;
    bool newRunStops;  // the new installation's copy is aborted: it is rolled back
  } cases[] = {{"the new installation stops: the earlier one is untouched", true},
               {"a file of the earlier one cannot be deleted: said, the new one stays", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(), InstallOutcome::kDone);
    const support::Snapshot installed = support::Take(rig.sim);
    if (c.newRunStops) {
      rig.sim.files().FailOn(sim::FileOp::Copy, "C:\\Tools\\V-ZurezUvad\\VX_ZurezUvad2010.arx", platform::kAccessDenied);
      rig.sim.prompts().Answer(platform::kIdAbort);
      ASSERT_EQ(rig.Install(20250428, "C:\\Tools"), InstallOutcome::kStopped);
      EXPECT_EQ(support::Changes(installed, support::Take(rig.sim)), std::vector<std::string>{});
      continue;
    }
    for (const sim::FileOp op : {sim::FileOp::DeleteFile, sim::FileOp::DeleteLater}) {
      rig.sim.files().FailOn(op, earlierModule, platform::kAccessDenied);
    }
    rig.sim.prompts().Answer(platform::kIdOk);
    ASSERT_EQ(rig.Install(20250428, "C:\\Tools"), InstallOutcome::kDoneWithIssues);
    EXPECT_NE(text::Utf8Bytes(rig.LastBox()).find(earlierModule), std::string::npos) << text::Utf8Bytes(rig.LastBox());
    EXPECT_EQ(rig.sim.files().ReadFile("C:\\Tools\\V-ZurezUvad\\VX_ZurezUvad2008.arx"), "VX_ZurezUvad2008.arx 1");
    EXPECT_EQ(install::ReadInstalledEntry(rig.sim.registry()).folder, "C:\\Tools\\V-ZurezUvad");
  }
}

// What the compacted journal keeps of records that repeat, each in its first place: the uninstall
// reads the first TRUSTED of an entry (it knows whether the value was made) and the last VALUE of a name.
TEST(JournalCompaction, KeepsWhatTheUninstallReads) {
  using namespace install;
  const RunStarted first{u8"2026-01-01 00:00:00", u8"20250101", 0};
  const RunStarted second{u8"2026-02-01 00:00:00", u8"20250428", 900};
  const ChangeRecord end{ChangeKind::kRunEnded, {u8"DONE"}};
  const TrustedPathAdded made{std::nullopt, u8"P\\Variables", u8"C:\\VORNEX", true};
  const TrustedPathAdded again{std::nullopt, u8"P\\Variables", u8"C:\\Vornex", false};
  const ValueWritten oldLoader{platform::RootKey::LocalMachine, u8"K", u8"LOADER", platform::kRegSz, u8"old"};
  const ValueWritten newLoader{platform::RootKey::LocalMachine, u8"k", u8"loader", platform::kRegSz, u8"new"};
  const SupportFilePlaced placing{u8"C:\\A\\f.shx", 1, u8"D1", true};
  const SupportFilePlaced placed{u8"C:\\A\\f.shx", 1, u8"D1", false};
  const SupportFilePlaced placedNow{u8"C:\\A\\f.shx", 2, u8"D2", false};
  const struct {
    const char* name;
    std::vector<JournalRecord> records;
    std::optional<std::vector<JournalRecord>> compact;
  } cases[] = {
      {"the trusted entry as first added, the value as last written",
       {first, made, oldLoader, end, second, again, newLoader, end},
       std::vector<JournalRecord>{RunStarted{second.time, second.version}, made, newLoader, end}},
      {"a placement the last run finished replaces the earlier ones",
       {first, placing, placed, end, second, placing, placedNow, end},
       std::vector<JournalRecord>{RunStarted{second.time, second.version}, placedNow, end}},
      {"a placement the last run set out on and never finished keeps every one",
       {first, placed, end, second, placing, end},
       std::vector<JournalRecord>{RunStarted{second.time, second.version}, placed, placing, end}},
      {"a record of a later version: left as it is", {first, UnknownRecord{u8"LATER", {}}, end}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompactJournal(c.records, {}), c.compact);
  }
}

}  // namespace
