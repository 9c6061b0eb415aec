// Keeping what a run is about to change: records first, then the file moved aside.
#include "records/change_keeper.h"

#include <algorithm>

#include "platform/file_queries.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

bool IsText(std::uint32_t type) { return type == platform::kRegSz || type == platform::kRegExpandSz; }

std::u8string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char8_t kDigits[] = u8"0123456789ABCDEF";
  std::u8string out;
  for (const std::uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

}  // namespace

ChangeKeeper::ChangeKeeper(platform::Machine& machine, JournalWriter* journal, std::u8string_view installFolder)
    : m_machine(machine), m_pJournal(journal) {
  std::string folder;
  if (!text::ToAnsi(installFolder, folder)) m_pJournal = nullptr;
  m_strAsideFolder = folder + "\\" + kAsideFolderName;
}

std::vector<std::pair<std::string, std::string>>::iterator ChangeKeeper::Find(const std::string& folded) {
  return std::find_if(m_kept.begin(), m_kept.end(), [&folded](const auto& kept) { return kept.first == folded; });
}

platform::Status ChangeKeeper::Record(ChangeKind kind, std::vector<std::u8string> fields) {
  return m_pJournal != nullptr ? m_pJournal->Record(ChangeRecord{kind, std::move(fields)}) : platform::kSuccess;
}

platform::Status ChangeKeeper::BeforeFile(const std::string& path) {
  if (m_pJournal == nullptr) return platform::kSuccess;
  const std::string folded = text::ToUpper(path);
  if (Find(folded) != m_kept.end()) return platform::kSuccess;  // this run's own file by now, or aside already
  const std::size_t slash = text::ReverseFind(folded, '\\');
  const bool fresh = !m_strFreshFolder.empty() && slash != std::string::npos &&
                     std::string_view(folded).substr(0, slash) == m_strFreshFolder;
  const int kind = fresh ? kPathNone : GetPathKind(path, m_machine);
  if (kind == kPathFolder) return platform::kAccessDenied;
  if (kind == kPathNone) {
    const platform::Status recorded = Record(ChangeKind::kFileToMake, {text::FromAnsi(path)});
    if (recorded == platform::kSuccess) m_kept.emplace_back(folded, std::string());
    return recorded;
  }
  if (!m_bAsideFolderMade) {
    if (GetPathKind(m_strAsideFolder, m_machine) == kPathNone) {
      if (const platform::Status st = Record(ChangeKind::kFolderToMake, {text::FromAnsi(m_strAsideFolder)}); st != platform::kSuccess) {
        return st;
      }
      if (const platform::Status st = m_machine.files.CreateDirectory(m_strAsideFolder); st != platform::kSuccess) {
        return st;
      }
    }
    m_bAsideFolderMade = true;
  }
  const std::string aside = m_strAsideFolder + "\\" + std::to_string(++m_nAside);
  if (const platform::Status st = Record(ChangeKind::kFileMovedAside, {text::FromAnsi(path), text::FromAnsi(aside)});
      st != platform::kSuccess) {
    return st;
  }
  // A rename, not a copy: an upgrade pays for one copy of each file, not two. Read-only does not
  // stop a rename, and the file keeps its bit for the day it is put back.
  const platform::Status moved = m_machine.files.MoveFile(path, aside);
  if (moved == platform::kSuccess) m_kept.emplace_back(folded, aside);
  return moved;
}

void ChangeKeeper::Unwritten(const std::string& path) {
  const auto kept = Find(text::ToUpper(path));
  if (kept == m_kept.end() || kept->second.empty()) return;
  // A copy that failed half-way may have left a file behind.
  ClearReadOnly(path, m_machine);
  (void)m_machine.files.DeleteFile(path);
  if (m_machine.files.MoveFile(kept->second, path) == platform::kSuccess) m_kept.erase(kept);
}

platform::Status ChangeKeeper::BeforeFolders(const std::string& path) {
  if (m_pJournal == nullptr) return platform::kSuccess;
  for (const std::string& level : MissingLevels(path, m_machine)) {
    if (const platform::Status st = Record(ChangeKind::kFolderToMake, {text::FromAnsi(level)}); st != platform::kSuccess) return st;
  }
  return platform::kSuccess;
}

platform::Status ChangeKeeper::BeforeKeyWrite(platform::KeyHandle root, std::u8string_view hive,
                                              std::u8string_view keyPath, const std::vector<std::u8string>& names,
                                              bool wholeKey) {
  if (m_pJournal == nullptr) return platform::kSuccess;
  const std::u8string id = text::ToUpperUtf8(std::u8string(hive) + u8"\\" + std::u8string(keyPath));
  if (std::find(m_keysKept.begin(), m_keysKept.end(), id) != m_keysKept.end()) return platform::kSuccess;
  platform::Registry& registry = m_machine.registry;
  platform::UniqueKey key;
  platform::Status opened = registry.OpenKeyW(root, keyPath, platform::Access::Read, key);
  // Missing: the highest level missing is recorded, since removing it takes everything this run
  // makes below it. (A key that is there has every level above it; most writes find theirs.)
  for (std::size_t at = keyPath.find(u8'\\'); opened == platform::kFileNotFound; at = keyPath.find(u8'\\', at + 1)) {
    const std::u8string_view level = at == std::u8string_view::npos ? keyPath : keyPath.substr(0, at);
    platform::UniqueKey levelKey;
    const platform::Status found = registry.OpenKeyW(root, level, platform::Access::Read, levelKey);
    if (found == platform::kFileNotFound) {
      const platform::Status st = Record(ChangeKind::kKeyToMake, {std::u8string(hive), std::u8string(level)});
      if (st == platform::kSuccess) m_keysKept.push_back(id);
      return st;
    }
    if (found != platform::kSuccess) return found;
    // The key itself, made meanwhile by someone else: its values are kept as for any key there.
    if (at == std::u8string_view::npos) {
      key = std::move(levelKey);
      opened = platform::kSuccess;
    }
  }
  if (opened != platform::kSuccess) return opened;

  // The key is there: every value it holds (wholeKey) or each of `names`, and each of `names` it
  // lacks. A WAS with no type and data is a value that was not there.
  std::vector<std::u8string> absent = names;
  const auto was = [&](const std::u8string& name, std::uint32_t type, std::u8string data) {
    std::erase_if(absent, [&name](const std::u8string& n) { return text::EqualsNoCaseUtf8(n, name); });
    return Record(ChangeKind::kValueBefore,
                  {std::u8string(hive), std::u8string(keyPath), name, ValueTypeName(type), std::move(data)});
  };
  // Read through the wide function: a profile's text may hold what the code page cannot.
  for (std::size_t i = 0; !wholeKey && i < names.size(); ++i) {
    std::uint32_t type = 0;
    std::u8string text;
    platform::RegValue raw;
    platform::Status read = registry.QueryTextW(key.get(), names[i], type, text);
    if (read == platform::kFileNotFound) continue;
    if (read == platform::kSuccess && !IsText(type)) {
      read = platform::QueryWholeValue(registry, key.get(), std::string(text::Utf8Bytes(names[i])), raw);
      text = Hex(raw.data);
    }
    if (read == platform::kSuccess) read = was(names[i], type, std::move(text));
    if (read != platform::kSuccess) return read;
  }
  for (std::uint32_t index = 0; wholeKey; ++index) {
    std::string name;
    platform::RegValue value;
    platform::Status read = registry.EnumValue(key.get(), index, name, value);
    if (read == platform::kNoMoreItems) break;
    if (read == platform::kSuccess) {
      read = was(text::FromAnsi(name), value.type,
                 IsText(value.type) ? text::FromAnsi(platform::ValueText(value)) : Hex(value.data));
    }
    if (read != platform::kSuccess) return read;
  }
  for (const std::u8string& name : absent) {
    if (const platform::Status st = Record(ChangeKind::kValueBefore, {std::u8string(hive), std::u8string(keyPath), name});
        st != platform::kSuccess) {
      return st;
    }
  }
  m_keysKept.push_back(id);
  return platform::kSuccess;
}

void ChangeKeeper::Commit() {
  if (m_pJournal == nullptr) return;
  // Closed first: until then a rollback may still need what was moved aside.
  if (Record(ChangeKind::kRunEnded, {u8"DONE"}) != platform::kSuccess) return;
  for (const auto& [path, aside] : m_kept) {
    if (aside.empty()) continue;
    ClearReadOnly(aside, m_machine);
    (void)m_machine.files.DeleteFile(aside);
  }
  if (m_bAsideFolderMade) (void)m_machine.files.RemoveDirectory(m_strAsideFolder);
}

}  // namespace install
