// AutoCAD's per-user profiles: whose they are, where they lie below a user's hive, and the install
// folder merged into each one's "TRUSTEDPATHS".
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "records/install_record.h"

// Merges the catalogue's install folder into "TRUSTEDPATHS" of every profile of every AutoCAD
// product of the current user, through the wide registry functions so that every entry and every
// profile survives whatever its language. A value that could not be written, or was left alone
// because it could not be read or is not text, goes into `record`, and so does a user key that hid
// profiles from the search.
void AddTrustedPath(const CAcadCatalog& catalog, platform::Machine& machine,
                    install::InstallRecord* record = nullptr);

// Whose AutoCAD profiles a step works on: the user running the installer (HKEY_CURRENT_USER), or
// another user reached through his own hive.
struct ProfileOwner {
  platform::KeyHandle root;            // the top of the user's hive
  std::u8string keyName;               // how keys below `root` are named: "HKEY_CURRENT_USER", "HKEY_USERS\<SID>"
  std::optional<std::u8string> sid;    // none for the user running the installer
};

// The user running the installer, whose hive is open at `root` (HKEY_CURRENT_USER).
ProfileOwner CurrentUserOwner(platform::KeyHandle root);

// AddTrustedPath's merge for one user: every profile below `owner.root`, `folder` being the
// install folder.
void TrustProfiles(platform::Registry& registry, const ProfileOwner& owner, std::u8string_view folder,
                   install::InstallRecord* record);

// The path of every profile's Variables key of every AutoCAD product of a user (below `user`, the
// user's root): "SOFTWARE\Autodesk\AutoCAD\<release>\<product>\Profiles\<profile>\Variables", read
// with the wide functions. A key on the way that exists but would not be read hides the profiles
// below it; its path goes into `unreadable`.
void ListProfileVariables(platform::Registry& registry, platform::KeyHandle user, std::vector<std::u8string>& variables,
                          std::vector<std::u8string>& unreadable);

// Appends the name of every sub-key of `key` that opens for reading, in enumeration order, read
// with the wide functions: any name Windows allows, in any language. When `unreadable` is given,
// it gets the name of every sub-key that exists but would not open, and an empty name when the
// sub-keys could not be counted or a name could not be read (the key itself then stands for what
// was missed).
void ListSubKeys(platform::Registry& registry, platform::KeyHandle key, std::vector<std::u8string>& names,
                 std::vector<std::u8string>* unreadable = nullptr);
