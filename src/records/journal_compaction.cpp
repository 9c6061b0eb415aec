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

// Adds `record` to `out`, or puts it in the place of the one `same` finds there.
template <class Record, class Same>
void Latest(std::vector<Record>& out, const Record& record, Same same) {
  const auto found = std::find_if(out.begin(), out.end(), [&](const Record& one) { return same(one, record); });
  if (found == out.end()) {
    out.push_back(record);
  } else {
    *found = record;
  }
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
  std::vector<FolderCreated> folders;
  std::vector<FileCopied> files;
  std::vector<KeyWritten> keys;
  std::vector<ValueWritten> values;
  std::vector<TrustedPathAdded> trusted;
  // BACKUP and SUPPORT records in the order written: a file's backup comes before its placement.
  std::vector<JournalRecord> placed;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const JournalRecord& record = records[i];
    if (std::holds_alternative<UnknownRecord>(record)) return std::nullopt;
    if (const auto* folder = std::get_if<FolderCreated>(&record)) {
      Latest(folders, *folder, [](const auto& a, const auto& b) { return text::EqualsNoCaseUtf8(a.path, b.path); });
    } else if (const auto* file = std::get_if<FileCopied>(&record)) {
      if (Has(settled, file->path)) continue;
      Latest(files, *file, [](const auto& a, const auto& b) { return text::EqualsNoCaseUtf8(a.path, b.path); });
    } else if (const auto* key = std::get_if<KeyWritten>(&record)) {
      Latest(keys, *key, [](const auto& a, const auto& b) { return a.root == b.root && text::EqualsNoCaseUtf8(a.keyPath, b.keyPath); });
    } else if (const auto* value = std::get_if<ValueWritten>(&record)) {
      Latest(values, *value, [](const auto& a, const auto& b) {
        return a.root == b.root && text::EqualsNoCaseUtf8(a.keyPath, b.keyPath) && text::EqualsNoCaseUtf8(a.name, b.name);
      });
    } else if (const auto* entry = std::get_if<TrustedPathAdded>(&record)) {
      const bool seen = std::any_of(trusted.begin(), trusted.end(), [entry](const TrustedPathAdded& one) {
        return one.userSid.has_value() == entry->userSid.has_value() &&
               text::EqualsNoCaseUtf8(one.userSid.value_or(u8""), entry->userSid.value_or(u8"")) &&
               text::EqualsNoCaseUtf8(one.profileKey, entry->profileKey) && text::EqualsNoCaseUtf8(one.entry, entry->entry);
      });
      if (!seen) trusted.push_back(*entry);
    } else if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) {
      const bool kept = std::any_of(placed.begin(), placed.end(), [backup](const JournalRecord& r) {
        const auto* one = std::get_if<OriginalBackedUp>(&r);
        return one != nullptr && text::EqualsNoCaseUtf8(one->backup, backup->backup);
      });
      if (!kept && !Has(settled, backup->original)) placed.emplace_back(*backup);
    } else if (const auto* support = std::get_if<SupportFilePlaced>(&record)) {
      if (Has(settled, support->path)) continue;
      // The last run's finished placement is what is there now; any other history stays whole,
      // since the file there may be any of those placements, or one cut short.
      const auto lastOfPath = std::find_if(records.rbegin(), records.rend(), [support](const JournalRecord& r) {
        const auto* one = std::get_if<SupportFilePlaced>(&r);
        return one != nullptr && text::EqualsNoCaseUtf8(one->path, support->path);
      });
      const auto& latest = std::get<SupportFilePlaced>(*lastOfPath);
      const bool finishedNow = !latest.placing && static_cast<std::size_t>(records.rend() - lastOfPath) - 1 > last;
      if (!finishedNow || &*lastOfPath == &record) placed.emplace_back(*support);
    }
  }
  std::vector<JournalRecord> compact;
  const RunStarted& run = std::get<RunStarted>(records[last]);
  compact.emplace_back(RunStarted{run.time, run.version});
  for (const auto& one : folders) compact.emplace_back(one);
  for (const auto& one : files) compact.emplace_back(one);
  for (const auto& one : keys) compact.emplace_back(one);
  for (const auto& one : values) compact.emplace_back(one);
  for (const auto& one : trusted) compact.emplace_back(one);
  compact.insert(compact.end(), placed.begin(), placed.end());
  compact.emplace_back(ChangeRecord{ChangeKind::kRunEnded, {u8"DONE"}});
  return compact;
}

}  // namespace install
