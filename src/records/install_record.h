// What an installation did and could not do, told as it happens: what it changed to the journal (so
// that it can be undone exactly) and, with what went wrong, to the log (for an administrator who was
// not there); what it could not do is also gathered for the message that ends the installation.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/change_keeper.h"
#include "records/install_issues.h"
#include "records/install_log.h"
#include "records/journal.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace install {

class InstallRecord {
 public:
  // Gathers only what could not be done (the steps' own tests, or no journal yet).
  InstallRecord() = default;
  // Either may be null.
  InstallRecord(InstallLog* log, JournalWriter* journal) : m_pLog(log), m_pJournal(journal) {}

  // What each step is about to change is kept first (see ChangeKeeper), when a keeper is given;
  // without one each of these lets the change go ahead.
  void SetKeeper(ChangeKeeper* keeper) { m_pKeeper = keeper; }
  [[nodiscard]] platform::Status BeforeFile(const std::string& path) {
    return m_pKeeper != nullptr ? m_pKeeper->BeforeFile(path) : platform::kSuccess;
  }
  void Unwritten(const std::string& path) {
    if (m_pKeeper != nullptr) m_pKeeper->Unwritten(path);
  }
  [[nodiscard]] platform::Status BeforeFolders(const std::string& path) {
    return m_pKeeper != nullptr ? m_pKeeper->BeforeFolders(path) : platform::kSuccess;
  }
  [[nodiscard]] platform::Status BeforeKeyWrite(platform::KeyHandle root, std::u8string_view hive,
                                                std::u8string_view keyPath, const std::vector<std::u8string>& names,
                                                bool wholeKey = false) {
    return m_pKeeper != nullptr ? m_pKeeper->BeforeKeyWrite(root, hive, keyPath, names, wholeKey) : platform::kSuccess;
  }

  // Paths and key names are ANSI (as the ANSI API takes them) unless typed as UTF-8.
  // A folder the installation made outside its install folder (the chosen folder).
  void FolderCreated(std::string_view path);
  void FileCopied(std::string_view path, std::uint64_t size);
  // `digest` is ContentDigest of the file as placed, empty when it could not be read back.
  void SupportFilePlaced(std::string_view path, std::uint64_t size, std::u8string_view digest);
  // A support file about to be copied over what is at `path`, recorded first so that a copy cut
  // short is known for the add-on's; false when it could not be recorded.
  [[nodiscard]] bool SupportFilePlacing(std::string_view path, std::uint64_t size, std::u8string_view digest);
  // A key written by the installation, with one value; `shown` is the data as the log gives it
  // (and as the journal keeps it): the text of a string, the decimal number of a REG_DWORD.
  void ValueWritten(platform::RootKey root, std::string_view keyPath, std::string_view name, std::uint32_t type,
                    std::u8string_view shown);
  // A profile's "TRUSTEDPATHS" rewritten; `added` is the entry appended, empty when it was there;
  // `created` when there was no such value before. `sid` is the user's whose hive `root` names
  // ("HKEY_USERS\<SID>"), none for the user running the installer ("HKEY_CURRENT_USER").
  void TrustedPathsChanged(const std::optional<std::u8string>& sid, std::u8string_view root,
                           std::u8string_view variablesKey, std::u8string_view before, std::u8string_view after,
                           std::u8string_view added, bool created);

  // The run's journal is closed: nothing more is recorded in it (what goes wrong is still gathered).
  void DetachJournal() {
    m_pJournal = nullptr;
    m_pKeeper = nullptr;
  }
  // The records of the installation this run moves to another folder (null: none), whose copies of
  // AutoCAD's files this run takes for the originals.
  void SetEarlier(const std::vector<JournalRecord>* earlier) { m_pEarlier = earlier; }
  // What the installation being moved recorded of the file at `path` (ANSI); nothing without one.
  PlacedFileHistory EarlierHistory(std::string_view path) const;

  // Whether there is a journal to record a backup in: without one, nothing of AutoCAD's is replaced.
  bool HasJournal() const { return m_pJournal != nullptr; }
  // Whether BeforeFile moves a file that is there aside before it is written.
  bool KeepsFiles() const { return m_pKeeper != nullptr && m_pKeeper->Keeping(); }
  // What this and earlier runs recorded of the file at `path` (ANSI); nothing without a journal.
  PlacedFileHistory History(std::string_view path) const;
  // Where the file at `path` is to be kept (ANSI), `skip` numbers on (see JournalWriter::BackupPathFor);
  // empty when that place cannot be named in the ANSI code page.
  std::string BackupPathFor(std::string_view path, unsigned skip) const;
  // A copy of the file at `original` kept whole at `backup`; false when it could not be recorded.
  [[nodiscard]] bool OriginalBackedUp(std::string_view original, std::string_view backup);

  // A step that failed, with the system's code, for the log; the item goes into Issues() too.
  void Failed(std::string_view what, platform::Status status, std::u8string_view note = {});
  void Failed(std::u8string_view what, platform::Status status, std::u8string_view note = {});
  // An item left undone (see InstallIssues::Add), also logged.
  void Issue(std::string_view what, std::u8string_view note = {});
  void Issue(std::u8string_view what, std::u8string_view note = {});
  // A line of the log for a step that changes nothing.
  void Note(std::u8string_view textUtf8);

  const InstallIssues& Issues() const { return m_issues; }
  // The journal's failure to record, if any: what it misses cannot be undone.
  platform::Status JournalFailure() const { return m_journalFailure; }
  // The bytes of the files this run copied into place (FileCopied), for Apps & features.
  std::uint64_t CopiedBytes() const { return m_copiedBytes; }

 private:
  bool Journal(const JournalRecord& record);

  InstallLog* m_pLog = nullptr;
  JournalWriter* m_pJournal = nullptr;
  ChangeKeeper* m_pKeeper = nullptr;
  const std::vector<JournalRecord>* m_pEarlier = nullptr;
  InstallIssues m_issues;
  platform::Status m_journalFailure = platform::kSuccess;
  std::uint64_t m_copiedBytes = 0;
};

// Records in `record` when the caller keeps one; the steps run the same either way.
inline void Report(InstallRecord* record, std::string_view what, std::u8string_view note = {}) {
  if (record != nullptr) record->Issue(what, note);
}
inline void Report(InstallRecord* record, std::u8string_view what, std::u8string_view note = {}) {
  if (record != nullptr) record->Issue(what, note);
}

}  // namespace install
