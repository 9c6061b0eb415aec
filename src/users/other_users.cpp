// Other users' profiles and settings files, reached through their hives.
#include "users/other_users.h"

#include <optional>
#include <string>

#include "platform/folder_rules.h"
#include "records/install_texts.h"
#include "platform/path_limits.h"
#include "platform/file_queries.h"
#include "records/addon_names.h"
#include "users/profiles.h"
#include "users/user_hives.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

constexpr std::u8string_view kUsersRootName = u8"HKEY_USERS\\";

// The payload's settings file copied into the user's roaming folder, unless one is there. The
// folder the user's hive names may be redirected to a share the installer cannot write, or be
// unnameable in the ANSI code page the file functions take: the user is then named in `record`.
void PlaceSettingsFile(platform::Machine& machine, platform::KeyHandle root, const OtherUser& user,
                       const std::string& source, InstallRecord& record) {
  const std::u8string label = UserLabel(user.name, user.sid);
  std::u8string roaming;
  platform::Status status = RoamingAppData(machine, root, user, roaming);
  std::string folder;
  if (status == platform::kSuccess &&
      !text::ToAnsi(roaming + u8"\\" + text::AnsiToU8(kSettingsFolderName), folder)) {
    status = platform::kNoUnicodeTranslation;
  }
  const std::string target = folder + "\\" + kSettingsFileName;
  if (status == platform::kSuccess && !FitsMaxPath(target)) status = platform::kFilenameTooLong;
  if (status != platform::kSuccess) {
    return record.Failed(label + u8" " + roaming, status, kIssueNoSettingsFile);
  }
  // Every level, as Windows would make the roaming folder at the user's next sign-in; a folder
  // redirected to a share (\\server\...) has no drive letter for that, and gets its last level only.
  // A failure here shows up as the copy's failure.
  // Never over the user's own file, however it came there: the copy is refused when one exists.
  if (GetPathKind(target, machine) != kPathNone) return record.Note(u8"保留用户已有的设置文件 " + text::AnsiToU8(target));
  status = record.BeforeFolders(folder);
  if (status == platform::kSuccess && CreateFolderPath(machine.files, folder, false) != platform::kSuccess) {
    (void)machine.files.CreateDirectory(folder);
  }
  if (status == platform::kSuccess) status = record.BeforeFile(target);
  if (status == platform::kSuccess) status = machine.files.CopyFile(source, target, true);
  if (status == platform::kFileExists || status == platform::kAlreadyExists) {
    return record.Note(u8"保留用户已有的设置文件 " + text::AnsiToU8(target));
  }
  if (status != platform::kSuccess) return record.Failed(label + u8" " + text::AnsiToU8(target), status);
  platform::FindEntry placed;
  std::unique_ptr<platform::Listing> listing;
  record.FileCopied(target, machine.files.FindFirst(target, placed, listing) == platform::kSuccess ? placed.size : 0);
}

}  // namespace

std::u8string ProfileListName() { return u8"HKEY_LOCAL_MACHINE\\" + std::u8string(kProfileListPath); }

ProfileOwner OwnerOf(const OtherUser& user, platform::KeyHandle root) {
  const std::u8string sid = text::FromAnsi(user.sid);
  return {root, std::u8string(kUsersRootName) + sid, sid};
}

std::u8string UserLabel(std::u8string_view name, std::string_view sid) {
  std::u8string label = u8"用户 ";
  label.append(name);
  const std::u8string id = text::FromAnsi(sid);
  if (name != id) label.append(u8"（").append(id).append(u8"）");
  return label;
}

void ReachOtherUsers(const CAcadCatalog& catalog, const std::string& settings, platform::Machine& machine,
                     InstallRecord& record) {
  const std::u8string folder = text::AnsiToU8(catalog.m_strInstallFolder);
  std::vector<HiveFailure> failures;
  const platform::Status listed = ForEachOtherUserHive(machine, failures, kEveryUser, [&](const OtherUser& user, platform::KeyHandle root) {
    record.Note(UserLabel(user.name, user.sid) + (user.hiveLoaded ? u8"：已登录" : u8"：已加载其注册表"));
    TrustProfiles(machine.registry, OwnerOf(user, root), folder, &record);
    if (!settings.empty() && GetPathKind(settings, machine) == kPathFile) {
      PlaceSettingsFile(machine, root, user, settings, record);
    }
  });
  if (listed != platform::kSuccess) record.Failed(ProfileListName(), listed, kIssueUsersUnlisted);
  for (const HiveFailure& failure : failures) {
    if (failure.departed) {
      record.Note(UserLabel(failure.user, failure.sid) + kUserDepartedNote);
      continue;
    }
    record.Failed(UserLabel(failure.user, failure.sid), failure.status,
                  failure.workDone ? kIssueHiveStillLoaded : kIssueHiveUnreachable);
  }
}

}  // namespace install
