// The installation's entry in Apps & features, and the uninstaller it names in the install folder.
#pragma once
#include <string>

#include "records/addon_names.h"
#include "records/install_record.h"
#include "platform/machine.h"

namespace install {

inline constexpr const char8_t* kUninstallSwitch = u8" /UNINSTALL";
inline constexpr const char8_t* kQuietSwitch = u8" /S";

// "2025.04.28" for the build's version number 20250428.
std::u8string VersionText(int version);

// After an installation that ran to its end: a copy of the running program as VornexSetup.exe in
// the install folder, then the entry naming it, both recorded. What fails goes into `record`;
// without the program no entry is written, since it would offer an uninstall that cannot start.
// `version` is the build's g_nVersion.
// With `systemComponent`, the entry carries SystemComponent 1, which Apps & features does not list:
// installed through the MSI, the package's own entry is the one people see and remove.
void RegisterUninstaller(platform::Machine& machine, const std::string& installFolder, int version,
                         InstallRecord& record, bool systemComponent = false);

}  // namespace install
