// The unattended installation on the simulated machine: no box reaches a person, each ending gives
// its exit code, and the log tells an administrator what happened.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "records/install_log.h"
#include "app/unattended.h"
#include "platform/sim/sim_log_support.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "support/fixtures.h"

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
    platform::Machine quiet{sim_.registry(), sim_.files(), sim_.system(), prompts, support_.support()};
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

}  // namespace

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
