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

platform::Status ChangeKeeper::Record(const JournalRecord& record) {
  return m_pJournal != nullptr ? m_pJournal->Record(record) : platform::kSuccess;
}

platform::Status ChangeKeeper::BeforeFile(const std::string& path) {
  if (m_pJournal == nullptr) return platform::kSuccess;
  const std::string folded = text::ToUpper(path);
  if (Find(folded) != m_kept.end()) return platform::kSuccess;  // this run's own file by now, or aside already
  const int kind = GetPathKind(path, m_machine);
  if (kind == kPathFolder) return platform::kAccessDenied;
  if (kind == kPathNone) {
    const platform::Status recorded = Record(FileToMake{text::FromAnsi(path)});
    if (recorded == platform::kSuccess) m_kept.emplace_back(folded, std::string());
    return recorded;
  }
  if (!m_bAsideFolderMade) {
    if (GetPathKind(m_strAsideFolder, m_machine) == kPathNone) {
      if (const platform::Status st = Record(FolderToMake{text::FromAnsi(m_strAsideFolder)}); st != platform::kSuccess) {
        return st;
      }
      if (const platform::Status st = m_machine.files.CreateDirectory(m_strAsideFolder); st != platform::kSuccess) {
        return st;
      }
    }
    m_bAsideFolderMade = true;
  }
  const std::string aside = m_strAsideFolder + "\\" + std::to_string(++m_nAside);
  if (const platform::Status st = Record(FileMovedAside{text::FromAnsi(path), text::FromAnsi(aside)});
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
  // From the top: the first missing level and every one below it.
  bool missing = false;
  for (std::size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    const std::string level = at == std::string::npos ? path : path.substr(0, at);
    missing = missing || GetPathKind(level, m_machine) == kPathNone;
    if (missing) {
      if (const platform::Status st = Record(FolderToMake{text::FromAnsi(level)}); st != platform::kSuccess) return st;
    }
    if (at == std::string::npos) break;
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
  // The highest level missing: removing it takes everything this run made below it.
  for (std::size_t at = keyPath.find(u8'\\');; at = keyPath.find(u8'\\', at + 1)) {
    const std::u8string_view level = at == std::u8string_view::npos ? keyPath : keyPath.substr(0, at);
    platform::UniqueKey key;
    const platform::Status opened = registry.OpenKeyW(root, level, platform::Access::Read, key);
    if (opened == platform::kFileNotFound) {
      const platform::Status st = Record(KeyToMake{std::u8string(hive), std::u8string(level)});
      if (st == platform::kSuccess) m_keysKept.push_back(id);
      return st;
    }
    if (opened != platform::kSuccess) return opened;
    if (at != std::u8string_view::npos) continue;

    // The key is there: every value it holds, and each value to be written that it lacks.
    std::vector<std::u8string> absent = names;
    if (!wholeKey) {
      // Read through the wide function: a profile's text may hold what the code page cannot.
      for (const std::u8string& name : names) {
        std::uint32_t type = 0;
        std::u8string text;
        const platform::Status read = registry.QueryTextW(key.get(), name, type, text);
        if (read == platform::kFileNotFound) continue;
        if (read != platform::kSuccess) return read;
        std::erase(absent, name);
        platform::RegValue raw;
        if (!IsText(type) && platform::QueryWholeValue(registry, key.get(), std::string(text::Utf8Bytes(name)), raw) !=
                                 platform::kSuccess) {
          return platform::kInvalidData;
        }
        if (const platform::Status st =
                Record(ValueBefore{std::u8string(hive), std::u8string(keyPath), name, type, IsText(type) ? text : Hex(raw.data)});
            st != platform::kSuccess) {
          return st;
        }
      }
    }
    for (std::uint32_t index = 0; wholeKey; ++index) {
      std::string name;
      platform::RegValue value;
      const platform::Status read = registry.EnumValue(key.get(), index, name, value);
      if (read == platform::kNoMoreItems) break;
      if (read != platform::kSuccess) return read;
      const std::u8string wide = text::FromAnsi(name);
      std::erase_if(absent, [&wide](const std::u8string& n) { return text::EqualsNoCaseUtf8(n, wide); });
      const std::u8string data = IsText(value.type) ? text::FromAnsi(platform::ValueText(value)) : Hex(value.data);
      if (const platform::Status st = Record(ValueBefore{std::u8string(hive), std::u8string(keyPath), wide, value.type, data});
          st != platform::kSuccess) {
        return st;
      }
    }
    for (const std::u8string& name : absent) {
      if (const platform::Status st = Record(ValueBefore{std::u8string(hive), std::u8string(keyPath), name, std::nullopt, {}});
          st != platform::kSuccess) {
        return st;
      }
    }
    m_keysKept.push_back(id);
    return platform::kSuccess;
  }
}

void ChangeKeeper::Commit() {
  if (m_pJournal == nullptr) return;
  // Closed first: until then a rollback may still need what was moved aside.
  if (Record(RunEnded{}) != platform::kSuccess) return;
  for (const auto& [path, aside] : m_kept) {
    if (aside.empty()) continue;
    ClearReadOnly(aside, m_machine);
    (void)m_machine.files.DeleteFile(aside);
  }
  if (m_bAsideFolderMade) (void)m_machine.files.RemoveDirectory(m_strAsideFolder);
}

}  // namespace install
