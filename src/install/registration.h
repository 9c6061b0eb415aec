// Registration with AutoCAD: demand-load entries per product key and the trusted install folder per profile.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "discovery/release_years.h"
#include "install/install_record.h"
#include "platform/machine.h"
#include "platform/registry.h"

// One selection flag per release year, kFirstYear first; non-zero means selected.
using ReleaseFlags = std::array<int, static_cast<std::size_t>(kYearCount)>;

// The module files that serve a release: their years need not be the release year.
struct ModuleYears {
  int arx;      // "VX_ZurezUvad<arx>.ARX" in the install folder
  int managed;  // "VXCAD<managed>P.dll" in the AutoCAD folder
};
// Nothing for a year the installer does not serve.
std::optional<ModuleYears> FindModuleYears(int releaseYear);

// The demand-load keys of a release, below its product key: "Applications\VX_ZurezUvad<year>" for
// the ARX module, "Applications\Vornex<year>DLLP" for the managed one.
std::string ArxKeyName(int year);
std::string ManagedKeyName(int year);

// Writes the load entries of every selected release, then trusts the install folder in every
// AutoCAD profile of the current user (also when nothing is selected). Shows nothing: what fails
// is skipped, the next step runs, and the key or value left undone goes into `record` if given.
// `bitness` is the build's g_nBitness (ui/build_constants.h), handed down by the install sequence.
void RegisterWithAcad(const CAcadCatalog& catalog, const ReleaseFlags& flags, int bitness,
                      platform::Machine& machine,
                      install::InstallRecord* record = nullptr);

// The load entries of one release under each of its product keys; what fails is skipped (and
// named in `record`). The 64-bit edition of 2009 also gets the 2008 module's key.
void RegisterRelease(const CAcadCatalog& catalog, int releaseYear, int bitness,
                     platform::Machine& machine,
                     install::InstallRecord* record = nullptr);

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
