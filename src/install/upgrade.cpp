// The earlier runs' and the earlier installation's leftovers taken out, and the journal compacted.
#include "install/upgrade.h"

#include <algorithm>

#include "platform/file_queries.h"
#include "platform/folder_rules.h"
#include "platform/folder_safety.h"
#include "platform/prompts.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "records/install_texts.h"
#include "records/installed.h"
#include "records/journal_compaction.h"
#include "uninstall/uninstall.h"

namespace install {
namespace {

bool Exists(platform::Machine& machine, std::u8string_view path) {
  std::string ansi;
  return !text::ToAnsi(path, ansi) || GetPathKind(ansi, machine) != kPathNone;
}

class HiddenView final : public UninstallView {
 public:
  void RemovalStarting() override {}
  platform::ProgressBar& Progress() override { return m_progress; }

 private:
  platform::HiddenProgressBar m_progress;
};

}  // namespace

EarlierInstallation FindEarlierInstallation(platform::Machine& machine, const std::string& installFolder) {
  EarlierInstallation earlier;
  std::string folder = ReadInstalledEntry(machine.registry).folder;
  StripTrailingBackslash(folder);
  if (folder.empty() || text::EqualsNoCase(folder, installFolder)) return earlier;
  earlier.folder = folder;
  // Believed only where nobody but the administrators could have written it: anyone could name
  // any file of his as AutoCAD's original otherwise.
  JournalContents journal;
  if (FindUntrustedInstallFolder(machine, folder).empty() &&
      ReadJournal(machine.logging.files, text::FromAnsi(folder), journal) == platform::kSuccess) {
    earlier.records = std::move(journal.records);
  }
  return earlier;
}

void LeaveOnlyLastRun(platform::Machine& machine, const CAcadCatalog& catalog, const std::string& installFolder,
                      const std::string& payloadFolder, InstallRecord& record, InstallLog* log) {
  const std::u8string folder = text::FromAnsi(installFolder);
  JournalContents journal;
  if (ReadJournal(machine.logging.files, folder, journal) != platform::kSuccess) return;
  // A record that did not reach the journal would make its file look like an earlier run's.
  const bool whole = record.JournalFailure() == platform::kSuccess;
  const SupersededRecords superseded = FindSuperseded(journal.records, folder, [&](std::u8string_view name) {
    std::string ansi;
    return !whole || payloadFolder.empty() || !text::ToAnsi(name, ansi) ||
           GetPathKind(payloadFolder + "\\" + ansi, machine) == kPathFile;
  });
  std::vector<std::u8string> settled;
  if (whole && !superseded.records.empty()) {
    CUninstallEngine engine(machine, catalog, log);
    engine.RemoveSuperseded(installFolder, superseded.records);
    for (const std::u8string& item : engine.LeftItems()) record.Issue(item);
    for (const std::u8string& path : superseded.files) {
      if (!Exists(machine, path)) settled.push_back(path);
    }
    // A file of AutoCAD's put back leaves no copy behind; one the add-on made there leaves nothing.
    for (const std::u8string& path : superseded.placements) {
      const PlacedFileHistory history = HistoryOf(superseded.records, path);
      const bool done = history.backups.empty()
                            ? !Exists(machine, path)
                            : std::none_of(history.backups.begin(), history.backups.end(),
                                           [&machine](const std::u8string& kept) { return Exists(machine, kept); });
      if (done) settled.push_back(path);
    }
    (void)machine.files.RemoveDirectory(installFolder + "\\" + std::string(text::Utf8Bytes(kBackupFolderName)));  // when empty now
  }
  const std::optional<std::vector<JournalRecord>> compact = CompactJournal(journal.records, settled);
  if (!compact) return;
  // Kept as it was, the journal still tells the uninstall everything; it only stays longer.
  const platform::Status rewritten = RewriteJournal(machine.logging, folder, *compact);
  if (rewritten != platform::kSuccess && log != nullptr) log->WriteError(u8"无法整理安装记录 " + JournalPath(folder), rewritten);
}

void MoveOut(platform::Machine& machine, const CAcadCatalog& catalog, const EarlierInstallation& earlier,
             const std::string& installFolder, InstallRecord& record, InstallLog* log) {
  if (earlier.folder.empty()) return;
  if (log != nullptr) log->Write(u8"移除原安装位置的安装：" + text::FromAnsi(earlier.folder));
  const std::string chosen = InstalledChosenFolder(InstalledEntry{earlier.folder, {}});
  UninstallChoices choices;
  choices.typedFolder = chosen;
  choices.ask = false;
  choices.checkAcadRunning = false;
  choices.movedTo = installFolder;
  CUninstallEngine engine(machine, catalog, log);
  HiddenView view;
  // Found already gone (nothing to remove) is no failure.
  const UninstallOutcome outcome = chosen.empty() ? UninstallOutcome::kStopped : engine.Run(choices, view);
  if (outcome == UninstallOutcome::kStopped) {
    record.Issue(earlier.folder, kIssueEarlierStays);
    return;
  }
  for (const std::u8string& item : engine.LeftItems()) record.Issue(item);
}

}  // namespace install
