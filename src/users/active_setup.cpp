// Active Setup: the key the installation writes, and what the program does for each user at sign-in.
#include "users/active_setup.h"

#include <memory>
#include <vector>

#include "platform/file_queries.h"
#include "platform/folder_rules.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "records/addon_names.h"
#include "records/install_texts.h"
#include "records/installed.h"
#include "users/profiles.h"

namespace install {
namespace {

constexpr std::u8string_view kStubPathValue = u8"StubPath";

std::string ProgramOf(std::string_view installFolder) { return std::string(installFolder) + "\\" + kUninstallerName; }

std::u8string StubPath(std::string_view installFolder) {
  return u8"\"" + text::FromAnsi(ProgramOf(installFolder)) + u8"\"" + kUserSetupSwitch;
}

// The kept settings file copied to the user's roaming folder, never over one he has.
void PlaceOwnSettings(platform::Machine& machine, const std::string& installFolder, InstallRecord& record) {
  const std::string source = installFolder + "\\" + kSettingsTemplateName;
  if (GetPathKind(source, machine) != kPathFile) return record.Note(u8"安装文件夹中没有设置文件，跳过。");
  std::string appData;
  if (machine.system.EnvironmentVariable("APPDATA", platform::kLongestPathChars, appData) != platform::kSuccess ||
      appData.empty()) {
    return record.Issue(u8"%APPDATA%", kIssueNoSettingsFile);
  }
  const std::string folder = appData + "\\" + kSettingsFolderName;
  const std::string target = folder + "\\" + kSettingsFileName;
  if (!FitsMaxPath(target)) return record.Failed(target, platform::kFilenameTooLong, kIssueNoSettingsFile);
  (void)platform::CreateFolderPath(machine.files, folder, false);  // a failure shows up as the copy's
  const platform::Status copied = machine.files.CopyFile(source, target, true);
  if (copied == platform::kFileExists || copied == platform::kAlreadyExists) {
    return record.Note(u8"保留用户已有的设置文件 " + text::AnsiToU8(target));
  }
  if (copied != platform::kSuccess) return record.Failed(target, copied, kIssueNoSettingsFile);
  ClearReadOnly(target, machine);
  record.Note(u8"已拷贝 " + text::AnsiToU8(target));
}

}  // namespace

std::u8string ActiveSetupVersion(int version) {
  return text::Decimal(version / 10000) + u8"," + text::Decimal(version % 10000 / 100) + u8"," +
         text::Decimal(version % 100);
}

void RegisterActiveSetup(platform::Machine& machine, const std::string& installFolder, const std::string& settings,
                         int version, InstallRecord& record) {
  const std::string kept = installFolder + "\\" + kSettingsTemplateName;
  if (!settings.empty() && GetPathKind(settings, machine) == kPathFile && FitsMaxPath(kept)) {
    ClearReadOnly(kept, machine);
    platform::Status copied = record.BeforeFile(kept);
    if (copied == platform::kSuccess) copied = machine.files.CopyFile(settings, kept, false);
    if (copied != platform::kSuccess) record.Unwritten(kept);
    platform::FindEntry entry;
    std::unique_ptr<platform::Listing> listing;
    if (copied == platform::kSuccess && machine.files.FindFirst(kept, entry, listing) == platform::kSuccess) {
      ClearReadOnly(kept, machine);
      record.FileCopied(kept, entry.size);
    } else {
      record.Failed(kept, copied == platform::kSuccess ? platform::kFileNotFound : copied);
    }
  }

  const struct {
    const char8_t* name;
    std::u8string text;
  } texts[] = {{u8"", kProductName}, {kStubPathValue.data(), StubPath(installFolder)}, {u8"Version", ActiveSetupVersion(version)}};
  platform::Registry& registry = machine.registry;
  platform::UniqueKey root;
  platform::UniqueKey key;
  // The key as it was (an earlier installation's, or none) is kept first, for a rollback.
  std::vector<std::u8string> names;
  for (const auto& value : texts) names.emplace_back(value.name);
  names.emplace_back(u8"IsInstalled");
  bool allSet = registry.OpenRoot(platform::RootKey::LocalMachine, root) == platform::kSuccess &&
                record.BeforeKeyWrite(root.get(), kHiveLocalMachine, text::FromAnsi(kActiveSetupKeyPath), names) ==
                    platform::kSuccess &&
                registry.CreateKey(root.get(), kActiveSetupKeyPath, key) == platform::kSuccess;
  for (const auto& value : texts) {
    if (!key || registry.SetTextW(key.get(), value.name, platform::kRegSz, value.text) != platform::kSuccess) {
      allSet = false;
    } else {
      record.ValueWritten(platform::RootKey::LocalMachine, kActiveSetupKeyPath, text::Utf8Bytes(value.name),
                          platform::kRegSz, value.text);
    }
  }
  if (!key || registry.SetValue(key.get(), "IsInstalled", platform::kRegDword, platform::DwordData(1)) != platform::kSuccess) {
    allSet = false;
  } else {
    record.ValueWritten(platform::RootKey::LocalMachine, kActiveSetupKeyPath, "IsInstalled", platform::kRegDword, u8"1");
  }
  if (!allSet) Report(&record, std::string("HKEY_LOCAL_MACHINE\\") + kActiveSetupKeyPath);
}

platform::Status RemoveActiveSetup(platform::Registry& registry, std::string_view installFolder) {
  platform::UniqueKey root;
  platform::UniqueKey key;
  platform::Status status = registry.OpenRoot(platform::RootKey::LocalMachine, root);
  if (status == platform::kSuccess) status = registry.OpenKey(root.get(), kActiveSetupKeyPath, platform::Access::Read, key);
  if (status == platform::kFileNotFound) return platform::kSuccess;
  if (status != platform::kSuccess) return status;
  std::uint32_t type = platform::kRegNone;
  std::u8string stub;
  if (registry.QueryTextW(key.get(), kStubPathValue, type, stub) != platform::kSuccess ||
      !text::EqualsNoCaseUtf8(stub, StubPath(installFolder))) {
    return platform::kSuccess;  // another installation's
  }
  key.reset();
  return registry.DeleteKey(root.get(), kActiveSetupKeyPath);
}

UserSetupOutcome RunUserSetup(platform::Machine& machine, InstallLog& log) {
  const InstalledEntry installed = ReadInstalledEntry(machine.registry);
  if (installed.folder.empty()) {
    log.Write(u8"未找到安装（应用和功能中没有本软件），无需设置。");
    return UserSetupOutcome::kNoInstallation;
  }
  log.Write(u8"为当前用户设置，安装文件夹：" + text::FromAnsi(installed.folder));
  InstallRecord record(&log, nullptr);
  platform::UniqueKey user;
  if (machine.registry.OpenRoot(platform::RootKey::CurrentUser, user) == platform::kSuccess) {
    TrustProfiles(machine.registry, CurrentUserOwner(user.get()), text::FromAnsi(installed.folder), &record);
  } else {
    record.Issue(u8"HKEY_CURRENT_USER", kIssueUnreadable);
  }
  PlaceOwnSettings(machine, installed.folder, record);
  return record.Issues().Empty() ? UserSetupOutcome::kDone : UserSetupOutcome::kDoneWithIssues;
}

}  // namespace install
