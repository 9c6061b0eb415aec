// Other users' profiles from ProfileList, and their hives reached through HKEY_USERS.
#include "users/user_hives.h"

#include <utility>

#include "platform/text.h"
#include "platform/user_environment.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

using platform::Access;
using platform::Status;
using platform::UniqueKey;

constexpr std::u8string_view kProfileImagePath = u8"ProfileImagePath";
constexpr std::u8string_view kUserShellFolders =
    u8"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::u8string_view kAppDataValue = u8"AppData";
// What Windows gives a profile whose hive names no roaming folder of its own.
constexpr std::u8string_view kDefaultAppData = u8"%USERPROFILE%\\AppData\\Roaming";
// Loaded under a name of our own, so that nothing else takes the hive for its user's session.
constexpr std::u8string_view kHivePrefix = u8"VornexSetup_";
constexpr std::u8string_view kHiveFile = u8"\\NTUSER.DAT";

constexpr std::string_view kUserSidPrefixes[] = {"S-1-5-21-", "S-1-12-1-"};

// The profile folder of a ProfileList entry, expanded with the machine's environment
// (ProfileImagePath may start with %SystemDrive%).
Status ReadProfilePath(platform::Machine& machine, platform::KeyHandle profileList, const std::u8string& sid,
                       std::u8string& path) {
  UniqueKey entry;
  if (const Status st = machine.registry.OpenKeyW(profileList, sid, Access::Read, entry); st != platform::kSuccess) {
    return st;
  }
  std::uint32_t type = platform::kRegNone;
  std::u8string text;
  if (const Status st = machine.registry.QueryTextW(entry.get(), kProfileImagePath, type, text);
      st != platform::kSuccess) {
    return st;
  }
  if ((type != platform::kRegSz && type != platform::kRegExpandSz) || text.empty()) return platform::kInvalidData;
  return platform::ExpandForUser(text, u8"", machine.system, path);
}

}  // namespace

bool IsUserSid(std::string_view sid) {
  for (const std::string_view prefix : kUserSidPrefixes) {
    if (sid.size() <= prefix.size() || !text::EqualsNoCase(sid.substr(0, prefix.size()), prefix)) continue;
    // Numbers between dashes and nothing else: "<SID>.bak" is a profile Windows set aside as damaged.
    bool digit = false;
    for (const char c : sid.substr(prefix.size())) {
      if (c == '-' && digit) {
        digit = false;
      } else if (c >= '0' && c <= '9') {
        digit = true;
      } else {
        return false;
      }
    }
    return digit;
  }
  return false;
}

std::u8string TemporaryHiveName(std::string_view sid) {
  std::u8string name(kHivePrefix);
  name.append(text::FromAnsi(sid));
  return name;
}

Status UnloadLeftHives(platform::Registry& registry, std::vector<std::u8string>& stayed) {
  stayed.clear();
  std::vector<std::u8string> ours;
  {
    UniqueKey users;
    if (const Status st = registry.OpenUsersRoot(users); st != platform::kSuccess) return st;
    std::uint32_t count = 0;
    if (const Status st = registry.CountSubKeys(users.get(), count); st != platform::kSuccess) return st;
    // Listed whole first: an unloaded hive would shift the indices of the ones after it.
    for (std::uint32_t index = 0; index < count; ++index) {
      std::u8string name;
      if (registry.EnumSubKeyW(users.get(), index, name) != platform::kSuccess) continue;
      if (name.size() > kHivePrefix.size() &&
          text::EqualsNoCaseUtf8(std::u8string_view(name).substr(0, kHivePrefix.size()), kHivePrefix)) {
        ours.push_back(std::move(name));
      }
    }
  }
  for (const std::u8string& name : ours) {
    if (registry.UnloadHive(name) != platform::kSuccess) stayed.push_back(name);
  }
  return platform::kSuccess;
}

Status ListOtherUsers(platform::Machine& machine, std::vector<OtherUser>& users) {
  users.clear();
  platform::Registry& registry = machine.registry;
  UniqueKey localMachine;
  UniqueKey profileList;
  if (const Status st = registry.OpenRoot(platform::RootKey::LocalMachine, localMachine); st != platform::kSuccess) {
    return st;
  }
  if (const Status st = registry.OpenKeyW(localMachine.get(), kProfileListPath, Access::Read, profileList);
      st != platform::kSuccess) {
    // No list at all: nobody has a profile here but, at most, the account running the installer.
    return st == platform::kFileNotFound ? platform::kSuccess : st;
  }
  // Without the running account's SID nobody can be left out; its hive is then reached twice,
  // through HKEY_CURRENT_USER and here, which changes nothing the second time.
  std::string self;
  if (machine.system.AccountSid(self) != platform::kSuccess) self.clear();
  UniqueKey loadedHives;
  const bool canSeeLoaded = registry.OpenUsersRoot(loadedHives) == platform::kSuccess;

  Status result = platform::kSuccess;
  std::uint32_t count = 0;
  if (const Status st = registry.CountSubKeys(profileList.get(), count); st != platform::kSuccess) return st;
  for (std::uint32_t index = 0; index < count; ++index) {
    std::u8string entry;
    if (const Status st = registry.EnumSubKeyW(profileList.get(), index, entry); st != platform::kSuccess) {
      if (st != platform::kNoMoreItems) result = st;
      continue;
    }
    const std::string sid(entry.begin(), entry.end());  // a SID is ASCII; anything else fails IsUserSid
    if (!IsUserSid(sid) || text::EqualsNoCase(sid, self)) continue;
    OtherUser user;
    user.sid = sid;
    if (machine.system.AccountName(sid, user.name) != platform::kSuccess) user.name = entry;
    user.profileStatus = ReadProfilePath(machine, profileList.get(), entry, user.profilePath);
    if (user.profileStatus != platform::kSuccess) user.profilePath.clear();
    UniqueKey hive;
    user.hiveLoaded = canSeeLoaded && registry.OpenKeyW(loadedHives.get(), entry, Access::Read, hive) == platform::kSuccess;
    users.push_back(std::move(user));
  }
  return result;
}

Status UserHive::Open(platform::Machine& machine, const OtherUser& user) {
  if (const Status st = Close(); st != platform::kSuccess) return st;
  platform::Registry& registry = machine.registry;
  UniqueKey users;
  if (const Status st = registry.OpenUsersRoot(users); st != platform::kSuccess) return st;
  // Signed in: the hive is there already, and stays when we are done.
  Status st = registry.OpenKeyW(users.get(), text::FromAnsi(user.sid), Access::ReadWrite, root_);
  if (st != platform::kFileNotFound) return st;

  const std::u8string name = TemporaryHiveName(user.sid);
  // Still loaded under our name: a run stopped before it could unload it. It is used and
  // unloaded now, which gives the user his profile back.
  st = registry.OpenKeyW(users.get(), name, Access::ReadWrite, root_);
  if (st == platform::kSuccess) {
    loaded_.Adopt(registry, name);
    return platform::kSuccess;
  }
  if (st != platform::kFileNotFound) return st;
  if (user.profilePath.empty()) return user.profileStatus != platform::kSuccess ? user.profileStatus : platform::kInvalidData;
  if (st = loaded_.Load(registry, name, user.profilePath + std::u8string(kHiveFile)); st != platform::kSuccess) return st;
  if (st = registry.OpenKeyW(users.get(), name, Access::ReadWrite, root_); st != platform::kSuccess) {
    static_cast<void>(loaded_.Unload());
    return st;
  }
  return platform::kSuccess;
}

Status UserHive::Close() {
  root_.reset();
  return loaded_.Unload();
}

Status RoamingAppData(platform::Machine& machine, platform::KeyHandle hiveRoot, const OtherUser& user,
                      std::u8string& folder) {
  folder.clear();
  std::u8string text(kDefaultAppData);
  UniqueKey shellFolders;
  Status st = machine.registry.OpenKeyW(hiveRoot, kUserShellFolders, Access::Read, shellFolders);
  if (st == platform::kSuccess) {
    std::uint32_t type = platform::kRegNone;
    std::u8string named;
    st = machine.registry.QueryTextW(shellFolders.get(), kAppDataValue, type, named);
    if (st == platform::kSuccess) {
      // Explorer expands plain text too, and so do we.
      if ((type != platform::kRegSz && type != platform::kRegExpandSz) || named.empty()) return platform::kInvalidData;
      text = std::move(named);
    }
  }
  if (st != platform::kSuccess && st != platform::kFileNotFound) return st;
  std::u8string expanded;
  if (st = platform::ExpandForUser(text, user.profilePath, machine.system, expanded); st != platform::kSuccess) {
    return st;
  }
  folder = std::move(expanded);
  return platform::kSuccess;
}

}  // namespace install
