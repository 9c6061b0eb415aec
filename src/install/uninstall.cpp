// The uninstall: locating the installation, what is to be removed, and its removal.
#include "install/uninstall.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <variant>

#include "discovery/acad_running.h"
#include "install/folder_rules.h"
#include "install/install_sequence.h"
#include "install/install_texts.h"
#include "install/payload.h"
#include "install/registration.h"
#include "install/trusted_paths.h"
#include "install/uninstall_entry.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {

// What is to be removed: from the journal, or from the add-on's fixed names. Paths are ANSI for the
// file API, registry paths Unicode for the wide functions.
struct CUninstallEngine::Plan {
  struct Key {
    platform::RootKey root;
    std::u8string path;
    // String values that must still hold what the installation wrote; none: the LOADER decides.
    std::vector<std::pair<std::u8string, std::u8string>> expected;
  };
  struct Trusted {
    std::optional<std::u8string> userSid;
    std::u8string variables;
    bool created;
  };
  struct Placed {
    std::string path;
    bool placed = false;  // the add-on's file was put there (a SUPPORT record)
    std::uint64_t size = 0;
    std::u8string digest;
    std::string backup;  // where AutoCAD's own file was kept, or empty
  };

  bool journal = false;
  bool fromLaterVersion = false;
  bool madeChosen = false;  // the folder above the install folder was made by the installation
  bool entry = false;       // Apps & features lists this installation
  std::vector<Key> keys;
  std::vector<Trusted> trusted;
  std::vector<Placed> placed;
  std::vector<std::string> files;  // copied into the install folder
  std::vector<std::string> kept;   // copied elsewhere: the user's settings, which stay

  std::size_t Items() const { return keys.size() + trusted.size() + placed.size() + files.size(); }
};

namespace {

using platform::Status;
using platform::UniqueKey;

constexpr std::u8string_view kLoaderValue = u8"LOADER";
constexpr std::u8string_view kTrustedPathsValue = u8"TRUSTEDPATHS";
constexpr std::u8string_view kApplications = u8"Applications";

bool IsGone(Status status) { return status == platform::kFileNotFound || status == platform::kPathNotFound; }

// ASCII letters folded, as the add-on's names are compared.
bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
         });
}

// "<prefix><four digits><suffix>", letter case aside: the add-on names each module and key by year.
bool IsYearName(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() != prefix.size() + 4 + suffix.size()) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + 4; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return SameAscii(name.substr(0, prefix.size()), prefix) && SameAscii(name.substr(prefix.size() + 4), suffix);
}

// A demand-load key of the add-on: "...\Applications\VX_ZurezUvad<year>" or "...\Vornex<year>DLLP".
bool IsAddOnKey(std::u8string_view path) {
  const std::size_t slash = path.rfind(u8'\\');
  if (slash == std::u8string_view::npos) return false;
  const std::string_view name = text::Utf8Bytes(path.substr(slash + 1));
  const std::u8string_view parent = path.substr(0, slash);
  return parent.ends_with(u8"\\Applications") && (IsYearName(name, "VX_ZurezUvad", "") ||
                                                    IsYearName(name, "Vornex", "DLLP"));
}

// A file the payload copy puts into the install folder, by name.
bool IsPayloadName(std::string_view name) {
  for (const char* fixed : {"itextsharp.dll", "Vornex_EN.shx", "Vornex_HZ.shx", "Vornex.prt5"}) {
    if (SameAscii(name, fixed)) return true;
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

std::u8string KeyName(platform::RootKey root, std::u8string_view path) {
  return std::u8string(root == platform::RootKey::LocalMachine ? u8"HKEY_LOCAL_MACHINE\\" : u8"HKEY_CURRENT_USER\\") +
         std::u8string(path);
}

// The text of a string value, or nothing when it is missing or not text.
std::optional<std::u8string> ReadText(platform::Registry& registry, platform::KeyHandle key, std::u8string_view name) {
  std::uint32_t type = 0;
  std::u8string value;
  if (registry.QueryTextW(key, name, type, value) != platform::kSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz)) {
    return std::nullopt;
  }
  return value;
}

// The install folder the Apps & features entry names, or empty.
std::string EntryFolder(platform::Registry& registry) {
  UniqueKey root;
  UniqueKey key;
  platform::RegValue value;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      registry.OpenKey(root.get(), kUninstallKeyPath, platform::Access::Read, key) != platform::kSuccess ||
      platform::QueryWholeValue(registry, key.get(), kInstallLocationValue, value) != platform::kSuccess ||
      value.type != platform::kRegSz) {
    return {};
  }
  return platform::ValueText(value);
}

template <class Item, class Same>
Item& FindOrAdd(std::vector<Item>& items, Item item, Same same) {
  const auto found = std::find_if(items.begin(), items.end(), same);
  if (found != items.end()) return *found;
  items.push_back(std::move(item));
  return items.back();
}

void AddOnce(std::vector<std::string>& paths, const std::string& path) {
  FindOrAdd(paths, path, [&](const std::string& known) { return text::EqualsNoCase(known, path); });
}

}  // namespace

int CUninstallEngine::Say(const std::string& textUtf8, std::uint32_t flags) {
  return m_machine.prompts.MessageBox(0, textUtf8, kCaption, flags);
}

void CUninstallEngine::Log(std::u8string_view textUtf8) {
  if (m_pLog != nullptr) m_pLog->Write(textUtf8);
}

void CUninstallEngine::Left(std::u8string_view what, std::string_view whyUtf8) {
  std::string item(text::Utf8Bytes(what));
  item += whyUtf8;
  Log(text::AsUtf8(item));
  m_arrLeft.push_back(std::move(item));
}

void CUninstallEngine::LeftAnsi(std::string_view what, std::string_view whyUtf8) { Left(text::FromAnsi(what), whyUtf8); }

UninstallOutcome CUninstallEngine::Run(const UninstallChoices& choices, UninstallView& view) {
  m_strInstallFolder.clear();
  m_strClosing.clear();
  m_nFiles = m_nKeys = m_nTrusted = m_nRestored = 0;
  m_arrLeft.clear();
  m_arrPending.clear();
  if (m_machine.system.ModulePath(platform::kLongestPathChars, m_strProgram) != platform::kSuccess) m_strProgram.clear();

  Plan plan;
  UninstallOutcome stop = UninstallOutcome::kNothingToRemove;
  if (!Locate(choices, plan, stop)) return stop;

  // AutoCAD holds the modules it loaded and would keep its own copies of the keys in memory; the
  // second try is the caller's to allow, as the installation allows it.
  if (choices.checkAcadRunning && IsAcadRunning(m_machine.system)) {
    Say(kUninstallAcadRunningText, platform::kMbOk);
    return UninstallOutcome::kAcadRunning;
  }
  if (choices.ask && Say(WithPath(kUninstallQuestionText, m_strInstallFolder),
                         platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2) != platform::kIdYes) {
    return UninstallOutcome::kDeclined;
  }

  Log(u8"开始卸载，安装文件夹：" + m_strFolderU8);
  view.RemovalStarting();
  Remove(plan, view.Progress());
  m_strClosing = Closing(!plan.journal);
  const bool clean = m_arrLeft.empty();
  Say(m_strClosing, platform::kMbOk | (clean ? platform::kMbIconInformation : platform::kMbIconExclamation));
  return clean ? UninstallOutcome::kDone : UninstallOutcome::kDoneWithIssues;
}

bool CUninstallEngine::Locate(const UninstallChoices& choices, Plan& plan, UninstallOutcome& stop) {
  std::string folder;
  if (choices.typedFolder) {
    if (!choices.typedFolder->empty()) folder = FormInstallFolder(*choices.typedFolder);
  } else {
    // The installation's own copy of the installer lies in its install folder, beside the journal.
    const std::string own = ParentOf(m_strProgram);
    if (!own.empty() && GetPathKind(own + "\\" + std::string(text::Utf8Bytes(kJournalFileName)), m_machine) == kPathFile) {
      folder = own;
    } else {
      folder = EntryFolder(m_machine.registry);
    }
  }
  StripTrailingBackslash(folder);
  stop = UninstallOutcome::kNothingToRemove;
  if (folder.empty() || CreateFolderPath(m_machine.files, folder, true) != kFolderReady) {
    Say(kNothingToUninstallText, platform::kMbOk);
    return false;
  }
  m_strInstallFolder = folder;
  m_strFolderU8 = text::FromAnsi(folder);
  plan.entry = text::EqualsNoCase(EntryFolder(m_machine.registry), folder);

  JournalContents journal;
  const Status read = ReadJournal(m_machine.logging.files, m_strFolderU8, journal);
  const std::string journalPath = folder + "\\" + std::string(text::Utf8Bytes(kJournalFileName));
  if (read == platform::kSuccess) {
    plan.journal = true;
    PlanFromJournal(journal, plan);
    if (!plan.fromLaterVersion) return true;
    Say(WithPath(kJournalFromLaterText, journalPath), platform::kMbOk | platform::kMbIconStop);
  } else if (IsGone(read)) {
    PlanByFixedNames(plan);
    if (plan.entry || plan.Items() != 0) return true;
    Say(kNothingToUninstallText, platform::kMbOk);
    return false;
  } else {
    Say(WithPath(kJournalUnreadableText, journalPath) + "\n\n错误代码：" + std::to_string(read),
        platform::kMbOk | platform::kMbIconStop);
  }
  stop = UninstallOutcome::kStopped;
  return false;
}

void CUninstallEngine::PlanFromJournal(const JournalContents& journal, Plan& plan) {
  if (journal.damagedLines != 0) {
    Log(u8"安装记录中有 " + text::AsUtf8(std::to_string(journal.damagedLines)) + u8" 行不完整，已跳过。");
  }
  // Paths came from the ANSI API, so they go back; one that does not was not written by the installer.
  const auto ansi = [this](std::u8string_view path, std::string& out) {
    if (text::ToAnsi(path, out)) return true;
    Left(path, kLeftFailed);
    return false;
  };
  const auto key = [&plan](platform::RootKey root, const std::u8string& path) -> Plan::Key* {
    if (root != platform::RootKey::LocalMachine || !IsAddOnKey(path)) return nullptr;
    return &FindOrAdd(plan.keys, Plan::Key{root, path, {}},
                      [&](const Plan::Key& k) { return text::EqualsNoCaseUtf8(k.path, path); });
  };
  const auto placed = [&plan](const std::string& path) -> Plan::Placed& {
    Plan::Placed item;
    item.path = path;
    return FindOrAdd(plan.placed, item, [&](const Plan::Placed& p) { return text::EqualsNoCase(p.path, path); });
  };
  std::string path;
  for (const JournalRecord& record : journal.records) {
    if (const auto* folder = std::get_if<FolderCreated>(&record)) {
      plan.madeChosen = plan.madeChosen || text::EqualsNoCaseUtf8(folder->path, text::FromAnsi(ParentOf(m_strInstallFolder)));
    } else if (const auto* file = std::get_if<FileCopied>(&record)) {
      if (ansi(file->path, path)) AddOnce(IsInside(path, m_strInstallFolder) ? plan.files : plan.kept, path);
    } else if (const auto* written = std::get_if<KeyWritten>(&record)) {
      key(written->root, written->keyPath);
    } else if (const auto* value = std::get_if<ValueWritten>(&record)) {
      Plan::Key* k = key(value->root, value->keyPath);
      if (k == nullptr || !value->data || (value->type != platform::kRegSz && value->type != platform::kRegExpandSz)) {
        continue;
      }
      // The last run's data is what should be there now.
      FindOrAdd(k->expected, {value->name, u8""}, [&](const auto& e) { return text::EqualsNoCaseUtf8(e.first, value->name); })
          .second = *value->data;
    } else if (const auto* trusted = std::get_if<TrustedPathAdded>(&record)) {
      FindOrAdd(plan.trusted, Plan::Trusted{trusted->userSid, trusted->profileKey, false},
                [&](const Plan::Trusted& t) {
                  return t.userSid == trusted->userSid && text::EqualsNoCaseUtf8(t.variables, trusted->profileKey);
                })
          .created |= trusted->created;
    } else if (const auto* support = std::get_if<SupportFilePlaced>(&record)) {
      if (!ansi(support->path, path)) continue;
      Plan::Placed& p = placed(path);
      p.placed = true;
      p.size = support->size;
      p.digest = support->digest;
    } else if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) {
      std::string copy;
      if (!ansi(backup->original, path) || !ansi(backup->backup, copy)) continue;
      Plan::Placed& p = placed(path);
      if (p.backup.empty()) p.backup = copy;  // the first is AutoCAD's own file
    } else if (std::holds_alternative<UnknownRecord>(record)) {
      plan.fromLaterVersion = true;
    }
  }
}

void CUninstallEngine::PlanByFixedNames(Plan& plan) {
  Log(u8"未找到安装记录，按本软件固定的名称查找。");
  platform::Registry& registry = m_machine.registry;
  UniqueKey root;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) == platform::kSuccess) {
    for (const StringList& keyPaths : m_catalog.m_arrKeyPaths) {
      for (const std::string& keyPath : keyPaths) {
        const std::u8string applications = text::AnsiToU8(keyPath) + std::u8string(kApplications);
        UniqueKey key;
        if (registry.OpenKeyW(root.get(), applications, platform::Access::Read, key) != platform::kSuccess) continue;
        std::vector<std::u8string> names;
        ListSubKeys(registry, key.get(), names);
        for (const std::u8string& name : names) {
          const std::u8string path = applications + u8"\\" + name;
          UniqueKey load;
          if (!IsAddOnKey(path) || registry.OpenKeyW(key.get(), name, platform::Access::Read, load) != platform::kSuccess) {
            continue;
          }
          const std::optional<std::u8string> loader = ReadText(registry, load.get(), kLoaderValue);
          if (loader && IsAddOnLoader(*loader)) {
            FindOrAdd(plan.keys, Plan::Key{platform::RootKey::LocalMachine, path, {{std::u8string(kLoaderValue), *loader}}},
                      [&](const Plan::Key& k) { return text::EqualsNoCaseUtf8(k.path, path); });
          }
        }
      }
    }
  }

  UniqueKey user;
  if (registry.OpenRoot(platform::RootKey::CurrentUser, user) == platform::kSuccess) {
    std::vector<std::u8string> variables;
    std::vector<std::u8string> unreadable;
    ListProfileVariables(registry, user.get(), variables, unreadable);
    for (const std::u8string& path : unreadable) Left(KeyName(platform::RootKey::CurrentUser, path), kIssueUnreadable);
    for (const std::u8string& path : variables) {
      UniqueKey key;
      if (registry.OpenKeyW(user.get(), path, platform::Access::Read, key) != platform::kSuccess) continue;
      const std::optional<std::u8string> paths = ReadText(registry, key.get(), kTrustedPathsValue);
      if (paths && TrustedPathsContain(*paths, m_strFolderU8)) plan.trusted.push_back({std::nullopt, path, false});
    }
  }

  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  if (ListFolder(m_strInstallFolder, entry, listing, m_machine)) {
    do {
      if ((entry.attributes & platform::kAttrDirectory) == 0 && IsPayloadName(entry.name)) {
        plan.files.push_back(m_strInstallFolder + "\\" + entry.name);
      }
    } while (listing->Next(entry));
  }
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

bool CUninstallEngine::InAcadFolder(std::string_view path) const {
  for (const StringList& locations : m_catalog.m_arrLocations) {
    for (const std::string& location : locations) {
      if (IsInside(path, location)) return true;
    }
  }
  return false;
}

void CUninstallEngine::Remove(const Plan& plan, platform::ProgressBar& progress) {
  progress.SetRange(0, static_cast<int>(plan.Items()));
  progress.SetStep(1);
  progress.SetPos(0);
  for (const std::string& kept : plan.kept) Log(u8"保留用户设置文件 " + text::FromAnsi(kept));
  for (const Plan::Key& key : plan.keys) {
    RemoveKey(key.root, key.path, key.expected);
    progress.StepIt();
  }
  for (const Plan::Trusted& trusted : plan.trusted) {
    RemoveTrusted(trusted.userSid, trusted.variables, trusted.created);
    progress.StepIt();
  }
  for (const Plan::Placed& placed : plan.placed) {
    RemovePlaced(placed.path, placed.digest, placed.size, placed.backup, placed.placed);
    progress.StepIt();
  }
  for (const std::string& file : plan.files) {
    DeleteNowOrLater(file, true);
    progress.StepIt();
  }

  // The numbered backup folders and theirs, silently: what they still hold was named already.
  for (const Plan::Placed& placed : plan.placed) {
    if (!placed.backup.empty()) (void)m_machine.files.RemoveDirectory(ParentOf(placed.backup));
  }
  (void)m_machine.files.RemoveDirectory(m_strInstallFolder + "\\" + std::string(text::Utf8Bytes(kBackupFolderName)));
  // The entry and then the journal last: until they go, the uninstall can be found and run again.
  if (plan.entry) RemoveKey(platform::RootKey::LocalMachine, text::AsUtf8(kUninstallKeyPath),
                            {{text::AsUtf8(kInstallLocationValue), m_strFolderU8}});
  if (plan.journal) DeleteNowOrLater(m_strInstallFolder + "\\" + std::string(text::Utf8Bytes(kJournalFileName)), false);
  RemoveFolder(m_strInstallFolder);
  if (plan.madeChosen) RemoveFolder(ParentOf(m_strInstallFolder));
  progress.SetPos(static_cast<int>(plan.Items()));
}

void CUninstallEngine::RemoveKey(platform::RootKey root, const std::u8string& path,
                                 const std::vector<std::pair<std::u8string, std::u8string>>& expected) {
  platform::Registry& registry = m_machine.registry;
  const std::u8string name = KeyName(root, path);
  UniqueKey rootKey;
  UniqueKey key;
  Status status = registry.OpenRoot(root, rootKey);
  if (status == platform::kSuccess) status = registry.OpenKeyW(rootKey.get(), path, platform::Access::Read, key);
  if (status == platform::kFileNotFound) return;  // removed already
  if (status != platform::kSuccess) return Left(name, kLeftFailed);

  // Rewritten since (another installation of the add-on, or by hand), the key is someone else's now.
  bool same = true;
  if (expected.empty()) {
    const std::optional<std::u8string> loader = ReadText(registry, key.get(), kLoaderValue);
    same = loader && IsAddOnLoader(*loader);
  }
  for (const auto& [value, data] : expected) same = same && ReadText(registry, key.get(), value) == data;
  key.reset();
  if (!same) return Left(name, kLeftRewritten);

  std::string ansi;
  status = text::ToAnsi(path, ansi) ? registry.DeleteKey(rootKey.get(), ansi) : platform::kInvalidName;
  if (status == platform::kSuccess) {
    ++m_nKeys;
    Log(u8"已删除 " + name);
  } else if (status != platform::kFileNotFound) {
    if (m_pLog != nullptr) m_pLog->WriteError(u8"无法删除 " + name, status);
    Left(name, kLeftFailed);
  }
}

void CUninstallEngine::RemoveTrusted(const std::optional<std::u8string>& userSid, const std::u8string& variables,
                                     bool created) {
  platform::Registry& registry = m_machine.registry;
  const std::u8string name = KeyName(platform::RootKey::CurrentUser, variables) + u8"\\TRUSTEDPATHS";
  // Another user's profile is reached through that user's hive, which this program does not open.
  std::string account;
  if (userSid && (m_machine.system.AccountSid(account) != platform::kSuccess || text::AsUtf8(account) != *userSid)) {
    return Left(name, kLeftOtherUser);
  }
  UniqueKey user;
  UniqueKey key;
  Status status = registry.OpenRoot(platform::RootKey::CurrentUser, user);
  if (status == platform::kSuccess) status = registry.OpenKeyW(user.get(), variables, platform::Access::ReadWrite, key);
  if (status == platform::kFileNotFound) return;
  std::uint32_t type = platform::kRegNone;
  std::u8string before;
  if (status == platform::kSuccess) status = registry.QueryTextW(key.get(), kTrustedPathsValue, type, before);
  if (status == platform::kFileNotFound) return;
  if (status != platform::kSuccess) return Left(name, kLeftFailed);
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return Left(name, kLeftRewritten);

  const std::u8string after = RemoveTrustedPath(before, m_strFolderU8);
  if (after == before) return;  // taken out already
  // A value the installation made goes again when nothing else is left in it.
  status = after.empty() && created ? registry.DeleteValue(key.get(), "TRUSTEDPATHS")
                                    : registry.SetTextW(key.get(), kTrustedPathsValue, type, after);
  if (status != platform::kSuccess) {
    if (m_pLog != nullptr) m_pLog->WriteError(u8"无法修改 " + name, status);
    return Left(name, kLeftFailed);
  }
  ++m_nTrusted;
  Log(u8"已修改 " + name + u8"\n原值：" + before + u8"\n新值：" + after);
}

void CUninstallEngine::RemovePlaced(const std::string& path, const std::u8string& digest, std::uint64_t size,
                                    const std::string& backup, bool placed) {
  // The journal says where; only AutoCAD's folders, and backups in the install folder, are touched.
  if (!InAcadFolder(path) || (!backup.empty() && !IsInside(backup, m_strInstallFolder))) {
    return LeftAnsi(path, kLeftOutsideAcad);
  }
  std::u8string now;
  const Status read = m_machine.logging.files.ReadWhole(text::FromAnsi(path), now);
  if (read != platform::kSuccess && !IsGone(read)) return LeftAnsi(path, kLeftFailed);
  const bool present = read == platform::kSuccess;
  // A journal of the first version has no digest: the size then tells what it can.
  const bool ours = present && placed && now.size() == size && (digest.empty() || ContentDigest(now) == digest);
  if (backup.empty()) {
    if (!present) return;
    if (!ours) return LeftAnsi(path, kLeftChanged);
    DeleteNowOrLater(path, true);
    return;
  }

  // AutoCAD's own file was kept before the add-on's replaced it: it goes back, byte for byte.
  std::u8string original;
  if (m_machine.logging.files.ReadWhole(text::FromAnsi(backup), original) != platform::kSuccess) {
    if (ours || !present) LeftAnsi(path, kLeftNoBackup);
    return;  // otherwise AutoCAD's file is back in place already
  }
  if (present && !ours) {
    // Not the add-on's any more: either the original back already, or a change to keep.
    if (now != original) return LeftAnsi(path, kLeftChanged);
  } else {
    ClearReadOnly(path, m_machine);
    const Status copied = m_machine.files.CopyFile(backup, path, false);
    if (copied != platform::kSuccess) {
      if (m_pLog != nullptr) m_pLog->WriteError(u8"无法还原 " + text::FromAnsi(path), copied);
      return LeftAnsi(path, kLeftFailed);
    }
    ++m_nRestored;
    Log(u8"已还原 " + text::FromAnsi(path));
  }
  DeleteNowOrLater(backup, false);
}

bool CUninstallEngine::DeleteNowOrLater(const std::string& path, bool counted) {
  const std::u8string name = text::FromAnsi(path);
  // The running program cannot be deleted; Windows does it at the next start.
  Status status = text::EqualsNoCase(path, m_strProgram) ? platform::kAccessDenied : m_machine.files.DeleteFile(path);
  if (status == platform::kAccessDenied && !text::EqualsNoCase(path, m_strProgram)) {
    std::uint32_t attributes = 0;
    if (m_machine.files.GetAttributes(path, attributes) == platform::kSuccess &&
        (attributes & platform::kAttrReadOnly) != 0) {
      ClearReadOnly(path, m_machine);
      status = m_machine.files.DeleteFile(path);
    }
  }
  if (status == platform::kSuccess) {
    if (counted) ++m_nFiles;
    Log(u8"已删除 " + name);
    return true;
  }
  if (IsGone(status)) return true;
  if (status == platform::kAccessDenied || status == platform::kSharingViolation) {
    const Status later = m_machine.files.DeleteLater(path);
    if (later == platform::kSuccess) {
      m_arrPending.push_back(path);
      Log(u8"正在使用，将在重新启动计算机后删除 " + name);
      return true;
    }
    status = later;
  }
  if (m_pLog != nullptr) m_pLog->WriteError(u8"无法删除 " + name, status);
  Left(name, kLeftFailed);
  return false;
}

void CUninstallEngine::RemoveFolder(const std::string& folder) {
  const Status status = m_machine.files.RemoveDirectory(folder);
  if (status == platform::kSuccess) return Log(u8"已删除文件夹 " + text::FromAnsi(folder));
  if (IsGone(status)) return;
  if (status != platform::kDirNotEmpty) return LeftAnsi(folder, kLeftFailed);
  // Holding only what goes at the next restart, it can go then too, after what it holds.
  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  bool pendingOnly = ListFolder(folder, entry, listing, m_machine);
  while (pendingOnly) {
    if (entry.name != "." && entry.name != "..") {
      const std::string inside = folder + "\\" + entry.name;
      pendingOnly = std::any_of(m_arrPending.begin(), m_arrPending.end(),
                                [&](const std::string& pending) { return text::EqualsNoCase(pending, inside); });
    }
    if (!listing->Next(entry)) break;
  }
  if (!pendingOnly || m_machine.files.DeleteLater(folder) != platform::kSuccess) return LeftAnsi(folder, kLeftNotEmpty);
  m_arrPending.push_back(folder);
  Log(u8"将在重新启动计算机后删除文件夹 " + text::FromAnsi(folder));
}

std::string CUninstallEngine::Closing(bool withoutJournal) const {
  std::string out = kUninstalledLead;
  std::string counts = kRemovedCountsPattern;
  for (const unsigned n : {m_nFiles, m_nKeys, m_nTrusted, m_nRestored}) counts.replace(counts.find("{}"), 2, std::to_string(n));
  out += counts;
  // At most kIncompleteItemsShown of a list, then the count of all.
  const auto list = [&out](const char* lead, const std::vector<std::string>& itemsUtf8) {
    if (itemsUtf8.empty()) return;
    out += lead;
    const std::size_t shown = std::min(itemsUtf8.size(), kIncompleteItemsShown);
    for (std::size_t i = 0; i < shown; ++i) out += (i == 0 ? "" : "\n") + itemsUtf8[i];
    if (itemsUtf8.size() > shown) {
      std::string count = kIncompleteCountPattern;
      out += "\n" + count.replace(count.find("{}"), 2, std::to_string(itemsUtf8.size()));
    }
  };
  list(kLeftLead, m_arrLeft);
  std::vector<std::string> pending;
  for (const std::string& path : m_arrPending) pending.push_back(text::AnsiToUtf8(path));
  list(kPendingLead, pending);
  if (withoutJournal) out += kNoJournalNote;
  return out;
}

}  // namespace install
