// The registry operations the program uses, with Windows' semantics; RAII key ownership.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace platform {

// Registry value types (REG_*).
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// The registry's own limit for a key name, in characters (without the terminator).
inline constexpr std::size_t kMaxKeyNameChars = 255;

enum class RootKey { LocalMachine, CurrentUser };
enum class Access { Read, ReadWrite };  // KEY_READ (0x20019) or KEY_ALL_ACCESS

// An opaque handle value of the implementation; 0 is "no key".
using KeyHandle = std::uintptr_t;

class Registry;

// Owns one open key and closes it in its destructor, like WIL's unique_hkey.
class UniqueKey {
 public:
  UniqueKey() = default;
  UniqueKey(Registry* registry, KeyHandle handle) : registry_(registry), handle_(handle) {}
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  UniqueKey(UniqueKey&& other) noexcept
      : registry_(std::exchange(other.registry_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}
  UniqueKey& operator=(UniqueKey&& other) noexcept {
    if (this != &other) {
      reset();
      registry_ = std::exchange(other.registry_, nullptr);
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  ~UniqueKey() { reset(); }

  void reset();
  KeyHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }

 private:
  Registry* registry_ = nullptr;
  KeyHandle handle_ = 0;
};

// One value as stored: its type and raw bytes (a REG_SZ may or may not end in NUL).
struct RegValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyA(root, NULL): a handle on the predefined root itself.
  virtual Status OpenRoot(RootKey root, UniqueKey& out) = 0;
  // RegOpenKeyExA: a sub-key (or a backslash-separated path) of an open key.
  // An empty name opens the parent itself once more, as Windows does.
  virtual Status OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) = 0;
  // RegQueryInfoKeyA, sub-key count only.
  virtual Status CountSubKeys(KeyHandle key, std::uint32_t& count) = 0;
  // RegQueryInfoKey, value count only.
  virtual Status CountValues(KeyHandle key, std::uint32_t& count) = 0;
  // RegEnumKeyExA with a name buffer of `capacity` characters including the terminator.
  // A longer name gives kMoreData and leaves `name` empty; past the end gives kNoMoreItems.
  virtual Status EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) = 0;
  // RegQueryValueExA into a buffer of `capacity` bytes. When the data need more,
  // the result is kMoreData, `value.data` is empty and `requiredSize` tells the size.
  // A missing value gives kFileNotFound.
  virtual Status QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                            std::size_t& requiredSize) = 0;
  // RegEnumValueA: the name and the whole data of the value at `index`, whatever their size; past
  // the end gives kNoMoreItems.
  [[nodiscard]] virtual Status EnumValue(KeyHandle key, std::uint32_t index, std::string& name, RegValue& value) = 0;
  // RegCreateKeyA: creates every missing level of the path, or opens the existing key, read/write.
  virtual Status CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) = 0;
  // RegDeleteKeyA: refused (kAccessDenied) while the key has sub-keys.
  virtual Status DeleteKey(KeyHandle parent, const std::string& subKey) = 0;
  // RegSetValueExA.
  virtual Status SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
  // RegDeleteValueA: kFileNotFound when there is no such value.
  [[nodiscard]] virtual Status DeleteValue(KeyHandle key, const std::string& name) = 0;
  // RegCloseKey; called by UniqueKey only.
  virtual void CloseKey(KeyHandle key) = 0;

  // The wide functions, for names and text that the ANSI code page may not hold: Unicode as
  // UTF-8. UTF-8 that is not well-formed is refused (kNoUnicodeTranslation), never altered, and
  // so is a name or text holding a NUL (kInvalidParameter).
  // RegOpenKeyExW.
  [[nodiscard]] virtual Status OpenKeyW(KeyHandle parent, std::u8string_view subKey, Access access,
                                        UniqueKey& out) = 0;
  // RegEnumKeyExW: the name of the sub-key at `index`, whatever its length; past the end gives
  // kNoMoreItems.
  [[nodiscard]] virtual Status EnumSubKeyW(KeyHandle key, std::uint32_t index, std::u8string& name) = 0;
  // RegQueryValueExW for text. `type` tells the value's type whatever it is; `text` gets REG_SZ or
  // REG_EXPAND_SZ data up to its first NUL, whole whatever its size, and stays empty for any
  // other type. A missing value gives kFileNotFound.
  [[nodiscard]] virtual Status QueryTextW(KeyHandle key, std::u8string_view name, std::uint32_t& type,
                                          std::u8string& text) = 0;
  // RegCreateKeyExW: creates every missing level of the path, or opens the existing key, read/write.
  [[nodiscard]] virtual Status CreateKeyW(KeyHandle parent, std::u8string_view subKey, UniqueKey& out) = 0;
  // RegSetValueExW of REG_SZ or REG_EXPAND_SZ text (any other type gives kInvalidParameter),
  // stored with its terminating NUL.
  [[nodiscard]] virtual Status SetTextW(KeyHandle key, std::u8string_view name, std::uint32_t type,
                                        std::u8string_view text) = 0;

  // Other users' hives. HKEY_USERS is not a RootKey: the program reaches it only to open a user's
  // hive by SID (HKEY_USERS\<SID> with the wide functions), never to record changes under it.
  // RegOpenKeyW(HKEY_USERS, NULL): a handle on HKEY_USERS itself.
  [[nodiscard]] virtual Status OpenUsersRoot(UniqueKey& out) = 0;
  // RegLoadKeyW(HKEY_USERS, name, file): the hive file (a user's NTUSER.DAT) becomes HKEY_USERS\<name>.
  // The backup and restore privileges are enabled for the call only, and left as they were after it
  // (kPrivilegeNotHeld when the account has them not). A name taken already, a missing file
  // (kFileNotFound), a file loaded already (kSharingViolation) or one that is no hive fail.
  // Prefer LoadedHive, which unloads on every way out.
  [[nodiscard]] virtual Status LoadHive(std::u8string_view name, std::u8string_view file) = 0;
  // RegUnLoadKeyW(HKEY_USERS, name), with the same privileges for the call only. Refused
  // (kAccessDenied) while any handle into the hive is open, so every key in it is closed first.
  [[nodiscard]] virtual Status UnloadHive(std::u8string_view name) = 0;
};

inline void UniqueKey::reset() {
  if (registry_ != nullptr && handle_ != 0) registry_->CloseKey(handle_);
  handle_ = 0;
}

// Owns a hive loaded under HKEY_USERS and unloads it in its destructor, on every way out of the
// scope, exceptions included. A loaded hive that stayed loaded would keep its user's NTUSER.DAT
// open, and Windows would then sign that user in with a temporary profile. Keys opened into the
// hive must be closed before it is unloaded: declare their owners after this one.
class LoadedHive {
 public:
  LoadedHive() = default;
  LoadedHive(const LoadedHive&) = delete;
  LoadedHive& operator=(const LoadedHive&) = delete;
  LoadedHive(LoadedHive&& other) noexcept
      : registry_(std::exchange(other.registry_, nullptr)), name_(std::move(other.name_)) {}
  LoadedHive& operator=(LoadedHive&& other) noexcept {
    if (this != &other) {
      static_cast<void>(Unload());
      registry_ = std::exchange(other.registry_, nullptr);
      name_ = std::move(other.name_);
    }
    return *this;
  }
  ~LoadedHive() { static_cast<void>(Unload()); }

  // Loads `file` as HKEY_USERS\<name> (unloading whatever this owned before); owned on success only.
  [[nodiscard]] Status Load(Registry& registry, std::u8string_view name, std::u8string_view file);
  // Takes charge of HKEY_USERS\<name>, loaded already (by an earlier run that was stopped before
  // it could unload it), so that it is unloaded in turn.
  void Adopt(Registry& registry, std::u8string_view name);
  // Unloads now and tells how that went; kSuccess when nothing is owned. A refused unload keeps
  // the hive owned, so that the destructor tries again once the keys in it are closed.
  [[nodiscard]] Status Unload();

  explicit operator bool() const { return registry_ != nullptr; }
  const std::u8string& name() const { return name_; }

 private:
  Registry* registry_ = nullptr;
  std::u8string name_;
};

// Helpers over the interface, shared by every caller.
// Reads a whole value of any size (grows the buffer on kMoreData).
Status QueryWholeValue(Registry& registry, KeyHandle key, const std::string& name, RegValue& value);
// The text of REG_SZ-style data: up to the first NUL, or all of it when there is none.
std::string ValueText(const RegValue& value);
// REG_SZ data for a text: the bytes followed by one terminating NUL.
std::vector<std::uint8_t> SzData(const std::string& text);
std::vector<std::uint8_t> DwordData(std::uint32_t value);

}  // namespace platform
