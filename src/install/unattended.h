// The unattended installation (/S): the same engine as the dialog's, with no window at all. What a
// person would have been shown is written to the log, and questions get the answer that changes
// nothing.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "install/install_engine.h"
#include "install/install_log.h"
#include "install/uninstall.h"
#include "platform/log_support.h"
#include "platform/machine.h"
#include "platform/prompts.h"

namespace install {

// A failed copy is tried again this many times, this long apart, before it is given up as Abort
// would give it up: a file AutoCAD's own updater or a virus scanner holds is often let go in seconds.
inline constexpr int kUnattendedCopyRetries = 3;
inline constexpr unsigned kUnattendedRetryWaitMs = 2000;

// Message boxes answered without a person, each written to the log with the answer given.
class UnattendedPrompts final : public platform::Prompts {
 public:
  UnattendedPrompts(InstallLog& log, platform::Clock& clock) : m_log(log), m_clock(clock) {}

  int MessageBox(platform::WindowRef owner, std::u8string_view text, std::u8string_view caption,
                 std::uint32_t flags) override;

 private:
  InstallLog& m_log;
  platform::Clock& m_clock;
  std::u8string m_strRetrying;  // the failure being retried
  int m_nRetries = 0;
};

// What nobody sees: the unattended runs' view of an installation or an uninstall.
class QuietView final : public InstallView, public UninstallView {
 public:
  void CopyStarting() override {}
  void RemovalStarting() override {}
  platform::ProgressBar& Progress() override { return m_progress; }

 private:
  platform::HiddenProgressBar m_progress;
};

// What the command line chose. Years not installed on the machine are skipped (and logged).
struct UnattendedChoices {
  std::optional<std::vector<int>> releases;  // none: every release found
  std::string typedFolder;                   // ANSI
};

// Picks the releases from the scanned catalogue, logs what was found and chosen, runs the engine
// on `machine` (whose prompts must not show anything: UnattendedPrompts) and logs how it ended.
InstallOutcome RunUnattended(platform::Machine& machine, CAcadCatalog& catalog, const UnattendedChoices& choices,
                             InstallLog& log, int bitness, int version);

// The unattended uninstall (/UNINSTALL /S): no question, the closing message to the log, and how it
// ended logged. `typedFolder` is /DIR's folder as typed (ANSI), none without /DIR; `catalog` is
// scanned; `machine`'s prompts must not show anything (UnattendedPrompts). AutoCAD running stops it
// with nothing changed, as it stops the unattended installation.
UninstallOutcome RunUnattendedUninstall(platform::Machine& machine, const CAcadCatalog& catalog,
                                        const std::optional<std::string>& typedFolder, InstallLog& log);

}  // namespace install
