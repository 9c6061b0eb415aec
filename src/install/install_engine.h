// The installation: one sequence, run by the setup dialog's install button and by the unattended
// mode alike. It is given the machine, the catalogue, the choices and a view of what a person sees;
// message boxes go to the machine's prompts (shown by the dialog, answered and logged unattended).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "records/install_issues.h"
#include "records/install_log.h"
#include "records/install_record.h"
#include "records/journal.h"
#include "install/payload_manifest.h"
#include "install/registration.h"
#include "install/upgrade.h"
#include "platform/machine.h"
#include "platform/prompts.h"

namespace install {

// How one run of the sequence ended.
enum class InstallOutcome {
  kAcadRunning,     // AutoCAD runs: the warning was shown, nothing changed
  kNewerInstalled,  // a later version is installed: said (which, where), nothing changed
  kFolderRefused,   // the folder text cannot be installed to: said, nothing changed
  kDeclined,        // the question about a folder others could replace was answered No: nothing changed
  kNothingChosen,   // no release to install for (unattended: none of those asked for is here): nothing changed
  kNotProtected,    // a folder could not be locked down: said, nothing copied, the folders made removed
  kPayloadRejected, // the payload is not what the manifest lists (or is missing): said, nothing changed
  kStopped,         // the payload copy found no payload or was aborted: the machine was put back as it was
  kDoneWithIssues,  // ran to its end; Issues() names what could not be done (already shown)
  kDone,            // ran to its end and everything was done
};

// True for the outcomes after which nothing on the machine was changed.
constexpr bool NothingChanged(InstallOutcome outcome) {
  return outcome == InstallOutcome::kAcadRunning || outcome == InstallOutcome::kNewerInstalled ||
         outcome == InstallOutcome::kFolderRefused || outcome == InstallOutcome::kDeclined ||
         outcome == InstallOutcome::kNothingChosen || outcome == InstallOutcome::kPayloadRejected;
}

// What a person sees of the installation besides message boxes.
class InstallView {
 public:
  virtual ~InstallView() = default;
  // The folders are ready and the copy begins: the dialog shows its progress bar in place of the
  // folder controls.
  virtual void CopyStarting() = 0;
  // The bar the copy and the later steps advance.
  virtual platform::ProgressBar& Progress() = 0;
};

// What the person chose.
struct InstallChoices {
  ReleaseFlags releases{};   // non-zero: install for that release year (index year - 2007)
  std::string typedFolder;   // the chosen folder as typed (ANSI), one trailing backslash allowed
  bool checkAcadRunning = true;  // false once the "close AutoCAD" warning has been shown
  bool hiddenEntry = false;      // the Apps & features entry is a system component (the MSI shows its own)
  // Every missing level of the chosen folder is made (/DIR), as the folder chooser makes them;
  // otherwise the chosen folder and the install folder one level each, as the dialog's typed folder.
  bool makeEveryLevel = false;
};

class CInstallEngine {
 public:
  // `bitness` and `version` are the build's g_nBitness and g_nVersion (the registration needs the
  // one, the journal records the other). With a log, every step is written to it as it is done.
  CInstallEngine(platform::Machine& machine, CAcadCatalog& catalog, int bitness, int version,
                 InstallLog* log = nullptr)
      : m_machine(machine), m_catalog(catalog), m_nBitness(bitness), m_nVersion(version), m_pLog(log) {}

  // The whole installation: the running check, the folder's form and safety, the install folder
  // created and locked down, then DoInstall. An empty folder text is the string class's invalid
  // argument (platform::InvalidArgument), before anything is checked or created.
  [[nodiscard]] InstallOutcome Run(const InstallChoices& choices, InstallView& view);

  // After Run: the install folder formed from the choice (empty when the text was refused) and
  // what the registration and the support files could not do.
  const std::string& InstallFolder() const { return m_strInstallFolder; }
  const InstallIssues& Issues() const { return m_record.Issues(); }

 private:
  // Payload copy, registration, support files and the uninstaller with its Apps & features entry
  // under the progress bar; false when the copy did not run through, `altered` then saying whether
  // it stopped at a payload file unlike the manifest.
  bool DoInstall(const InstallChoices& choices, InstallView& view, bool& altered);
  // Opens the install folder's journal for this run; what earlier runs placed is learnt from it.
  void StartJournal();
  // The run stops: everything it changed is undone, and the mark of an open run removed.
  void RollBackRun();
  // A folder's protected access list; false (after saying so) when it could not be set.
  bool Protect(const std::string& folder);
  int Say(std::u8string_view text, std::uint32_t flags);

  platform::Machine& m_machine;
  CAcadCatalog& m_catalog;
  int m_nBitness;
  int m_nVersion;
  InstallLog* m_pLog;
  std::string m_strInstallFolder;
  std::string m_strTyped;
  std::string m_strSettingsBackup;  // the running account's settings file kept before it was replaced
  std::unique_ptr<JournalWriter> m_journal;
  std::unique_ptr<ChangeKeeper> m_keeper;
  std::vector<std::string> m_arrNewFolders;  // made before the journal could exist, top first
  bool m_bMarked = false;
  std::string m_strPayloadFolder;  // where this run's payload was copied from
  // An installation in another folder, which this run moves here once it has succeeded.
  EarlierInstallation m_earlier;
  InstallRecord m_record;
  CheckedPayload m_payload;  // held from the check to the end of the run
};

}  // namespace install
