// The journal: what an installation changed on the machine, written in the install folder as it goes
// so that the uninstaller can undo exactly that, even after an installation that was cut short.
//
// A UTF-8 text file, one record per line, CRLF line ends, fields separated by tabs:
//
//   RUN      <local time>  <installer version>         one per installation, first of its records
//   FOLDER   <path>                                    a folder created outside the install folder
//   FILE     <path>  <size>                           a file copied into the install folder
//   KEY      <root>  <key path>                       a registry key created or written to
//   VALUE    <root>  <key path>  <value name>  <type>  <data>
//                                                     a registry value written, and what it was set to
//   TRUSTED  <user>  <profile key>  <entry>  [NEW]     an entry added to a profile's TRUSTEDPATHS
//                                                     (NEW: the value was not there before)
//   SUPPORT  <path>  <size>  <digest>  [PLACING]      a support file placed in an AutoCAD folder
//                                                     (PLACING: about to be, written before the copy)
//   BACKUP   <original>  <backup copy>                an AutoCAD file about to be replaced, and its copy
//
// What the machine held before a run changed it, written before each change, so that a run that
// stops (or is killed) can be rolled back to exactly that:
//   MADE     <path>                                   a file about to be made where there was none
//   ASIDE    <path>  <moved to>                        a file about to be replaced, first renamed aside
//                                                     into the install folder (deleted when the run ends well)
//   DIR      <path>                                   a folder about to be made
//   KEYNEW   <hive>  <key path>                       a registry key about to be made (its highest missing level)
//   WAS      <hive>  <key path>  <value name>  [<type>  <data>]
//                                                     a value as it was before the run wrote to its key;
//                                                     no type: there was no such value
//   END      DONE                                     the run ended well; a RUN without it is open
// <hive> is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or another user's SID; a WAS of a string type
// keeps the text, of any other type the bytes as hex digits. RUN may carry a third field: the
// journal's length in bytes before the run, which a rollback cuts it back to.
//
// <root> is HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER; <type> is REG_SZ, REG_DWORD and so on (a number
// for a type without a name); <data> is the text of a string value and the decimal number of a
// REG_DWORD; <user> is the user's SID, or HKCU for the user running the installer, and <profile
// key> is the Variables key's path under that user's root; sizes are decimal bytes; <digest> is
// ContentDigest of the file as placed. Journals of the version before FOLDER lack <data>, NEW and
// <digest>; their lines still read, those fields missing. PLACING is a field an older reader passes
// over: it takes the record for the placement itself, as it took the one written after the copy.
// Within a field, '%' and every control character (tab, CR, LF among them) are written as '%' and two
// hex digits, so any path or name fits on its line and backslashes stay as they are. A new journal
// starts with the UTF-8 byte order mark and a '#' line for the person who opens it.
//
// Each record is appended and written through to the disk before the work goes on. Re-installing
// into the same folder appends a new RUN and its records; once that run has ended well, the journal
// is rewritten as a single run describing the installation as it stands (journal_compaction.h),
// through a "<journal>.new" that then takes its place in one step. A line cut short by a power cut is
// ignored when read; the next run first ends it with a lone '%', an escape no reader accepts, so it
// can never pass for a whole record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/log_support.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace install {

inline constexpr const char8_t* kJournalFileName = u8"VornexSetup.journal";
// Inside the install folder: the AutoCAD files the installation replaced, as they were first found.
inline constexpr const char8_t* kBackupFolderName = u8"Backup";

struct RunStarted {
  std::u8string time;  // "2026-12-08 21:47:59"
  std::u8string version;
  std::optional<std::uint64_t> journalSizeBefore = std::nullopt;  // none in an older journal
  bool operator==(const RunStarted&) const = default;
};
struct FileCopied {
  std::u8string path;
  std::uint64_t size = 0;
  bool operator==(const FileCopied&) const = default;
};
struct FolderCreated {
  std::u8string path;
  bool operator==(const FolderCreated&) const = default;
};
struct KeyWritten {
  platform::RootKey root = platform::RootKey::LocalMachine;
  std::u8string keyPath;
  bool operator==(const KeyWritten&) const = default;
};
struct ValueWritten {
  platform::RootKey root = platform::RootKey::LocalMachine;
  std::u8string keyPath;
  std::u8string name;  // empty: the key's default value
  std::uint32_t type = platform::kRegSz;
  std::optional<std::u8string> data;  // none in an older journal
  bool operator==(const ValueWritten&) const = default;
};
struct TrustedPathAdded {
  std::optional<std::u8string> userSid;  // none: the user running the installer (HKCU)
  std::u8string profileKey;              // ...\Profiles\<profile>\Variables
  std::u8string entry;                   // what was added to TRUSTEDPATHS
  bool created = false;                  // the value itself was made by the installation
  bool operator==(const TrustedPathAdded&) const = default;
};
struct SupportFilePlaced {
  std::u8string path;
  std::uint64_t size = 0;
  std::u8string digest;  // empty in an older journal
  // Written before the copy: what is at the path may be this file cut short, until a record
  // without the mark follows.
  bool placing = false;
  bool operator==(const SupportFilePlaced&) const = default;
};
struct OriginalBackedUp {
  std::u8string original;
  std::u8string backup;
  bool operator==(const OriginalBackedUp&) const = default;
};
// A change about to be made, or the run's end (MADE, ASIDE, DIR, KEYNEW, WAS, END): its fields as
// the journal lists them after the keyword, the <type> of a WAS as written (see ReadValueType).
enum class ChangeKind : std::uint8_t { kFileToMake, kFileMovedAside, kFolderToMake, kKeyToMake, kValueBefore, kRunEnded };
struct ChangeRecord {
  ChangeKind kind{};
  std::vector<std::u8string> fields;
  bool operator==(const ChangeRecord&) const = default;
};

// A record of a kind this version does not know (written by a later one). It is kept, so that the
// uninstaller can tell that it does not understand everything the journal holds.
struct UnknownRecord {
  std::u8string kind;
  std::vector<std::u8string> fields;
  bool operator==(const UnknownRecord&) const = default;
};

using JournalRecord = std::variant<RunStarted, FolderCreated, FileCopied, KeyWritten, ValueWritten,
                                   TrustedPathAdded, SupportFilePlaced, OriginalBackedUp, ChangeRecord, UnknownRecord>;

// The hive names of KEYNEW and WAS for the two roots the program names by a RootKey.
inline constexpr const char8_t* kHiveLocalMachine = u8"HKEY_LOCAL_MACHINE";
inline constexpr const char8_t* kHiveCurrentUser = u8"HKEY_CURRENT_USER";

// A registry type as the journal writes it (REG_SZ ..., a number for a type without a name), and back.
std::u8string ValueTypeName(std::uint32_t type);
bool ReadValueType(std::u8string_view field, std::uint32_t& type);

// What the records tell of one file in an AutoCAD folder, over every run.
struct PlacedFileHistory {
  std::vector<SupportFilePlaced> placements;  // oldest first
  std::vector<std::u8string> backups;         // the copies kept of what was there before, oldest first
  // The last placement was set out on and never finished: the file there may be a torn copy.
  bool placing = false;
  // Whether `content` is a file the add-on placed there: the size and the digest of a placement
  // (the size alone for a journal that kept no digest).
  bool IsAddOns(std::u8string_view content) const;
};
// The history of `path` (letter case aside) in `records`.
PlacedFileHistory HistoryOf(const std::vector<JournalRecord>& records, std::u8string_view path);

// "<install folder>\VornexSetup.journal".
std::u8string JournalPath(std::u8string_view installFolder);

// "<install folder>\VornexSetup.journal.new": a whole journal is written here before it takes the
// journal's place.
std::u8string NewJournalPath(std::u8string_view installFolder);
// Writes `records` as the whole journal of `installFolder`: into NewJournalPath first, through to
// the disk, then put in the journal's place in one step, so that a run cut off at any moment leaves
// the journal as it was or as it is now, never none. A file left at NewJournalPath by such a run is
// emptied first. Nothing changes in the journal in use unless this returns kSuccess.
platform::Status RewriteJournal(platform::LogSupport& machine, std::u8string_view installFolder,
                                const std::vector<JournalRecord>& records);

// What a SUPPORT record keeps of a file's content, to tell at uninstall time whether the file is
// still the one placed, when the payload it came from is long gone: 64-bit FNV-1a as 16 hex digits.
// It guards against change, not against an attacker: whoever could forge a match could write
// AutoCAD's folders anyway, and all a match earns is the file's deletion.
std::u8string ContentDigest(std::u8string_view content);

// A record's line, its CRLF included.
std::u8string FormatJournalLine(const JournalRecord& record);
// The record on one line (its line end removed already), or none for a line that is damaged: a bad
// escape, a raw control character, a known kind with too few fields or a field that does not read.
// A known kind with more fields than it has reads, the extra ones ignored: a later version may add some.
std::optional<JournalRecord> ParseJournalLine(std::u8string_view line);

struct JournalContents {
  std::vector<JournalRecord> records;  // in the order written
  std::size_t damagedLines = 0;        // ignored, the last line cut short among them
};
// The records of a whole journal. Empty lines and '#' lines are passed over.
JournalContents ParseJournal(std::u8string_view text);
// Reads the journal of `installFolder`; kFileNotFound when there is none.
platform::Status ReadJournal(platform::AppendFiles& files, std::u8string_view installFolder, JournalContents& contents);

class JournalWriter {
 public:
  explicit JournalWriter(platform::LogSupport& machine) : m_machine(machine) {}

  // Opens (or creates) the journal of `installFolder`, learns what earlier runs placed and backed
  // up, and writes this run's RUN record. Nothing is recorded until it has succeeded.
  platform::Status Start(std::u8string_view installFolder, std::u8string_view version);
  // The journal's length before this run's RUN record (valid after Start).
  std::uint64_t SizeBefore() const { return m_nSizeBefore; }
  const std::u8string& Folder() const { return m_strFolder; }

  // Appends one record, on the disk when this returns.
  platform::Status Record(const JournalRecord& record);

  // What this and earlier runs recorded of `path`.
  PlacedFileHistory History(std::u8string_view path) const { return HistoryOf(m_arrPlaced, path); }
  // Where to keep a copy of the file at `originalPath`: "<install folder>\Backup\<n>\<name>", numbered
  // on from the backups recorded so far, `skip` numbers further (for numbers taken by copies no
  // record names). Record it before asking for the next one.
  std::u8string BackupPathFor(std::u8string_view originalPath, unsigned skip = 0) const;

 private:
  platform::Status Append(std::u8string_view line);

  platform::LogSupport& m_machine;
  std::unique_ptr<platform::AppendedFile> m_file;
  std::u8string m_strFolder;
  std::uint64_t m_nSizeBefore = 0;
  std::vector<JournalRecord> m_arrPlaced;  // the SUPPORT and BACKUP records, earlier runs' first
  std::size_t m_nBackups = 0;
};

}  // namespace install
