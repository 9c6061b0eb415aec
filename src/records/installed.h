// The installation on this machine as its Apps & features entry describes it: where it is and
// which version it is. Read before anything changes, by the installation (a newer version is not
// replaced by an older one, the folder box starts from the installed folder), by the uninstall
// (which installation to remove) and by the users' own set-up at sign-in.
#pragma once
#include <string>
#include <vector>

#include "platform/registry.h"

namespace install {

struct InstalledEntry {
  std::string folder;       // InstallLocation (ANSI); empty when there is no entry or no folder in it
  std::u8string version;    // DisplayVersion ("2025.04.28"); empty when none
};

// The entry under HKEY_LOCAL_MACHINE, read through the registry as it is; nothing when there is
// none (an empty folder and version).
InstalledEntry ReadInstalledEntry(platform::Registry& registry);

// The folder chosen at that installation (InstallLocation without its "\V-ZurezUvad"), which the
// folder box and /S without /DIR start from; empty when there is none or it is not of that form.
std::string InstalledChosenFolder(const InstalledEntry& entry);

// Dotted versions compared number by number ("2025.4.28" equals "2025.04.28", "2025.10.1" is later
// than "2025.9.30"); a missing number counts as 0. Negative, zero or positive as strcmp. A part
// that is not a number compares below every number, so that a damaged entry never passes for a
// later version.
int CompareVersions(std::u8string_view a, std::u8string_view b);

}  // namespace install
