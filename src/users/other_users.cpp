// Other users' profiles and settings files, reached through their hives.
#include "users/other_users.h"

#include <optional>
#include <string>

#include "platform/folder_rules.h"
#include "records/install_log.h"
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

// "X:\"
constexpr std::size_t kRootLength = 3;

// Whether `folder` lies inside the profile folder `profile` (both ANSI, full paths) on a drive
// letter, named by plain folder names (no "." or "..", no "/", no stream), with no junction, link
// or mount point at any level below the profile folder that exists already. The user's own hive
// names his roaming folder, and he may name anything: System32, a share on a host of his choosing
// (which SYSTEM would sign in to), or a folder of his with a link inside it.
bool IsInsideProfile(platform::FileSystem& files, const std::string& profile, const std::string& folder) {
  if (CreateFolderPath(files, profile, true) != platform::kSuccess || profile.size() <= kRootLength) return false;
  if (folder.size() <= profile.size() + 1 || folder[profile.size()] != '\\' ||
      !text::EqualsNoCase(std::string_view(folder).substr(0, profile.size()), profile)) {
    return false;
  }
  for (std::size_t start = profile.size() + 1;;) {
    const std::size_t end = text::Find(folder, '\\', start);
    const std::size_t stop = end == std::string::npos ? folder.size() : end;
    if (!platform::IsFolderNameValid(std::string_view(folder).substr(start, stop - start))) return false;
    std::uint32_t attributes = 0;
    const platform::Status there = files.GetAttributes(folder.substr(0, stop), attributes);
    if (there == platform::kSuccess && (attributes & platform::kAttrReparsePoint) != 0) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// Makes the levels of `folder` below `profile` that are missing, each owned by the user, as
// Windows would make his roaming folder at his next sign-in. A failure shows up as the copy's.
void MakeUsersFolders(platform::FileSystem& files, const std::string& profile, const std::string& folder,
                      const OtherUser& user) {
  for (std::size_t end = text::Find(folder, '\\', profile.size() + 1);; end = text::Find(folder, '\\', end + 1)) {
    const std::string level = folder.substr(0, end == std::string::npos ? folder.size() : end);
    if (files.CreateDirectory(level) == platform::kSuccess) (void)files.SetOwner(level, user.sid);
    if (end == std::string::npos) return;
  }
}

// The payload's settings file copied into the user's roaming folder, unless one is there. The
// folder the user's hive names may lie outside his profile, on a share, behind a link, or be
// unnameable in the ANSI code page the file functions take: the user is then named in `record`.
void PlaceSettingsFile(platform::Machine& machine, platform::KeyHandle root, const OtherUser& user,
                       const std::string& source, InstallRecord& record) {
  const std::u8string label = UserLabel(user.name, user.sid);
  std::u8string roaming;
  platform::Status status = RoamingAppData(machine, root, user, roaming);
  std::string folder;
  std::string profile;
  if (status == platform::kSuccess &&
      (!text::ToAnsi(roaming + u8"\\" + text::AnsiToU8(kSettingsFolderName), folder) ||
       !text::ToAnsi(user.profilePath, profile))) {
    status = platform::kNoUnicodeTranslation;
  }
  const std::string target = folder + "\\" + kSettingsFileName;
  if (status == platform::kSuccess && !FitsMaxPath(target)) status = platform::kFilenameTooLong;
  if (status != platform::kSuccess) {
    return record.Failed(label + u8" " + roaming, status, kIssueNoSettingsFile);
  }
  if (!IsInsideProfile(machine.files, profile, folder)) {
    return record.Failed(label + u8" " + text::AnsiToU8(target), platform::kBadPathName, kIssueSettingsOutsideProfile);
  }
  // Never over the user's own file, however it came there: the copy is refused when one exists.
  if (GetPathKind(target, machine) != kPathNone) return record.Note(u8"保留用户已有的设置文件 " + text::AnsiToU8(target));
  // The levels about to be made are kept first, for a rollback; a failure to make one shows up as
  // the copy's failure.
  status = record.BeforeFolders(folder);
  if (status == platform::kSuccess) MakeUsersFolders(machine.files, profile, folder, user);
  if (status == platform::kSuccess) status = record.BeforeFile(target);
  if (status == platform::kSuccess) status = machine.files.CopyFile(source, target, true);
  if (status == platform::kFileExists || status == platform::kAlreadyExists) {
    return record.Note(u8"保留用户已有的设置文件 " + text::AnsiToU8(target));
  }
  if (status != platform::kSuccess) return record.Failed(label + u8" " + text::AnsiToU8(target), status);
  // His file, like the folders above it: he may change or delete it as his own.
  if (const platform::Status owned = machine.files.SetOwner(target, user.sid); owned != platform::kSuccess) {
    record.Note(u8"无法把 " + text::AnsiToU8(target) + u8" 的所有者设为" + label + u8"：" +
                DescribeError(machine.logging.errors, owned));
  }
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
