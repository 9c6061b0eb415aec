// Rolling a run back from its journal, and finding a run a kill left open.
#include "install/rollback.h"

#include <algorithm>
#include <span>
#include <variant>

#include "platform/file_queries.h"
#include "platform/folder_safety.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "records/change_keeper.h"
#include "records/journal.h"
#include "users/user_hives.h"

namespace install {
namespace {

using platform::Status;
using platform::UniqueKey;

constexpr const char* kFolderValue = "Folder";
constexpr const char* kNewFoldersValue = "NewFolders";

void Note(InstallLog* log, std::u8string_view what, std::u8string_view path) {
  if (log != nullptr) log->Write(std::u8string(what) + std::u8string(path));
}

bool IsText(std::uint32_t type) { return type == platform::kRegSz || type == platform::kRegExpandSz; }

// The change a record keeps, or null for any other record.
const ChangeRecord* Change(const JournalRecord& record) { return std::get_if<ChangeRecord>(&record); }
bool IsRegistry(const ChangeRecord& change) {
  return change.kind == ChangeKind::kKeyToMake || change.kind == ChangeKind::kValueBefore;
}
bool OwnHive(std::u8string_view hive) { return hive == kHiveLocalMachine || hive == kHiveCurrentUser; }
// The hive of a registry record of another user's (its SID), empty for any other record.
std::u8string_view OtherHive(const JournalRecord& record) {
  const ChangeRecord* change = Change(record);
  return change != nullptr && IsRegistry(*change) && !OwnHive(change->fields[0]) ? change->fields[0] : std::u8string_view();
}

int HexDigit(char8_t c) {
  if (c >= u8'0' && c <= u8'9') return c - u8'0';
  if (c >= u8'A' && c <= u8'F') return c - u8'A' + 10;
  return -1;
}

bool Unhex(std::u8string_view digits, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexDigit(digits[i]);
    const int low = HexDigit(digits[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

// A key and everything below it; what this run made holds nothing of anyone else's.
Status DeleteTree(platform::Registry& registry, platform::KeyHandle root, const std::string& path) {
  {
    UniqueKey key;
    const Status opened = registry.OpenKey(root, path, platform::Access::ReadWrite, key);
    if (opened != platform::kSuccess) return opened;
    std::vector<std::string> children;
    for (std::uint32_t index = 0;; ++index) {
      std::string name;
      if (registry.EnumSubKey(key.get(), index, platform::kMaxKeyNameChars + 1, name) != platform::kSuccess) break;
      children.push_back(name);
    }
    for (const std::string& child : children) (void)DeleteTree(registry, key.get(), child);
  }
  return registry.DeleteKey(root, path);
}

std::vector<std::string> SplitFolders(const std::string& joined) {
  std::vector<std::string> folders;
  for (std::size_t start = 0; start < joined.size();) {
    const std::size_t end = std::min(joined.find(';', start), joined.size());
    if (end > start) folders.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

// The records of the last run, or nothing when that run ended well (or there is none); `ended` gets
// the records of a last run that ended well.
std::span<const JournalRecord> OpenRun(const JournalContents& journal, std::optional<std::uint64_t>& sizeBefore,
                                       std::span<const JournalRecord>& ended) {
  std::size_t start = journal.records.size();
  for (std::size_t i = journal.records.size(); i-- > 0;) {
    if (const auto* run = std::get_if<RunStarted>(&journal.records[i])) {
      start = i;
      sizeBefore = run->journalSizeBefore;
      break;
    }
  }
  if (start == journal.records.size()) return {};
  const std::span<const JournalRecord> records(journal.records.data() + start + 1, journal.records.size() - start - 1);
  if (std::any_of(records.begin(), records.end(), [](const JournalRecord& r) {
        const ChangeRecord* change = Change(r);
        return change != nullptr && change->kind == ChangeKind::kRunEnded;
      })) {
    sizeBefore.reset();  // it ended well: nothing of it is undone
    ended = records;
    return {};
  }
  return records;
}

class Undo {
 public:
  Undo(platform::Machine& machine, InstallLog* log) : m_machine(machine), m_pLog(log) {}

  // Files and the registry of the machine's own roots, newest first.
  void Local(std::span<const JournalRecord> records) {
    for (std::size_t i = records.size(); i-- > 0;) {  // newest first
      const JournalRecord& record = records[i];
      const ChangeRecord* change = Change(record);
      if (change == nullptr) continue;
      if (IsRegistry(*change)) {
        const std::u8string_view hive = change->fields[0];
        UniqueKey root;
        if (OwnHive(hive) && m_machine.registry.OpenRoot(hive == kHiveLocalMachine ? platform::RootKey::LocalMachine
                                                                                    : platform::RootKey::CurrentUser,
                                                         root) == platform::kSuccess) {
          Registry(root.get(), *change);
        }
        continue;
      }
      std::string path;
      if (!text::ToAnsi(change->fields[0], path)) continue;
      if (change->kind == ChangeKind::kFileToMake) {
        if (GetPathKind(path, m_machine) != kPathFile) continue;
        ClearReadOnly(path, m_machine);
        if (m_machine.files.DeleteFile(path) == platform::kSuccess) Note(m_pLog, u8"已删除 ", change->fields[0]);
      } else if (change->kind == ChangeKind::kFileMovedAside) {
        std::string kept;
        // Never moved: the file in place is the one found.
        if (!text::ToAnsi(change->fields[1], kept) || GetPathKind(kept, m_machine) != kPathFile) continue;
        ClearReadOnly(path, m_machine);
        (void)m_machine.files.DeleteFile(path);
        const Status moved = m_machine.files.MoveFile(kept, path);
        if (moved == platform::kSuccess) {
          Note(m_pLog, u8"已还原 ", change->fields[0]);
        } else if (m_pLog != nullptr) {
          m_pLog->WriteError(u8"无法还原 " + change->fields[0], moved);
        }
      }
    }
  }

  // The registry records of other users' hives, each hive loaded once for all of its records.
  void OtherUsers(std::span<const JournalRecord> records) {
    if (std::all_of(records.begin(), records.end(), [](const JournalRecord& r) { return OtherHive(r).empty(); })) return;
    std::vector<HiveFailure> failures;
    const auto named = [records](const OtherUser& user) {
      const std::u8string sid = text::FromAnsi(user.sid);
      return std::any_of(records.begin(), records.end(),
                         [&sid](const JournalRecord& r) { return text::EqualsNoCaseUtf8(OtherHive(r), sid); });
    };
    (void)ForEachOtherUserHive(m_machine, failures, named, [&](const OtherUser& user, platform::KeyHandle root) {
      const std::u8string sid = text::FromAnsi(user.sid);
      for (std::size_t i = records.size(); i-- > 0;) {  // newest first
        if (text::EqualsNoCaseUtf8(OtherHive(records[i]), sid)) Registry(root, *Change(records[i]));
      }
    });
    for (const HiveFailure& failure : failures) {
      if (m_pLog != nullptr) m_pLog->WriteError(u8"无法还原用户 " + failure.user + u8" 的注册表", failure.status);
    }
  }

 private:
  // KEYNEW: the key removed with everything below it. WAS: the value set back, or removed where
  // there was none.
  void Registry(platform::KeyHandle root, const ChangeRecord& change) {
    platform::Registry& registry = m_machine.registry;
    const std::u8string& keyPath = change.fields[1];
    std::string ansi;
    if (change.kind == ChangeKind::kKeyToMake) {
      if (text::ToAnsi(keyPath, ansi) && DeleteTree(registry, root, ansi) == platform::kSuccess) {
        Note(m_pLog, u8"已删除注册表项 ", keyPath);
      }
      return;
    }
    const std::u8string& name = change.fields[2];
    if (!text::ToAnsi(name, ansi)) return;
    UniqueKey key;
    std::uint32_t type = 0;
    if (change.fields.size() < 5 || !ReadValueType(change.fields[3], type)) {
      if (registry.OpenKeyW(root, keyPath, platform::Access::ReadWrite, key) == platform::kSuccess) {
        (void)registry.DeleteValue(key.get(), ansi);
      }
      return;
    }
    if (registry.CreateKeyW(root, keyPath, key) != platform::kSuccess) return;
    std::vector<std::uint8_t> bytes;
    const std::u8string& data = change.fields[4];
    const Status set = IsText(type)          ? registry.SetTextW(key.get(), name, type, data)
                       : Unhex(data, bytes) ? registry.SetValue(key.get(), ansi, type, bytes)
                                            : platform::kInvalidData;
    if (set != platform::kSuccess && m_pLog != nullptr) m_pLog->WriteError(u8"无法还原 " + keyPath + u8"：" + name, set);
  }

  platform::Machine& m_machine;
  InstallLog* m_pLog;
};

}  // namespace

Status MarkRunOpen(platform::Registry& registry, const std::string& installFolder,
                   const std::vector<std::string>& newFolders) {
  std::string joined;
  for (const std::string& folder : newFolders) joined += (joined.empty() ? "" : ";") + folder;
  UniqueKey root;
  UniqueKey key;
  Status status = registry.OpenRoot(platform::RootKey::LocalMachine, root);
  if (status == platform::kSuccess) status = registry.CreateKey(root.get(), kRunMarkKeyPath, key);
  if (status == platform::kSuccess) status = registry.SetValue(key.get(), kNewFoldersValue, platform::kRegSz, platform::SzData(joined));
  // The folder last: a mark without it names no run.
  if (status == platform::kSuccess) status = registry.SetValue(key.get(), kFolderValue, platform::kRegSz, platform::SzData(installFolder));
  return status;
}

void MarkRunClosed(platform::Registry& registry) {
  UniqueKey root;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess) return;
  (void)DeleteTree(registry, root.get(), kRunMarkKeyPath);
}

void RollBack(platform::Machine& machine, const std::string& installFolder, const std::vector<std::string>& newFolders,
              InstallLog* log) {
  Note(log, u8"开始还原本次安装所做的更改：", text::FromAnsi(installFolder));
  const std::u8string folder = text::FromAnsi(installFolder);
  JournalContents journal;
  std::span<const JournalRecord> records;
  std::optional<std::uint64_t> sizeBefore;
  // The journal is acted on only in a folder nobody but the administrators could have written: a
  // run stopped before it locked the folder down, or one whose folder was changed since, may find a
  // journal someone else put there, naming any file on the machine.
  const std::string untrusted = FindUntrustedInstallFolder(machine, installFolder);
  if (!untrusted.empty()) Note(log, u8"文件夹可被其他用户更改，不按其中的安装记录还原：", text::FromAnsi(untrusted));
  const bool read =
      untrusted.empty() && ReadJournal(machine.logging.files, folder, journal) == platform::kSuccess;
  std::span<const JournalRecord> ended;
  if (read) records = OpenRun(journal, sizeBefore, ended);
  // A run cut off after it had ended well kept only what it moved aside, for nothing now.
  for (const JournalRecord& record : ended) {
    const ChangeRecord* moved = Change(record);
    std::string aside;
    if (moved != nullptr && moved->kind == ChangeKind::kFileMovedAside && text::ToAnsi(moved->fields[1], aside)) {
      ClearReadOnly(aside, machine);
      (void)machine.files.DeleteFile(aside);
    }
  }
  if (!ended.empty()) (void)machine.files.RemoveDirectory(installFolder + "\\" + kAsideFolderName);
  // A journal with no record at all is the one this run had only just begun.
  if (read && journal.records.empty()) sizeBefore = 0;

  Undo undo(machine, log);
  undo.Local(records);
  undo.OtherUsers(records);

  if (!records.empty() || sizeBefore) {
    const std::u8string path = JournalPath(folder);
    std::string ansi;
    if (sizeBefore.value_or(0) == 0) {
      if (text::ToAnsi(path, ansi)) (void)machine.files.DeleteFile(ansi);
    } else if (const Status cut = machine.logging.files.Truncate(path, *sizeBefore); cut != platform::kSuccess && log != nullptr) {
      log->WriteError(u8"无法还原安装记录 " + path, cut);
    }
  }
  // Folders last, newest first, each only when nothing is left in it.
  for (std::size_t i = records.size(); i-- > 0;) {
    const ChangeRecord* made = Change(records[i]);
    std::string path;
    if (made != nullptr && made->kind == ChangeKind::kFolderToMake && text::ToAnsi(made->fields[0], path) &&
        machine.files.RemoveDirectory(path) == platform::kSuccess) {
      Note(log, u8"已删除文件夹 ", made->fields[0]);
    }
  }
  for (std::size_t i = newFolders.size(); i-- > 0;) {  // the deepest level first
    if (machine.files.RemoveDirectory(newFolders[i]) == platform::kSuccess) {
      Note(log, u8"已删除文件夹 ", text::FromAnsi(newFolders[i]));
    }
  }
}

bool FinishInterruptedRun(platform::Machine& machine, InstallLog* log) {
  UniqueKey root;
  UniqueKey key;
  platform::RegValue folder;
  platform::RegValue made;
  if (machine.registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      machine.registry.OpenKey(root.get(), kRunMarkKeyPath, platform::Access::Read, key) != platform::kSuccess) {
    return false;
  }
  const bool named = platform::QueryWholeValue(machine.registry, key.get(), kFolderValue, folder) == platform::kSuccess;
  (void)platform::QueryWholeValue(machine.registry, key.get(), kNewFoldersValue, made);
  key.reset();
  if (named) {
    const std::string installFolder = platform::ValueText(folder);
    if (log != nullptr) log->Write(u8"发现上次未完成的运行（已中断），先将其更改还原：" + text::FromAnsi(installFolder));
    RollBack(machine, installFolder, SplitFolders(platform::ValueText(made)), log);
    if (log != nullptr) log->Write(u8"上次未完成的运行已还原。");
  }
  MarkRunClosed(machine.registry);
  return named;
}

}  // namespace install
