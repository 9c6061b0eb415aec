// Per-release support files.
#include "install/support_files.h"

#include <memory>
#include <set>

#include "records/install_texts.h"
#include "platform/path_limits.h"
#include "install/payload.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace {

// The names of the files in the payload folder, read once per AutoCAD folder: of the fifty-odd
// copies tried there, most are of module years the payload does not ship, and each of those
// would otherwise be a failed open (a round trip when the installer runs from a network share).
// Nothing when the folder cannot be listed: then every copy is tried, as if all were shipped.
class ShippedFiles {
 public:
  ShippedFiles(const std::string& payload, platform::Machine& machine, const install::CheckedPayload* checked)
      : m_pChecked(checked) {
    platform::FindEntry entry;
    std::unique_ptr<platform::Listing> listing;
    if (!ListFolder(payload, entry, listing, machine)) return;
    m_listed = true;
    do {
      // Folded once: a listing of a hundred names is asked about every module year tried.
      if ((entry.attributes & platform::kAttrDirectory) == 0) m_names.insert(text::ToUpper(entry.name));
    } while (listing->Next(entry));
  }

  // False only for a name the listing was read without.
  bool MayHave(const std::string& name) const {
    // A module the install folder got only after its copy was checked; one whose copy was given up is unchecked.
    if (m_pChecked != nullptr && !m_pChecked->Verified(name)) return false;
    if (!m_listed) return true;
    return m_names.contains(text::ToUpper(name));
  }

 private:
  const install::CheckedPayload* m_pChecked;
  bool m_listed = false;
  std::set<std::string> m_names;  // upper case
};

// The size and digest of a file just placed, for the journal: the uninstaller removes it only while
// it is still this file. An empty digest when it cannot be read back.
void RecordPlaced(platform::Machine& machine, const std::string& path, install::InstallRecord& record) {
  std::u8string content;
  const bool read = machine.logging.files.ReadWhole(text::FromAnsi(path), content) == platform::kSuccess;
  record.SupportFilePlaced(path, content.size(), read ? install::ContentDigest(content) : std::u8string());
}

// Every number of backup folders tried before giving up: numbers are passed over only for copies
// that killed runs left without a record.
constexpr unsigned kBackupNumbersTried = 100;

// What was just copied to `path`, made durable. A read-only copy cannot be opened for writing, so
// its bit is dropped for the moment.
platform::Status Flush(platform::Machine& machine, const std::string& path) {
  std::uint32_t attributes = 0;
  platform::Status status = machine.files.GetAttributes(path, attributes);
  if (status != platform::kSuccess) return status;
  const bool readOnly = (attributes & platform::kAttrReadOnly) != 0;
  if (readOnly) {
    const std::uint32_t writable = attributes & ~platform::kAttrReadOnly;
    status = machine.files.SetAttributes(path, writable == 0 ? platform::kAttrNormal : writable);
    if (status != platform::kSuccess) return status;
  }
  status = machine.files.FlushFile(path);
  if (readOnly) (void)machine.files.SetAttributes(path, attributes);
  return status;
}

// A copy of AutoCAD's file at `target` in the next free "Backup\<n>", on the disk and recorded.
// A number whose folder is there already is passed over: what a killed run left in it may be half
// a copy, and nothing records it.
// `source`: where AutoCAD's file is read from, the file at `target` itself unless a copy of it is
// carried over from an installation this run moves.
bool Backup(platform::Machine& machine, const std::string& target, install::InstallRecord& record,
            const std::string& source) {
  for (unsigned skip = 0; skip < kBackupNumbersTried; ++skip) {
    const std::string backup = record.BackupPathFor(target, skip);
    const std::size_t slash = text::ReverseFind(backup, '\\');
    if (backup.empty() || slash == std::string::npos || !FitsMaxPath(backup)) break;
    const std::string numbered = backup.substr(0, slash);
    if (GetPathKind(numbered, machine) != kPathNone) continue;
    // Inside the install folder, which is protected; what is made is kept first for a rollback.
    platform::Status copied = record.BeforeFolders(numbered);
    if (copied == platform::kSuccess) {
      machine.files.CreateDirectory(numbered.substr(0, text::ReverseFind(numbered, '\\')));
      machine.files.CreateDirectory(numbered);
      copied = record.BeforeFile(backup);
    }
    if (copied == platform::kSuccess) copied = machine.files.CopyFile(source, backup, true);
    if (copied == platform::kSuccess) copied = Flush(machine, backup);
    if (copied != platform::kSuccess) {
      record.Failed(target, copied, install::kIssueNoBackup);
      return false;
    }
    if (record.OriginalBackedUp(target, backup)) return true;
    break;  // a copy no record names is no backup the uninstall could find
  }
  record.Issue(target, install::kIssueNoBackup);
  return false;
}

// Whether the file at `target` may be replaced by `placing`, the payload's file: AutoCAD's own file
// there is kept first. The file in place decides, not the records alone: an uninstall may have put
// AutoCAD's file back since, or an update of AutoCAD replaced the add-on's. False when AutoCAD's
// file is there and could not be kept (or recorded): then it must not be replaced, or it would be
// lost for good.
bool KeepOriginal(platform::Machine& machine, const std::string& target, std::u8string_view placing,
                  install::InstallRecord* record) {
  if (record == nullptr) return true;
  std::u8string now;
  const platform::Status read = machine.logging.files.ReadWhole(text::FromAnsi(target), now);
  if (read == platform::kFileNotFound || read == platform::kPathNotFound) return true;  // nothing there to keep
  if (read != platform::kSuccess) {
    record->Failed(target, read, install::kIssueNoBackup);
    return false;
  }
  if (now == placing) return true;  // nothing would change
  if (!record->HasJournal()) {
    record->Issue(target, install::kIssueNoJournalKept);
    return false;
  }
  // The file the installation this run moves placed is no original either: AutoCAD's is the
  // latest copy it kept that is not the add-on's, carried into this installation's Backup. With
  // none, the add-on made the file there, and there is nothing of AutoCAD's to keep.
  const install::PlacedFileHistory earlier = record->EarlierHistory(target);
  if (earlier.placing || earlier.IsAddOns(now)) {
    for (auto kept = earlier.backups.rbegin(); kept != earlier.backups.rend(); ++kept) {
      std::u8string content;
      std::string copy;
      if (machine.logging.files.ReadWhole(*kept, content) == platform::kSuccess && !earlier.IsAddOns(content) &&
          text::ToAnsi(*kept, copy)) {
        return Backup(machine, target, *record, copy);
      }
    }
    return true;
  }
  // The add-on's file of this or an earlier version, or its copy cut short, is no original.
  const install::PlacedFileHistory history = record->History(target);
  if (history.placing || history.IsAddOns(now)) return true;
  // Kept already when the latest backup holds exactly this.
  std::u8string kept;
  if (!history.backups.empty() &&
      machine.logging.files.ReadWhole(history.backups.back(), kept) == platform::kSuccess && kept == now) {
    return true;
  }
  return Backup(machine, target, *record, target);
}

// A copy of a payload file into an AutoCAD folder. A path the file API would refuse is not handed
// to it at all. A failure counts only when the payload has the file: most of the module years
// tried are not shipped, and their absence is no fault. With a journal, the placing is recorded
// before the copy and the placement after it, once the copy is on the disk: a copy cut short is
// then known for the add-on's.
void CopyNoting(platform::Machine& machine, const ShippedFiles& shipped, const std::string& payload,
                const std::string& name, const std::string& target, install::InstallRecord* record) {
  if (!shipped.MayHave(name)) return;
  const std::string source = payload + "\\" + name;
  platform::Status status = platform::kFilenameTooLong;
  if (FitsMaxPath(source) && FitsMaxPath(target)) {
    std::u8string placing;
    status = machine.logging.files.ReadWhole(text::FromAnsi(source), placing);
    if (status == platform::kSuccess) {
      if (!KeepOriginal(machine, target, placing, record)) return;
      if (record != nullptr && record->HasJournal() &&
          !record->SupportFilePlacing(target, placing.size(), install::ContentDigest(placing))) {
        record->Issue(target, install::kIssueNoJournalKept);
        return;
      }
      // What is there now is kept aside first, so that a rollback can put it back.
      status = record != nullptr ? record->BeforeFile(target) : platform::kSuccess;
      if (status == platform::kSuccess) status = machine.files.CopyFile(source, target, false);
    }
    if (status == platform::kSuccess) {
      if (record != nullptr && Flush(machine, target) == platform::kSuccess) RecordPlaced(machine, target, *record);
      return;
    }
    if (record != nullptr) record->Unwritten(target);
  }
  if (GetPathKind(source, machine) != kPathFile) return;
  if (record == nullptr) return;
  if (FitsMaxPath(target)) {
    record->Failed(target, status);
  } else {
    record->Issue(target, install::kIssueTooLong);
  }
}

}  // namespace

void DeploySupportFiles(const CAcadCatalog& catalog, const ReleaseFlags& flags, platform::Machine& machine,
                        install::InstallRecord* record, const install::CheckedPayload* checked) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] == 0) continue;
    for (const std::string& folder : catalog.m_arrLocations[YearIndex(year)]) {
      CopySupportFiles(folder, year == kPlotterDriverYear, machine, record, checked);
    }
  }
}

void CopySupportFiles(const std::string& acadFolder, bool withPlotterDriver, platform::Machine& machine,
                      install::InstallRecord* record, const install::CheckedPayload* checked) {
  // The lookup shows its own message when the payload has gone; every copy from it would fail.
  std::string payload;
  if (!FindPayloadFolder(payload, machine)) {
    install::Report(record, acadFolder, install::kIssueNoPayload);
    return;
  }

  const ShippedFiles shipped(payload, machine, checked);
  const std::string folder = acadFolder + "\\";
  CopyNoting(machine, shipped, payload, "Vornex_EN.shx", folder + kSupportFontEn, record);
  CopyNoting(machine, shipped, payload, "Vornex_HZ.shx", folder + kSupportFontHz, record);
  CopyNoting(machine, shipped, payload, "itextsharp.dll", folder + kSupportPdfLibrary, record);
  for (int year = kFirstModuleYear; year <= kLastModuleYear; ++year) {
    const std::string module = "VXCAD" + std::to_string(year) + "P.dll";
    CopyNoting(machine, shipped, payload, module, folder + module, record);
  }
  if (withPlotterDriver) {
    // The add-on's driver takes the name of AutoCAD's own PDF plotter driver.
    CopyNoting(machine, shipped, payload, "Vornex.prt5", folder + kSupportPlotterDriver, record);
  }
}
