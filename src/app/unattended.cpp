// The unattended installation and uninstall.
#include "app/unattended.h"

#include "app/command_line.h"
#include "records/installed.h"

#include "install/rollback.h"
#include "uninstall/uninstall_entry.h"
#include "platform/text.h"
#include "platform/folder_safety.h"
#include "platform/folder_rules.h"
#include "records/install_texts.h"
#include "platform/utf8_text.h"

namespace app {
namespace {

using install::InstallOutcome;
using install::UninstallOutcome;

const char8_t* UninstallOutcomeText(UninstallOutcome outcome) {
  switch (outcome) {
    case UninstallOutcome::kNothingToRemove:
      return u8"未找到需要卸载的安装，未做任何更改。";
    case UninstallOutcome::kAcadRunning:
      return u8"AutoCAD正在运行，未做任何更改。";
    case UninstallOutcome::kDeclined:
      return u8"卸载已取消，未做任何更改。";
    case UninstallOutcome::kStopped:
      return u8"卸载已停止，未做任何更改。";
    case UninstallOutcome::kDoneWithIssues:
      return u8"卸载已完成，但有项目未删除（见上）。";
    case UninstallOutcome::kDone:
      return u8"卸载已完成。";
  }
  return u8"";
}

const char8_t* OutcomeText(InstallOutcome outcome) {
  switch (outcome) {
    case InstallOutcome::kAcadRunning:
      return u8"AutoCAD正在运行，未做任何更改。";
    case InstallOutcome::kNewerInstalled:
      return u8"本机已安装更新的版本，未做任何更改。";
    case InstallOutcome::kFolderRefused:
      return u8"安装路径无效，未做任何更改。";
    case InstallOutcome::kDeclined:
      return u8"安装路径可被其他用户替换，无人值守安装不冒此风险，未做任何更改。";
    case InstallOutcome::kNothingChosen:
      return u8"没有可安装的AutoCAD版本，未做任何更改。";
    case InstallOutcome::kNotProtected:
      return u8"无法保护安装文件夹，安装已停止，未拷贝或注册任何文件，计算机已还原为安装前的状态。";
    case InstallOutcome::kPayloadRejected:
      return u8"安装文件与本安装程序的清单不符或未找到，未做任何更改。";
    case InstallOutcome::kStopped:
      return u8"安装已停止：安装文件未能全部拷贝，计算机已还原为安装前的状态。";
    case InstallOutcome::kDoneWithIssues:
      return u8"安装已完成，但有项目未能完成（见上）。";
    case InstallOutcome::kDone:
      return u8"安装已完成。";
  }
  return u8"";
}

}  // namespace

int UnattendedPrompts::MessageBox(platform::WindowRef, std::u8string_view text, std::u8string_view,
                                  std::uint32_t flags) {
  const std::uint32_t buttons = flags & 0xFu;
  int answer = platform::kIdOk;
  std::u8string said;
  if (buttons == platform::kMbAbortRetryIgnore) {
    // The same failure again after a retry counts on; another one starts over.
    if (text != m_strRetrying) {
      m_strRetrying = text;
      m_nRetries = 0;
    }
    if (m_nRetries < kUnattendedCopyRetries) {
      ++m_nRetries;
      answer = platform::kIdRetry;
      said = u8"（无人值守：" + text::Decimal(kUnattendedRetryWaitMs / 1000) + u8" 秒后重试，第 " +
             text::Decimal(m_nRetries) + u8" 次）";
    } else {
      answer = platform::kIdAbort;
      said = u8"（无人值守：重试后仍失败，安装中止）";
      m_strRetrying.clear();
      m_nRetries = 0;
    }
  } else if (buttons == platform::kMbYesNo) {
    answer = platform::kIdNo;
    said = u8"（无人值守：回答“否”）";
  }
  m_log.Write(std::u8string(text) + said);
  if (answer == platform::kIdRetry) m_clock.Wait(kUnattendedRetryWaitMs);
  return answer;
}

namespace {

InstallOutcome Install(platform::Machine& machine, CAcadCatalog& catalog, const UnattendedChoices& choices,
                       install::InstallLog& log, int bitness, int version) {
  install::InstallChoices install;
  std::u8string found;
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (!catalog.m_arrLocations[YearIndex(year)].empty()) found += u8" " + text::Decimal(year);
  }
  log.Write(u8"找到的AutoCAD版本：" + (found.empty() ? std::u8string(u8" 无") : found));

  std::u8string chosen;
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    const bool installed = !catalog.m_arrLocations[YearIndex(year)].empty();
    bool wanted = installed;
    if (choices.releases) {
      wanted = false;
      for (const int asked : *choices.releases) wanted = wanted || asked == year;
      if (wanted && !installed) {
        log.Write(u8"AutoCAD " + text::Decimal(year) + u8" 未安装，跳过。");
        wanted = false;
      }
    }
    install.releases[YearIndex(year)] = wanted ? 1 : 0;
    if (wanted) chosen += u8" " + text::Decimal(year);
  }
  install.hiddenEntry = choices.hiddenEntry;
  // Without /DIR, the installed folder: an upgrade stays where the installation is.
  const std::string installed = install::InstalledChosenFolder(install::ReadInstalledEntry(machine.registry));
  install.typedFolder =
      choices.typedFolder.value_or(installed.empty() ? std::string(text::Utf8Bytes(kDefaultFolder)) : installed);
  // /DIR names a folder as the folder chooser would give it: every missing level is made.
  install.makeEveryLevel = true;
  log.Write(u8"安装的版本：" + (chosen.empty() ? std::u8string(u8" 无") : chosen));
  log.Write(u8"选择的安装路径：" + text::FromAnsi(install.typedFolder));

  // The dialog's install button is off while no release is ticked; here nothing is installed either.
  if (chosen.empty()) {
    log.Write(OutcomeText(InstallOutcome::kNothingChosen));
    return InstallOutcome::kNothingChosen;
  }

  QuietView view;
  install::CInstallEngine engine(machine, catalog, bitness, version, &log);
  const InstallOutcome outcome = engine.Run(install, view);
  if (!engine.InstallFolder().empty()) log.Write(u8"安装文件夹：" + text::FromAnsi(engine.InstallFolder()));
  log.Write(OutcomeText(outcome));
  return outcome;
}

UninstallOutcome Uninstall(platform::Machine& machine, const CAcadCatalog& catalog, const UnattendedChoices& choices,
                           install::InstallLog& log) {
  if (choices.typedFolder) log.Write(u8"选择的安装路径：" + text::FromAnsi(*choices.typedFolder));
  QuietView view;
  install::CUninstallEngine engine(machine, catalog, &log);
  install::UninstallChoices uninstall;
  uninstall.typedFolder = choices.typedFolder;
  uninstall.ask = false;
  const UninstallOutcome outcome = engine.Run(uninstall, view);
  log.Write(UninstallOutcomeText(outcome));
  return outcome;
}

}  // namespace

bool HoldRunLock(platform::Machine& machine, std::unique_ptr<platform::HeldLock>& lock, install::InstallLog* log) {
  if (machine.system.HoldMachineLock(kRunLockName, lock) == platform::kAlreadyExists) {
    if (log != nullptr) log->Write(install::kAnotherRunText);
    return false;
  }
  // A lock that cannot be made at all (no such object namespace) stops nobody: the run goes on as
  // it always has.
  (void)install::FinishInterruptedRun(machine, log);
  return true;
}

namespace {

// A text value under HKEY_LOCAL_MACHINE; empty when it cannot be read.
std::u8string MachineText(platform::Registry& registry, std::u8string_view path, std::u8string_view name) {
  platform::UniqueKey root;
  platform::UniqueKey key;
  std::uint32_t type = 0;
  std::u8string value;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      registry.OpenKeyW(root.get(), path, platform::Access::Read, key) != platform::kSuccess ||
      registry.QueryTextW(key.get(), name, type, value) != platform::kSuccess) {
    value.clear();
  }
  return value;
}

}  // namespace

void WriteRunHeader(platform::Machine& machine, install::InstallLog& log, std::u8string_view startLine,
                    std::u8string_view commandLine, int version) {
  std::u8string line(startLine);
  line += u8"，SetUp.exe 版本 ";
  line += install::VersionText(version);
  log.Write(line);
  // Read only for an open log: a run without one pays nothing at start-up.
  if (!log.IsOpen()) return;
  line = u8"命令行：";
  line += commandLine;
  log.Write(line);
  std::string sid;
  std::u8string account;
  if (machine.system.AccountSid(sid) != platform::kSuccess || machine.system.AccountName(sid, account) != platform::kSuccess) {
    account = text::FromAnsi(sid);
  }
  std::string computer;
  (void)machine.system.EnvironmentVariable("COMPUTERNAME", platform::kLongestPathChars, computer);
  line = u8"账户：";
  line += account;
  line += u8"，计算机：";
  line += text::FromAnsi(computer);
  log.Write(line);
  // Windows' name and build; the installation Apps & features lists, when there is one.
  constexpr std::u8string_view kWindows = u8"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  log.Write(u8"Windows：" + MachineText(machine.registry, kWindows, u8"ProductName") + u8"，内部版本 " +
            MachineText(machine.registry, kWindows, u8"CurrentBuildNumber"));
  const install::InstalledEntry installed = install::ReadInstalledEntry(machine.registry);
  log.Write(installed.folder.empty() ? std::u8string(u8"已有的安装：无")
                                     : u8"已有的安装：版本 " + installed.version + u8"，位置 " +
                                           text::FromAnsi(installed.folder));
}

bool IsPlacedUninstaller(platform::Machine& machine) {
  std::string program;
  if (machine.system.ModulePath(platform::kLongestPathChars, program) != platform::kSuccess) return false;
  const std::size_t slash = text::ReverseFind(program, '\\');
  return text::EqualsNoCase(std::string_view(program).substr(slash == std::string::npos ? 0 : slash + 1),
                            install::kUninstallerName);
}

platform::Status PrepareLogFolder(platform::Machine& machine, std::string& folder) {
  folder.clear();
  std::u8string programData;
  if (const platform::Status st = machine.system.EnvironmentVariableW(u8"ProgramData", programData);
      st != platform::kSuccess) {
    return st;
  }
  std::string level;
  if (!text::ToAnsi(programData, level)) return platform::kNoUnicodeTranslation;
  if (platform::CreateFolderPath(machine.files, level, true) != platform::kSuccess) return platform::kBadPathName;
  std::string account;
  if (machine.system.AccountSid(account) != platform::kSuccess) account.clear();
  for (const char* name : kLogFolders) {
    level += std::string("\\") + name;
    const bool made = machine.files.CreateDirectory(level) == platform::kSuccess;
    if (install::IsReparsePoint(machine.files, level)) return platform::kAccessDenied;
    if (made) {
      if (const platform::Status st = machine.files.ProtectPrivateFolder(level); st != platform::kSuccess) return st;
      continue;
    }
    // Made before this run: by an earlier one, or by a user who got there first and could then
    // swap the log for a file of his choosing. Its list is not reset: that would reach through
    // whatever he planted inside it.
    platform::FileSecurity security;
    if (const platform::Status st = machine.files.ReadSecurity(level, security); st != platform::kSuccess) return st;
    if (install::OthersCanReplace(security, account, false)) return platform::kAccessDenied;
  }
  folder = std::move(level);
  return platform::kSuccess;
}

bool OpenRunLog(platform::Machine& machine, const std::optional<std::u8string>& asked, bool orDefault,
                install::InstallLog& log) {
  platform::Status refused = platform::kSuccess;
  if (asked) {
    refused = log.Open(*asked);
    if (refused == platform::kSuccess) return true;
  } else if (!orDefault) {
    return false;
  }
  std::string folder;
  if (PrepareLogFolder(machine, folder) != platform::kSuccess ||
      log.Open(text::FromAnsi(folder) + u8"\\" + kDefaultLogFileName) != platform::kSuccess) {
    return false;
  }
  if (asked) log.WriteError(u8"无法打开 /LOG 指定的日志 " + *asked + u8"，日志改写在此", refused);
  return true;
}

int RunUnattended(platform::Machine& machine, CAcadCatalog& catalog, const UnattendedChoices& choices,
                  install::InstallLog& log, int bitness, int version) {
  if (choices.userSetup) return ExitCodeFor(install::RunUserSetup(machine, log));
  if (!choices.uninstall && IsPlacedUninstaller(machine)) {
    log.Write(install::kUninstallerOnlyText);
    return kExitInvalidCommandLine;
  }
  std::unique_ptr<platform::HeldLock> lock;
  if (!HoldRunLock(machine, lock, &log)) return kExitAnotherRun;
  return choices.uninstall ? ExitCodeFor(Uninstall(machine, catalog, choices, log))
                           : ExitCodeFor(Install(machine, catalog, choices, log, bitness, version));
}

}  // namespace app
