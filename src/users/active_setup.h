// Users who sign in after the installation: Windows' Active Setup runs the installed program once
// for each user at his sign-in, as that user, without elevation, and the program gives him what
// the installation gave the users it found: the install folder trusted in his AutoCAD profiles and
// a settings file when he has none. A deployment tool that has detected the add-on never runs the
// installation again, so this is how hot-desk users and new accounts are reached.
#pragma once
#include <string>
#include <string_view>

#include "platform/machine.h"
#include "records/install_log.h"
#include "records/install_record.h"

namespace install {

// Under HKEY_LOCAL_MACHINE, in the native (64-bit) view.
inline constexpr const char* kActiveSetupKeyPath = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\VornexSetup";
// The payload's settings file, kept in the install folder under the installer's own name for the
// users who sign in later (the add-on's own settings file never lies in the install folder).
inline constexpr const char* kSettingsTemplateName = "VornexSetup.Ini";
inline constexpr const char8_t* kUserSetupSwitch = u8" /USERSETUP";

// Active Setup's form of the build's version: "2025,4,28" for 20250428. Windows runs the stub
// again for a user once this is higher than what it ran for him.
std::u8string ActiveSetupVersion(int version);

// After an installation that placed its uninstaller: the payload's settings file `settings` (none
// when it is not a file) kept as kSettingsTemplateName in `installFolder`, then the Active Setup
// key naming the installed VornexSetup.exe, each recorded; what fails goes into `record`.
void RegisterActiveSetup(platform::Machine& machine, const std::string& installFolder, const std::string& settings,
                         int version, InstallRecord& record);

// Removes the Active Setup key when its StubPath names the program of `installFolder`: another
// installation's key stays. kSuccess also when there is none, or it is another's.
[[nodiscard]] platform::Status RemoveActiveSetup(platform::Registry& registry, std::string_view installFolder);

enum class UserSetupOutcome {
  kNoInstallation,  // no Apps & features entry: nothing to do, nothing changed
  kDone,            // every profile trusts the folder (none at all is fine), the settings file is there
  kDoneWithIssues,  // a profile or the settings file could not be done; the log names it
};

// /USERSETUP, as the user signing in: the installed folder (the Apps & features entry's) merged
// into TRUSTEDPATHS of every AutoCAD profile of this user, and the kept settings file copied to
// %APPDATA%\Vornex\Vornex.Ini unless he has one (never replaced). Shows nothing; `log` says it all.
UserSetupOutcome RunUserSetup(platform::Machine& machine, InstallLog& log);

}  // namespace install
