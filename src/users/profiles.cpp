// AutoCAD's per-user profiles: finding them below a user's hive and trusting the install folder in each.
#include "users/profiles.h"

#include <string_view>
#include <vector>

#include "records/install_texts.h"
#include "users/trusted_paths.h"
#include "platform/utf8_text.h"
#include "platform/text.h"

namespace {

using platform::Access;
using platform::KeyHandle;
using platform::Registry;
using platform::RootKey;
using platform::UniqueKey;

// The trusted-path step goes through the wide functions: profile names and "TRUSTEDPATHS" are
// the user's own text, in any language, and names may be as long as Windows allows.
constexpr std::u8string_view kAcadUserRoot = u8"SOFTWARE\\Autodesk\\AutoCAD";
constexpr std::u8string_view kTrustedPathsValue = u8"TRUSTEDPATHS";
constexpr std::u8string_view kCurrentUserName = u8"HKEY_CURRENT_USER";

// "<root>\<path>" as regedit names it, the root being "HKEY_CURRENT_USER" or "HKEY_USERS\<SID>".
std::u8string UserKeyName(std::u8string_view root, std::u8string_view path) {
  std::u8string name(root);
  if (!path.empty()) name.append(1, u8'\\').append(path);
  return name;
}

// "<base>\<name><suffix>": a key name holds no backslash of its own.
std::u8string ChildPath(std::u8string_view base, std::u8string_view name, std::u8string_view suffix) {
  std::u8string path(base);
  path.append(1, u8'\\').append(name).append(suffix);
  return path;
}

// The old "TRUSTEDPATHS" of one profile: whether there is one, its type, and its text when it is text.
struct OldTrustedPaths {
  bool exists = false;
  std::uint32_t type = platform::kRegNone;
  std::u8string text;
};

// False when it cannot be told (the key or the value exists but cannot be read): the profile is
// then left alone rather than overwritten.
bool ReadTrustedPaths(Registry& registry, KeyHandle user, std::u8string_view variablesPath, OldTrustedPaths& old) {
  old = {};
  UniqueKey variables;
  const platform::Status opened = registry.OpenKeyW(user, variablesPath, Access::Read, variables);
  if (opened == platform::kFileNotFound) return true;
  if (opened != platform::kSuccess) return false;
  const platform::Status read = registry.QueryTextW(variables.get(), kTrustedPathsValue, old.type, old.text);
  if (read == platform::kFileNotFound) return true;
  old.exists = true;
  return read == platform::kSuccess;
}

}  // namespace

void ListProfileVariables(Registry& registry, KeyHandle user, std::vector<std::u8string>& variables,
                          std::vector<std::u8string>& unreadable) {
  // Opens `path` below the user's key and adds "<path>\<child><suffix>" for every child key that
  // can be read; a key that exists but cannot be opened, and children that cannot be read, are
  // named in `unreadable`.
  const auto addChildPaths = [&](std::u8string_view path, std::u8string_view suffix, std::vector<std::u8string>& out) {
    UniqueKey key;
    const platform::Status opened = registry.OpenKeyW(user, path, Access::Read, key);
    if (opened != platform::kSuccess) {
      if (opened != platform::kFileNotFound) unreadable.emplace_back(path);
      return;
    }
    std::vector<std::u8string> children;
    std::vector<std::u8string> hidden;
    ListSubKeys(registry, key.get(), children, &hidden);
    for (const std::u8string& name : hidden) {
      unreadable.push_back(name.empty() ? std::u8string(path) : ChildPath(path, name, u8""));
    }
    for (const std::u8string& child : children) out.push_back(ChildPath(path, child, suffix));
  };

  // Every product key of every release under the user's AutoCAD key (none when there is no such
  // key), then every profile of those products; a product without "Profiles" yields none.
  std::vector<std::u8string> releasePaths;
  addChildPaths(kAcadUserRoot, u8"", releasePaths);
  std::vector<std::u8string> profilesPaths;
  for (const std::u8string& release : releasePaths) addChildPaths(release, u8"\\Profiles", profilesPaths);
  for (const std::u8string& profiles : profilesPaths) addChildPaths(profiles, u8"\\Variables", variables);
}

void AddTrustedPath(const CAcadCatalog& catalog, platform::Machine& machine, install::InstallRecord* record) {
  UniqueKey user;
  if (machine.registry.OpenRoot(RootKey::CurrentUser, user) != platform::kSuccess) {
    install::Report(record, UserKeyName(kCurrentUserName, kAcadUserRoot), install::kIssueUnreadable);
    return;
  }
  // The folder was typed as ANSI text, which converts to Unicode without loss.
  TrustProfiles(machine.registry, CurrentUserOwner(user.get()), text::AnsiToU8(catalog.m_strInstallFolder), record);
}

ProfileOwner CurrentUserOwner(KeyHandle root) { return {root, std::u8string(kCurrentUserName), std::nullopt}; }

void TrustProfiles(Registry& registry, const ProfileOwner& owner, std::u8string_view folder,
                   install::InstallRecord* record) {
  // A user key that exists but would not be read hides the profiles below it: they are named,
  // since their "TRUSTEDPATHS" stays without the folder.
  std::vector<std::u8string> unreadable;
  std::vector<std::u8string> variablesPaths;
  ListProfileVariables(registry, owner.root, variablesPaths, unreadable);
  for (const std::u8string& path : unreadable) {
    install::Report(record, UserKeyName(owner.keyName, path), install::kIssueUnreadable);
  }

  // The merge, value by value, read and written whole.
  for (const std::u8string& variables : variablesPaths) {
    std::u8string valueName = UserKeyName(owner.keyName, variables);
    valueName.append(1, u8'\\').append(kTrustedPathsValue);
    OldTrustedPaths old;
    if (!ReadTrustedPaths(registry, owner.root, variables, old)) {
      install::Report(record, valueName, install::kIssueUnreadable);
      continue;
    }
    // Only text can hold paths; a value of another type is the user's (or another program's)
    // and is left exactly as it is.
    if (old.exists && old.type != platform::kRegSz && old.type != platform::kRegExpandSz) {
      install::Report(record, valueName, install::kIssueNotText);
      continue;
    }
    const std::uint32_t type = old.exists ? old.type : platform::kRegSz;
    const std::u8string newText = MergeTrustedPaths(old.text, folder);
    // A profile without "Variables" gets the key. What was there is kept first, for a rollback.
    UniqueKey key;
    if ((record != nullptr &&
         record->BeforeKeyWrite(owner.root, owner.sid ? *owner.sid : std::u8string(install::kHiveCurrentUser), variables,
                                {std::u8string(kTrustedPathsValue)}) != platform::kSuccess) ||
        registry.CreateKeyW(owner.root, variables, key) != platform::kSuccess ||
        registry.SetTextW(key.get(), kTrustedPathsValue, type, newText) != platform::kSuccess) {
      install::Report(record, valueName);
      continue;
    }
    if (record != nullptr) {
      // The entry the merge appended (or that replaced a text holding none), for the uninstaller.
      std::u8string added;
      if (!TrustedPathsContain(old.text, folder)) {
        const std::size_t split = newText.rfind(u8';');
        added = split == std::u8string::npos ? newText : newText.substr(split + 1);
      }
      record->TrustedPathsChanged(owner.sid, owner.keyName, variables, old.text, newText, added, !old.exists);
    }
  }
}

void ListSubKeys(Registry& registry, KeyHandle key, std::vector<std::u8string>& names,
                 std::vector<std::u8string>* unreadable) {
  // A key that vanished between its enumeration and its opening was not there to be read.
  const auto missed = [unreadable](std::u8string_view name) {
    if (unreadable != nullptr) unreadable->emplace_back(name);
  };
  std::uint32_t count = 0;
  if (registry.CountSubKeys(key, count) != platform::kSuccess) {
    missed(u8"");
    return;
  }
  for (std::uint32_t index = 0; index < count; ++index) {
    std::u8string name;
    const platform::Status named = registry.EnumSubKeyW(key, index, name);
    if (named != platform::kSuccess) {
      if (named != platform::kNoMoreItems) missed(u8"");
      continue;
    }
    UniqueKey sub;
    const platform::Status opened = registry.OpenKeyW(key, name, Access::Read, sub);
    if (opened == platform::kSuccess) {
      names.push_back(name);
    } else if (opened != platform::kFileNotFound) {
      missed(name);
    }
  }
}
