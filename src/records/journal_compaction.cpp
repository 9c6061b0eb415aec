// Picking out what an upgrade no longer has, and the journal compacted.
#include "records/journal_compaction.h"

#include <algorithm>
#include <variant>

#include "platform/text.h"

namespace install {
namespace {

bool Has(const std::vector<std::u8string>& paths, std::u8string_view path) {
  return std::any_of(paths.begin(), paths.end(), [path](const std::u8string& one) { return text::EqualsNoCaseUtf8(one, path); });
}

void AddOnce(std::vector<std::u8string>& paths, std::u8string_view path) {
  if (!Has(paths, path)) paths.emplace_back(path);
}

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
  std::vector<std::u8string> copied;
  std::vector<std::u8string> placed;
  for (std::size_t i = last; i < records.size(); ++i) {
    if (const auto* file = std::get_if<FileCopied>(&records[i])) AddOnce(copied, file->path);
    if (const auto* support = std::get_if<SupportFilePlaced>(&records[i])) AddOnce(placed, support->path);
  }
  for (std::size_t i = 0; i < last; ++i) {
    const JournalRecord& record = records[i];
    if (const auto* file = std::get_if<FileCopied>(&record)) {
      // Only the install folder's own files: the settings files in users' folders stay theirs.
      if (!InFolder(file->path, installFolder) || Has(copied, file->path) ||
          payloadHas(std::u8string_view(file->path).substr(installFolder.size() + 1))) {
        continue;
      }
      if (!Has(superseded.files, file->path)) superseded.records.push_back(record);
      AddOnce(superseded.files, file->path);
    } else if (const std::u8string* path = PlacedPath(record); path != nullptr && !Has(placed, *path)) {
      superseded.records.push_back(record);
      AddOnce(superseded.placements, *path);
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
  struct Slot {
    std::u8string identity;
    JournalRecord record;
  };
  std::vector<Slot> kept;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const JournalRecord& record = records[i];
    if (std::holds_alternative<UnknownRecord>(record)) return std::nullopt;
    std::u8string identity;
    bool first = false;
    if (const auto* folder = std::get_if<FolderCreated>(&record)) {
      identity = u8"D" + folder->path;
    } else if (const auto* file = std::get_if<FileCopied>(&record)) {
      if (Has(settled, file->path)) continue;
      identity = u8"F" + file->path;
    } else if (const auto* key = std::get_if<KeyWritten>(&record)) {
      identity = (key->root == platform::RootKey::LocalMachine ? u8"KM" : u8"KU") + key->keyPath;
    } else if (const auto* value = std::get_if<ValueWritten>(&record)) {
      identity = (value->root == platform::RootKey::LocalMachine ? u8"VM" : u8"VU") + value->keyPath + u8"\t" + value->name;
    } else if (const auto* entry = std::get_if<TrustedPathAdded>(&record)) {
      identity = u8"T" + entry->userSid.value_or(u8"") + u8"\t" + entry->profileKey + u8"\t" + entry->entry;
      first = true;
    } else if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) {
      if (Has(settled, backup->original)) continue;
      identity = u8"B" + backup->backup;
    } else if (const auto* support = std::get_if<SupportFilePlaced>(&record)) {
      if (Has(settled, support->path)) continue;
      // The last run's finished placement is what is there now; any other history stays whole,
      // since the file there may be any of those placements, or one cut short.
      std::size_t at = records.size();
      while (at-- > 0) {
        const auto* one = std::get_if<SupportFilePlaced>(&records[at]);
        if (one != nullptr && text::EqualsNoCaseUtf8(one->path, support->path)) break;
      }
      if (at > last && !std::get<SupportFilePlaced>(records[at]).placing) identity = u8"S" + support->path;
    } else {
      continue;  // RUN, and what a run was about to change: only a rollback needs those
    }
    if (!identity.empty()) {
      identity = text::ToUpperUtf8(identity);
      const auto found = std::find_if(kept.begin(), kept.end(), [&identity](const Slot& slot) { return slot.identity == identity; });
      if (found != kept.end()) {
        if (!first) found->record = record;
        continue;
      }
    }
    kept.push_back({std::move(identity), record});
  }
  std::vector<JournalRecord> compact;
  const RunStarted& run = std::get<RunStarted>(records[last]);
  compact.emplace_back(RunStarted{run.time, run.version});
  for (Slot& slot : kept) compact.push_back(std::move(slot.record));
  compact.emplace_back(ChangeRecord{ChangeKind::kRunEnded, {u8"DONE"}});
  return compact;
}

}  // namespace install
