// The uninstall: locating the installation, and removing what it made, record by record.
#include "uninstall/uninstall.h"

#include <algorithm>
#include <memory>
#include <variant>

#include "discovery/acad_running.h"
#include "platform/folder_rules.h"
#include "platform/folder_safety.h"
#include "records/install_texts.h"
#include "users/other_users.h"
#include "platform/file_queries.h"
#include "records/addon_names.h"
#include "records/installed.h"
#include "users/active_setup.h"
#include "users/profiles.h"
#include "users/trusted_paths.h"
#include "uninstall/uninstall_entry.h"
#include "users/user_hives.h"
#include "platform/text.h"

namespace install {
namespace {

using platform::KeyHandle;
using platform::Status;
using platform::UniqueKey;

constexpr std::u8string_view kLoaderValue = u8"LOADER";
constexpr std::u8string_view kTrustedPathsValue = u8"TRUSTEDPATHS";

bool IsGone(Status status) { return status == platform::kFileNotFound || status == platform::kPathNotFound; }

// "<prefix><four digits><suffix>", letter case aside: the add-on names each module and key by year.
bool IsYearName(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() != prefix.size() + 4 + suffix.size()) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + 4; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return text::EqualsNoCase(name.substr(0, prefix.size()), prefix) &&
         text::EqualsNoCase(name.substr(prefix.size() + 4), suffix);
}

// A demand-load key of the add-on: "...\Applications\VX_ZurezUvad<year>" or "...\Vornex<year>DLLP".
bool IsAddOnKey(std::u8string_view path) {
  const std::size_t slash = path.rfind(u8'\\');
  if (slash == std::u8string_view::npos || !path.substr(0, slash).ends_with(u8"\\Applications")) return false;
  const std::string_view name = text::Utf8Bytes(path.substr(slash + 1));
  return IsYearName(name, "VX_ZurezUvad", "") || IsYearName(name, "Vornex", "DLLP");
}

// A file the payload copy puts into the install folder, by name.
bool IsPayloadName(std::string_view name) {
  for (const char* fixed : {"itextsharp.dll", "Vornex_EN.shx", "Vornex_HZ.shx", "Vornex.prt5", kSettingsTemplateName}) {
    if (text::EqualsNoCase(name, fixed)) return true;
  }
  return IsYearName(name, "VX_ZurezUvad", ".arx") || IsYearName(name, "VXCAD", "P.dll");
}

// The folder holding `path`; empty for a path without a backslash.
std::string ParentOf(const std::string& path) {
  const std::size_t slash = text::ReverseFind(path, '\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// True when `path` lies below `folder`.
bool IsInside(std::string_view path, std::string_view folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
         text::EqualsNoCase(path.substr(0, folder.size()), folder);
}

std::string InFolder(const std::string& folder, const char8_t* name) {
  return folder + "\\" + std::string(text::Utf8Bytes(name));
}

// The text of a string value; kInvalidData when the value is not text.
Status ReadText(platform::Registry& registry, platform::KeyHandle key, std::u8string_view name, std::u8string& text) {
  std::uint32_t type = 0;
  const Status status = registry.QueryTextW(key, name, type, text);
  if (status != platform::kSuccess) return status;
  return type == platform::kRegSz || type == platform::kRegExpandSz ? platform::kSuccess : platform::kInvalidData;
}

// The install folder the Apps & features entry names, or empty.
std::string EntryFolder(platform::Registry& registry) { return ReadInstalledEntry(registry).folder; }

// The last record of a kind whose path is `path`, letter case aside: a later run's record tells
// what is there now.
template <class Record, class Match>
const Record* Last(const std::vector<JournalRecord>& records, Match match) {
  const Record* last = nullptr;
  for (const JournalRecord& record : records) {
    if (const auto* one = std::get_if<Record>(&record); one != nullptr && match(*one)) last = one;
  }
  return last;
}

}  // namespace

int CUninstallEngine::Say(std::u8string_view text, std::uint32_t flags) {
  if (m_bQuiet) {
    Note(u8"", text);
    return platform::kIdOk;
  }
  return m_machine.prompts.MessageBox(0, text, kCaption, flags);
}

void CUninstallEngine::Note(const char8_t* what, std::string_view path) { Note(what, text::FromAnsi(path)); }

void CUninstallEngine::Note(const char8_t* what, std::u8string_view path) {
  if (m_pLog != nullptr) m_pLog->Write(what + std::u8string(path));
}

void CUninstallEngine::Left(std::u8string_view where, std::u8string_view what, const char8_t* why) {
  std::u8string item(where);
  item += what;
  item += why;
  if (std::find(m_arrLeft.begin(), m_arrLeft.end(), item) != m_arrLeft.end()) return;
  Note(u8"未删除 ", item);
  m_arrLeft.push_back(std::move(item));
}

void CUninstallEngine::Begin(const std::string& installFolder) {
  m_strClosing.clear();
  m_arrMadeAbove.clear();
  m_nFiles = m_nKeys = m_nTrusted = m_nRestored = 0;
  m_arrLeft.clear();
  m_arrPending.clear();
  if (m_machine.system.ModulePath(platform::kLongestPathChars, m_strProgram) != platform::kSuccess) m_strProgram.clear();
  m_strInstallFolder = installFolder;
  m_strFolderU8 = text::FromAnsi(m_strInstallFolder);
}

void CUninstallEngine::RemoveSuperseded(const std::string& installFolder, const std::vector<JournalRecord>& records) {
  Begin(installFolder);
  m_bQuiet = true;
  m_bRecorded = true;
  m_strMovedTo.clear();
  m_arrTakenOver.clear();
  platform::HiddenProgressBar progress;
  RemoveRecorded(records, progress, true);
}

UninstallOutcome CUninstallEngine::Run(const UninstallChoices& choices, UninstallView& view) {
  Begin(Locate(choices));
  m_bQuiet = choices.movedTo.has_value();
  m_strMovedTo = choices.movedTo ? text::FromAnsi(*choices.movedTo) : std::u8string();
  m_arrTakenOver.clear();
  if (choices.movedTo) {
    JournalContents taken;
    if (ReadJournal(m_machine.logging.files, m_strMovedTo, taken) == platform::kSuccess) m_arrTakenOver = std::move(taken.records);
  }
  if (m_strInstallFolder.empty()) {
    Say(kNothingToUninstallText, platform::kMbOk);
    return UninstallOutcome::kNothingToRemove;
  }
  JournalContents journal;
  const Status read = ReadJournal(m_machine.logging.files, m_strFolderU8, journal);
  const std::string journalPath = InFolder(m_strInstallFolder, kJournalFileName);
  // A journal is believed only in a folder nobody but the administrators could have written it
  // into: anyone may make C:\Vornex\V-ZurezUvad before an installation, or after an uninstall, and
  // fill a journal with whatever he wants deleted or overwritten.
  if (!IsGone(read)) {
    const std::string untrusted = FindUntrustedInstallFolder(m_machine, m_strInstallFolder);
    if (!untrusted.empty()) {
      Say(WithPath(kUntrustedFolderText, untrusted), platform::kMbOk | platform::kMbIconStop);
      return UninstallOutcome::kStopped;
    }
  }
  const bool fromLater = std::any_of(journal.records.begin(), journal.records.end(), [](const JournalRecord& r) {
    return std::holds_alternative<UnknownRecord>(r);
  });
  // What only a later version wrote, this one cannot undo: that version's uninstaller is the one
  // Apps & features starts, since every installation places its own.
  if (fromLater || (read != platform::kSuccess && !IsGone(read))) {
    Say(fromLater ? WithPath(kJournalFromLaterText, journalPath)
                  : WithPath(kJournalUnreadableText, journalPath) + u8"\n\n错误代码：" + text::Decimal(read),
        platform::kMbOk | platform::kMbIconStop);
    return UninstallOutcome::kStopped;
  }
  // A journal that reads but tells nothing (saved again as UTF-16, say) would remove nothing, and the
  // entry and the journal would go with the only record of what to put back: it stays, and so do they.
  const bool started = std::any_of(journal.records.begin(), journal.records.end(), [](const JournalRecord& r) {
    return std::holds_alternative<RunStarted>(r);
  });
  if (read == platform::kSuccess && (!started || journal.damagedLines > journal.records.size())) {
    Say(WithPath(kJournalUnusableText, journalPath), platform::kMbOk | platform::kMbIconStop);
    return UninstallOutcome::kStopped;
  }

  // AutoCAD holds the modules it loaded and writes its profiles back when it ends; the second try
  // is the caller's to allow, as the installation allows it.
  if (choices.checkAcadRunning && IsAcadRunning(m_machine.system)) {
    Say(kUninstallAcadRunningText, platform::kMbOk);
    return UninstallOutcome::kAcadRunning;
  }
  if (choices.ask && Say(WithPath(kUninstallQuestionText, m_strInstallFolder),
                         platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2) != platform::kIdYes) {
    return UninstallOutcome::kDeclined;
  }

  Note(u8"开始卸载，安装文件夹：", m_strInstallFolder);
  view.RemovalStarting();
  platform::ProgressBar& progress = view.Progress();
  progress.SetRange(0, static_cast<int>(journal.records.size()) + 1);
  progress.SetStep(1);
  progress.SetPos(0);
  const bool recorded = read == platform::kSuccess;
  m_bRecorded = recorded;
  if (recorded) {
    if (journal.damagedLines != 0) Note(u8"安装记录中不完整的行已跳过：", journalPath);
    RemoveRecorded(journal.records, progress);
  } else {
    RemoveByFixedNames();
  }

  (void)m_machine.files.RemoveDirectory(InFolder(m_strInstallFolder, kBackupFolderName));
  // Active Setup would start a program that is gone for every user who signs in.
  if (const Status removed = RemoveActiveSetup(m_machine.registry, m_strInstallFolder); removed != platform::kSuccess) {
    Left(u8"HKEY_LOCAL_MACHINE\\", text::FromAnsi(kActiveSetupKeyPath), kLeftFailed);
  }
  // The entry and then the journal last: until they go, the uninstall can be found and run again.
  if (text::EqualsNoCase(EntryFolder(m_machine.registry), m_strInstallFolder)) {
    RemoveKey(text::FromAnsi(kUninstallKeyPath), text::FromAnsi(kInstallLocationValue), &m_strFolderU8);
  }
  if (recorded) Delete(journalPath, false);
  Delete(journalPath + ".new", false);  // a rewrite of it that a run cut off left
  // Then each level above it the installation made (/DIR makes every missing one), deepest first;
  // once one stays, so does every level above it.
  for (std::string level = m_strInstallFolder; RemoveFolder(level);) {
    level = ParentOf(level);
    const std::u8string made = text::FromAnsi(level);
    if (level.empty() || std::none_of(m_arrMadeAbove.begin(), m_arrMadeAbove.end(), [&made](const std::u8string& one) {
          return text::EqualsNoCaseUtf8(one, made);
        })) {
      break;
    }
  }
  progress.SetPos(static_cast<int>(journal.records.size()) + 1);

  // Without a journal, only the fixed names tell whether anything was there.
  if (!recorded && m_nFiles + m_nKeys + m_nTrusted == 0 && m_arrLeft.empty() && m_arrPending.empty()) {
    Say(kNothingToUninstallText, platform::kMbOk);
    return UninstallOutcome::kNothingToRemove;
  }
  m_strClosing = Closing(!recorded);
  const bool clean = m_arrLeft.empty();
  Say(m_strClosing, platform::kMbOk | (clean ? platform::kMbIconInformation : platform::kMbIconExclamation));
  return clean ? UninstallOutcome::kDone : UninstallOutcome::kDoneWithIssues;
}

std::string CUninstallEngine::Locate(const UninstallChoices& choices) {
  std::string folder;
  if (choices.typedFolder) {
    if (!choices.typedFolder->empty()) folder = FormInstallFolder(*choices.typedFolder);
  } else {
    // Only the folder Apps & features names is an installation, the installer's own folder included:
    // a copy run from Downloads or a share would otherwise take whatever journal lay beside it.
    folder = EntryFolder(m_machine.registry);
  }
  StripTrailingBackslash(folder);
  if (CreateFolderPath(m_machine.files, folder, true) != platform::kSuccess) folder.clear();
  return folder;
}

void CUninstallEngine::RemoveRecorded(const std::vector<JournalRecord>& records, platform::ProgressBar& progress,
                                      bool filesOnly) {
  // Without the user's own hive open, each of his entries fails to open and is named among what stays.
  UniqueKey user;
  (void)m_machine.registry.OpenRoot(platform::RootKey::CurrentUser, user);
  const ProfileOwner self = CurrentUserOwner(user.get());
  std::string path;
  std::string backup;
  std::vector<JournalRecord> placements;  // the SUPPORT and BACKUP records whose paths pass
  for (const JournalRecord& record : records) {
    progress.StepIt();
    // Paths came from the ANSI API, so they go back; one that does not was not the installer's.
    const auto ansi = [this](std::u8string_view from, std::string& to) { return RecordedPath(from, to); };
    if (const auto* folder = std::get_if<FolderCreated>(&record)) {
      m_arrMadeAbove.push_back(folder->path);
    } else if (const auto* file = std::get_if<FileCopied>(&record)) {
      if (!ansi(file->path, path)) continue;
      if (IsInside(path, m_strInstallFolder)) {
        Delete(path, true);
      } else {
        Note(u8"保留用户设置文件 ", path);
      }
    } else if (const auto* key = std::get_if<KeyWritten>(&record); key != nullptr && !filesOnly) {
      if (key->root != platform::RootKey::LocalMachine || !IsAddOnKey(key->keyPath)) continue;
      const auto* loader = Last<ValueWritten>(records, [key](const ValueWritten& v) {
        return v.data && v.name == kLoaderValue && text::EqualsNoCaseUtf8(v.keyPath, key->keyPath);
      });
      RemoveKey(key->keyPath, kLoaderValue, loader != nullptr ? &*loader->data : nullptr);
    } else if (const auto* trusted = std::get_if<TrustedPathAdded>(&record); trusted != nullptr && !filesOnly) {
      // Other users' profiles are done together, one hive loaded at a time (RemoveFromOtherUsers).
      if (!trusted->userSid) RemoveTrusted(self, trusted->profileKey, trusted->created);
    } else if (const auto* support = std::get_if<SupportFilePlaced>(&record)) {
      if (ansi(support->path, path) && SupportTarget(path)) placements.push_back(record);
    } else if (const auto* kept = std::get_if<OriginalBackedUp>(&record)) {
      if (ansi(kept->original, path) && ansi(kept->backup, backup) && SupportTarget(path) && BackupOf(backup, path)) {
        placements.push_back(record);
      }
    }
  }
  // Each file in AutoCAD's folders once, from everything every run recorded of it.
  std::vector<std::u8string> done;
  for (const JournalRecord& record : placements) {
    const auto* support = std::get_if<SupportFilePlaced>(&record);
    const std::u8string& placed = support != nullptr ? support->path : std::get<OriginalBackedUp>(record).original;
    if (std::any_of(done.begin(), done.end(), [&placed](const std::u8string& one) { return text::EqualsNoCaseUtf8(one, placed); }) ||
        !text::ToAnsi(placed, path)) {
      continue;
    }
    done.push_back(placed);
    // Placed again by the installation that moved this one, with AutoCAD's original carried over:
    // the file is that installation's now, and only this one's copies go.
    if (!HistoryOf(m_arrTakenOver, placed).placements.empty()) {
      DeleteBackups(HistoryOf(placements, placed));
      continue;
    }
    RemovePlaced(path, HistoryOf(placements, placed));
  }
  if (filesOnly) return;
  // The running user may have had the folder trusted again at a sign-in (Active Setup), in a
  // profile made after the installation.
  RemoveFromEveryProfile(self);
  RemoveFromOtherUsers(&records);
}

void CUninstallEngine::RemoveByFixedNames() {
  Note(u8"未找到安装记录，按本软件固定的名称查找：", m_strInstallFolder);
  for (const StringList& keyPaths : m_catalog.m_arrKeyPaths) {
    for (const std::string& keyPath : keyPaths) {
      for (int year = kFirstYear; year <= kLastYear; ++year) {
        // The managed module's key names a module in AutoCAD's folder, which every installation
        // shares: it is this one's only when the same product's ARX key names this install folder.
        const std::u8string arx = text::AnsiToU8(keyPath + ArxKeyName(year));
        const bool ours = LoaderInInstallFolder(arx);
        RemoveKey(arx, kLoaderValue, nullptr);
        if (ours) RemoveKey(text::AnsiToU8(keyPath + ManagedKeyName(year)), kLoaderValue, nullptr);
      }
    }
  }

  UniqueKey user;
  if (m_machine.registry.OpenRoot(platform::RootKey::CurrentUser, user) == platform::kSuccess) {
    RemoveFromEveryProfile(CurrentUserOwner(user.get()));
  }
  RemoveFromOtherUsers(nullptr);

  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  if (!ListFolder(m_strInstallFolder, entry, listing, m_machine)) return;
  do {
    if ((entry.attributes & platform::kAttrDirectory) == 0 && IsPayloadName(entry.name)) {
      Delete(m_strInstallFolder + "\\" + entry.name, true);
    }
  } while (listing->Next(entry));
}

bool CUninstallEngine::IsAddOnLoader(std::u8string_view loader) const {
  const std::size_t slash = loader.rfind(u8'\\');
  if (slash == std::u8string_view::npos) return false;
  const std::u8string_view folder = loader.substr(0, slash);
  if (text::EqualsNoCaseUtf8(folder, m_strFolderU8)) return true;
  if (!IsYearName(text::Utf8Bytes(loader.substr(slash + 1)), "VXCAD", "P.dll")) return false;
  for (const StringList& locations : m_catalog.m_arrLocations) {
    for (const std::string& location : locations) {
      if (text::EqualsNoCaseUtf8(folder, text::AnsiToU8(location))) return true;
    }
  }
  return false;
}

bool CUninstallEngine::LoaderInInstallFolder(std::u8string_view keyPath) {
  UniqueKey root;
  UniqueKey key;
  std::u8string loader;
  if (m_machine.registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      m_machine.registry.OpenKeyW(root.get(), keyPath, platform::Access::Read, key) != platform::kSuccess ||
      ReadText(m_machine.registry, key.get(), kLoaderValue, loader) != platform::kSuccess) {
    return false;
  }
  const std::size_t slash = loader.rfind(u8'\\');
  return slash != std::u8string::npos && text::EqualsNoCaseUtf8(loader.substr(0, slash), m_strFolderU8);
}

bool CUninstallEngine::RecordedPath(std::u8string_view recorded, std::string& path) {
  // A "." or ".." level, a second drive or a stream, a name the file API would trim: the checks
  // below compare text, and the file API would resolve it to somewhere else.
  if (text::ToAnsi(recorded, path) && platform::CreateFolderPath(m_machine.files, path, true) == platform::kSuccess) {
    return true;
  }
  Left(u8"", recorded, kLeftBadRecord);
  return false;
}

bool CUninstallEngine::SupportTarget(const std::string& path) {
  for (const StringList& locations : m_catalog.m_arrLocations) {
    for (const std::string& location : locations) {
      if (IsInside(path, location) && IsSupportFileName(std::string_view(path).substr(location.size() + 1))) return true;
    }
  }
  Left(path, kLeftBadRecord);
  return false;
}

bool CUninstallEngine::BackupOf(const std::string& backup, const std::string& original) {
  // "<install folder>\Backup\<n>\<the original's name>"
  const std::string backups = InFolder(m_strInstallFolder, kBackupFolderName);
  const std::size_t slash = text::ReverseFind(backup, '\\');
  const std::size_t name = text::ReverseFind(original, '\\');
  const std::string numbered = ParentOf(backup);
  const std::string number = numbered.substr(std::min(numbered.size(), backups.size() + 1));
  const bool digits = !number.empty() && number.size() <= 9 &&
                      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits && IsInside(numbered, backups) && ParentOf(numbered).size() == backups.size() &&
      slash != std::string::npos && name != std::string::npos &&
      text::EqualsNoCase(std::string_view(backup).substr(slash + 1), std::string_view(original).substr(name + 1))) {
    return true;
  }
  Left(backup, kLeftBadRecord);
  return false;
}

void CUninstallEngine::RemoveKey(std::u8string_view path, std::u8string_view valueName,
                                 const std::u8string* expected) {
  platform::Registry& registry = m_machine.registry;
  UniqueKey root;
  UniqueKey key;
  std::u8string now;
  Status status = registry.OpenRoot(platform::RootKey::LocalMachine, root);
  if (status == platform::kSuccess) status = registry.OpenKeyW(root.get(), path, platform::Access::Read, key);
  if (status == platform::kFileNotFound) return;  // removed already
  const char8_t* why = kLeftFailed;
  if (status == platform::kSuccess) {
    // Rewritten since (by another installation of the add-on, or by hand), the key is someone else's.
    const bool same = ReadText(registry, key.get(), valueName, now) == platform::kSuccess &&
                      (expected != nullptr ? text::EqualsNoCaseUtf8(now, *expected) : IsAddOnLoader(now));
    key.reset();
    std::string ansi;
    status = !same ? platform::kInvalidData
                   : text::ToAnsi(path, ansi) ? registry.DeleteKey(root.get(), ansi) : platform::kInvalidName;
    if (status == platform::kSuccess) {
      ++m_nKeys;
      return Note(u8"已删除 HKEY_LOCAL_MACHINE\\", path);
    }
    // Rewritten by the installation that moved this one: its key now.
    if (!same && !m_strMovedTo.empty()) {
      const std::size_t slash = now.rfind(u8'\\');
      if (slash != std::u8string::npos && text::EqualsNoCaseUtf8(now.substr(0, slash), m_strMovedTo)) return;
    }
    if (!same) {
      // Found by its fixed name alone, a key that names no module of this installation was never its own.
      if (expected == nullptr && !m_bRecorded) return;
      why = kLeftRewritten;
    }
  }
  Left(u8"HKEY_LOCAL_MACHINE\\", path, why);
}

void CUninstallEngine::RemoveTrusted(const ProfileOwner& owner, std::u8string_view variables, bool created) {
  platform::Registry& registry = m_machine.registry;
  UniqueKey key;
  std::uint32_t type = platform::kRegNone;
  std::u8string before;
  Status status = registry.OpenKeyW(owner.root, variables, platform::Access::ReadWrite, key);
  if (status == platform::kSuccess) status = registry.QueryTextW(key.get(), kTrustedPathsValue, type, before);
  if (status == platform::kFileNotFound) return;
  // A value that is not text holds no folder at all.
  if (status == platform::kSuccess && (type == platform::kRegSz || type == platform::kRegExpandSz)) {
    const std::u8string after = RemoveTrustedPath(before, m_strFolderU8);
    if (after == before) return;  // taken out already
    // A value the installation made goes again when nothing else is left in it.
    status = after.empty() && created ? registry.DeleteValue(key.get(), "TRUSTEDPATHS")
                                      : registry.SetTextW(key.get(), kTrustedPathsValue, type, after);
    if (status == platform::kSuccess) {
      ++m_nTrusted;
      // A "Variables" key the installation had to make for the value (a profile without one) goes
      // with it, once nothing is left in it; one that holds anything else stays.
      std::uint32_t values = 1;
      std::uint32_t subKeys = 1;
      if (after.empty() && created && registry.CountValues(key.get(), values) == platform::kSuccess &&
          registry.CountSubKeys(key.get(), subKeys) == platform::kSuccess && values == 0 && subKeys == 0) {
        key.reset();
        // Named in the ANSI code page for RegDeleteKeyA; a name outside it keeps its empty key.
        std::string ansi;
        if (text::ToAnsi(variables, ansi)) (void)registry.DeleteKey(owner.root, ansi);
      }
      return Note(u8"已修改 TRUSTEDPATHS ", owner.keyName + u8"\\" + std::u8string(variables) + u8"\n原值：" + before + u8"\n新值：" + after);
    }
  }
  if (status != platform::kSuccess) Left(owner.keyName + u8"\\", variables, kLeftTrustedFailed);
}

void CUninstallEngine::RemoveFromEveryProfile(const ProfileOwner& owner) {
  std::vector<std::u8string> variables;
  std::vector<std::u8string> unreadable;
  ListProfileVariables(m_machine.registry, owner.root, variables, unreadable);
  for (const std::u8string& path : unreadable) Left(owner.keyName + u8"\\", path, kIssueUnreadable);
  // Whether the installation made the value cannot be told: it stays, however little is left.
  for (const std::u8string& path : variables) RemoveTrusted(owner, path, false);
}

void CUninstallEngine::RemoveFromOtherUsers(const std::vector<JournalRecord>* records) {
  // The journal's entries added for `sid`, each in turn.
  const auto eachAdded = [records](std::string_view sid, const auto& work) {
    for (const JournalRecord& record : *records) {
      const auto* trusted = std::get_if<TrustedPathAdded>(&record);
      if (trusted != nullptr && trusted->userSid && text::EqualsNoCaseUtf8(*trusted->userSid, text::FromAnsi(sid))) {
        work(*trusted);
      }
    }
  };
  const auto named = [&](std::string_view sid) {
    bool any = records == nullptr;
    if (!any) eachAdded(sid, [&any](const TrustedPathAdded&) { any = true; });
    return any;
  };
  // Every user's hive is visited: users who signed in after the installation had the folder
  // trusted by Active Setup, which no journal records. What the journal recorded goes first (a
  // value it made goes whole), then the folder out of every other profile.
  std::vector<HiveFailure> failures;
  const Status listed = ForEachOtherUserHive(m_machine, failures, kEveryUser, [&](const OtherUser& user, KeyHandle root) {
    const ProfileOwner owner = OwnerOf(user, root);
    Note(u8"其他用户：", UserLabel(user.name, user.sid));
    if (records != nullptr) {
      eachAdded(user.sid, [&](const TrustedPathAdded& trusted) { RemoveTrusted(owner, trusted.profileKey, trusted.created); });
    }
    RemoveFromEveryProfile(owner);
  });
  if (listed != platform::kSuccess) Left(ProfileListName(), u8"", kIssueUsersUnlisted);
  for (const HiveFailure& failure : failures) {
    // A user the journal does not name may never have had the folder: that his hive cannot be
    // reached is logged, not counted as left.
    if (!failure.workDone && !named(failure.sid)) {
      if (m_pLog != nullptr) m_pLog->WriteError(UserLabel(failure.user, failure.sid) + u8"：无法打开其注册表", failure.status);
      continue;
    }
    if (failure.departed) {
      Note(UserLabel(failure.user, failure.sid).c_str(), kUserDepartedNote);
      continue;
    }
    Left(UserLabel(failure.user, failure.sid), u8"", failure.workDone ? kIssueHiveStillLoaded : kLeftUserUnreachable);
  }
}

void CUninstallEngine::RemovePlaced(const std::string& path, const PlacedFileHistory& history) {
  std::u8string now;
  const Status read = m_machine.logging.files.ReadWhole(text::FromAnsi(path), now);
  if (read != platform::kSuccess && !IsGone(read)) return Left(path, kLeftFailed);
  const bool present = read == platform::kSuccess;
  // The add-on's file, of any run, or the copy a run cut short while placing it.
  const bool ours = present && (history.placing || history.IsAddOns(now));
  if (history.backups.empty()) {
    if (ours) return Delete(path, true);
    if (present) Left(path, kLeftChanged);
    return;
  }

  // AutoCAD's own file as last kept before the add-on's replaced it (an update of AutoCAD's
  // included): the latest copy whose content is not the add-on's goes back, byte for byte.
  std::string latest;
  std::u8string original;
  for (auto kept = history.backups.rbegin(); kept != history.backups.rend() && latest.empty(); ++kept) {
    std::u8string content;
    if (m_machine.logging.files.ReadWhole(*kept, content) == platform::kSuccess && !history.IsAddOns(content) &&
        text::ToAnsi(*kept, latest)) {
      original = std::move(content);
    }
  }
  if (latest.empty()) {
    if (ours || !present) return Left(path, kLeftNoBackup);
    // Otherwise AutoCAD's own file is back already.
  } else if (present && !ours) {
    // Not the add-on's file: AutoCAD's own back in place already, or a change that stays.
    if (now != original) return Left(path, kLeftChanged);
  } else {
    ClearReadOnly(path, m_machine);
    if (m_machine.files.CopyFile(latest, path, false) != platform::kSuccess) return Left(path, kLeftFailed);
    ++m_nRestored;
    Note(u8"已还原 ", path);
  }
  DeleteBackups(history);
}

void CUninstallEngine::DeleteBackups(const PlacedFileHistory& history) {
  for (const std::u8string& kept : history.backups) {
    std::string copy;
    if (!text::ToAnsi(kept, copy)) continue;
    Delete(copy, false);
    (void)m_machine.files.RemoveDirectory(ParentOf(copy));  // its numbered folder, when empty now
  }
}

void CUninstallEngine::Delete(const std::string& path, bool counted) {
  // The running program cannot be deleted: Windows deletes it at the next start.
  const bool running = text::EqualsNoCase(path, m_strProgram);
  ClearReadOnly(path, m_machine);
  Status status = running ? platform::kAccessDenied : m_machine.files.DeleteFile(path);
  if (status == platform::kSuccess) {
    m_nFiles += counted ? 1 : 0;
    return Note(u8"已删除 ", path);
  }
  if (IsGone(status)) return;
  if (status == platform::kAccessDenied || status == platform::kSharingViolation) {
    status = m_machine.files.DeleteLater(path);
    if (status == platform::kSuccess) {
      m_arrPending.push_back(path);
      return Note(u8"正在使用，将在重新启动计算机后删除 ", path);
    }
  }
  if (m_pLog != nullptr) m_pLog->WriteError(u8"无法删除 " + text::FromAnsi(path), status);
  Left(path, kLeftFailed);
}

bool CUninstallEngine::RemoveFolder(const std::string& folder) {
  const Status status = m_machine.files.RemoveDirectory(folder);
  if (status == platform::kSuccess) {
    Note(u8"已删除文件夹 ", folder);
    return true;
  }
  if (IsGone(status)) return true;
  // Holding only what goes at the next restart, it can go then too, after what it holds.
  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  bool pendingOnly = status == platform::kDirNotEmpty && ListFolder(folder, entry, listing, m_machine);
  while (pendingOnly) {
    const std::string inside = folder + "\\" + entry.name;
    pendingOnly = entry.name == "." || entry.name == ".." ||
                  std::any_of(m_arrPending.begin(), m_arrPending.end(),
                              [&inside](const std::string& pending) { return text::EqualsNoCase(pending, inside); });
    if (!listing->Next(entry)) break;
  }
  if (!pendingOnly || m_machine.files.DeleteLater(folder) != platform::kSuccess) {
    Left(folder, status == platform::kDirNotEmpty ? kLeftNotEmpty : kLeftFailed);
    return false;
  }
  m_arrPending.push_back(folder);
  Note(u8"将在重新启动计算机后删除文件夹 ", folder);
  return true;
}

std::u8string CUninstallEngine::Closing(bool withoutJournal) const {
  std::u8string out = kUninstalledLead;
  std::u8string counts = kRemovedCountsPattern;
  for (const unsigned n : {m_nFiles, m_nKeys, m_nTrusted, m_nRestored}) {
    counts.replace(counts.find(u8"{}"), 2, text::Decimal(n));
  }
  out += counts;
  std::vector<std::u8string> pending;
  for (const std::string& path : m_arrPending) pending.push_back(text::AnsiToU8(path));
  using List = std::pair<const char8_t*, const std::vector<std::u8string>*>;
  for (const auto& [lead, items] : {List{kLeftLead, &m_arrLeft}, List{kPendingLead, &pending}}) {
    if (items->empty()) continue;
    out += lead;
    AppendItems(out, *items);
  }
  if (withoutJournal) out += kNoJournalNote;
  return out;
}

}  // namespace install
