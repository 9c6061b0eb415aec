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
    catalog_.Scan(sim_.registry());
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

  int Run(const Case& c) {
    install::InstallLog log(support_.support());
    EXPECT_EQ(log.Open(u8"C:\\Temp\\VornexSetup.log"), platform::kSuccess);
    app::UnattendedPrompts prompts(log, support_.clock());
    platform::Machine quiet{sim_.registry(), sim_.files(), sim_.system(), prompts, support_.support(), sim_.integrity()};
    return app::RunUnattended(quiet, catalog_, {false, c.releases, c.folder}, log, 64, 20250428);
  }

  std::string Log() { return sim_.files().ReadFile(kLog).value_or(""); }
  sim::SimMachine& sim() { return sim_; }
  unsigned long long Waited() { return support_.clock().Waited(); }

 private:
  sim::SimMachine sim_;
  sim::SimLogSupport support_{sim_.files()};
  CAcadCatalog catalog_;
};

TEST(Unattended, EachEndingHasItsExitCodeAndItsLog) {
  const Case cases[] = {
      {"defaults", std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kDone, 0,
       {u8"2010 2022", u8"安装的版本： 2010 2022", u8"C:\\Vornex\\V-ZurezUvad", u8"安装已完成。"}},
      {"one release asked, one not here; a folder that cannot be", std::vector<int>{2010, 2018}, "C:\\a|b", false,
       true, false, false, InstallOutcome::kFolderRefused, 1639,
       {u8"AutoCAD 2018 未安装，跳过。", u8"安装的版本： 2010", u8"C:\\a|b", u8"无效", u8"安装路径无效"}},
      {"a device name below the drive", std::nullopt, "C:\\Tools\\NUL", false, true, false, false,
       InstallOutcome::kFolderRefused, 1639, {u8"C:\\Tools\\NUL", u8"安装路径无效"}},
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
    const std::string log = run.Log();
    std::size_t at = 0;
    for (const std::u8string& part : c.logged) {
      const std::string bytes(part.begin(), part.end());
      const std::size_t found = log.find(bytes, at);
      EXPECT_NE(found, std::string::npos) << "not in the log (in order): " << bytes << "\n" << log;
      if (found != std::string::npos) at = found + bytes.size();
    }
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

// Before an unattended run changes anything it takes the machine's lock, and then finishes a run a
// kill left open; a second run meanwhile ends at once with 1618 and touches nothing.
TEST(Unattended, OneRunAtATimeAndAnInterruptedRunFinishedFirst) {
  const Case install{"", std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kDone, 0, {}};
  const struct {
    const char* name;
    bool lockedElsewhere;
    bool killedBefore;  // an earlier run was killed half-way through its support files
    bool uninstall;
    const char* folder;
    int exitCode;
    std::vector<std::u8string> logged;
  } cases[] = {
      {"installing while another run holds the lock", true, false, false, "C:\\Vornex", 1618,
       {u8"另一个 V-批打印软件 的安装或卸载程序正在运行"}},
      {"uninstalling while another run holds the lock", true, false, true, "C:\\Vornex", 1618,
       {u8"另一个 V-批打印软件 的安装或卸载程序正在运行"}},
      {"installing after a run that was killed", false, true, false, "C:\\Vornex", 0,
       {u8"发现上次未完成的运行", u8"上次未完成的运行已还原。", u8"安装已完成。"}},
      {"uninstalling after a run that was killed", false, true, true, "C:\\Vornex", 0,
       {u8"发现上次未完成的运行", u8"上次未完成的运行已还原。", u8"未找到需要卸载的"}},
      // /DIR makes every missing level, and the uninstall finds them again through the entry.
      {"a folder three levels deep, none of them there", false, false, false, "C:\\A\\B\\C", 0, {u8"安装已完成。"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UnattendedRun run(install);
    sim::SimMachine& sim = run.sim();
    // One run of SetUp.exe /S (or /UNINSTALL /S) on this machine, logging to `logPath`.
    const auto once = [&sim](bool uninstall, const char* folder, const char8_t* logPath) {
      install::InstallLog log(sim.logging().support());
      EXPECT_EQ(log.Open(logPath), platform::kSuccess);
      app::UnattendedPrompts prompts(log, sim.logging().clock());
      platform::Machine quiet{sim.registry(), sim.files(), sim.system(), prompts, sim.logging().support(),
                              sim.integrity()};
      CAcadCatalog catalog;
      catalog.Scan(sim.registry());
      return app::RunUnattended(quiet, catalog, {uninstall, std::nullopt, std::string(folder)}, log, 64, 20250428);
    };
    if (c.killedBefore) {
      sim.logging().files().KillAfter(u8"C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal", 30);
      EXPECT_THROW((void)once(false, "C:\\Vornex", u8"C:\\Temp\\first.log"), sim::Killed);
      sim.logging().files().KillAfter(u8"", 0);
      ASSERT_TRUE(sim.files().Exists("C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal"));
    }
    if (c.lockedElsewhere) sim.system().HoldLockElsewhere(app::kRunLockName, true);
    const support::Snapshot before = support::Take(sim);
    EXPECT_EQ(once(c.uninstall, c.folder, u8"C:\\Temp\\second.log"), c.exitCode);

    const std::string written = run.sim().files().ReadFile("C:\\Temp\\second.log").value_or("");
    std::size_t at = 0;
    for (const std::u8string& part : c.logged) {
      const std::string bytes(part.begin(), part.end());
      at = written.find(bytes, at);
      EXPECT_NE(at, std::string::npos) << "not in the log (in order): " << bytes << "\n" << written;
    }
    if (c.lockedElsewhere) {
      // The log is the only file the refused run may write.
      std::vector<std::string> changes = support::Changes(before, support::Take(run.sim()));
      std::erase_if(changes, [](const std::string& line) { return line.starts_with("+ C:\\Temp\\second.log"); });
      EXPECT_EQ(changes, std::vector<std::string>{});
    } else {
      EXPECT_FALSE(run.sim().system().LockHeld(app::kRunLockName)) << "let go at the end of the run";
      EXPECT_FALSE(install::FinishInterruptedRun(run.sim().machine(), nullptr)) << "nothing left open";
    }
    if (std::string(c.folder) == "C:\\A\\B\\C") {
      EXPECT_TRUE(run.sim().files().Exists("C:\\A\\B\\C\\V-ZurezUvad\\VX_ZurezUvad2010.arx"));
    }
  }
}

}  // namespace

// Failures that no wait mends end the copy at once, named with the system's text rather than the
// advice about AutoCAD and rights; the placed uninstaller started to install says what it is.
TEST(Unattended, FailuresWaitingCannotMendAreNotRetried) {
  constexpr const char* kPlaced = "C:\\Vornex\\V-ZurezUvad";
  const struct {
    const char* name;
    const char* module;               // where the program runs from
    platform::Status copyFailure;     // the first payload file's copy fails so, when not kSuccess
    int exitCode;
    std::u8string logged;
  } rows[] = {
      {"a missing path", "C:\\Setup\\SetUp.exe", platform::kPathNotFound, 1603, u8"错误 3"},
      // The installed folder's SetUp.exe taken for a flat payload: every file is its own destination.
      {"the install folder as its own payload", "C:\\Vornex\\V-ZurezUvad\\SetUp.exe", platform::kSuccess, 1603,
       u8"错误 32"},
      {"the placed uninstaller asked to install", "C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe", platform::kSuccess,
       1639, u8"此程序是 V-批打印软件 的卸载程序"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Case c{row.name, std::nullopt, "C:\\Vornex", false, true, false, false, InstallOutcome::kStopped, 0, {}};
    UnattendedRun run(c);
    // Run from the install folder: an installation made first, by the package's SetUp.exe.
    if (std::string(row.module).starts_with(kPlaced)) {
      ASSERT_EQ(run.Run(c), 0);
    }
    run.sim().system().SetModulePath(row.module);
    if (row.copyFailure != platform::kSuccess) {
      run.sim().files().FailOn(sim::FileOp::Copy, std::string(kData) + "\\" + kPayload[0], row.copyFailure);
    }
    const std::vector<std::string> before = run.sim().files().Tree("C:\\");
    EXPECT_EQ(run.Run(c), row.exitCode);
    const std::string log = run.Log();
    EXPECT_NE(log.find(std::string(text::Utf8Bytes(row.logged))), std::string::npos) << log;
    EXPECT_EQ(log.find(std::string(text::Utf8Bytes(u8"AutoCAD未关闭"))), std::string::npos) << log;
    EXPECT_EQ(run.Waited(), 0u);
    // Nothing is left changed: above all, no file of the folder run from was moved or deleted.
    std::vector<std::string> after = run.sim().files().Tree("C:\\");
    std::erase_if(after, [](const std::string& entry) { return entry.starts_with("C:\\Temp"); });
    std::vector<std::string> expected = before;
    std::erase_if(expected, [](const std::string& entry) { return entry.starts_with("C:\\Temp"); });
    EXPECT_EQ(after, expected);
  }
}

// The log's first lines say which build ran, how it was started, by whom, where, on which Windows,
// and over which installation: what a support call needs before anything else.
TEST(Unattended, LogHeaderNamesTheRunAndTheInstallationFound) {
  const struct {
    const char* name;
    bool installed;
    std::vector<std::u8string> logged;  // in this order
  } rows[] = {
      {"a clean machine", false,
       {u8"安装开始，SetUp.exe 版本 2025.04.28", u8"命令行：SetUp.exe /S /DIR=C:\\Vornex", u8"账户：PC\\Admin，计算机：PC-17",
        u8"Windows：Windows 10 Pro，内部版本 19045", u8"已有的安装：无"}},
      {"over an installation", true,
       {u8"安装开始，SetUp.exe 版本 2025.04.28", u8"已有的安装：版本 2024.11.02，位置 C:\\Vornex\\V-ZurezUvad"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim::SimMachine sim;
    ASSERT_TRUE(sim.files().MakeDirectories("C:\\Temp"));
    sim.system().SetAccountSid("S-1-5-21-1-2-3-500");
    sim.system().SetAccountName("S-1-5-21-1-2-3-500", u8"PC\\Admin");
    sim.system().SetEnvironment("COMPUTERNAME", "PC-17");
    const char* windows = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, windows, "ProductName", "Windows 10 Pro"));
    ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, windows, "CurrentBuildNumber", "19045"));
    if (row.installed) {
      ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, install::kUninstallKeyPath, "DisplayVersion",
                                           "2024.11.02"));
      ASSERT_TRUE(sim.registry().SetString(platform::RootKey::LocalMachine, install::kUninstallKeyPath, "InstallLocation",
                                           "C:\\Vornex\\V-ZurezUvad"));
    }
    install::InstallLog log(sim.machine().logging);
    ASSERT_EQ(log.Open(u8"C:\\Temp\\VornexSetup.log"), platform::kSuccess);
    app::WriteRunHeader(sim.machine(), log, u8"SetUp.exe 无人值守安装开始", u8"SetUp.exe /S /DIR=C:\\Vornex", 20250428);
    const std::string written = sim.files().ReadFile(kLog).value_or("");
    std::size_t at = 0;
    for (const std::u8string& part : row.logged) {
      const std::string bytes(part.begin(), part.end());
      const std::size_t found = written.find(bytes, at);
      EXPECT_NE(found, std::string::npos) << "not in the log (in order): " << bytes << "\n" << written;
      if (found != std::string::npos) at = found + bytes.size();
    }
  }
}

namespace {

// Where a run logs: /LOG when it opens; else, and without /LOG, the default log in a folder only
// the administrators may enter, made so; never in a folder a user made first, nor through a link.
TEST(RunLog, DefaultLogInAFolderOnlyAdministratorsCanEnter) {
  constexpr const char* kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string folder = "C:\\ProgramData\\Vornex\\Logs";
  const std::string defaultLog = folder + "\\VornexSetup.log";
  const struct {
    const char* name;
    std::optional<std::u8string> asked;
    std::function<void(sim::SimFileSystem&)> before;
    std::string logged;  // the file that got the line, empty: none
    const char* said;    // the default log's first words, when /LOG was refused
  } cases[] = {
      {"no /LOG", std::nullopt, nullptr, defaultLog, nullptr},
      {"/LOG that opens", u8"C:\\Temp\\mine.log", nullptr, "C:\\Temp\\mine.log", nullptr},
      {"/LOG in a missing folder", u8"C:\\Missing\\x.log", nullptr, defaultLog, "无法打开 /LOG 指定的日志 C:\\Missing\\x.log"},
      {"/LOG a link", u8"C:\\Temp\\link.log", [](sim::SimFileSystem& fs) { fs.MakeFileLink("C:\\Temp\\link.log"); },
       defaultLog, "无法打开 /LOG 指定的日志 C:\\Temp\\link.log"},
      {"Vornex made first by a user", std::nullopt,
       [&](sim::SimFileSystem& fs) { fs.MakeFolderAs("C:\\ProgramData\\Vornex", kUser); }, "", nullptr},
      {"Logs a junction", std::nullopt, [](sim::SimFileSystem& fs) { fs.MakeJunction("C:\\ProgramData\\Vornex\\Logs"); },
       "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine sim;
    sim::SimLogSupport support{sim.files()};
    sim.system().SetEnvironment("ProgramData", "C:\\ProgramData");
    ASSERT_TRUE(sim.files().MakeDirectories("C:\\Temp"));
    ASSERT_TRUE(sim.files().MakeDirectories("C:\\ProgramData"));
    if (c.before) c.before(sim.files());
    const std::vector<std::string> before = sim.files().Tree("C:\\ProgramData");
    install::InstallLog log(support.support());
    EXPECT_EQ(app::OpenRunLog(sim.machine(), c.asked, true, log), !c.logged.empty());
    log.Write(u8"SetUp.exe 无人值守安装开始");
    if (c.logged.empty()) {
      EXPECT_EQ(sim.files().Tree("C:\\ProgramData"), before);
      continue;
    }
    const std::string text = sim.files().ReadFile(c.logged).value_or("<none>");
    EXPECT_NE(text.find("SetUp.exe 无人值守安装开始"), std::string::npos) << text;
    if (c.said != nullptr) {
      EXPECT_NE(text.find(c.said), std::string::npos) << text;
    }
    if (c.logged != defaultLog) continue;
    for (const std::string& level : {std::string("C:\\ProgramData\\Vornex"), folder}) {
      const std::optional<sim::SimSecurity> security = sim.files().SecurityOf(level);
      ASSERT_TRUE(security);
      EXPECT_TRUE(security->isProtected) << level;
      EXPECT_EQ(security->explicitEntries, sim::PrivateEntries()) << level;
    }
  }
}

}  // namespace
