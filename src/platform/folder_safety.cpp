// The folder-safety rule over what the file system reports.
#include "platform/folder_safety.h"

#include <algorithm>
#include <map>

#include "platform/text.h"

namespace install {
namespace {

// "X:\"
constexpr std::size_t kRootLength = 3;

// What lets someone swap the folder, or what is in it, for their own: deleting or renaming it,
// deleting its contents, taking it over by changing its list or its owner.
constexpr std::uint32_t kReplacingRights =
    platform::kRightDelete | platform::kRightDeleteChild | platform::kRightWriteDac | platform::kRightWriteOwner;

// What lets someone put a file of their own into the folder, or change what it looks like:
// FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, FILE_WRITE_EA, FILE_WRITE_ATTRIBUTES.
constexpr std::uint32_t kWritingRights = 0x2 | 0x4 | 0x10 | 0x100;

bool IsTrusted(std::string_view sid, std::string_view account) {
  // An account that could not be read matches nobody, not an owner left empty.
  return sid == platform::kSidAdministrators || sid == platform::kSidSystem || sid == platform::kSidTrustedInstaller ||
         (!account.empty() && sid == account);
}

}  // namespace

namespace {

bool OthersHave(const platform::FileSecurity& security, std::string_view account, std::uint32_t replacing) {
  if (!IsTrusted(security.owner, account)) return true;
  // Windows reads the list in order and a right once denied to a principal stays denied to it. A
  // denial to a group someone belongs to would take rights back too, but group membership is not
  // known here, so only the same principal's denials count: the rule errs towards asking.
  std::map<std::string, std::uint32_t> denied;
  for (const platform::AccessEntry& entry : security.entries) {
    if (entry.inheritOnly) continue;
    if (!entry.allow) {
      denied[entry.sid] |= entry.mask;
      continue;
    }
    if (IsTrusted(entry.sid, account)) continue;
    const auto earlier = denied.find(entry.sid);
    const std::uint32_t taken = earlier != denied.end() ? earlier->second : 0;
    if ((entry.mask & ~taken & replacing) != 0) return true;
  }
  return false;
}

}  // namespace

bool OthersCanReplace(const platform::FileSecurity& security, std::string_view account, bool driveRoot) {
  return OthersHave(security, account, driveRoot ? kReplacingRights & ~platform::kRightDelete : kReplacingRights);
}

bool OthersCanWrite(const platform::FileSecurity& security, std::string_view account) {
  return OthersHave(security, account, kReplacingRights | kWritingRights);
}

std::string FindReplaceableFolder(platform::Machine& machine, const std::string& chosen) {
  std::string account;
  if (machine.system.AccountSid(account) != platform::kSuccess) account.clear();
  std::string folder = chosen;
  for (;;) {
    const bool root = folder.size() <= kRootLength;
    platform::FileSecurity security;
    const platform::Status status = machine.files.ReadSecurity(folder, security);
    const bool missing = status == platform::kFileNotFound || status == platform::kPathNotFound;
    if (!missing && (status != platform::kSuccess || OthersCanReplace(security, account, root))) return folder;
    if (root) return std::string();
    const std::size_t cut = text::ReverseFind(folder, '\\');
    if (cut == std::string::npos) return std::string();
    folder.resize(cut < kRootLength ? kRootLength : cut);
  }
}

bool IsReparsePoint(platform::FileSystem& files, const std::string& path) {
  std::uint32_t attributes = 0;
  return files.GetAttributes(path, attributes) == platform::kSuccess &&
         (attributes & platform::kAttrReparsePoint) != 0;
}

std::string FindUntrustedInstallFolder(platform::Machine& machine, const std::string& installFolder) {
  std::string account;
  if (machine.system.AccountSid(account) != platform::kSuccess) account.clear();
  platform::FileSecurity security;
  if (IsReparsePoint(machine.files, installFolder) ||
      machine.files.ReadSecurity(installFolder, security) != platform::kSuccess ||
      OthersCanWrite(security, account)) {
    return installFolder;
  }
  const std::size_t cut = text::ReverseFind(installFolder, '\\');
  if (cut == std::string::npos || cut < kRootLength - 1) return installFolder;
  const std::string above = installFolder.substr(0, cut < kRootLength ? kRootLength : cut);
  // A link above leads the whole path elsewhere, whoever may change the folder it leads to.
  for (std::string level = above; level.size() > kRootLength;) {
    if (IsReparsePoint(machine.files, level)) return level;
    const std::size_t slash = text::ReverseFind(level, '\\');
    if (slash == std::string::npos) break;
    level.resize(std::max(slash, kRootLength));
  }
  return FindReplaceableFolder(machine, above);
}

}  // namespace install
