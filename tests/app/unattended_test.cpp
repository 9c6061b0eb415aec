// The unattended installation on the simulated machine: no box reaches a person, each ending gives
// its exit code, and the log tells an administrator what happened.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "records/install_log.h"
#include "records/install_texts.h"
#include "app/unattended.h"
#include "platform/sim/sim_log_support.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "install/rollback.h"
#include "uninstall/uninstall_entry.h"
#include "support/fixtures.h"
#include "support/machine_snapshot.h"

namespace {

using install::InstallOutcome;

constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kLog = "C:\\Temp\\VornexSetup.log";
const std::vector<std::string> kPayload = {"VX_ZurezUvad2010.arx", "VX_ZurezUvad2021.arx", "VXCAD2010P.dll",
                                           "VXCAD2013P.dll", "Vornex.Ini"};

struct Case {
  const char* name;
  std::optional<std::vector<int>> releases;
  std::string folder;
  bool acadRunning = false;
  bool payload = true;
  bool heldFile = false;      // the first payload file cannot be copied, whatever the retries
  bool openToAll = false;     // the chosen folder exists, and every signed-in user may rename it
  InstallOutcome outcome;
  int exitCode;
  std::vector<std::u8string> logged;  // parts the log must hold, in this order
};

// Runs one case on a fresh two-release machine; every box goes to the log, none to the person.
class UnattendedRun {
 public:
  explicit UnattendedRun(const Case& c) {
    EXPECT_TRUE(support::LoadRegistryFixture(sim_, "registry/two-releases.reg"));
    if (c.payload) {
      for (const std::string& name : kPayload) EXPECT_TRUE(sim_.files().WriteFile(std::string(kData) + "\\" + name, name));
    }
    for (const char* acad : {"C:\\Program Files\\Autodesk\\AutoCAD 2010", "C:\\Program Files\\Autodesk\\AutoCAD 2022"}) {
      EXPECT_TRUE(sim_.files().MakeDirectories(std::string(acad) + "\\Fonts"));
    }
    EXPECT_TRUE(sim_.files().MakeDirectories("C:\\Temp"));
    if (c.acadRunning) sim_.system().SetProcesses({"explorer.exe", "acad.exe"});
    if (c.heldFile) {
      sim_.files().FailOn(sim::FileOp::Copy, std::string(kData) + "\\" + kPayload[0], platform::kSharingViolation);
    }
    if (c.openToAll) {
      EXPECT_TRUE(sim_.files().MakeFolderAs(c.folder, "S-1-5-21-1004336348-1177238915-682003330-1001"));
    }
    sim_.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << "a box reached a person: " << text::Utf8Bytes(box.text);
    });
  }

  // One run of SetUp.exe /S with the case's switches, logging to kLog.
  int Run(const Case& c) {
    install::InstallLog log(sim_.logging().support());
    EXPECT_EQ(log.Open(text::FromAnsi(kLog)), platform::kSuccess);
    app::UnattendedPrompts prompts(log, sim_.logging().clock());
    platform::Machine quiet{sim_.registry(), sim_.files(), sim_.system(), prompts, sim_.logging().support(), sim_.integrity()};
    CAcadCatalog catalog;
    catalog.Scan(sim_.registry());
    return app::RunUnattended(quiet, catalog, {false, c.releases, c.folder}, log, 64, 20250428);
  }

  std::string Log() { return sim_.files().ReadFile(kLog).value_or(""); }
  sim::SimMachine& sim() { return sim_; }
  unsigned long long Waited() { return sim_.logging().clock().Waited(); }

  // What changed on the machine since `before`, but for the log.
  std::vector<std::string> ChangedSince(const support::Snapshot& before) {
    std::vector<std::string> changes = support::Changes(before, support::Take(sim_));
    std::erase_if(changes, [](const std::string& line) { return line.find(kLog) != std::string::npos; });
    return changes;
  }

 private:
  sim::SimMachine sim_;
};

TEST(Unattended, EachEndingHasItsExitCodeAndItsLog) {
  const Case cases[] = {
      {"defaults", std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kDone, 0,
       {u8"2010 2022", u8"安装的版本： 2010 2022", u8"C:\\Vornex\\V-ZurezUvad", u8"安装已完成。"}},
      {"one release asked, one not here; a folder that cannot be", std::vector<int>{2010, 2018}, "C:\\a|b", false,
       true, false, false, InstallOutcome::kFolderRefused, 1639,
       {u8"AutoCAD 2018 未安装，跳过。", u8"安装的版本： 2010", u8"C:\\a|b", u8"无效", u8"安装路径无效"}},
      // /DIR makes every missing level.
      {"a folder three levels deep, none of them there", std::nullopt, "C:\\A\\B\\C", false, true, false, false,
       InstallOutcome::kDone, 0, {u8"安装文件夹：C:\\A\\B\\C\\V-ZurezUvad", u8"安装已完成。"}},
      {"only absent releases", std::vector<int>{2018}, "C:\\Vornex", false, true, false, false,
       InstallOutcome::kNothingChosen, 1603, {u8"AutoCAD 2018 未安装，跳过。", u8"没有可安装的AutoCAD版本"}},
      {"AutoCAD running", std::nullopt, "C:\\Vornex", true, true, false, false, InstallOutcome::kAcadRunning, 1618,
       {u8"请关闭AutoCAD后再进行安装", u8"AutoCAD正在运行，未做任何更改。"}},
      {"no payload", std::nullopt, "C:\\Vornex", false, false, false, false, InstallOutcome::kStopped, 1603,
       {u8"未找到安装所需的Data文件夹", u8"安装已停止"}},
      {"a file held open", std::nullopt, "C:\\Vornex", false, true, true, false, InstallOutcome::kStopped, 1603,
       {u8"VX_ZurezUvad2010.arx", u8"第 1 次", u8"第 3 次", u8"重试后仍失败，安装中止", u8"安装已停止"}},
      {"a folder others could replace", std::nullopt, "C:\\Shared", false, true, false, true,
       InstallOutcome::kDeclined, 1603, {u8"C:\\Shared", u8"回答“否”", u8"未做任何更改"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UnattendedRun run(c);
    const std::vector<std::string> before = run.sim().files().Tree("C:\\Vornex");
    EXPECT_EQ(run.Run(c), c.exitCode);
    support::ExpectInOrder(run.Log(), c.logged);
    if (install::NothingChanged(c.outcome)) {
      EXPECT_EQ(run.sim().files().Tree("C:\\Vornex"), before);
    }
    // A failed copy is tried again three times, two seconds apart, before it is given up.
    EXPECT_EQ(run.Waited(), c.heldFile ? 3u * app::kUnattendedRetryWaitMs : 0u);
  }
}

TEST(Unattended, ExitCodes) {
  const struct {
    InstallOutcome outcome;
    int code;
  } cases[] = {
      {InstallOutcome::kDone, 0},           {InstallOutcome::kDoneWithIssues, app::kExitIncomplete},
      {InstallOutcome::kAcadRunning, 1618}, {InstallOutcome::kFolderRefused, 1639},
      {InstallOutcome::kDeclined, 1603},    {InstallOutcome::kNothingChosen, 1603},
      {InstallOutcome::kNotProtected, 1603}, {InstallOutcome::kStopped, 1603},
  };
  for (const auto& c : cases) EXPECT_EQ(app::ExitCodeFor(c.outcome), c.code) << static_cast<int>(c.outcome);
  // Nothing left to remove is no failure: a second uninstall, or one after a manual clean-up.
  const struct {
    install::UninstallOutcome outcome;
    int code;
  } removals[] = {
      {install::UninstallOutcome::kDone, 0},           {install::UninstallOutcome::kNothingToRemove, 0},
      {install::UninstallOutcome::kDoneWithIssues, app::kExitIncomplete},
      {install::UninstallOutcome::kAcadRunning, 1618}, {install::UninstallOutcome::kStopped, 1603},
      {install::UninstallOutcome::kDeclined, 1603},
  };
  for (const auto& c : removals) EXPECT_EQ(app::ExitCodeFor(c.outcome), c.code) << static_cast<int>(c.outcome);
}

// A run a kill left open is rolled back first by the next run, which then installs and lets go of
// the machine's lock. (A second run while the lock is held: the scenario unattended-another-run.)
TEST(Unattended, AnInterruptedRunIsFinishedFirst) {
  const Case c{"", std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kDone, 0, {}};
  UnattendedRun run(c);
  sim::SimMachine& sim = run.sim();
  // Killed half-way through its support files.
  sim.logging().files().KillAfter(u8"C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal", 30);
  EXPECT_THROW((void)run.Run(c), sim::Killed);
  sim.logging().files().KillAfter(u8"", 0);
  ASSERT_TRUE(sim.files().Exists("C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal"));
  EXPECT_EQ(run.Run(c), 0);
  support::ExpectInOrder(run.Log(), {u8"发现上次未完成的运行", u8"上次未完成的运行已还原。", u8"安装已完成。"});
  EXPECT_FALSE(sim.system().LockHeld(app::kRunLockName)) << "let go at the end of the run";
  EXPECT_FALSE(install::FinishInterruptedRun(sim.machine(), nullptr)) << "nothing left open";
}

// Run from the install folder of an installation the package's SetUp.exe made: its SetUp.exe takes
// the folder for a flat payload, whose files are each their own destination, which no wait mends,
// so the copy ends at once with the system's text, not the advice about AutoCAD and rights; the
// placed uninstaller asked to install says what it is. No file of the folder run from is moved or
// deleted, nor anything else changed.
TEST(Unattended, FailuresWaitingCannotMendAreNotRetried) {
  const struct {
    const char* module;
    int exitCode;
    std::u8string logged;
  } rows[] = {
      {"C:\\Vornex\\V-ZurezUvad\\SetUp.exe", 1603, u8"错误 32"},
      {"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe", 1639, u8"此程序是 V-批打印软件 的卸载程序"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.module);
    const Case c{"", std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kDone, 0, {}};
    UnattendedRun run(c);
    ASSERT_EQ(run.Run(c), 0);
    run.sim().system().SetModulePath(row.module);
    const support::Snapshot before = support::Take(run.sim());
    EXPECT_EQ(run.Run(c), row.exitCode);
    support::ExpectInOrder(run.Log(), {row.logged});
    EXPECT_EQ(run.Log().find(text::Utf8Bytes(u8"AutoCAD未关闭")), std::string::npos) << run.Log();
    EXPECT_EQ(run.Waited(), 0u);
    EXPECT_EQ(run.ChangedSince(before), std::vector<std::string>{});
  }
}

// The log's first lines say which build ran, how it was started, by whom, where, on which Windows,
// and over which installation: what a support call needs before anything else. Written on a clean
// machine, then over an installation.
TEST(Unattended, LogHeaderNamesTheRunAndTheInstallationFound) {
  sim::SimMachine sim;
  ASSERT_TRUE(sim.files().MakeDirectories("C:\\Temp"));
  sim.system().SetAccountSid("S-1-5-21-1-2-3-500");
  sim.system().SetAccountName("S-1-5-21-1-2-3-500", u8"PC\\Admin");
  sim.system().SetEnvironment("COMPUTERNAME", "PC-17");
  const char* windows = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, windows, "ProductName", "Windows 10 Pro"));
  ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, windows, "CurrentBuildNumber", "19045"));
  install::InstallLog log(sim.machine().logging);
  ASSERT_EQ(log.Open(text::FromAnsi(kLog)), platform::kSuccess);
  for (const bool installed : {false, true}) {
    if (installed) {
      ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, install::kUninstallKeyPath, "DisplayVersion",
                                           "2024.11.02"));
      ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, install::kUninstallKeyPath, "InstallLocation",
                                           "C:\\Vornex\\V-ZurezUvad"));
    }
    app::WriteRunHeader(sim.machine(), log, u8"SetUp.exe 无人值守安装开始", u8"SetUp.exe /S /DIR=C:\\Vornex", 20250428);
  }
  support::ExpectInOrder(sim.files().ReadFile(kLog).value_or(""),
                         {u8"安装开始，SetUp.exe 版本 2025.04.28", u8"命令行：SetUp.exe /S /DIR=C:\\Vornex",
                          u8"账户：PC\\Admin，计算机：PC-17", u8"Windows：Windows 10 Pro，内部版本 19045", u8"已有的安装：无",
                          u8"安装开始，SetUp.exe 版本 2025.04.28",
                          u8"已有的安装：版本 2024.11.02，位置 C:\\Vornex\\V-ZurezUvad"});
}

// Where a run logs without /LOG, or when /LOG's file cannot be opened: the default log in a folder
// only the administrators may enter, made so; never in a folder a user made first, nor through a
// link. (A /LOG that opens is the scenarios'; a link at /LOG is refused as the log opens.)
TEST(RunLog, DefaultLogInAFolderOnlyAdministratorsCanEnter) {
  constexpr const char* kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string folder = "C:\\ProgramData\\Vornex\\Logs";
  const struct {
    const char* name;
    std::optional<std::u8string> asked;
    std::function<void(sim::SimFileSystem&)> before;
    std::vector<std::u8string> logged;  // the default log's lines, in order; none: nothing there changes
  } cases[] = {
      {"no /LOG", std::nullopt, nullptr, {u8"SetUp.exe 无人值守安装开始"}},
      {"/LOG in a missing folder", u8"C:\\Missing\\x.log", nullptr,
       {u8"无法打开 /LOG 指定的日志 C:\\Missing\\x.log", u8"SetUp.exe 无人值守安装开始"}},
      {"Vornex made first by a user", std::nullopt,
       [&](sim::SimFileSystem& fs) { fs.MakeFolderAs("C:\\ProgramData\\Vornex", kUser); }, {}},
      {"Logs a junction", std::nullopt, [](sim::SimFileSystem& fs) { fs.MakeJunction("C:\\ProgramData\\Vornex\\Logs"); },
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine sim;
    sim.system().SetEnvironment("ProgramData", "C:\\ProgramData");
    ASSERT_TRUE(sim.files().MakeDirectories("C:\\ProgramData"));
    if (c.before) c.before(sim.files());
    const std::vector<std::string> before = sim.files().Tree("C:\\ProgramData");
    install::InstallLog log(sim.logging().support());
    EXPECT_EQ(app::OpenRunLog(sim.machine(), c.asked, true, log), !c.logged.empty());
    log.Write(u8"SetUp.exe 无人值守安装开始");
    if (c.logged.empty()) {
      EXPECT_EQ(sim.files().Tree("C:\\ProgramData"), before);
      continue;
    }
    support::ExpectInOrder(sim.files().ReadFile(folder + "\\VornexSetup.log").value_or(""), c.logged);
    for (const std::string& level : {std::string("C:\\ProgramData\\Vornex"), folder}) {
      const std::optional<sim::SimSecurity> security = sim.files().SecurityOf(level);
      ASSERT_TRUE(security);
      EXPECT_TRUE(security->isProtected) << level;
      EXPECT_EQ(security->explicitEntries, sim::PrivateEntries()) << level;
    }
  }
}

}  // namespace
