// The simulated registry: a tree of keys behind handles that behave like HKEYs.
#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/sim/utf16.h"
#include "platform/text.h"

namespace sim {

using platform::Access;
using platform::KeyHandle;
using platform::RegValue;
using platform::RootKey;
using platform::Status;
using platform::UniqueKey;

namespace {

bool IsStringType(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
}

// The index of a name: upper-cased, in UTF-16, whose order is the order Windows enumerates in.
std::u16string FoldName(std::u8string_view name) {
  return Utf8ToUtf16(text::ToUpperUtf8(name)).value_or(std::u16string());
}

// Names and text reach the tree as well-formed UTF-8 without a NUL, as the wide API lets them through.
Status CheckUnicode(std::u8string_view unicode) {
  if (unicode.find(u8'\0') != std::u8string_view::npos) return platform::kInvalidParameter;
  return Utf8ToUtf16(unicode) ? platform::kSuccess : platform::kNoUnicodeTranslation;
}

// Splits a sub-key path at backslashes (UTF-8 never uses that byte inside a character). A leading
// backslash is refused as Windows refuses it; a trailing one and doubled ones add nothing.
Status SplitPath(std::u8string_view path, std::vector<std::u8string>& parts) {
  parts.clear();
  if (const Status st = CheckUnicode(path); st != platform::kSuccess) return st;
  if (!path.empty() && path[0] == u8'\\') return platform::kBadPathName;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u8'\\', start);
    if (end == std::u8string_view::npos) end = path.size();
    if (end > start) {
      std::u8string part(path.substr(start, end - start));
      // The limit counts UTF-16 units, not bytes.
      if (Utf8ToUtf16(part)->size() > platform::kMaxKeyNameChars) return platform::kInvalidParameter;
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  return platform::kSuccess;
}

std::u8string JoinPath(std::u8string_view base, std::u8string_view part) {
  std::u8string joined(base);
  if (!joined.empty()) joined += u8'\\';
  joined += part;
  return joined;
}

// The upper-cased form of a key path used to compare paths: backslashes collapsed at both ends.
// Text only: it never looks at the tree, let alone follows a link.
std::u8string FoldKeyPath(std::u8string_view path) {
  std::u8string folded;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u8'\\', start);
    if (end == std::u8string_view::npos) end = path.size();
    if (end > start) folded = JoinPath(folded, text::ToUpperUtf8(path.substr(start, end - start)));
    start = end + 1;
  }
  return folded;
}

// Below the key only: a link key has no sub-keys, so its target is never reached from here.
void MarkDeleted(SimKey& key) {
  key.deleted = true;
  key.parent = nullptr;
  for (auto& [folded, sub] : key.subKeys) MarkDeleted(*sub);
}

std::u8string_view AsU8(const std::vector<std::uint8_t>& data, std::size_t size) {
  return {reinterpret_cast<const char8_t*>(data.data()), size};
}

// The bytes the ANSI functions hand out for a stored value.
std::vector<std::uint8_t> AnsiData(const SimValue& stored) {
  if (!stored.unicode || !IsStringType(stored.value.type)) return stored.value.data;
  const std::string ansi = text::U8ToAnsiLossy(AsU8(stored.value.data, stored.value.data.size()));
  return {ansi.begin(), ansi.end()};
}

// The text the wide functions hand out for REG_SZ-style data: up to its first NUL.
std::u8string UnicodeText(const SimValue& stored) {
  const std::vector<std::uint8_t>& data = stored.value.data;
  const auto end = static_cast<std::size_t>(std::find(data.begin(), data.end(), std::uint8_t{0}) - data.begin());
  if (stored.unicode) return std::u8string(AsU8(data, end));
  return text::AnsiToU8(std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(end)));
}

// RegSetValueExW's data for text: the text and its terminating NUL.
RegValue TextValue(std::uint32_t type, std::u8string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return RegValue{type, std::move(data)};
}

// A copy of `from` and everything below it, whose top lies `depth` levels below its root.
std::shared_ptr<SimKey> CopyTree(const SimKey& from, std::size_t depth, SimKey* parent) {
  auto copy = std::make_shared<SimKey>();
  copy->name = from.name;
  copy->depth = depth;
  copy->parent = parent;
  copy->link = from.link;
  copy->values = from.values;
  for (const auto& [folded, sub] : from.subKeys) copy->subKeys.emplace(folded, CopyTree(*sub, depth + 1, copy.get()));
  return copy;
}

// A hive's name under HKEY_USERS is one key name.
Status CheckHiveName(std::u8string_view name) {
  if (name.empty() || name.find(u8'\\') != std::u8string_view::npos) return platform::kInvalidParameter;
  if (const Status st = CheckUnicode(name); st != platform::kSuccess) return st;
  return Utf8ToUtf16(name)->size() > platform::kMaxKeyNameChars ? platform::kInvalidParameter : platform::kSuccess;
}

// A value set again keeps the spelling of its name it was first given, as the real registry does.
void Store(SimKey& key, std::u8string_view name, RegValue value, bool unicode) {
  auto [it, inserted] = key.values.try_emplace(FoldName(name), SimValue{std::u8string(name), {}, false});
  it->second.value = std::move(value);
  it->second.unicode = unicode;
}

}  // namespace

SimRegistry::SimRegistry()
    : localMachine_(std::make_shared<SimKey>()),
      currentUser_(std::make_shared<SimKey>()),
      users_(std::make_shared<SimKey>()) {
  localMachine_->name = u8"HKEY_LOCAL_MACHINE";
  currentUser_->name = u8"HKEY_CURRENT_USER";
  users_->name = u8"HKEY_USERS";
}

const std::shared_ptr<SimKey>& SimRegistry::RootKeyOf(RegRoot root) const {
  if (root == kUsers) return users_;
  return root == RegRoot(RootKey::LocalMachine) ? localMachine_ : currentUser_;
}

const SimKey& SimRegistry::Root(RegRoot root) const { return *RootKeyOf(root); }

SimRegistry::Place SimRegistry::RootPlace(RegRoot root) const { return Place{RootKeyOf(root), root, u8""}; }

KeyHandle SimRegistry::NewHandle(Place place, bool writable) {
  // Handle values are never reused, so a use after close is caught rather than aliasing a new key.
  const KeyHandle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, Handle{std::move(place), writable});
  return handle;
}

Status SimRegistry::Lookup(KeyHandle handle, Handle*& out) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return platform::kInvalidHandle;
  out = &it->second;
  return out->place.key->deleted ? platform::kKeyDeleted : platform::kSuccess;
}

bool SimRegistry::Denied(RegRoot root, std::u8string_view path, bool write) const {
  const std::u8string folded = FoldKeyPath(path);
  return std::any_of(denyRules_.begin(), denyRules_.end(), [&](const DenyRule& rule) {
    return rule.root == root && rule.path == folded && (rule.what == Deny::AnyAccess || write);
  });
}

// Goes down from `from` as far as the keys exist. `reached` is the deepest key found; `missing`
// names the levels below it that do not exist (none when the whole path does).
Status SimRegistry::Walk(const Place& from, std::u8string_view subKey, Place& reached,
                         std::vector<std::u8string>& missing) const {
  std::vector<std::u8string> parts;
  if (const Status st = SplitPath(subKey, parts); st != platform::kSuccess) return st;
  Place at = from;
  int links = 0;
  std::size_t i = 0;
  for (; i < parts.size(); ++i) {
    const auto it = at.key->subKeys.find(FoldName(parts[i]));
    if (it == at.key->subKeys.end()) break;
    if (const Status st = Enter(at, it->second, links); st != platform::kSuccess) return st;
  }
  missing.assign(std::make_move_iterator(parts.begin() + static_cast<std::ptrdiff_t>(i)),
                 std::make_move_iterator(parts.end()));
  reached = std::move(at);
  return platform::kSuccess;
}

// One level down, to `child`, or to where it leads when it is a link.
Status SimRegistry::Enter(Place& at, const std::shared_ptr<SimKey>& child, int& links) const {
  if (child->link) return FollowLink(*child->link, links, at);
  at.key = child;
  at.path = JoinPath(at.path, child->name);
  return platform::kSuccess;
}

// The target is walked from its root like any path, links on the way included; every link
// passed counts, so a loop ends at kMaxLinksPerWalk.
Status SimRegistry::FollowLink(const SimLink& link, int& links, Place& out) const {
  if (++links > kMaxLinksPerWalk) return platform::kFileNotFound;
  std::vector<std::u8string> parts;
  if (const Status st = SplitPath(link.path, parts); st != platform::kSuccess) return st;
  Place at = RootPlace(link.root);
  for (const std::u8string& part : parts) {
    const auto it = at.key->subKeys.find(FoldName(part));
    if (it == at.key->subKeys.end()) return platform::kFileNotFound;
    if (const Status st = Enter(at, it->second, links); st != platform::kSuccess) return st;
  }
  out = std::move(at);
  return platform::kSuccess;
}

// Creates the `missing` levels below `at`, which then names the last one. The whole chain is
// checked before any of it is made, so a refused create leaves nothing.
Status SimRegistry::CreateMissing(Place& at, const std::vector<std::u8string>& missing) {
  if (at.key->depth + missing.size() > kMaxKeyDepth) return platform::kInvalidParameter;
  for (const std::u8string& name : missing) {
    auto made = std::make_shared<SimKey>();
    made->name = name;
    made->depth = at.key->depth + 1;
    made->parent = at.key.get();
    at.key->subKeys.emplace(FoldName(name), made);
    at.key = std::move(made);
    at.path = JoinPath(at.path, name);
  }
  return platform::kSuccess;
}

Status SimRegistry::OpenRoot(RootKey root, UniqueKey& out) {
  out.reset();
  if (Denied(root, u8"", false)) return platform::kAccessDenied;
  out = UniqueKey(this, NewHandle(RootPlace(root), true));
  return platform::kSuccess;
}

Status SimRegistry::OpenKeyU(KeyHandle parent, std::u8string_view subKey, Access access, UniqueKey& out) {
  out.reset();
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  Place target;
  std::vector<std::u8string> missing;
  if (const Status st = Walk(from->place, subKey, target, missing); st != platform::kSuccess) return st;
  if (!missing.empty()) return platform::kFileNotFound;
  const bool write = access == Access::ReadWrite;
  if (Denied(target.root, target.path, write)) return platform::kAccessDenied;
  out = UniqueKey(this, NewHandle(std::move(target), write));
  return platform::kSuccess;
}

Status SimRegistry::OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) {
  return OpenKeyU(parent, text::AnsiToU8(subKey), access, out);
}

Status SimRegistry::OpenKeyW(KeyHandle parent, std::u8string_view subKey, Access access, UniqueKey& out) {
  return OpenKeyU(parent, subKey, access, out);
}

Status SimRegistry::CountSubKeys(KeyHandle key, std::uint32_t& count) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  count = static_cast<std::uint32_t>(h->place.key->subKeys.size());
  return platform::kSuccess;
}

Status SimRegistry::CountValues(KeyHandle key, std::uint32_t& count) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  count = static_cast<std::uint32_t>(h->place.key->values.size());
  return platform::kSuccess;
}

Status SimRegistry::EnumValue(KeyHandle key, std::uint32_t index, std::string& name, RegValue& value) {
  name.clear();
  value = RegValue{};
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  const auto& values = h->place.key->values;
  if (index >= values.size()) return platform::kNoMoreItems;
  auto it = values.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(index));
  name = text::U8ToAnsiLossy(it->second.name);
  value = RegValue{it->second.value.type, AnsiData(it->second)};
  return platform::kSuccess;
}

Status SimRegistry::EnumSubKeyU(KeyHandle key, std::uint32_t index, const SimKey*& found) {
  found = nullptr;
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  const SimKey& parent = *h->place.key;
  if (index >= parent.subKeys.size()) return platform::kNoMoreItems;
  auto it = parent.subKeys.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(index));
  found = it->second.get();
  const std::u8string folded = FoldKeyPath(h->place.path);
  for (const EnumRule& rule : enumRules_) {
    if (rule.root == h->place.root && rule.path == folded && rule.index == index) return rule.status;
  }
  return platform::kSuccess;
}

Status SimRegistry::EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) {
  name.clear();
  const SimKey* found = nullptr;
  if (const Status st = EnumSubKeyU(key, index, found); st != platform::kSuccess) return st;
  std::string ansi = text::U8ToAnsiLossy(found->name);
  if (ansi.size() + 1 > capacity) return platform::kMoreData;
  name = std::move(ansi);
  return platform::kSuccess;
}

Status SimRegistry::EnumSubKeyW(KeyHandle key, std::uint32_t index, std::u8string& name) {
  name.clear();
  const SimKey* found = nullptr;
  if (const Status st = EnumSubKeyU(key, index, found); st != platform::kSuccess) return st;
  name = found->name;
  return platform::kSuccess;
}

Status SimRegistry::FindValue(KeyHandle key, std::u8string_view name, const SimValue*& found) {
  found = nullptr;
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  if (const Status st = CheckUnicode(name); st != platform::kSuccess) return st;
  const auto it = h->place.key->values.find(FoldName(name));
  if (it == h->place.key->values.end()) return platform::kFileNotFound;
  found = &it->second;
  return platform::kSuccess;
}

Status SimRegistry::QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                               std::size_t& requiredSize) {
  value = RegValue{};
  requiredSize = 0;
  const SimValue* stored = nullptr;
  if (const Status st = FindValue(key, text::AnsiToU8(name), stored); st != platform::kSuccess) return st;
  std::vector<std::uint8_t> data = AnsiData(*stored);
  requiredSize = data.size();
  value.type = stored->value.type;
  if (data.size() > capacity) return platform::kMoreData;
  value.data = std::move(data);
  return platform::kSuccess;
}

Status SimRegistry::QueryTextW(KeyHandle key, std::u8string_view name, std::uint32_t& type, std::u8string& text) {
  type = platform::kRegNone;
  text.clear();
  const SimValue* stored = nullptr;
  if (const Status st = FindValue(key, name, stored); st != platform::kSuccess) return st;
  type = stored->value.type;
  if (type == platform::kRegSz || type == platform::kRegExpandSz) text = UnicodeText(*stored);
  return platform::kSuccess;
}

Status SimRegistry::CreateKeyU(KeyHandle parent, std::u8string_view subKey, UniqueKey& out) {
  out.reset();
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  Place target;
  std::vector<std::u8string> missing;
  if (const Status st = Walk(from->place, subKey, target, missing); st != platform::kSuccess) return st;
  // Refuse before anything is created when the key that would come out is denied.
  std::u8string wanted = target.path;
  for (const std::u8string& name : missing) wanted = JoinPath(wanted, name);
  if (Denied(target.root, wanted, true)) return platform::kAccessDenied;
  if (!missing.empty() && !from->writable) return platform::kAccessDenied;
  if (const Status st = CreateMissing(target, missing); st != platform::kSuccess) return st;
  out = UniqueKey(this, NewHandle(std::move(target), true));
  return platform::kSuccess;
}

Status SimRegistry::CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) {
  return CreateKeyU(parent, text::AnsiToU8(subKey), out);
}

Status SimRegistry::CreateKeyW(KeyHandle parent, std::u8string_view subKey, UniqueKey& out) {
  return CreateKeyU(parent, subKey, out);
}

Status SimRegistry::DeleteKey(KeyHandle parent, const std::string& subKey) {
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  Place target;
  std::vector<std::u8string> missing;
  if (const Status st = Walk(from->place, text::AnsiToU8(subKey), target, missing); st != platform::kSuccess) {
    return st;
  }
  if (!missing.empty()) return platform::kFileNotFound;
  SimKey* owner = target.key->parent;
  if (owner == nullptr) return platform::kAccessDenied;  // a root cannot be deleted
  if (!target.key->subKeys.empty()) return platform::kAccessDenied;
  if (Denied(target.root, target.path, true)) return platform::kAccessDenied;
  const std::shared_ptr<SimKey> keep = target.key;
  owner->subKeys.erase(FoldName(keep->name));
  MarkDeleted(*keep);
  return platform::kSuccess;
}

Status SimRegistry::SetValueU(KeyHandle key, std::u8string_view name, RegValue value, bool unicode) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  if (!h->writable) return platform::kAccessDenied;
  if (const Status st = CheckUnicode(name); st != platform::kSuccess) return st;
  Store(*h->place.key, name, std::move(value), unicode);
  return platform::kSuccess;
}

Status SimRegistry::SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                             const std::vector<std::uint8_t>& data) {
  return SetValueU(key, text::AnsiToU8(name), RegValue{type, data}, false);
}

Status SimRegistry::SetTextW(KeyHandle key, std::u8string_view name, std::uint32_t type, std::u8string_view text) {
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return platform::kInvalidParameter;
  if (const Status st = CheckUnicode(text); st != platform::kSuccess) return st;
  return SetValueU(key, name, TextValue(type, text), true);
}

Status SimRegistry::DeleteValue(KeyHandle key, const std::string& name) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  if (!h->writable) return platform::kAccessDenied;
  return h->place.key->values.erase(FoldName(text::AnsiToU8(name))) != 0 ? platform::kSuccess
                                                                        : platform::kFileNotFound;
}

void SimRegistry::CloseKey(KeyHandle key) {
  if (handles_.erase(key) == 0) ++badCloses_;
}

void SimRegistry::DenyOpen(RegRoot root, const std::string& path, Deny what) {
  denyRules_.push_back(DenyRule{root, FoldKeyPath(text::AnsiToU8(path)), what});
}

void SimRegistry::FailEnumSubKey(RegRoot root, const std::string& path, std::uint32_t index, Status status) {
  enumRules_.push_back(EnumRule{root, FoldKeyPath(text::AnsiToU8(path)), index, status});
}

void SimRegistry::ClearFailures() {
  denyRules_.clear();
  enumRules_.clear();
  for (auto& [folded, hive] : hiveFiles_) hive.failLoad = platform::kSuccess;
}

Status SimRegistry::OpenUsersRoot(UniqueKey& out) {
  out.reset();
  if (Denied(kUsers, u8"", false)) return platform::kAccessDenied;
  out = UniqueKey(this, NewHandle(RootPlace(kUsers), true));
  return platform::kSuccess;
}

SimRegistry::HiveFile* SimRegistry::FindHiveFile(std::u8string_view file) {
  const auto it = hiveFiles_.find(FoldName(file));
  return it == hiveFiles_.end() ? nullptr : &it->second;
}

SimRegistry::HiveFile* SimRegistry::MountedHive(const std::u16string& foldedName) {
  for (auto& [folded, hive] : hiveFiles_) {
    if (hive.mountedAs == foldedName) return &hive;
  }
  return nullptr;
}

// Whether some open handle lies in HKEY_USERS\<name> or below it: a handle's place is where its
// key really lies, so one opened through a link counts where the link led.
bool SimRegistry::HandleInHive(const std::u16string& foldedName) const {
  for (const auto& [value, handle] : handles_) {
    if (!(handle.place.root == kUsers)) continue;
    const std::u8string_view path = handle.place.path;
    const std::u8string_view top = path.substr(0, path.find(u8'\\'));
    if (!top.empty() && FoldName(top) == foldedName) return true;
  }
  return false;
}

void SimRegistry::Mount(HiveFile& hive, std::u8string_view name, bool byProgram) {
  hive.root->name.assign(name);
  hive.root->parent = users_.get();
  users_->subKeys.emplace(FoldName(name), hive.root);
  hive.mountedAs = FoldName(name);
  hive.loadedByProgram = byProgram;
}

// The checks in the order Windows meets them: the name, the file, then whether someone holds it.
Status SimRegistry::LoadHive(std::u8string_view name, std::u8string_view file) {
  if (const Status st = CheckHiveName(name); st != platform::kSuccess) return st;
  if (file.empty()) return platform::kInvalidParameter;
  if (const Status st = CheckUnicode(file); st != platform::kSuccess) return st;
  if (users_->subKeys.count(FoldName(name)) != 0) return platform::kAlreadyExists;
  HiveFile* hive = FindHiveFile(file);
  if (hive != nullptr && hive->failLoad != platform::kSuccess) return hive->failLoad;
  if (hive == nullptr || hive->root == nullptr) return platform::kFileNotFound;
  if (!hive->mountedAs.empty()) return platform::kSharingViolation;
  Mount(*hive, name, true);
  return platform::kSuccess;
}

Status SimRegistry::UnloadHive(std::u8string_view name) {
  if (const Status st = CheckHiveName(name); st != platform::kSuccess) return st;
  const std::u16string folded = FoldName(name);
  if (users_->subKeys.count(folded) == 0) return platform::kFileNotFound;
  HiveFile* hive = MountedHive(folded);
  if (hive == nullptr) return platform::kInvalidParameter;  // a plain key, no hive of its own
  // A signed-in user's hive is held by that user's processes; any handle of ours holds it too.
  if (!hive->loadedByProgram || HandleInHive(folded)) return platform::kAccessDenied;
  users_->subKeys.erase(folded);
  hive->root->parent = nullptr;
  hive->mountedAs.clear();
  hive->loadedByProgram = false;
  return platform::kSuccess;
}

Status SimRegistry::SaveKey(RegRoot root, const std::u8string& path, const std::u8string& file) {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  if (key == nullptr) return platform::kFileNotFound;
  HiveFile& hive = hiveFiles_[FoldName(file)];
  if (hive.root != nullptr) return platform::kAlreadyExists;
  // A hive's top key lies right below HKEY_USERS once loaded.
  hive.root = CopyTree(*key, 1, nullptr);
  return platform::kSuccess;
}

bool SimRegistry::MountHive(const std::u8string& file, const std::u8string& name) {
  HiveFile* hive = FindHiveFile(file);
  if (hive == nullptr || hive->root == nullptr || !hive->mountedAs.empty() ||
      CheckHiveName(name) != platform::kSuccess || users_->subKeys.count(FoldName(name)) != 0) {
    return false;
  }
  Mount(*hive, name, false);
  return true;
}

bool SimRegistry::MountCurrentUser(const std::u8string& sid, const std::u8string& file) {
  HiveFile* existing = FindHiveFile(file);
  if ((existing != nullptr && existing->root != nullptr) || CheckHiveName(sid) != platform::kSuccess ||
      !CreateLink(kUsers, text::U8ToAnsiLossy(sid), RootKey::CurrentUser, "")) {
    return false;
  }
  HiveFile& hive = hiveFiles_[FoldName(file)];
  hive.root = currentUser_;
  hive.mountedAs = FoldName(sid);
  hive.loadedByProgram = false;
  return true;
}

void SimRegistry::FailLoadHive(const std::u8string& file, Status status) { hiveFiles_[FoldName(file)].failLoad = status; }

std::size_t SimRegistry::LoadedHiveCount() const {
  return static_cast<std::size_t>(std::count_if(hiveFiles_.begin(), hiveFiles_.end(), [](const auto& entry) {
    return !entry.second.mountedAs.empty() && entry.second.loadedByProgram;
  }));
}

bool SimRegistry::HiveFileExists(const std::u8string& file) const {
  const auto it = hiveFiles_.find(FoldName(file));
  return it != hiveFiles_.end() && it->second.root != nullptr;
}

std::shared_ptr<SimKey> SimRegistry::FindShared(RegRoot root, std::u8string_view path) const {
  Place found;
  std::vector<std::u8string> missing;
  if (Walk(RootPlace(root), path, found, missing) != platform::kSuccess || !missing.empty()) return nullptr;
  return found.key;
}

const SimKey* SimRegistry::Find(RegRoot root, const std::string& path) const {
  return FindShared(root, text::AnsiToU8(path)).get();
}

bool SimRegistry::CreatePath(RegRoot root, const std::u8string& path) {
  Place at;
  std::vector<std::u8string> missing;
  return Walk(RootPlace(root), path, at, missing) == platform::kSuccess &&
         CreateMissing(at, missing) == platform::kSuccess;
}

bool SimRegistry::CreatePath(RegRoot root, const std::string& path) { return CreatePath(root, text::AnsiToU8(path)); }

bool SimRegistry::KeyExists(RegRoot root, const std::string& path) const { return Find(root, path) != nullptr; }

bool SimRegistry::DeleteTree(RegRoot root, const std::u8string& path) {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  if (key == nullptr || key->parent == nullptr) return false;
  key->parent->subKeys.erase(FoldName(key->name));
  MarkDeleted(*key);
  return true;
}

bool SimRegistry::DeleteTree(RegRoot root, const std::string& path) { return DeleteTree(root, text::AnsiToU8(path)); }

bool SimRegistry::Set(RegRoot root, const std::u8string& path, const std::u8string& name, RegValue value,
                      bool unicode) {
  if (!CreatePath(root, path) || CheckUnicode(name) != platform::kSuccess) return false;
  const bool unicodeText = unicode && IsStringType(value.type);
  Store(*FindShared(root, path), name, std::move(value), unicodeText);
  return true;
}

bool SimRegistry::Set(RegRoot root, const std::string& path, const std::string& name, RegValue value) {
  return Set(root, text::AnsiToU8(path), text::AnsiToU8(name), std::move(value), false);
}

bool SimRegistry::SetString(RegRoot root, const std::string& path, const std::string& name, const std::string& text) {
  return Set(root, path, name, RegValue{platform::kRegSz, platform::SzData(text)});
}

bool SimRegistry::SetDword(RegRoot root, const std::string& path, const std::string& name, std::uint32_t value) {
  return Set(root, path, name, RegValue{platform::kRegDword, platform::DwordData(value)});
}

bool SimRegistry::SetString(RegRoot root, const std::u8string& path, const std::u8string& name,
                            const std::u8string& text, std::uint32_t type) {
  if ((type != platform::kRegSz && type != platform::kRegExpandSz) || CheckUnicode(text) != platform::kSuccess) {
    return false;
  }
  return Set(root, path, name, TextValue(type, text), true);
}

bool SimRegistry::DeleteValue(RegRoot root, const std::u8string& path, const std::u8string& name) {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  return key != nullptr && key->values.erase(FoldName(name)) > 0;
}

bool SimRegistry::DeleteValue(RegRoot root, const std::string& path, const std::string& name) {
  return DeleteValue(root, text::AnsiToU8(path), text::AnsiToU8(name));
}

std::optional<RegValue> SimRegistry::Get(RegRoot root, const std::u8string& path, const std::u8string& name) const {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  if (key == nullptr) return std::nullopt;
  const auto it = key->values.find(FoldName(name));
  if (it == key->values.end()) return std::nullopt;
  return RegValue{it->second.value.type, AnsiData(it->second)};
}

std::optional<RegValue> SimRegistry::Get(RegRoot root, const std::string& path, const std::string& name) const {
  return Get(root, text::AnsiToU8(path), text::AnsiToU8(name));
}

std::optional<std::string> SimRegistry::GetString(RegRoot root, const std::string& path,
                                                  const std::string& name) const {
  const std::optional<RegValue> value = Get(root, path, name);
  if (!value) return std::nullopt;
  return platform::ValueText(*value);
}

std::optional<std::u8string> SimRegistry::GetString(RegRoot root, const std::u8string& path,
                                                    const std::u8string& name) const {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  if (key == nullptr) return std::nullopt;
  const auto it = key->values.find(FoldName(name));
  if (it == key->values.end()) return std::nullopt;
  const std::uint32_t type = it->second.value.type;
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return std::nullopt;
  return UnicodeText(it->second);
}

std::vector<std::string> SimRegistry::SubKeyNames(RegRoot root, const std::string& path) const {
  std::vector<std::string> names;
  if (const SimKey* key = Find(root, path)) {
    for (const auto& [folded, sub] : key->subKeys) names.push_back(text::U8ToAnsiLossy(sub->name));
  }
  return names;
}

std::vector<std::string> SimRegistry::ValueNames(RegRoot root, const std::string& path) const {
  std::vector<std::string> names;
  if (const SimKey* key = Find(root, path)) {
    for (const auto& [folded, value] : key->values) names.push_back(text::U8ToAnsiLossy(value.name));
  }
  return names;
}

bool SimRegistry::CreateLink(RegRoot root, const std::string& path, RegRoot targetRoot,
                             const std::string& targetPath) {
  std::vector<std::u8string> parts;
  std::vector<std::u8string> targetParts;
  const std::u8string unicodeTarget = text::AnsiToU8(targetPath);
  if (SplitPath(text::AnsiToU8(path), parts) != platform::kSuccess || parts.empty() ||
      SplitPath(unicodeTarget, targetParts) != platform::kSuccess) {
    return false;
  }
  const std::u8string name = parts.back();
  parts.pop_back();
  std::u8string parentPath;
  for (const std::u8string& part : parts) parentPath = JoinPath(parentPath, part);
  Place parent;
  std::vector<std::u8string> missing;
  if (Walk(RootPlace(root), parentPath, parent, missing) != platform::kSuccess ||
      CreateMissing(parent, missing) != platform::kSuccess) {
    return false;
  }
  if (parent.key->depth + 1 > kMaxKeyDepth || parent.key->subKeys.count(FoldName(name)) != 0) return false;
  auto link = std::make_shared<SimKey>();
  link->name = name;
  link->depth = parent.key->depth + 1;
  link->parent = parent.key.get();
  link->link = SimLink{targetRoot, unicodeTarget};
  parent.key->subKeys.emplace(FoldName(name), std::move(link));
  return true;
}

}  // namespace sim
