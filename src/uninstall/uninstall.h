// The uninstall: the reverse of the installation, from its journal, run by the uninstaller's dialog
// and by the unattended mode alike. Like CInstallEngine it is given the machine and a view; message
// boxes go to the machine's prompts (shown by the dialog, answered and logged unattended).
//
// Only what is still as the installation left it is removed: a demand-load key whose values were
// rewritten since, or a file in an AutoCAD folder that was changed, stays, and the closing message
// names it. Every step takes what is already gone as done, and the journal is removed last, so an
// uninstall cut short can simply be run again; run once more after that it finds nothing.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "records/install_log.h"
#include "records/journal.h"
#include "users/profiles.h"
#include "platform/machine.h"
#include "platform/prompts.h"
#include "platform/utf8_text.h"

namespace install {

// How one run ended.
enum class UninstallOutcome {
  kNothingToRemove,  // no installation found: said, nothing changed (uninstalled already: not a failure)
  kAcadRunning,      // AutoCAD runs: the warning was shown, nothing changed
  kDeclined,         // the question was answered No: nothing changed
  kStopped,          // the journal cannot be read, holds nothing usable, lies in a folder others could
                     // write to, or only a later version understands it: said, nothing changed
  kDoneWithIssues,   // ran to its end; the closing message names what was left and why
  kDone,             // everything the installation made is gone, or goes at the next restart
};

// What a person sees of the uninstall besides message boxes.
class UninstallView {
 public:
  virtual ~UninstallView() = default;
  // The question was answered and the removal begins.
  virtual void RemovalStarting() = 0;
  // The bar the removal advances, one step per item.
  virtual platform::ProgressBar& Progress() = 0;
};

struct UninstallChoices {
  // /DIR=: the folder chosen at installation, as typed (ANSI); the install folder is formed from it
  // as the installation formed it. None: the one Apps & features names (the uninstaller's own
  // folder counts only when it is that one).
  std::optional<std::string> typedFolder;
  // The dialog asks before it removes anything; the unattended mode does not.
  bool ask = true;
  // False once the "close AutoCAD" warning has been shown and the caller tries again regardless.
  bool checkAcadRunning = true;
  // The install folder (ANSI) of the installation that has just taken this one's place on the
  // machine: no message box is shown (LeftItems() tells what stays), the demand-load keys that now
  // name a module there are its own, and of the files in AutoCAD's folders it placed again, with
  // AutoCAD's originals carried into its own Backup, only this installation's copies go.
  std::optional<std::string> movedTo;
};

class CUninstallEngine {
 public:
  // `catalog` is scanned by the caller: without a journal, the add-on's demand-load keys are looked
  // for under its product keys. With a log, every step is written to it as it is done.
  CUninstallEngine(platform::Machine& machine, const CAcadCatalog& catalog, InstallLog* log = nullptr)
      : m_machine(machine), m_catalog(catalog), m_pLog(log) {}

  // The whole uninstall: the installation located, the running check, the question, the removal
  // under the progress bar, then the closing message (kDone, kDoneWithIssues), which unattended
  // prompts write to the log.
  [[nodiscard]] UninstallOutcome Run(const UninstallChoices& choices, UninstallView& view);

  // After Run: the install folder found (empty when none was) and the closing message.
  const std::string& InstallFolder() const { return m_strInstallFolder; }
  const std::u8string& ClosingText() const { return m_strClosing; }
  // After Run or RemoveSuperseded: each thing of the installation that stays, and why.
  const std::vector<std::u8string>& LeftItems() const { return m_arrLeft; }

  // What an upgrade no longer has, taken out of `installFolder` as Run would take it: the files of
  // the FILE records among `records` deleted, and the files of their SUPPORT and BACKUP records
  // deleted or AutoCAD's own put back. Nothing else is touched, and nothing is shown.
  void RemoveSuperseded(const std::string& installFolder, const std::vector<JournalRecord>& records);

 private:
  int Say(std::u8string_view text, std::uint32_t flags);
  // A line of the log: `what` and then a path (ANSI).
  void Note(const char8_t* what, std::string_view path);
  void Note(const char8_t* what, std::u8string_view path);
  // The install folder asked for, or the one Apps & features names; empty when there is none.
  std::string Locate(const UninstallChoices& choices);
  // What the journal names, each where it was recorded and only while it is still the installation's.
  // With `filesOnly`, only the files (FILE, SUPPORT, BACKUP): neither keys nor trusted entries.
  void RemoveRecorded(const std::vector<JournalRecord>& records, platform::ProgressBar& progress, bool filesOnly = false);
  // The copies this installation kept of an AutoCAD file, and their numbered folders.
  void DeleteBackups(const PlacedFileHistory& history);
  // Clears what one run's removal gathered, and takes the folder it works on.
  void Begin(const std::string& installFolder);
  // What the add-on's fixed names find of an installation without a journal.
  void RemoveByFixedNames();
  // A key under HKEY_LOCAL_MACHINE while its value `valueName` still holds `expected` (what the
  // installation wrote, letter case aside) or, with none, names one of the add-on's modules.
  void RemoveKey(std::u8string_view path, std::u8string_view valueName, const std::u8string* expected);
  // The install folder's entries in one profile's "TRUSTEDPATHS" of `owner`; the value itself goes
  // when the installation made it and nothing else is left in it.
  void RemoveTrusted(const ProfileOwner& owner, std::u8string_view variables, bool created);
  // The install folder out of every profile of `owner`: an installation without a journal.
  void RemoveFromEveryProfile(const ProfileOwner& owner);
  // The other users' profiles, through their hives: what the journal `records` added for each user,
  // or, with no journal (null), the install folder out of every profile of every other user. A
  // user whose hive cannot be reached is named among what stays.
  void RemoveFromOtherUsers(const std::vector<JournalRecord>* records);
  // A file placed in an AutoCAD folder, from what the journal tells of it: deleted while it is the
  // add-on's, or AutoCAD's own file put back in its place from the latest copy kept of it.
  void RemovePlaced(const std::string& path, const PlacedFileHistory& history);
  // Deletes a file, at the next restart when it is in use.
  void Delete(const std::string& path, bool counted);
  // False when the folder stays (named among what is left).
  bool RemoveFolder(const std::string& folder);
  // Whether a LOADER names one of the add-on's modules: a file in the install folder, or a managed
  // module (VXCAD<year>P.dll) in an AutoCAD folder of the catalogue.
  bool IsAddOnLoader(std::u8string_view loader) const;
  // Whether the "LOADER" of the key at `keyPath` under HKEY_LOCAL_MACHINE names a file in the install folder.
  bool LoaderInInstallFolder(std::u8string_view keyPath);
  // A path the journal names, as the ANSI API takes it, when it is a full path on a drive letter of
  // names a file may have (so that comparing its text tells where it leads); otherwise it is named
  // among what stays, and false.
  bool RecordedPath(std::u8string_view recorded, std::string& path);
  // Whether `path` (from RecordedPath) is a support file the installation places in an AutoCAD
  // folder the catalogue knows, and `backup` a copy of `original` where the installation keeps
  // them ("<install folder>\Backup\<n>\<name>"); otherwise named among what stays, and false.
  bool SupportTarget(const std::string& path);
  bool BackupOf(const std::string& backup, const std::string& original);
  // Something of the installation that stays (`where` and `what` together name it), and why; named
  // in the closing message once.
  void Left(std::u8string_view where, std::u8string_view what, const char8_t* why);
  void Left(std::string_view ansiWhat, const char8_t* why) { Left(u8"", text::FromAnsi(ansiWhat), why); }
  std::u8string Closing(bool withoutJournal) const;

  platform::Machine& m_machine;
  const CAcadCatalog& m_catalog;
  InstallLog* m_pLog;
  std::string m_strInstallFolder;
  std::u8string m_strFolderU8;  // the same in Unicode, for the wide registry functions
  std::string m_strProgram;     // the running program: deleted at the next restart
  std::u8string m_strClosing;
  bool m_bRecorded = false;    // the journal says what was made; otherwise the fixed names
  std::vector<std::u8string> m_arrMadeAbove;  // the folders above its own the journal says the installation made
  bool m_bQuiet = false;       // no message box: the installation that moved this one reads LeftItems()
  std::u8string m_strMovedTo;  // UninstallChoices::movedTo, in Unicode; empty when none
  std::vector<JournalRecord> m_arrTakenOver;  // what that installation's journal records
  // What the removal did, for the closing message.
  unsigned m_nFiles = 0;
  unsigned m_nKeys = 0;
  unsigned m_nTrusted = 0;
  unsigned m_nRestored = 0;
  std::vector<std::u8string> m_arrLeft;   // each with why
  std::vector<std::string> m_arrPending;  // ANSI, deleted at the next restart
};

}  // namespace install
