// The installation's record: journal, log and the list of what could not be done.
#include "records/install_record.h"

#include <algorithm>

#include "platform/utf8_text.h"

namespace install {
namespace {

const char8_t* RootName(platform::RootKey root) {
  return root == platform::RootKey::LocalMachine ? u8"HKEY_LOCAL_MACHINE" : u8"HKEY_CURRENT_USER";
}

}  // namespace

bool InstallRecord::Journal(const JournalRecord& record) {
  if (m_pJournal == nullptr) return false;
  const platform::Status status = m_pJournal->Record(record);
  if (status != platform::kSuccess && m_journalFailure == platform::kSuccess) {
    m_journalFailure = status;
    if (m_pLog != nullptr) m_pLog->WriteError(u8"安装记录无法写入，卸载时将无法据此还原", status);
  }
  return status == platform::kSuccess;
}

void InstallRecord::FolderCreated(std::string_view path) {
  const std::u8string utf8 = text::FromAnsi(path);
  Journal(install::FolderCreated{utf8});
  if (m_pLog != nullptr) m_pLog->Write(u8"已创建文件夹 " + utf8);
}

void InstallRecord::FileCopied(std::string_view path, std::uint64_t size) {
  m_copiedBytes += size;
  const std::u8string utf8 = text::FromAnsi(path);
  Journal(install::FileCopied{utf8, size});
  if (m_pLog != nullptr) m_pLog->Write(u8"已拷贝 " + utf8 + u8"（" + text::Decimal(size) + u8" 字节）");
}

void InstallRecord::SupportFilePlaced(std::string_view path, std::uint64_t size, std::u8string_view digest) {
  const std::u8string utf8 = text::FromAnsi(path);
  Journal(install::SupportFilePlaced{utf8, size, std::u8string(digest)});
  if (m_pLog != nullptr) m_pLog->Write(u8"已放置 " + utf8 + u8"（" + text::Decimal(size) + u8" 字节）");
}

bool InstallRecord::SupportFilePlacing(std::string_view path, std::uint64_t size, std::u8string_view digest) {
  return Journal(install::SupportFilePlaced{text::FromAnsi(path), size, std::u8string(digest), true});
}

void InstallRecord::ValueWritten(platform::RootKey root, std::string_view keyPath, std::string_view name,
                                 std::uint32_t type, std::u8string_view shown) {
  const std::u8string key = text::FromAnsi(keyPath);
  const std::u8string value = text::FromAnsi(name);
  Journal(KeyWritten{root, key});
  Journal(install::ValueWritten{root, key, value, type, std::u8string(shown)});
  if (m_pLog != nullptr) {
    m_pLog->Write(u8"已写入 " + std::u8string(RootName(root)) + u8"\\" + key + u8"：" + EscapeControls(value) + u8" = " +
                  EscapeControls(shown));
  }
}

void InstallRecord::TrustedPathsChanged(const std::optional<std::u8string>& sid, std::u8string_view root,
                                        std::u8string_view variablesKey, std::u8string_view before,
                                        std::u8string_view after, std::u8string_view added, bool created) {
  // A value the installation being moved made (and its Variables key) is this one's to remove,
  // once nothing else is left in it.
  if (!created && m_pEarlier != nullptr) {
    created = std::any_of(m_pEarlier->begin(), m_pEarlier->end(), [&](const JournalRecord& record) {
      const auto* earlier = std::get_if<TrustedPathAdded>(&record);
      return earlier != nullptr && earlier->created && earlier->userSid.has_value() == sid.has_value() &&
             text::EqualsNoCaseUtf8(earlier->userSid.value_or(u8""), sid.value_or(u8"")) &&
             text::EqualsNoCaseUtf8(earlier->profileKey, variablesKey);
    });
  }
  if (!added.empty()) {
    Journal(TrustedPathAdded{sid, std::u8string(variablesKey), std::u8string(added), created});
  }
  if (m_pLog != nullptr) {
    m_pLog->Write(u8"TRUSTEDPATHS " + std::u8string(root) + u8"\\" + std::u8string(variablesKey) + u8"\n原值：" +
                  EscapeControls(before) + u8"\n新值：" + EscapeControls(after));
  }
}

PlacedFileHistory InstallRecord::History(std::string_view path) const {
  return m_pJournal != nullptr ? m_pJournal->History(text::FromAnsi(path)) : PlacedFileHistory{};
}

PlacedFileHistory InstallRecord::EarlierHistory(std::string_view path) const {
  return m_pEarlier != nullptr ? HistoryOf(*m_pEarlier, text::FromAnsi(path)) : PlacedFileHistory{};
}

std::string InstallRecord::BackupPathFor(std::string_view path, unsigned skip) const {
  std::string backup;
  if (m_pJournal == nullptr || !text::ToAnsi(m_pJournal->BackupPathFor(text::FromAnsi(path), skip), backup)) return {};
  return backup;
}

bool InstallRecord::OriginalBackedUp(std::string_view original, std::string_view backup) {
  const std::u8string from = text::FromAnsi(original);
  const std::u8string to = text::FromAnsi(backup);
  if (!Journal(install::OriginalBackedUp{from, to})) return false;
  if (m_pLog != nullptr) m_pLog->Write(u8"已备份原文件 " + from + u8" 到 " + to);
  return true;
}

void InstallRecord::Failed(std::string_view what, platform::Status status, std::u8string_view note) {
  Failed(text::FromAnsi(what), status, note);
}

void InstallRecord::Failed(std::u8string_view what, platform::Status status, std::u8string_view note) {
  m_issues.Add(what, note);
  if (m_pLog != nullptr) m_pLog->WriteError(u8"未能完成 " + std::u8string(what) + std::u8string(note), status);
}

void InstallRecord::Issue(std::string_view what, std::u8string_view note) { Issue(text::FromAnsi(what), note); }

void InstallRecord::Issue(std::u8string_view what, std::u8string_view note) {
  m_issues.Add(what, note);
  if (m_pLog != nullptr) m_pLog->Write(u8"未能完成 " + std::u8string(what) + std::u8string(note));
}

void InstallRecord::Note(std::u8string_view textUtf8) {
  if (m_pLog != nullptr) m_pLog->Write(textUtf8);
}

}  // namespace install
