// The uninstall on the simulated machine: installed and uninstalled, the machine is compared whole
// (both registry roots, every file with its content) with the machine before the installation.
#include "uninstall/uninstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "install/install_engine.h"
#include "records/install_log.h"
#include "app/unattended.h"
#include "records/install_texts.h"
#include "uninstall/uninstall_entry.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "support/addon_rig.h"
#include "support/fixtures.h"
#include "support/machine_snapshot.h"

namespace {

using install::UninstallOutcome;
using platform::RootKey;

using support::Changes;
using support::kAcad2008;
using support::kAcad2010;
using support::kAcad2022;
using support::kDriver;
using support::kInstallFolder;
using support::kJournal;
using support::Snapshot;
using support::Take;

constexpr const char* kUninstaller = "C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe";
constexpr const char* kLoad2010 = "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX_ZurezUvad2010";
constexpr const char* kProfile2022 =
    "HKCU\\Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables : TRUSTEDPATHS = ";
const std::string kOwnDriver("AutoCAD's PDF driver\0\x01\xFE\xFF", 24);

// What every uninstall leaves of a clean installation: the user's settings, and the profile's
// TRUSTEDPATHS upper-cased, as the installation's merge wrote it.
const std::vector<std::string> kSettingsAndUpperCase = {
    std::string("- ") + kProfile2022 + "C:\\Program Files\\Autodesk\\AutoCAD 2022\\Plugins\\...;C:\\Users\\jsmith\\Documents\\Lisp",
    "+ C:\\Users\\User\\AppData\\Roaming\\Vornex\\",
    "+ C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini = Vornex.Ini",
    std::string("+ ") + kProfile2022 + "C:\\PROGRAM FILES\\AUTODESK\\AUTOCAD 2022\\PLUGINS\\...;C:\\USERS\\JSMITH\\DOCUMENTS\\LISP",
};

// Those, and `more`, sorted as Changes sorts.
std::vector<std::string> SettingsAndUpperCaseAnd(std::vector<std::string> more) {
  more.insert(more.end(), kSettingsAndUpperCase.begin(), kSettingsAndUpperCase.end());
  std::sort(more.begin(), more.end());
  return more;
}

// The add-on's machine, with AutoCAD 2008's VBA module, another program's Apps & features entry and
// a component of Windows' own under Active Setup; the machine before the installation kept.
class Rig : public support::AddonRig {
 public:
  Rig() : AddonRig(kOwnDriver) {
    auto& reg = sim.registry();
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, std::string(support::kProduct2008) + "\\Applications\\AcadVBA",
                              "LOADER", std::string(kAcad2008) + "\\acvba.arx"));
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\7-Zip",
                              "DisplayName", "7-Zip 23.01 (x64)"));
    // Every Windows has components of its own under Active Setup; the add-on's key goes alone.
    EXPECT_TRUE(reg.SetString(RootKey::LocalMachine,
                              "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{89820200-ECBD-11cf-8B85-00AA005B4383}",
                              "StubPath", "%SystemRoot%\\system32\\ie4uinit.exe -UserConfig"));
    before = Take(sim);
  }

  Snapshot before;
};

install::UninstallChoices Quiet(std::optional<std::string> typed = std::nullopt) {
  install::UninstallChoices choices;
  choices.typedFolder = std::move(typed);
  choices.ask = false;
  return choices;
}

// An installation from before the journal: no journal, no Apps & features entry, no uninstaller,
// no backup of AutoCAD's driver; and a load key that another installation rewrote since.
void WithoutJournal(Rig& rig) {
  EXPECT_TRUE(rig.sim.registry().SetString(RootKey::LocalMachine, kLoad2010, "LOADER", "D:\\Other\\VX.arx"));
  for (const char* file : {kJournal, kUninstaller}) EXPECT_TRUE(rig.sim.files().Remove(file));
  EXPECT_TRUE(rig.sim.files().Remove(std::string(kInstallFolder) + "\\Backup"));
  EXPECT_TRUE(rig.sim.registry().DeleteTree(RootKey::LocalMachine, install::kUninstallKeyPath));
}

struct Case {
  const char* name;
  std::function<void(Rig&)> between;  // what happens to the machine after the installation
  install::UninstallChoices choices;
  UninstallOutcome outcome;
  std::vector<std::string> changes;  // from the machine before the installation
  std::vector<std::u8string> said;   // parts of the last message box, in order
  std::vector<std::string> pending;  // deleted at the next restart, in order
  bool untouched;                    // `changes` are from the installed machine instead
  const char* dir = nullptr;         // installed as /DIR does, every missing level of it made
};

TEST(Uninstall, LeavesTheMachineAsBeforeTheInstallationSaveWhatIsNoLongerItsOwn) {
  const std::string load2010 = std::string("+ HKLM\\") + kLoad2010;
  const std::vector<std::string> rewritten = SettingsAndUpperCaseAnd(
      {load2010, load2010 + " : LOADCTRLS = type 4: 2 0 0 0", load2010 + " : LOADER = D:\\Other\\VX.arx"});
  const std::vector<std::string> changedFont =
      SettingsAndUpperCaseAnd({std::string("+ ") + kAcad2022 + "\\Fonts\\Vornex_EN.shx = VORNEX_EN.SHX"});
  // Without the journal, nothing in AutoCAD's folders can be told from a file of AutoCAD's own; and
  // whether the installation made the folder above the install folder, or a profile's
  // TRUSTEDPATHS (which stays, empty), cannot be told either. The managed module's key of 2010
  // stays with the ARX key that now names another installation's folder: it may be that one's.
  const std::string managed2010 = "+ HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\Vornex2010DLLP";
  const std::vector<std::string> noJournal = SettingsAndUpperCaseAnd({
      load2010, load2010 + " : LOADCTRLS = type 4: 2 0 0 0", load2010 + " : LOADER = D:\\Other\\VX.arx",
      managed2010, managed2010 + " : LOADCTRLS = type 4: 2 0 0 0",
      managed2010 + " : LOADER = C:\\Program Files\\Autodesk\\AutoCAD 2010\\VXCAD2010P.dll",
      managed2010 + " : MANAGED = type 4: 1 0 0 0",
      std::string("- ") + kDriver + " = " + kOwnDriver,
      std::string("+ ") + kDriver + " = Vornex.prt5",
      std::string("+ ") + kAcad2008 + "\\Fonts\\Vornex_EN.shx = Vornex_EN.shx",
      std::string("+ ") + kAcad2008 + "\\VXCAD2013P.dll = VXCAD2013P.dll",
      std::string("+ ") + kAcad2010 + "\\Fonts\\Vornex_EN.shx = Vornex_EN.shx",
      std::string("+ ") + kAcad2010 + "\\VXCAD2013P.dll = VXCAD2013P.dll",
      std::string("+ ") + kAcad2022 + "\\Fonts\\Vornex_EN.shx = Vornex_EN.shx",
      std::string("+ ") + kAcad2022 + "\\VXCAD2013P.dll = VXCAD2013P.dll",
      "+ C:\\Vornex\\",
      "+ HKCU\\Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables : TRUSTEDPATHS = ",
      // Without a journal nothing tells that the key and the value were the installation's.
      "+ HKCU\\Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting\\Variables",
      "+ HKCU\\Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting\\Variables : TRUSTEDPATHS = ",
  });
  const std::vector<std::string> clean = SettingsAndUpperCaseAnd({});

  const auto rewriteKey = [](Rig& rig) {
    EXPECT_TRUE(rig.sim.registry().SetString(RootKey::LocalMachine, kLoad2010, "LOADER", "D:\\Other\\VX.arx"));
  };
  const auto changeFont = [](Rig& rig) {
    // The same size: only the content tells it from the file placed.
    EXPECT_TRUE(rig.sim.files().WriteFile(std::string(kAcad2022) + "\\Fonts\\Vornex_EN.shx", "VORNEX_EN.SHX"));
  };
  const auto cutJournal = [](Rig& rig) {
    // The power went while the last record was written: half of it reached the disk.
    std::string journal = *rig.sim.files().ReadFile(kJournal);
    journal.resize(journal.size() - 8);
    EXPECT_TRUE(rig.sim.files().WriteFile(kJournal, journal));
  };
  const auto uninstalled = [](Rig& rig) { EXPECT_EQ(rig.Uninstall(Quiet()), UninstallOutcome::kDone); };
  const auto halfWay = [](Rig& rig) {
    // An uninstall stopped after putting AutoCAD's driver back, a module and a key gone already.
    EXPECT_TRUE(rig.sim.files().WriteFile(kDriver, kOwnDriver));
    EXPECT_TRUE(rig.sim.files().Remove(std::string(kInstallFolder) + "\\VX_ZurezUvad2010.arx"));
    EXPECT_TRUE(rig.sim.registry().DeleteTree(RootKey::LocalMachine, kLoad2010));
  };
  const auto notesInB = [](Rig& rig) { EXPECT_TRUE(rig.sim.files().WriteFile("C:\\A\\B\\notes.txt", "notes")); };
  const auto acadRunning = [](Rig& rig) { rig.sim.system().SetProcesses({"explorer.exe", "acad.exe"}); };
  const auto answerNo = [](Rig& rig) { rig.sim.prompts().Answer(platform::kIdNo); };
  install::UninstallChoices dialog;  // asks first
  const auto inUse = [](Rig& rig) {
    // Started from Apps & features: the uninstaller runs from the install folder, and a module is held.
    rig.sim.system().SetModulePath(kUninstaller);
    rig.sim.files().FailOn(sim::FileOp::DeleteFile, std::string(kInstallFolder) + "\\VX_ZurezUvad2021.arx",
                           platform::kSharingViolation);
  };

  const Case cases[] = {
      {"from Apps & features, AutoCAD's own driver put back byte for byte", nullptr, Quiet(), UninstallOutcome::kDone, clean,
       {u8"V-批打印软件已卸载。", u8"已删除 12 个文件、7 个注册表项、3 处受信任路径，还原 1 个AutoCAD文件。"}, {}, false},
      {"a demand-load key rewritten since", rewriteKey, Quiet(), UninstallOutcome::kDoneWithIssues, rewritten,
       {u8"以下项目未删除：\nHKEY_LOCAL_MACHINE\\" + text::FromAnsi(kLoad2010) + u8"（安装后已被改写，未删除）"}, {}, false},
      {"a font changed since", changeFont, Quiet(), UninstallOutcome::kDoneWithIssues, changedFont,
       {u8"已删除 11 个文件",
        u8"以下项目未删除：\n" + text::FromAnsi(kAcad2022) + u8"\\Fonts\\Vornex_EN.shx（安装后已被修改，未删除）"},
       {}, false},
      {"a journal cut short", cutJournal, Quiet("C:\\Vornex\\"), UninstallOutcome::kDone, clean,
       {u8"已删除 12 个文件"}, {}, false},
      {"uninstalled already", uninstalled, Quiet(), UninstallOutcome::kNothingToRemove, clean,
       {u8"未找到需要卸载的 V-批打印软件"}, {}, false},
      {"uninstalled already, its folder named", uninstalled, Quiet("C:\\Vornex"), UninstallOutcome::kNothingToRemove,
       clean, {u8"未找到需要卸载的 V-批打印软件"}, {}, false},
      {"installed before the journal", WithoutJournal, Quiet("C:\\Vornex"), UninstallOutcome::kDone, noJournal,
       {u8"已删除 5 个文件、4 个注册表项、3 处受信任路径", u8"未找到安装记录"}, {}, false},
      {"run from the install folder, a module held", inUse, Quiet(), UninstallOutcome::kDone, clean,
       {u8"已删除 10 个文件", u8"以下项目将在重新启动计算机后删除：\nC:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2021.arx\n" +
                               text::FromAnsi(kUninstaller) + u8"\nC:\\Vornex\\V-ZurezUvad\nC:\\Vornex"},
       {std::string(kInstallFolder) + "\\VX_ZurezUvad2021.arx", kUninstaller, kInstallFolder, "C:\\Vornex"}, false},
      {"stopped half-way before", halfWay, Quiet(), UninstallOutcome::kDone, clean,
       {u8"已删除 11 个文件、6 个注册表项、3 处受信任路径，还原 0 个AutoCAD文件。"}, {}, false},
      {"installed into C:\\A\\B\\C, every level made", nullptr, Quiet(), UninstallOutcome::kDone, clean,
       {u8"已删除 12 个文件"}, {}, false, "C:\\A\\B\\C"},
      {"installed into C:\\A\\B\\C, a file of the user's put in C:\\A\\B since", notesInB, Quiet(),
       UninstallOutcome::kDoneWithIssues,
       SettingsAndUpperCaseAnd({"+ C:\\A\\", "+ C:\\A\\B\\", "+ C:\\A\\B\\notes.txt = notes"}),
       {u8"以下项目未删除：\nC:\\A\\B（其中还有其他文件，未删除）"}, {}, false, "C:\\A\\B\\C"},
      {"AutoCAD running", acadRunning, dialog, UninstallOutcome::kAcadRunning, {}, {u8"请关闭AutoCAD后再进行卸载 !"}, {}, true},
      {"the question answered No", answerNo, dialog, UninstallOutcome::kDeclined, {}, {u8"确定要删除 V-批打印软件 吗？"}, {},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(20250428, c.dir != nullptr ? c.dir : "C:\\Vornex", c.dir != nullptr), install::InstallOutcome::kDone);
    ASSERT_TRUE(rig.sim.prompts().Boxes().empty());
    const Snapshot installed = Take(rig.sim);
    if (c.between) c.between(rig);
    EXPECT_EQ(rig.Uninstall(c.choices), c.outcome);
    std::size_t at = 0;
    const std::u8string box = rig.LastBox();
    for (const std::u8string& part : c.said) {
      at = box.find(part, at);
      EXPECT_NE(at, std::u8string::npos) << "not said (in order): " << text::Utf8Bytes(part) << "\n"
                                         << text::Utf8Bytes(box);
    }
    EXPECT_EQ(rig.sim.files().PendingDeletions(), c.pending);
    rig.sim.files().Restart();
    EXPECT_EQ(Changes(c.untouched ? installed : rig.before, Take(rig.sim)), c.changes);
  }
}

TEST(Uninstall, AppsAndFeaturesEntryDescribesTheInstallation) {
  Rig rig;
  rig.sim.files().WriteFile("C:\\Setup\\Data\\VX_ZurezUvad2010.arx", std::string(8 * 1024, 'x'));
  ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);
  rig.sim.logging().clock().Set({2027, 1, 5, 9, 0, 0});
  ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);  // again, a month later: the entry follows
  const std::string key = install::kUninstallKeyPath;
  const struct {
    const char* name;
    std::string value;
  } cases[] = {
      {"DisplayName", support::Ansi("V-批打印软件")},
      {"DisplayVersion", "2025.04.28"},
      {"Publisher", "Vornex"},
      {"InstallLocation", kInstallFolder},
      {"DisplayIcon", std::string(kUninstaller) + ",0"},
      {"InstallDate", "20270105"},
      {"UninstallString", "\"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe\" /UNINSTALL"},
      {"QuietUninstallString", "\"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe\" /UNINSTALL /S"},
      // The 8 KB module and the few bytes of the rest, in whole kilobytes rounded up.
      {"EstimatedSize", "type 4: 9 0 0 0"},
      {"NoModify", "type 4: 1 0 0 0"},
      {"NoRepair", "type 4: 1 0 0 0"},
      {"VersionMajor", "type 4: 233 7 0 0"},  // 2025
      {"VersionMinor", "type 4: 4 0 0 0"},
  };
  const Snapshot machine = Take(rig.sim);
  for (const auto& c : cases) {
    const std::string line = "HKLM\\" + key + " : " + c.name + " = " + c.value;
    EXPECT_NE(std::find(machine.begin(), machine.end(), line), machine.end()) << line;
  }
  EXPECT_EQ(rig.sim.registry().ValueNames(RootKey::LocalMachine, key).size(), std::size(cases));
  // Read through the wide functions, the name is right whatever the code page.
  EXPECT_EQ(rig.sim.registry().GetString(RootKey::LocalMachine, text::FromAnsi(key), u8"DisplayName"), u8"V-批打印软件");
  EXPECT_EQ(rig.sim.files().ReadFile(kUninstaller), sim::SimMachine::kDefaultProgramContent);
}

// Unattended, the closing message and how it ended go to the log, and no box to a person.
TEST(Uninstall, UnattendedWritesTheClosingMessageToTheLog) {
  Rig rig;
  ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);
  rig.sim.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
    ADD_FAILURE() << "a box: " << text::Utf8Bytes(box.text);
  });
  install::InstallLog log(rig.sim.logging().support());
  ASSERT_EQ(log.Open(u8"C:\\Setup\\uninstall.log"), platform::kSuccess);
  app::UnattendedPrompts prompts(log, rig.sim.logging().clock());
  platform::Machine quiet{rig.sim.registry(), rig.sim.files(), rig.sim.system(), prompts, rig.sim.logging().support(),
                          rig.sim.integrity()};
  EXPECT_EQ(app::RunUnattended(quiet, rig.catalog, {true, std::nullopt, std::nullopt}, log, 64, 20250428), 0);
  const std::string written = *rig.sim.files().ReadFile("C:\\Setup\\uninstall.log");
  std::size_t at = 0;
  for (const char* part : {"保留用户设置文件 C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini",
                           "已还原 C:\\Program Files\\Autodesk\\AutoCAD 2008\\Drv\\pdfplot9.hdi",
                           "V-批打印软件已卸载。", "卸载已完成。"}) {
    at = written.find(part, at);
    EXPECT_NE(at, std::string::npos) << part << "\n" << written;
  }
}

namespace journal_trust {

constexpr const char* kVictim = "C:\\victim\\important.txt";
constexpr const char* kSystemDll = "C:\\Windows\\System32\\evil.dll";
constexpr const char* kAcadExe = "C:\\Program Files\\Autodesk\\AutoCAD 2008\\acad.exe";
constexpr const char* kPublicDriver = "C:\\Users\\Public\\pdfplot9.hdi";
constexpr const char* kPlainUser = "S-1-5-21-3623811015-3361044348-30300820-1001";

std::string Line(const install::JournalRecord& record) {
  return std::string(text::Utf8Bytes(install::FormatJournalLine(record)));
}

std::string RunLine() { return Line(install::RunStarted{u8"2026-12-08 21:47:59", u8"20250428"}); }

// A backup of AutoCAD's driver that is the attacker's file, with a placement record that matches
// the driver as it is, so that the old reader took the driver for the add-on's and "restored" it.
std::string PlantedBackup(Rig& rig, const std::string& folder) {
  const std::string backup = folder + "\\Backup\\1\\pdfplot9.hdi";
  EXPECT_TRUE(rig.sim.files().WriteFile(backup, "the user's own driver"));
  const std::u8string driver = text::FromAnsi(kDriver);
  return Line(install::SupportFilePlaced{driver, kOwnDriver.size(), install::ContentDigest(text::FromAnsi(kOwnDriver))}) +
         Line(install::OriginalBackedUp{driver, text::FromAnsi(backup)});
}

// Adds records to the installation's journal, as if it held them.
void Append(Rig& rig, const std::string& lines) {
  EXPECT_TRUE(rig.sim.files().WriteFile(kJournal, *rig.sim.files().ReadFile(kJournal) + lines));
}

struct TrustCase {
  const char* name;
  bool installed;
  std::optional<std::string> dir;  // /DIR=
  std::function<void(Rig&)> plant;
  UninstallOutcome outcome;
  std::vector<std::u8string> said;  // parts of the last message box, in order
};

TEST(UninstallJournalTrust, StopsOrRefusesWhatAStandardUserCouldHaveWritten) {
  const std::u8string refused = install::kLeftBadRecord;
  const TrustCase cases[] = {
      {"a journal in a folder a plain user made before any installation", false, "C:\\Vornex",
       [](Rig& rig) {
         EXPECT_TRUE(rig.sim.files().MakeFolderAs(
             kInstallFolder, kPlainUser, {{kPlainUser, true, platform::kFileAllAccess, sim::kObjectInherit | sim::kContainerInherit}}));
         EXPECT_TRUE(rig.sim.files().WriteFile(kJournal, RunLine() + PlantedBackup(rig, kInstallFolder)));
       },
       UninstallOutcome::kStopped, {u8"不受保护", u8"卸载已停止"}},
      {"a journal beside the installer run from a user's folder, Apps & features naming none", false, std::nullopt,
       [](Rig& rig) {
         const char* downloads = "C:\\Users\\Public\\Downloads";
         rig.sim.system().SetModulePath(std::string(downloads) + "\\SetUp.exe");
         EXPECT_TRUE(rig.sim.files().WriteFile(std::string(downloads) + "\\VornexSetup.journal",
                                               RunLine() + PlantedBackup(rig, downloads)));
       },
       UninstallOutcome::kNothingToRemove, {u8"未找到需要卸载的 V-批打印软件"}},
      // The records are checked for "." and ".." levels in one place, before each kind's own checks.
      {"\"..\" in a FILE, a SUPPORT and a BACKUP record", true, std::nullopt,
       [](Rig& rig) {
         const std::string victim = *rig.sim.files().ReadFile(kVictim);
         Append(rig, Line(install::FileCopied{u8"C:\\Vornex\\V-ZurezUvad\\..\\..\\victim\\important.txt", 9}) +
                         Line(install::SupportFilePlaced{u8"C:\\Program Files\\Autodesk\\AutoCAD 2008\\..\\..\\..\\victim\\important.txt",
                                                         victim.size(), install::ContentDigest(text::FromAnsi(victim))}) +
                         Line(install::OriginalBackedUp{text::FromAnsi(kDriver),
                                                        u8"C:\\Vornex\\V-ZurezUvad\\Backup\\1\\..\\..\\..\\..\\Users\\Public\\pdfplot9.hdi"}));
       },
       UninstallOutcome::kDoneWithIssues,
       {u8"C:\\Vornex\\V-ZurezUvad\\..\\..\\victim\\important.txt" + refused, u8"\\..\\..\\..\\victim\\important.txt" + refused,
        u8"Backup\\1\\..\\..\\..\\..\\Users\\Public\\pdfplot9.hdi" + refused}},
      {"a backup aimed at a system folder", true, std::nullopt,
       [](Rig& rig) {
         Append(rig, Line(install::OriginalBackedUp{text::FromAnsi(kSystemDll), u8"C:\\Vornex\\V-ZurezUvad\\Backup\\9\\evil.dll"}));
       },
       UninstallOutcome::kDoneWithIssues, {text::FromAnsi(kSystemDll) + refused}},
      {"a backup aimed at an AutoCAD file the add-on never places", true, std::nullopt,
       [](Rig& rig) {
         Append(rig, Line(install::OriginalBackedUp{text::FromAnsi(kAcadExe), u8"C:\\Vornex\\V-ZurezUvad\\Backup\\9\\acad.exe"}));
       },
       UninstallOutcome::kDoneWithIssues, {text::FromAnsi(kAcadExe) + refused}},
  };
  for (const TrustCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    for (const char* file : {kVictim, kSystemDll, kAcadExe, kPublicDriver}) EXPECT_TRUE(rig.sim.files().WriteFile(file, file));
    rig.before = Take(rig.sim);
    if (c.installed) {
      ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);
    }
    c.plant(rig);
    const Snapshot planted = Take(rig.sim);
    EXPECT_EQ(rig.Uninstall(Quiet(c.dir)), c.outcome);
    support::ExpectInOrder(text::Utf8Bytes(rig.LastBox()), c.said);
    // Stopped, nothing changed; refused, the rest of the installation went and nothing else did.
    if (c.installed) {
      EXPECT_EQ(Changes(rig.before, Take(rig.sim)), SettingsAndUpperCaseAnd({}));
    } else {
      EXPECT_EQ(Changes(planted, Take(rig.sim)), std::vector<std::string>{});
    }
  }
}

// A journal that reads, yet tells nothing of what to undo (saved again as UTF-16, say: no RUN record
// and every line damaged), stops the uninstall like one that cannot be read: the journal and the
// Apps & features entry stay, to be used once it is mended.
TEST(UninstallJournalTrust, StopsOnAJournalThatHoldsNothingUsable) {
  const struct {
    const char* name;
    std::string journal;
  } cases[] = {
      {"no RUN record", Line(install::FileCopied{u8"C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2008.arx", 20})},
      {"more lines damaged than whole", RunLine() + "FILE\tC:\\a%Z\t1\r\nFILE\tC:\\b%Z\t1\r\n"},  // an escape no reader takes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(rig.Install(), install::InstallOutcome::kDone);
    EXPECT_TRUE(rig.sim.files().WriteFile(kJournal, c.journal));
    const Snapshot damaged = Take(rig.sim);
    EXPECT_EQ(rig.Uninstall(Quiet()), UninstallOutcome::kStopped);
    EXPECT_NE(rig.LastBox().find(u8"已损坏"), std::u8string::npos) << text::Utf8Bytes(rig.LastBox());
    EXPECT_EQ(Changes(damaged, Take(rig.sim)), std::vector<std::string>{});
  }
}

}  // namespace journal_trust

namespace originals {

const std::string kUpdatedDriver("AutoCAD's PDF driver, updated\0\x02", 32);

// The journal as it was when a run was killed just after it recorded keeping AutoCAD's driver (and,
// where the run records it, setting out to place the add-on's): the records after it never written.
void KillAfterTheDriversBackup(Rig& rig) {
  const std::string journal = *rig.sim.files().ReadFile(kJournal);
  std::size_t end = journal.find("BACKUP\t" + std::string(kDriver));
  ASSERT_NE(end, std::string::npos);
  end = journal.find('\n', end) + 1;
  std::string cut = journal.substr(0, end);
  // The placement that followed, as a run writes it before its copy: the journal a run that ended
  // well leaves holds the placement done.
  if (journal.compare(end, 8 + std::strlen(kDriver), "SUPPORT\t" + std::string(kDriver)) == 0) {
    const std::string line = journal.substr(end, journal.find('\r', end) - end);
    auto placed = install::ParseJournalLine(std::u8string(line.begin(), line.end()));
    ASSERT_TRUE(placed && std::holds_alternative<install::SupportFilePlaced>(*placed));
    std::get<install::SupportFilePlaced>(*placed).placing = true;
    const std::u8string placing = install::FormatJournalLine(*placed);
    cut.append(placing.begin(), placing.end());
  }
  EXPECT_TRUE(rig.sim.files().WriteFile(kJournal, cut));
  EXPECT_TRUE(rig.sim.files().WriteFile(kDriver, ""));  // the copy over it had only begun
}

TEST(UninstallOriginals, AutoCADsOwnFileComesBackWhateverHappenedBetween) {
  const struct {
    const char* name;
    std::function<void(Rig&)> history;
    const std::string& back;  // AutoCAD's file after the uninstall
  } cases[] = {
      {"the journal cannot be opened",
       [](Rig& rig) {
         EXPECT_TRUE(rig.sim.files().MakeDirectories(kJournal));  // in the way of the file
         EXPECT_EQ(rig.sim.files().ProtectFolder("C:\\Vornex"), platform::kSuccess);  // as a run before made it
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDoneWithIssues);
         EXPECT_EQ(rig.sim.files().ReadFile(kDriver), kOwnDriver);
         EXPECT_NE(rig.LastBox().find(text::FromAnsi(kDriver) + install::kIssueNoJournalKept), std::u8string::npos)
             << text::Utf8Bytes(rig.LastBox());
         EXPECT_TRUE(rig.sim.files().Remove(kJournal));
       },
       kOwnDriver},
      {"an uninstall stopped after it put the driver back, then a reinstallation",
       [](Rig& rig) {
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
         EXPECT_TRUE(rig.sim.files().WriteFile(kDriver, kOwnDriver));
         EXPECT_TRUE(rig.sim.files().Remove(std::string(kInstallFolder) + "\\Backup"));
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
       },
       kOwnDriver},
      {"AutoCAD's driver updated between two installations",
       [](Rig& rig) {
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
         EXPECT_TRUE(rig.sim.files().WriteFile(kDriver, kUpdatedDriver));
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
       },
       kUpdatedDriver},
      {"half a backup left by a killed run",
       [](Rig& rig) {
         EXPECT_TRUE(rig.sim.files().WriteFile(std::string(kInstallFolder) + "\\Backup\\1\\pdfplot9.hdi", "AutoCAD's"));
         EXPECT_EQ(rig.sim.files().ProtectFolder("C:\\Vornex"), platform::kSuccess);  // as that run made it
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
       },
       kOwnDriver},
      {"a run killed right after it kept the driver",
       [](Rig& rig) {
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
         KillAfterTheDriversBackup(rig);
       },
       kOwnDriver},
      {"a run killed right after it kept the driver, then a reinstallation",
       [](Rig& rig) {
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
         KillAfterTheDriversBackup(rig);
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
       },
       kOwnDriver},
      {"the power cut once the installation ended",
       [](Rig& rig) {
         EXPECT_EQ(rig.Install(), install::InstallOutcome::kDone);
         rig.sim.files().PowerCut();
       },
       kOwnDriver},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    c.history(rig);
    EXPECT_NE(rig.Uninstall(Quiet("C:\\Vornex")), UninstallOutcome::kStopped) << text::Utf8Bytes(rig.LastBox());
    EXPECT_EQ(rig.sim.files().ReadFile(kDriver), c.back) << text::Utf8Bytes(rig.LastBox());
  }
}

}  // namespace originals
}  // namespace
