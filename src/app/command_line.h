// The command line: with no arguments SetUp.exe is the setup dialog; switches ask for an unattended
// installation, a folder, some releases, a log. Plain C++, so that the rules are tested on the host.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_engine.h"
#include "uninstall/uninstall.h"
#include "users/active_setup.h"

namespace app {

// Exit codes, as the usage text lists them. Windows Installer's own values where one means the
// same thing, since deployment tools already know what to do with those.
inline constexpr int kExitSuccess = 0;
// ERROR_INVALID_COMMAND_LINE: nothing was changed.
inline constexpr int kExitInvalidCommandLine = 1639;
// ERROR_INSTALL_ALREADY_RUNNING, for AutoCAD running: nothing was changed. Deployment tools retry
// this code later, which is what helps once the user has closed AutoCAD.
inline constexpr int kExitAcadRunning = 1618;
// ERROR_INSTALL_ALREADY_RUNNING in its own sense: another installation or uninstall of the add-on
// holds the machine's lock. Nothing was changed; deployment tools retry it later.
inline constexpr int kExitAnotherRun = 1618;
// ERROR_INSTALL_FAILURE: the installation failed or was stopped.
inline constexpr int kExitFailed = 1603;
// ERROR_PRODUCT_VERSION: a later version is installed; nothing was changed.
inline constexpr int kExitNewerInstalled = 1638;
// ERROR_INSTALL_USEREXIT: the user declined the administrator prompt; nothing was changed.
inline constexpr int kExitUserCancelled = 1602;
// Installed, but some steps could not be done; the log names them. Deployment tools take 0 and 1707
// for success, 3010 and 1641 for success with a restart, and retry 1618; anything else is a failure
// for someone to look at, which is what this is. Bit 29 marks a code of an application's own:
// Windows defines no error with it set, so no tool mistakes it for a system code or shows the
// system's text for one (as it would for 2, "file not found", or 3, "path not found").
inline constexpr int kExitIncomplete = 0x20000001;  // 536870913

// Without /DIR.
inline constexpr const char8_t* kDefaultFolder = u8"C:\\Vornex";
// The log's name in its folder (app::kLogFolders) when /LOG names none, or one that cannot be opened.
inline constexpr const char8_t* kDefaultLogFileName = u8"VornexSetup.log";
// Where a user's set-up at sign-in writes its log: this name in that user's %TEMP%.
inline constexpr const char8_t* kUserSetupLogFileName = u8"VornexUserSetup.log";

enum class RunMode {
  Dialog,      // no /S: the setup dialog, as without arguments
  Unattended,  // /S: no dialog and no message box at all
};

// What the command line asks for. Texts are UTF-8 as typed (GetCommandLineW converted).
struct CommandLine {
  RunMode mode = RunMode::Dialog;
  std::u8string folder = kDefaultFolder;     // /DIR=
  bool folderGiven = false;                  // /DIR= was there (the uninstall looks elsewhere without it)
  std::optional<std::vector<int>> releases;  // /RELEASES=, ascending; none: every release found
  std::optional<std::u8string> logPath;      // /LOG=; none given: with /S the default log
  bool help = false;                         // /? or /HELP
  bool uninstall = false;                    // /UNINSTALL, reserved for the uninstaller
  bool userSetup = false;                    // /USERSETUP: one user's set-up at sign-in (Active Setup)
  bool msi = false;                          // /MSI: run by the Windows Installer package, whose entry is the one shown
  // Empty for a valid line. Otherwise the fault, naming the argument, and every other member is as
  // for an empty line, so that nothing acts on half of a line; only the mode stays Unattended when
  // /S is among the arguments, so that the fault goes to the log and the exit code, not to a box.
  std::u8string error;

  bool Valid() const { return error.empty(); }
  bool operator==(const CommandLine&) const = default;
};

// The arguments of a whole command line as CommandLineToArgvW splits it: the program name first,
// up to the next quote when it starts with one, else up to the first space or tab; then arguments
// separated by spaces and tabs, where quotes group, 2n backslashes before a quote give n and the
// quote groups, 2n+1 give n and a literal quote, other backslashes are literal, and a doubled quote
// inside a quoted part gives a literal quote and ends that part.
std::vector<std::u8string> SplitCommandLine(std::u8string_view commandLine);

// Switches start with '/' or '-' and are matched without regard to letter case. /RELEASES takes
// four-digit years between 2007 and 2026 separated by commas, without spaces: an empty item, any
// other character or a year named twice is an error. So is an unknown switch, a switch given twice
// (/? and /HELP count as one), a value missing or empty, a value on a switch that takes none, and
// an argument that is not a switch.
CommandLine ParseCommandLine(std::u8string_view commandLine);

// The exit code of an unattended installation that ended so.
int ExitCodeFor(install::InstallOutcome outcome);
// The exit code of an uninstall that ended so; nothing left to remove is success.
int ExitCodeFor(install::UninstallOutcome outcome);
// The exit code of a user's set-up at sign-in: no installation, or no AutoCAD profile, is success.
int ExitCodeFor(install::UserSetupOutcome outcome);

// Whether the run needs administrator rights: everything but a user's own set-up (/USERSETUP), the
// usage and a faulty command line (which only says so).
bool NeedsElevation(const CommandLine& line);

// The arguments of a whole command line, the program name and the blanks after it taken off, as
// they stand: what a relaunch of the same program passes on unchanged.
std::u8string_view ArgumentsOf(std::u8string_view commandLine);

// What /? shows: the switches and the exit codes.
std::u8string UsageText();

}  // namespace app
