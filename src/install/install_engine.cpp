// The installation sequence.
#include "install/install_engine.h"

#include <algorithm>


#include "discovery/acad_running.h"
#include "platform/folder_rules.h"
#include "platform/folder_safety.h"
#include "install/install_sequence.h"
#include "records/install_texts.h"
#include "users/other_users.h"
#include "platform/path_limits.h"
#include "install/payload.h"
#include "install/rollback.h"
#include "platform/file_queries.h"
#include "install/support_files.h"
#include "uninstall/uninstall_entry.h"
#include "records/installed.h"
#include "users/active_setup.h"
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
  m_strTyped = choices.typedFolder;
  m_record.SetKeeper(nullptr);
  m_keeper.reset();
  m_journal.reset();
  m_bMarked = false;
  m_record = InstallRecord(m_pLog, nullptr);

  if (choices.checkAcadRunning && IsAcadRunning(m_machine.system)) {
    Say(kAcadRunningText, platform::kMbOk);
    return InstallOutcome::kAcadRunning;
  }

  // An older build never replaces a later one: its modules would go back beside the later one's
  // registrations and settings. The same version reinstalls; an older one is upgraded.
  const InstalledEntry installed = ReadInstalledEntry(m_machine.registry);
  if (!installed.version.empty() && CompareVersions(installed.version, VersionText(m_nVersion)) > 0) {
    std::u8string text = kNewerInstalledText;
    text.replace(text.find(u8"{}"), 2, installed.version);
    Say(WithPath(text, installed.folder), platform::kMbOk | platform::kMbIconExclamation);
    return InstallOutcome::kNewerInstalled;
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

  // One installation per machine: one in another folder is taken out once this one is in place,
  // and until then stays untouched, so that this run's rollback leaves it working.
  m_earlier = FindEarlierInstallation(m_machine, installFolder);
  m_strPayloadFolder.clear();

  // Whoever could rename a folder on the way to the install folder could put a folder of their own
  // in its place, holding a module of their own; AutoCAD would load it for whoever starts it. The
  // user may know better (a machine with one user, say), so this is a question, No by default.
  const std::string replaceable = FindReplaceableFolder(m_machine, chosen);
  if (!replaceable.empty() &&
      Say(WithPath(kReplaceableFolderText, replaceable),
          platform::kMbYesNo | platform::kMbIconExclamation | platform::kMbDefButton2) != platform::kIdYes) {
    return InstallOutcome::kDeclined;
  }

  // The payload against the manifest this SetUp.exe carries, before anything is created: a file
  // someone swapped on the share, or a truncated download, is refused with nothing changed.
  if (m_payload.Check(m_machine, m_record) == CheckedPayload::Result::kRejected) {
    return InstallOutcome::kPayloadRejected;
  }

  // The folders about to be made, from the top. The dialog's typed folder gets one level each (a
  // missing parent shows up as the payload copy's failures); /DIR gets every missing level, as the
  // folder chooser makes them.
  m_arrNewFolders.clear();
  m_strSettingsBackup.clear();
  if (choices.makeEveryLevel) {
    m_arrNewFolders = MissingLevels(installFolder, m_machine);
  } else {
    for (const std::string* folder : {&chosen, &installFolder}) {
      if (GetPathKind(*folder, m_machine) == kPathNone) m_arrNewFolders.push_back(*folder);
    }
  }
  // Before anything changes, the run is marked open: cut off, it is rolled back by the next one.
  m_bMarked = MarkRunOpen(m_machine.registry, installFolder, m_arrNewFolders) == platform::kSuccess;
  if (!m_bMarked && m_pLog != nullptr) m_pLog->Write(u8"无法标记本次运行，若被中断将无法自动还原。");

  // A chosen folder made here is protected like the install folder: made by an elevated process
  // under a drive root, it would otherwise be open to every signed-in user. One that was there
  // already keeps what it has: it may hold the user's other files. Of several levels made, the
  // highest is protected, and the levels below inherit its list.
  for (const std::string& folder : m_arrNewFolders) (void)m_machine.files.CreateDirectory(folder);
  if (!m_arrNewFolders.empty() && m_arrNewFolders.front() != installFolder &&
      GetPathKind(m_arrNewFolders.front(), m_machine) == kPathFolder && !Protect(m_arrNewFolders.front())) {
    RollBackRun();
    return InstallOutcome::kNotProtected;
  }
  if (!Protect(installFolder)) {
    RollBackRun();
    return InstallOutcome::kNotProtected;
  }
  // An uninstall since the last start of Windows may have left the folder, the uninstaller and a
  // held module to be deleted at the next one: what this installation places there must outlive it.
  // (The chosen folder's own deletion then fails on its own: the install folder is in it.)
  (void)m_machine.files.CancelDeleteLater(installFolder);
  m_strInstallFolder = installFolder;
  StartJournal();
  if (m_keeper && std::find(m_arrNewFolders.begin(), m_arrNewFolders.end(), installFolder) != m_arrNewFolders.end()) {
    m_keeper->FolderMadeEmpty(installFolder);
  }
  // The uninstaller removes them again when they are empty then; one that was there stays in any case.
  for (const std::string& folder : m_arrNewFolders) {
    if (folder != installFolder) m_record.FolderCreated(folder);
  }

  bool altered = false;
  if (!DoInstall(choices, view, altered)) {
    RollBackRun();
    // A file whose copy read other bytes than listed ends as a payload refused before the copy does.
    return altered ? InstallOutcome::kPayloadRejected : InstallOutcome::kStopped;
  }
  if (m_keeper) m_keeper->Commit();
  // Closed, so that it can be replaced by its compacted form.
  const bool journaled = m_journal != nullptr;
  m_record.DetachJournal();
  m_keeper.reset();
  m_journal.reset();
  if (journaled) LeaveOnlyLastRun(m_machine, m_catalog, m_strInstallFolder, m_strPayloadFolder, m_record, m_pLog);
  if (m_bMarked) MarkRunClosed(m_machine.registry);
  MoveOut(m_machine, m_catalog, m_earlier, m_strInstallFolder, m_record, m_pLog);

  // The installation ran to its end; what it could not do is said before the page says "done".
  // The user's settings kept under another name are said at the end too, so nobody takes them for lost.
  const std::u8string kept = m_strSettingsBackup.empty() ? u8"" : WithPath(kSettingsKeptNote, m_strSettingsBackup);
  if (m_record.Issues().Empty()) {
    if (!kept.empty()) Say(kDoneLead + kept, platform::kMbOk | platform::kMbIconInformation);
    return InstallOutcome::kDone;
  }
  Say(IncompleteInstallText(m_record.Issues().Items()) + (kept.empty() ? u8"" : u8"\n\n" + kept),
      platform::kMbOk | platform::kMbIconExclamation);
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

void CInstallEngine::RollBackRun() {
  // The journal is let go first: it is cut back or deleted.
  m_record.SetKeeper(nullptr);
  m_keeper.reset();
  m_journal.reset();
  RollBack(m_machine, m_strInstallFolder.empty() ? FormInstallFolder(m_strTyped) : m_strInstallFolder,
           m_arrNewFolders, m_pLog);
  if (m_bMarked) MarkRunClosed(m_machine.registry);
  m_bMarked = false;
  if (m_pLog != nullptr) m_pLog->Write(kRolledBackText);
}

void CInstallEngine::StartJournal() {
  const std::u8string folder = text::FromAnsi(m_strInstallFolder);
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
  m_record = InstallRecord(m_pLog, m_journal.get());
  if (!m_earlier.records.empty()) m_record.SetEarlier(&m_earlier.records);
  m_keeper = std::make_unique<ChangeKeeper>(m_machine, m_journal.get(), folder);
  m_record.SetKeeper(m_keeper.get());
}

bool CInstallEngine::DoInstall(const InstallChoices& choices, InstallView& view, bool& altered) {
  view.CopyStarting();
  platform::ProgressBar& progress = view.Progress();
  progress.SetRange(kProgressMinimum, kProgressMaximum);
  progress.SetStep(kProgressStep);
  progress.SetPos(kProgressMinimum);

  CPayloadCopier copier(m_strInstallFolder, progress, m_machine, &m_record, &m_payload);
  // What was copied stays; nothing is registered.
  const bool copied = copier.CopyPayload();
  m_strSettingsBackup = copier.SettingsBackup();
  if (!copied) {
    altered = copier.FoundAltered();
    return false;
  }
  m_strPayloadFolder = copier.PayloadFolder();
  progress.StepIt();

  m_catalog.m_strInstallFolder = ChosenFolder(m_strInstallFolder);
  RegisterWithAcad(m_catalog, choices.releases, m_nBitness, m_machine, &m_record);
  const std::string settings = copier.PayloadFolder() + "\\" + kSettingsFileName;
  ReachOtherUsers(m_catalog, settings, m_machine, m_record);
  progress.StepIt();

  DeploySupportFiles(m_catalog, choices.releases, m_machine, &m_record, &m_payload);
  progress.StepIt();

  RegisterUninstaller(m_machine, m_strInstallFolder, m_nVersion, m_record, choices.hiddenEntry);
  // Active Setup starts the placed program for each user who signs in later; without it, no key.
  if (GetPathKind(m_strInstallFolder + "\\" + kUninstallerName, m_machine) == kPathFile) {
    RegisterActiveSetup(m_machine, m_strInstallFolder, settings, m_nVersion, m_record);
  }
  progress.SetPos(kProgressMaximum);
  return true;
}

}  // namespace install
