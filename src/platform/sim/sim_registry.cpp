// The simulated registry: a tree of keys behind handles that behave like HKEYs.
#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/text.h"

namespace sim {

using platform::Access;
using platform::KeyHandle;
using platform::RegValue;
using platform::RootKey;
using platform::Status;
using platform::UniqueKey;

namespace {

std::size_t CharCount(const std::string& s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++count) {
    i += (text::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? std::size_t{2} : std::size_t{1};
  }
  return count;
}

// Splits a sub-key path at backslashes that are characters of their own (a trail byte 0x5C
// is part of a name). A leading backslash is refused as Windows refuses it; a trailing one
// and doubled ones add nothing.
Status SplitPath(const std::string& path, std::vector<std::string>& parts) {
  parts.clear();
  if (!path.empty() && path[0] == '\\') return platform::kBadPathName;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = text::Find(path, '\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      std::string part = path.substr(start, end - start);
      if (CharCount(part) > platform::kMaxKeyNameChars) return platform::kInvalidParameter;
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  return platform::kSuccess;
}

std::string JoinPath(const std::string& base, const std::string& part) {
  return base.empty() ? part : base + "\\" + part;
}

void MarkDeleted(SimKey& key) {
  key.deleted = true;
  key.parent = nullptr;
  for (auto& [folded, sub] : key.subKeys) MarkDeleted(*sub);
}

}  // namespace

std::string FoldKeyPath(const std::string& path) {
  std::string folded;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = text::Find(path, '\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) folded = JoinPath(folded, text::ToUpper(path.substr(start, end - start)));
    start = end + 1;
  }
  return folded;
}

SimRegistry::SimRegistry()
    : localMachine_(std::make_shared<SimKey>()), currentUser_(std::make_shared<SimKey>()) {
  localMachine_->name = "HKEY_LOCAL_MACHINE";
  currentUser_->name = "HKEY_CURRENT_USER";
}

const SimKey& SimRegistry::Root(RootKey root) const {
  return root == RootKey::LocalMachine ? *localMachine_ : *currentUser_;
}

KeyHandle SimRegistry::NewHandle(std::shared_ptr<SimKey> key, RootKey root, std::string path, bool writable) {
  // Handle values are never reused, so a use after close is caught rather than aliasing a new key.
  const KeyHandle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, Handle{std::move(key), root, std::move(path), writable});
  return handle;
}

Status SimRegistry::Lookup(KeyHandle handle, Handle*& out) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return platform::kInvalidHandle;
  out = &it->second;
  return out->key->deleted ? platform::kKeyDeleted : platform::kSuccess;
}

bool SimRegistry::Denied(RootKey root, const std::string& path, bool write) const {
  const std::string folded = FoldKeyPath(path);
  return std::any_of(denyRules_.begin(), denyRules_.end(), [&](const DenyRule& rule) {
    return rule.root == root && rule.path == folded && (rule.what == Deny::AnyAccess || write);
  });
}

Status SimRegistry::Walk(const Handle& from, const std::string& subKey, bool create, Resolved& out) {
  std::vector<std::string> parts;
  if (const Status st = SplitPath(subKey, parts); st != platform::kSuccess) return st;

  std::shared_ptr<SimKey> key = from.key;
  std::string path = from.path;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string folded = text::ToUpper(parts[i]);
    const auto it = key->subKeys.find(folded);
    if (it != key->subKeys.end()) {
      key = it->second;
      path = JoinPath(path, it->second->name);
      continue;
    }
    if (!create) return platform::kFileNotFound;
    if (!from.writable) return platform::kAccessDenied;
    // Check the whole remaining chain before creating any of it, so a refused create leaves nothing.
    if (key->depth + (parts.size() - i) > kMaxKeyDepth) return platform::kInvalidParameter;
    for (; i < parts.size(); ++i) {
      auto made = std::make_shared<SimKey>();
      made->name = parts[i];
      made->depth = key->depth + 1;
      made->parent = key.get();
      key->subKeys.emplace(text::ToUpper(parts[i]), made);
      key = std::move(made);
      path = JoinPath(path, parts[i]);
    }
    break;
  }
  out.key = std::move(key);
  out.path = std::move(path);
  return platform::kSuccess;
}

Status SimRegistry::OpenRoot(RootKey root, UniqueKey& out) {
  out.reset();
  if (Denied(root, "", false)) return platform::kAccessDenied;
  auto key = root == RootKey::LocalMachine ? localMachine_ : currentUser_;
  out = UniqueKey(this, NewHandle(std::move(key), root, "", true));
  return platform::kSuccess;
}

Status SimRegistry::OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) {
  out.reset();
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  Resolved target;
  if (const Status st = Walk(*from, subKey, false, target); st != platform::kSuccess) return st;
  const bool write = access == Access::ReadWrite;
  if (Denied(from->root, target.path, write)) return platform::kAccessDenied;
  out = UniqueKey(this, NewHandle(std::move(target.key), from->root, std::move(target.path), write));
  return platform::kSuccess;
}

Status SimRegistry::CountSubKeys(KeyHandle key, std::uint32_t& count) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  count = static_cast<std::uint32_t>(h->key->subKeys.size());
  return platform::kSuccess;
}

Status SimRegistry::EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) {
  name.clear();
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  if (index >= h->key->subKeys.size()) return platform::kNoMoreItems;
  const std::string folded = FoldKeyPath(h->path);
  for (const EnumRule& rule : enumRules_) {
    if (rule.root == h->root && rule.path == folded && rule.index == index) return rule.status;
  }
  auto it = h->key->subKeys.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(index));
  const std::string& found = it->second->name;
  if (found.size() + 1 > capacity) return platform::kMoreData;
  name = found;
  return platform::kSuccess;
}

Status SimRegistry::QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                               std::size_t& requiredSize) {
  value = RegValue{};
  requiredSize = 0;
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  const auto it = h->key->values.find(text::ToUpper(name));
  if (it == h->key->values.end()) return platform::kFileNotFound;
  const RegValue& stored = it->second.value;
  requiredSize = stored.data.size();
  value.type = stored.type;
  if (stored.data.size() > capacity) return platform::kMoreData;
  value.data = stored.data;
  return platform::kSuccess;
}

Status SimRegistry::CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) {
  out.reset();
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  // Refuse before anything is created when the key that would come out is denied.
  std::string wanted = from->path;
  {
    std::vector<std::string> parts;
    if (const Status st = SplitPath(subKey, parts); st != platform::kSuccess) return st;
    for (const std::string& part : parts) wanted = JoinPath(wanted, part);
  }
  if (Denied(from->root, wanted, true)) return platform::kAccessDenied;
  Resolved target;
  if (const Status st = Walk(*from, subKey, true, target); st != platform::kSuccess) return st;
  out = UniqueKey(this, NewHandle(std::move(target.key), from->root, std::move(target.path), true));
  return platform::kSuccess;
}

Status SimRegistry::DeleteKey(KeyHandle parent, const std::string& subKey) {
  Handle* from = nullptr;
  if (const Status st = Lookup(parent, from); st != platform::kSuccess) return st;
  Resolved target;
  if (const Status st = Walk(*from, subKey, false, target); st != platform::kSuccess) return st;
  SimKey* owner = target.key->parent;
  if (owner == nullptr) return platform::kAccessDenied;  // a root cannot be deleted
  if (!target.key->subKeys.empty()) return platform::kAccessDenied;
  if (Denied(from->root, target.path, true)) return platform::kAccessDenied;
  const std::shared_ptr<SimKey> keep = target.key;
  owner->subKeys.erase(text::ToUpper(keep->name));
  MarkDeleted(*keep);
  return platform::kSuccess;
}

Status SimRegistry::SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                             const std::vector<std::uint8_t>& data) {
  Handle* h = nullptr;
  if (const Status st = Lookup(key, h); st != platform::kSuccess) return st;
  if (!h->writable) return platform::kAccessDenied;
  auto [it, inserted] = h->key->values.try_emplace(text::ToUpper(name), SimValue{name, {}});
  it->second.value.type = type;
  it->second.value.data = data;
  return platform::kSuccess;
}

void SimRegistry::CloseKey(KeyHandle key) {
  if (handles_.erase(key) == 0) ++badCloses_;
}

void SimRegistry::DenyOpen(RootKey root, const std::string& path, Deny what) {
  denyRules_.push_back(DenyRule{root, FoldKeyPath(path), what});
}

void SimRegistry::FailEnumSubKey(RootKey root, const std::string& path, std::uint32_t index, Status status) {
  enumRules_.push_back(EnumRule{root, FoldKeyPath(path), index, status});
}

void SimRegistry::ClearFailures() {
  denyRules_.clear();
  enumRules_.clear();
}

std::shared_ptr<SimKey> SimRegistry::FindShared(RootKey root, const std::string& path) const {
  std::vector<std::string> parts;
  if (SplitPath(path, parts) != platform::kSuccess) return nullptr;
  std::shared_ptr<SimKey> key = root == RootKey::LocalMachine ? localMachine_ : currentUser_;
  for (const std::string& part : parts) {
    const auto it = key->subKeys.find(text::ToUpper(part));
    if (it == key->subKeys.end()) return nullptr;
    key = it->second;
  }
  return key;
}

const SimKey* SimRegistry::Find(RootKey root, const std::string& path) const {
  return FindShared(root, path).get();
}

bool SimRegistry::CreatePath(RootKey root, const std::string& path) {
  Handle top{root == RootKey::LocalMachine ? localMachine_ : currentUser_, root, "", true};
  Resolved target;
  return Walk(top, path, true, target) == platform::kSuccess;
}

bool SimRegistry::KeyExists(RootKey root, const std::string& path) const { return Find(root, path) != nullptr; }

bool SimRegistry::DeleteTree(RootKey root, const std::string& path) {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  if (key == nullptr || key->parent == nullptr) return false;
  key->parent->subKeys.erase(text::ToUpper(key->name));
  MarkDeleted(*key);
  return true;
}

bool SimRegistry::Set(RootKey root, const std::string& path, const std::string& name, RegValue value) {
  if (!CreatePath(root, path)) return false;
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  auto [it, inserted] = key->values.try_emplace(text::ToUpper(name), SimValue{name, {}});
  it->second.value = std::move(value);
  return true;
}

bool SimRegistry::SetString(RootKey root, const std::string& path, const std::string& name, const std::string& text) {
  return Set(root, path, name, RegValue{platform::kRegSz, platform::SzData(text)});
}

bool SimRegistry::SetDword(RootKey root, const std::string& path, const std::string& name, std::uint32_t value) {
  return Set(root, path, name, RegValue{platform::kRegDword, platform::DwordData(value)});
}

bool SimRegistry::DeleteValue(RootKey root, const std::string& path, const std::string& name) {
  const std::shared_ptr<SimKey> key = FindShared(root, path);
  return key != nullptr && key->values.erase(text::ToUpper(name)) > 0;
}

std::optional<RegValue> SimRegistry::Get(RootKey root, const std::string& path, const std::string& name) const {
  const SimKey* key = Find(root, path);
  if (key == nullptr) return std::nullopt;
  const auto it = key->values.find(text::ToUpper(name));
  if (it == key->values.end()) return std::nullopt;
  return it->second.value;
}

std::optional<std::string> SimRegistry::GetString(RootKey root, const std::string& path,
                                                  const std::string& name) const {
  const std::optional<RegValue> value = Get(root, path, name);
  if (!value) return std::nullopt;
  return platform::ValueText(*value);
}

std::vector<std::string> SimRegistry::SubKeyNames(RootKey root, const std::string& path) const {
  std::vector<std::string> names;
  if (const SimKey* key = Find(root, path)) {
    for (const auto& [folded, sub] : key->subKeys) names.push_back(sub->name);
  }
  return names;
}

}  // namespace sim
