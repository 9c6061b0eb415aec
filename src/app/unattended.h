// The unattended runs (/S and /UNINSTALL /S): the same engines as the dialog's, with no window at
// all. What a person would have been shown is written to the log, and questions get the answer that
// changes nothing.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "install/install_engine.h"
#include "uninstall/uninstall.h"
#include "records/install_log.h"
#include "platform/log_support.h"
#include "platform/machine.h"
#include "platform/prompts.h"

namespace app {

// A failed copy is tried again this many times, this long apart, before it is given up as Abort
// would give it up: a file AutoCAD's own updater or a virus scanner holds is often let go in seconds.
inline constexpr int kUnattendedCopyRetries = 3;
inline constexpr unsigned kUnattendedRetryWaitMs = 2000;

// Message boxes answered without a person, each written to the log with the answer given.
class UnattendedPrompts final : public platform::Prompts {
 public:
  UnattendedPrompts(install::InstallLog& log, platform::Clock& clock) : m_log(log), m_clock(clock) {}

  int MessageBox(platform::WindowRef owner, std::u8string_view text, std::u8string_view caption,
                 std::uint32_t flags) override;

 private:
  install::InstallLog& m_log;
  platform::Clock& m_clock;
  std::u8string m_strRetrying;  // the failure being retried
  int m_nRetries = 0;
};

// What nobody sees: the unattended runs' view of an installation or an uninstall.
class QuietView final : public install::InstallView, public install::UninstallView {
 public:
  void CopyStarting() override {}
  void RemovalStarting() override {}
  platform::ProgressBar& Progress() override { return m_progress; }

 private:
  platform::HiddenProgressBar m_progress;
};

// What the command line chose.
struct UnattendedChoices {
  bool uninstall = false;                    // /UNINSTALL
  std::optional<std::vector<int>> releases;  // the installation's releases; none: every release found
  // /DIR's folder as typed (ANSI). None: the installation goes to the default folder, and the
  // uninstall looks for the installation by itself.
  std::optional<std::string> typedFolder;
  bool userSetup = false;                    // /USERSETUP: the signed-in user's own set-up
  // /MSI: the Windows Installer package shows its own Apps & features entry; ours is hidden.
  bool hiddenEntry = false;
};

// Where a run keeps its log without /LOG, below %ProgramData%: the folders made with a list that
// lets only Administrators and SYSTEM in at all, since the log names every user and the folders he
// trusts. %TEMP% or C:\Windows\Temp would let any user plant the file first, or a link in its place.
inline constexpr const char* kLogFolders[] = {"Vornex", "Logs"};

// The folder of the default log (ANSI, in %ProgramData%), each level made here protected at once;
// one there already is used only when no one but the administrators could replace it, and never
// when it is a junction or a link.
platform::Status PrepareLogFolder(platform::Machine& machine, std::string& folder);

// Opens the run's log: /LOG's file (`asked`) when it opens, else the default log when `orDefault`
// or when /LOG could not be opened, which the default log then says first. False when none opened.
bool OpenRunLog(platform::Machine& machine, const std::optional<std::u8string>& asked, bool orDefault,
                install::InstallLog& log);

// One unattended run on `machine` (whose prompts must not show anything: UnattendedPrompts), with
// `catalog` scanned: the installation picks the releases from the catalogue, logs what was found
// and chosen, and runs the engine; the uninstall runs without its question. Either way AutoCAD
// running stops it with nothing changed, the closing message goes to the log, and how it ended is
// logged. Returns the exit code. `bitness` and `version` are the build's g_nBitness and g_nVersion.
// Another run holds the machine's lock (see HoldRunLock): 1618 at once, nothing changed.
int RunUnattended(platform::Machine& machine, CAcadCatalog& catalog, const UnattendedChoices& choices,
                  install::InstallLog& log, int bitness, int version);

// The log's first lines: `startLine` with SetUp.exe's version (the build's g_nVersion), then, when
// the log is open, the command line, the account, the computer, Windows' version and the
// installation Apps & features names (none, or its version and folder).
void WriteRunHeader(platform::Machine& machine, install::InstallLog& log, std::u8string_view startLine,
                    std::u8string_view commandLine, int version);

// The program runs as the uninstaller placed in the install folder (VornexSetup.exe), which only
// uninstalls: started to install, it says so (1639 with /S) and changes nothing.
bool IsPlacedUninstaller(platform::Machine& machine);

// One installation or uninstall at a time on the whole machine, whoever starts it and in whatever
// session: two runs would each take the other's freshly placed files for AutoCAD's own.
inline constexpr const char8_t* kRunLockName = u8"Global\\VornexSetup.Run";

// Before a run changes anything: the machine's lock, held by `lock` for the whole run, and then a
// run a kill left open rolled back (and logged, when there is a log). False when another run holds
// the lock: nothing was changed.
bool HoldRunLock(platform::Machine& machine, std::unique_ptr<platform::HeldLock>& lock, install::InstallLog* log);

}  // namespace app
