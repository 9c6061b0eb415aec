// The install engine's journal on the simulated machine: written as the installation goes, true
// after an interruption, and the original of a replaced AutoCAD file kept once and for good.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "install/install_engine.h"
#include "records/addon_names.h"
#include "records/journal.h"
#include "app/unattended.h"
#include "platform/utf8_text.h"
#include "platform/sim/sim_machine.h"
#include "support/addon_rig.h"

namespace {

using install::InstallOutcome;
using platform::RootKey;

constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kAcad = "C:\\AutoCAD 2008";
constexpr const char* kDriver = "C:\\AutoCAD 2008\\Drv\\pdfplot9.hdi";
constexpr const char* kProduct = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804";
constexpr const char* kVariables =
    "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\<<Unnamed Profile>>\\Variables";

// AutoCAD 2008 with its own PDF driver, one profile, and the payload beside the installer.
class EngineJournal : public ::testing::Test {
 protected:
  EngineJournal() {
    auto& reg = sim_.registry();
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, kProduct, "AcadLocation", std::string(kAcad) + "\\"));
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, kProduct, "ProductName", "AutoCAD 2008"));
    EXPECT_TRUE(reg.SetString(RootKey::CurrentUser, kVariables, "TRUSTEDPATHS", "D:\\Lisp"));
    for (const char* name : {"VX_ZurezUvad2008.arx", "VXCAD2007P.dll", "Vornex_EN.shx", "Vornex.prt5", "Vornex.Ini"}) {
      EXPECT_TRUE(sim_.files().WriteFile(std::string(kData) + "\\" + name, std::string("payload ") + name));
    }
    EXPECT_TRUE(sim_.files().MakeDirectories(std::string(kAcad) + "\\Fonts"));
    EXPECT_TRUE(sim_.files().WriteFile(kDriver, "AutoCAD's own driver"));
    catalog_.Scan(sim_.registry());
    choices_.releases[2008 - 2007] = 1;
    choices_.typedFolder = "C:\\Vornex";
    sim_.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << "unexpected box: " << text::Utf8Bytes(box.text);
    });
  }

  InstallOutcome Install() {
    app::QuietView view;
    install::CInstallEngine engine(sim_.machine(), catalog_, 64, 20250428);
    return engine.Run(choices_, view);
  }

  std::vector<install::JournalRecord> Journal() {
    install::JournalContents contents;
    EXPECT_EQ(install::ReadJournal(sim_.logging().files(), u8"C:\\Vornex\\V-ZurezUvad", contents), platform::kSuccess);
    EXPECT_EQ(contents.damagedLines, 0u);
    return contents.records;
  }

  template <class Kind>
  static std::vector<Kind> All(const std::vector<install::JournalRecord>& records) {
    std::vector<Kind> found;
    for (const install::JournalRecord& record : records) {
      if (const Kind* one = std::get_if<Kind>(&record)) found.push_back(*one);
    }
    return found;
  }

  sim::SimMachine sim_;
  CAcadCatalog catalog_;
  install::InstallChoices choices_;
};

TEST_F(EngineJournal, ListsWhatWasChangedAndKeepsTheTrueOriginalOnce) {
  ASSERT_EQ(Install(), InstallOutcome::kDone);
  ASSERT_EQ(Install(), InstallOutcome::kDone);  // re-installing leaves one run's description

  const std::vector<install::JournalRecord> records = Journal();
  EXPECT_EQ(All<install::RunStarted>(records).size(), 1u);
  // On the disk before the work it records goes on: an interruption leaves a true record.
  EXPECT_EQ(sim_.logging().files().DurabilityOf(u8"C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal"),
            platform::Durability::kWriteThrough);
  std::vector<std::u8string> copied;
  for (const install::FileCopied& f : All<install::FileCopied>(records)) copied.push_back(f.path);
  EXPECT_NE(std::find(copied.begin(), copied.end(), u8"C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2008.arx"), copied.end());
  EXPECT_NE(std::find(copied.begin(), copied.end(), u8"C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini"),
            copied.end());

  const install::ValueWritten loader{RootKey::LocalMachine,
                                     u8"SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\VX_ZurezUvad2008",
                                     u8"LOADER", platform::kRegSz,
                                     u8"C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2008.ARX"};
  const auto values = All<install::ValueWritten>(records);
  EXPECT_NE(std::find(values.begin(), values.end(), loader), values.end());

  // The folder was added once, by the first run; the second found it there.
  const std::vector<install::TrustedPathAdded> trusted = All<install::TrustedPathAdded>(records);
  ASSERT_EQ(trusted.size(), 1u);
  EXPECT_EQ(trusted[0].entry, u8"C:\\VORNEX\\V-ZUREZUVAD");
  EXPECT_EQ(trusted[0].profileKey,
            u8"SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\<<Unnamed Profile>>\\Variables");

  // AutoCAD's own driver, replaced by the add-on's, is kept the first time only: the second run
  // found the add-on's file there, which is no original.
  const std::vector<install::OriginalBackedUp> backups = All<install::OriginalBackedUp>(records);
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].original, u8"C:\\AutoCAD 2008\\Drv\\pdfplot9.hdi");
  const std::string backup(backups[0].backup.begin(), backups[0].backup.end());
  EXPECT_EQ(sim_.files().ReadFile(backup), "AutoCAD's own driver");
  EXPECT_EQ(sim_.files().ReadFile(kDriver), "payload Vornex.prt5");
  // Each placed file once, as last placed.
  std::vector<std::u8string> placed;
  for (const install::SupportFilePlaced& p : All<install::SupportFilePlaced>(records)) {
    EXPECT_FALSE(p.placing);
    EXPECT_EQ(std::count(placed.begin(), placed.end(), p.path), 0) << text::Utf8Bytes(p.path);
    placed.push_back(p.path);
  }
}

TEST_F(EngineJournal, AnInterruptedInstallationLeavesATrueRecord) {
  // The second payload file cannot be copied and the user aborts: the run is rolled back, so what
  // was copied is gone with the journal that recorded it, and nothing is registered.
  sim_.files().FailOn(sim::FileOp::Copy, std::string(kData) + "\\VX_ZurezUvad2008.arx", platform::kAccessDenied);
  sim_.prompts().Answer(platform::kIdAbort);
  ASSERT_EQ(Install(), InstallOutcome::kStopped);
  install::JournalContents contents;
  EXPECT_EQ(install::ReadJournal(sim_.logging().files(), u8"C:\\Vornex\\V-ZurezUvad", contents), platform::kPathNotFound);
  EXPECT_FALSE(sim_.files().Exists("C:\\Vornex"));
}

TEST_F(EngineJournal, AnOriginalThatCannotBeKeptIsNotReplaced) {
  // Every copy from or to the driver fails: its backup cannot be made, so it stays as it was.
  sim_.files().FailOn(sim::FileOp::Copy, kDriver, platform::kAccessDenied);
  sim_.prompts().Answer(platform::kIdOk);  // the box naming what could not be done
  EXPECT_EQ(Install(), InstallOutcome::kDoneWithIssues);
  EXPECT_EQ(sim_.files().ReadFile(kDriver), "AutoCAD's own driver");
  EXPECT_TRUE(All<install::OriginalBackedUp>(Journal()).empty());
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_NE(sim_.prompts().Boxes()[0].text.find(u8"pdfplot9.hdi（无法备份原文件，未替换）"), std::u8string::npos)
      << text::Utf8Bytes(sim_.prompts().Boxes()[0].text);
}

// The installed version decides: a later one is never replaced (said, 1638, nothing changed), the
// same one is installed again, an older one upgraded; versions compare as numbers, not as text.
TEST(InstallVersions, ALaterInstalledVersionIsNeverReplaced) {
  const struct {
    const char* installed;
    install::InstallOutcome outcome;
    int exitCode;
  } cases[] = {
      {"2025.4.28", install::InstallOutcome::kDone, 0},  // the same, written without the leading zero
      {"2025.4.3", install::InstallOutcome::kDone, 0},   // older, though later as text
      {"2025.10.1", install::InstallOutcome::kNewerInstalled, 1638},  // later, though earlier as text
  };
  constexpr const char* kEntry = install::kUninstallKeyPath;
  for (const auto& c : cases) {
    for (const bool dialog : {true, false}) {
      SCOPED_TRACE(std::string(c.installed) + (dialog ? " dialog" : " /S"));
      support::AddonRig rig("AutoCAD's own driver");
      sim::SimMachine& sim = rig.sim;
      EXPECT_TRUE(sim.registry().SetString(RootKey::LocalMachine, kEntry, "DisplayVersion", c.installed));
      EXPECT_TRUE(sim.registry().SetString(RootKey::LocalMachine, kEntry, "InstallLocation", "D:\\Tools\\V-ZurezUvad"));
      const std::vector<std::string> before = sim.files().Tree();
      const bool later = c.outcome == install::InstallOutcome::kNewerInstalled;
      if (dialog) {
        sim.prompts().Answer(platform::kIdOk);
        EXPECT_EQ(rig.Install(), c.outcome);
        if (later) {
          ASSERT_EQ(sim.prompts().Boxes().size(), 1u);
          const std::string box = text::U8ToAnsiLossy(sim.prompts().Boxes()[0].text);
          EXPECT_NE(box.find(c.installed), std::string::npos) << box;
          EXPECT_NE(box.find("D:\\Tools\\V-ZurezUvad"), std::string::npos) << box;
        }
      } else {
        install::InstallLog log(sim.logging().support());
        EXPECT_EQ(log.Open(u8"C:\\Setup\\VornexSetup.log"), platform::kSuccess);
        app::UnattendedPrompts prompts(log, sim.logging().clock());
        platform::Machine quiet{sim.registry(), sim.files(), sim.system(), prompts, sim.logging().support(),
                                sim.integrity()};
        EXPECT_EQ(app::RunUnattended(quiet, rig.catalog, {false, std::nullopt, std::string("C:\\Vornex")}, log, 64, 20250428),
                  c.exitCode);
      }
      const std::string version = sim.registry().GetString(RootKey::LocalMachine, kEntry, "DisplayVersion").value_or("-");
      EXPECT_EQ(version, later ? c.installed : "2025.04.28");
      if (later) {
        std::vector<std::string> after = sim.files().Tree();
        if (!dialog) std::erase(after, "C:\\Setup\\VornexSetup.log");
        EXPECT_EQ(after, before);
      }
    }
  }
}

}  // namespace
