// Picking out what an upgrade no longer has, and the journal compacted.
#include "records/journal_compaction.h"

#include <map>
#include <set>
#include <variant>

#include "platform/text.h"

namespace install {
namespace {

// Paths as the file system tells them apart: each folded once, so that a journal of a few hundred
// records is not folded again for every comparison.
class PathSet {
 public:
  PathSet() = default;
  explicit PathSet(const std::vector<std::u8string>& paths) {
    for (const std::u8string& path : paths) (void)Add(path);
  }
  [[nodiscard]] bool Has(std::u8string_view path) const {
    return !m_folded.empty() && m_folded.contains(text::ToUpperUtf8(path));
  }
  // False when the path was there already.
  [[nodiscard]] bool Add(std::u8string_view path) { return m_folded.insert(text::ToUpperUtf8(path)).second; }

 private:
  std::set<std::u8string, std::less<>> m_folded;
};

// The index of the last RUN record, or the size when there is none.
std::size_t LastRun(const std::vector<JournalRecord>& records) {
  for (std::size_t i = records.size(); i-- > 0;) {
    if (std::holds_alternative<RunStarted>(records[i])) return i;
  }
  return records.size();
}

// The file in an AutoCAD folder a SUPPORT or BACKUP record is about; null for any other record.
const std::u8string* PlacedPath(const JournalRecord& record) {
  if (const auto* placed = std::get_if<SupportFilePlaced>(&record)) return &placed->path;
  if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) return &backup->original;
  return nullptr;
}

bool InFolder(std::u8string_view path, std::u8string_view folder) {
  return path.size() > folder.size() + 1 && path[folder.size()] == u8'\\' &&
         text::EqualsNoCaseUtf8(path.substr(0, folder.size()), folder) &&
         path.find(u8'\\', folder.size() + 1) == std::u8string_view::npos;
}

}  // namespace

SupersededRecords FindSuperseded(const std::vector<JournalRecord>& records, std::u8string_view installFolder,
                                 const std::function<bool(std::u8string_view)>& payloadHas) {
  SupersededRecords superseded;
  const std::size_t last = LastRun(records);
  if (last == records.size()) return superseded;
  if (last == 0) return superseded;  // one run only: nothing earlier
  PathSet copied;
  PathSet placed;
  for (std::size_t i = last; i < records.size(); ++i) {
    if (const auto* file = std::get_if<FileCopied>(&records[i])) (void)copied.Add(file->path);
    if (const auto* support = std::get_if<SupportFilePlaced>(&records[i])) (void)placed.Add(support->path);
  }
  PathSet files;
  PathSet placements;
  for (std::size_t i = 0; i < last; ++i) {
    const JournalRecord& record = records[i];
    if (const auto* file = std::get_if<FileCopied>(&record)) {
      // Only the install folder's own files: the settings files in users' folders stay theirs.
      if (!InFolder(file->path, installFolder) || copied.Has(file->path) ||
          payloadHas(std::u8string_view(file->path).substr(installFolder.size() + 1))) {
        continue;
      }
      if (files.Add(file->path)) {
        superseded.records.push_back(record);
        superseded.files.push_back(file->path);
      }
    } else if (const std::u8string* path = PlacedPath(record); path != nullptr && !placed.Has(*path)) {
      superseded.records.push_back(record);
      if (placements.Add(*path)) superseded.placements.push_back(*path);
    }
  }
  return superseded;
}

std::optional<std::vector<JournalRecord>> CompactJournal(const std::vector<JournalRecord>& records,
                                                         const std::vector<std::u8string>& settled) {
  const std::size_t last = LastRun(records);
  if (last == records.size()) return std::nullopt;
  // Each record under what it describes: a later one of the same replaces it (kept in its place)
  // or, for a trusted entry, is passed over. An empty identity is never merged.
  std::vector<JournalRecord> kept;
  std::map<std::u8string, std::size_t, std::less<>> slotOf;  // identity -> index in kept
  const PathSet gone(settled);
  std::map<std::u8string, std::size_t, std::less<>> lastPlacement;  // folded path -> its last SUPPORT
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (std::holds_alternative<UnknownRecord>(records[i])) return std::nullopt;
    if (const auto* support = std::get_if<SupportFilePlaced>(&records[i])) {
      lastPlacement[text::ToUpperUtf8(support->path)] = i;
    }
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    const JournalRecord& record = records[i];
    std::u8string identity;
    bool first = false;
    if (const auto* folder = std::get_if<FolderCreated>(&record)) {
      identity = u8"D" + folder->path;
    } else if (const auto* file = std::get_if<FileCopied>(&record)) {
      if (gone.Has(file->path)) continue;
      identity = u8"F" + file->path;
    } else if (const auto* key = std::get_if<KeyWritten>(&record)) {
      identity = (key->root == platform::RootKey::LocalMachine ? u8"KM" : u8"KU") + key->keyPath;
    } else if (const auto* value = std::get_if<ValueWritten>(&record)) {
      identity = (value->root == platform::RootKey::LocalMachine ? u8"VM" : u8"VU") + value->keyPath + u8"\t" + value->name;
    } else if (const auto* entry = std::get_if<TrustedPathAdded>(&record)) {
      identity = u8"T" + entry->userSid.value_or(u8"") + u8"\t" + entry->profileKey + u8"\t" + entry->entry;
      first = true;
    } else if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) {
      if (gone.Has(backup->original)) continue;
      identity = u8"B" + backup->backup;
    } else if (const auto* support = std::get_if<SupportFilePlaced>(&record)) {
      if (gone.Has(support->path)) continue;
      // The last run's finished placement is what is there now; any other history stays whole,
      // since the file there may be any of those placements, or one cut short.
      const std::size_t at = lastPlacement.find(text::ToUpperUtf8(support->path))->second;
      if (at > last && !std::get<SupportFilePlaced>(records[at]).placing) identity = u8"S" + support->path;
    } else {
      continue;  // RUN, and what a run was about to change: only a rollback needs those
    }
    if (!identity.empty()) {
      identity = text::ToUpperUtf8(identity);
      const auto [found, added] = slotOf.try_emplace(identity, kept.size());
      if (!added) {
        if (!first) kept[found->second] = record;
        continue;
      }
    }
    kept.push_back(record);
  }
  std::vector<JournalRecord> compact;
  const RunStarted& run = std::get<RunStarted>(records[last]);
  compact.emplace_back(RunStarted{run.time, run.version});
  for (JournalRecord& one : kept) compact.push_back(std::move(one));
  compact.emplace_back(ChangeRecord{ChangeKind::kRunEnded, {u8"DONE"}});
  return compact;
}

}  // namespace install
