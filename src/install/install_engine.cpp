// The installation sequence.
#include "install/install_engine.h"

#include <set>
#include <variant>

#include "discovery/acad_running.h"
#include "platform/folder_rules.h"
#include "install/folder_safety.h"
#include "install/install_sequence.h"
#include "records/install_texts.h"
#include "users/other_users.h"
#include "platform/path_limits.h"
#include "install/payload.h"
#include "install/support_files.h"
#include "uninstall/uninstall_entry.h"
#include "platform/invalid_argument.h"
#include "platform/status.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

// Why the folder text cannot be installed to, or null; `named` is set to the path the message
// names. Everything here is checked before anything is created. The install folder must be a full
// path on a drive letter with valid names that the file API can take, as the folder chooser
// demands. It must also hold no ';': "TRUSTEDPATHS" would split it into other folders, one of them
// perhaps a folder that any user can create (D:\a of D:\a;b), and add it again at every install.
// The chosen folder is held to the same rules on its own: a text ending in half a double-byte
// character forms a valid install folder once the backslash after it has become its trail byte,
// and the files would go to a folder beside the one created. Neither folder may be a junction, a
// symbolic link or a mount point, which would send the protected list and the files elsewhere.
const char8_t* Refusal(platform::FileSystem& files, const std::string& typed, const std::string& chosen,
                    const std::string& installFolder, std::string& named) {
  named = typed;
  if (!FitsMaxPath(installFolder)) return kFolderTooLongText;
  if (CreateFolderPath(files, installFolder, true) != platform::kSuccess) return kInvalidFolderText;
  if (text::Find(installFolder, ';') != std::string::npos) return kSemicolonFolderText;
  if (CreateFolderPath(files, chosen, true) != platform::kSuccess) return kInvalidFolderText;
  for (const std::string* folder : {&chosen, &installFolder}) {
    if (IsReparsePoint(files, *folder)) {
      named = *folder;
      return kReparseFolderText;
    }
  }
  return nullptr;
}

}  // namespace

int CInstallEngine::Say(std::u8string_view text, std::uint32_t flags) {
  return m_machine.prompts.MessageBox(0, text, kCaption, flags);
}

InstallOutcome CInstallEngine::Run(const InstallChoices& choices, InstallView& view) {
  m_strInstallFolder.clear();
  m_journal.reset();
  m_record = InstallRecord(m_pLog, nullptr);

  if (choices.checkAcadRunning && IsAcadRunning(m_machine.system)) {
    Say(kAcadRunningText, platform::kMbOk);
    return InstallOutcome::kAcadRunning;
  }

  // An empty text is the string class's invalid argument: the dialog framework shows its error
  // box for it, and the dialog stays as it is.
  if (choices.typedFolder.empty()) throw platform::InvalidArgument("the install folder text is empty");

  const std::string chosen = ChosenFolderPath(choices.typedFolder);
  const std::string installFolder = FormInstallFolder(choices.typedFolder);
  std::string named;
  if (const char8_t* refusal = Refusal(m_machine.files, choices.typedFolder, chosen, installFolder, named)) {
    Say(WithPath(refusal, named), platform::kMbOk);
    return InstallOutcome::kFolderRefused;
  }

  // Whoever could rename a folder on the way to the install folder could put a folder of their own
  // in its place, holding a module of their own; AutoCAD would load it for whoever starts it. The
  // user may know better (a machine with one user, say), so this is a question, No by default.
  const std::string replaceable = FindReplaceableFolder(m_machine, chosen);
  if (!replaceable.empty() &&
      Say(WithPath(kReplaceableFolderText, replaceable),
          platform::kMbYesNo | platform::kMbIconExclamation | platform::kMbDefButton2) != platform::kIdYes) {
    return InstallOutcome::kDeclined;
  }

  // One level each; a failure (a missing parent, say) shows up as the payload copy's failures. A
  // chosen folder made here is protected like the install folder: made by an elevated process
  // under a drive root, it would otherwise be open to every signed-in user. One that was there
  // already keeps what it has: it may hold the user's other files.
  const bool madeChosen = m_machine.files.CreateDirectory(chosen) == platform::kSuccess;
  if (madeChosen && !Protect(chosen)) return InstallOutcome::kNotProtected;
  m_machine.files.CreateDirectory(installFolder);
  if (!Protect(installFolder)) return InstallOutcome::kNotProtected;
  // An uninstall since the last start of Windows may have left the folder, the uninstaller and a
  // held module to be deleted at the next one: what this installation places there must outlive it.
  // (The chosen folder's own deletion then fails on its own: the install folder is in it.)
  (void)m_machine.files.CancelDeleteLater(installFolder);
  m_strInstallFolder = installFolder;
  StartJournal();
  // The uninstaller removes it again when it is empty then; one that was there stays in any case.
  if (madeChosen) m_record.FolderCreated(chosen);

  if (!DoInstall(choices, view)) return InstallOutcome::kStopped;

  // The installation ran to its end; what it could not do is said before the page says "done".
  if (m_record.Issues().Empty()) return InstallOutcome::kDone;
  Say(IncompleteInstallText(m_record.Issues().Items()), platform::kMbOk | platform::kMbIconExclamation);
  return InstallOutcome::kDoneWithIssues;
}

// Locks a folder down before anything is copied into it (see FileSystem::ProtectFolder): the
// install folder always, and the chosen folder when this installation made it. A folder created
// under a drive root by an elevated process lets every signed-in user rename it and change what is
// in it, and AutoCAD loads the add-on from the install folder, from a trusted path, for every user,
// administrators included: so when the list cannot be set, the installation stops here with a
// message, rather than go on with a warning few users could judge. Where the folder is not there
// at all (its parent missing, say), nothing can be copied into it either, and the payload copy
// reports that as it always has.
bool CInstallEngine::Protect(const std::string& folder) {
  const platform::Status status = m_machine.files.ProtectFolder(folder);
  if (status == platform::kSuccess || status == platform::kFileNotFound || status == platform::kPathNotFound) {
    return true;
  }
  Say(WithPath(kProtectFailedText, folder) + u8"\n\n错误代码：" + text::Decimal(status), platform::kMbOk);
  return false;
}

void CInstallEngine::StartJournal() {
  const std::u8string folder = text::FromAnsi(m_strInstallFolder);
  // Support files an earlier run placed: found again, they are the add-on's, not AutoCAD's.
  std::set<std::u8string> placed;
  JournalContents earlier;
  if (ReadJournal(m_machine.logging.files, folder, earlier) == platform::kSuccess) {
    for (const JournalRecord& record : earlier.records) {
      if (const auto* file = std::get_if<SupportFilePlaced>(&record)) placed.insert(text::ToUpperUtf8(file->path));
    }
  }
  m_journal = std::make_unique<JournalWriter>(m_machine.logging);
  const platform::Status started = m_journal->Start(folder, text::Decimal(m_nVersion));
  if (started != platform::kSuccess) {
    // Without it the installation cannot be undone exactly; it still goes on, and says so.
    m_journal.reset();
    m_record = InstallRecord(m_pLog, nullptr);
    m_record.Failed(m_strInstallFolder + "\\" + std::string(text::Utf8Bytes(kJournalFileName)), started,
                    kIssueNoJournal);
    return;
  }
  m_record = InstallRecord(m_pLog, m_journal.get(), std::move(placed));
}

bool CInstallEngine::DoInstall(const InstallChoices& choices, InstallView& view) {
  view.CopyStarting();
  platform::ProgressBar& progress = view.Progress();
  progress.SetRange(kProgressMinimum, kProgressMaximum);
  progress.SetStep(kProgressStep);
  progress.SetPos(kProgressMinimum);

  CPayloadCopier copier(m_strInstallFolder, progress, m_machine, &m_record);
  // What was copied stays; nothing is registered.
  if (!copier.CopyPayload()) return false;
  progress.StepIt();

  m_catalog.m_strInstallFolder = ChosenFolder(m_strInstallFolder);
  RegisterWithAcad(m_catalog, choices.releases, m_nBitness, m_machine, &m_record);
  ReachOtherUsers(m_catalog, copier.PayloadFolder() + "\\" + kSettingsFileName, m_machine, m_record);
  progress.StepIt();

  DeploySupportFiles(m_catalog, choices.releases, m_machine, &m_record);
  progress.StepIt();

  RegisterUninstaller(m_machine, m_strInstallFolder, m_nVersion, m_record);
  progress.SetPos(kProgressMaximum);
  return true;
}

}  // namespace install
