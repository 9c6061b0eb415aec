// Registry adapter: each method is one registry call (ANSI, or wide for Unicode) and its status.
#include "platform/win32/win32_registry.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <new>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_security.h"

namespace platform::win32 {
namespace {

HKEY ToHkey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }
KeyHandle ToHandle(HKEY key) { return reinterpret_cast<KeyHandle>(key); }

// The ANSI API stops at the first NUL: a name with one inside would silently become a shorter name.
bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// No registry key name is longer than 255 characters, so a larger name buffer changes nothing
// except the size of an allocation.
constexpr std::size_t kLargestNameBuffer = 32768;

constexpr DWORD kReadWrite = KEY_READ | KEY_WRITE;

bool IsStringType(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A name or text for the wide API: refused when it is not UTF-8, or holds a NUL that would end it early.
Status ToWide(std::u8string_view utf8, std::wstring& wide) {
  if (utf8.find(u8'\0') != std::u8string_view::npos) return kInvalidParameter;
  return Utf8ToWideExact(utf8, wide) ? kSuccess : kNoUnicodeTranslation;
}

// Every key name Windows allows (255 characters) fits the first buffer; Wine takes longer names,
// so a name that does not fit is asked for again in a larger one.
constexpr DWORD kFirstWideNameBuffer = static_cast<DWORD>(kMaxKeyNameChars + 1);
// First tries at reading a value, with room for what values usually hold (a path and then some):
// each read is a round trip to the registry, which only a value longer than this pays twice.
constexpr DWORD kFirstTextBytes = 1024;
constexpr DWORD kFirstValueNameChars = 256;
constexpr DWORD kFirstValueDataBytes = 1024;

// A hive's name under HKEY_USERS is one key name: a path would load it deeper than the caller asked.
Status ToHiveName(std::u8string_view name, std::wstring& wide) {
  if (name.empty() || name.find(u8'\\') != std::u8string_view::npos) return kInvalidParameter;
  return ToWide(name, wide);
}

}  // namespace

Status Win32Registry::OpenRoot(RootKey root, UniqueKey& out) {
  out.reset();
  const HKEY predefined = root == RootKey::LocalMachine ? LocalMachineKey() : CurrentUserKey();
  HKEY key = nullptr;
  // With no sub-key RegOpenKeyA answers the predefined handle itself; CloseKey leaves those alone.
  const LSTATUS st = ::RegOpenKeyA(predefined, nullptr, &key);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) {
  out.reset();
  if (HasNul(subKey)) return kInvalidParameter;
  HKEY key = nullptr;
  const REGSAM sam = access == Access::Read ? KEY_READ : kReadWrite;
  const LSTATUS st = ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, sam, &key);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::CountSubKeys(KeyHandle key, std::uint32_t& count) {
  count = 0;
  DWORD subKeys = 0;
  const LSTATUS st = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  count = subKeys;
  return kSuccess;
}

Status Win32Registry::CountValues(KeyHandle key, std::uint32_t& count) {
  count = 0;
  DWORD values = 0;
  const LSTATUS st = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                        nullptr, nullptr, nullptr, nullptr);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  count = values;
  return kSuccess;
}

Status Win32Registry::EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) {
  name.clear();
  const std::size_t chars = std::min(capacity, kLargestNameBuffer);
  // One spare byte so that a zero capacity still hands the API a real buffer.
  std::string buffer(chars + 1, '\0');
  DWORD length = static_cast<DWORD>(chars);
  const LSTATUS st =
      ::RegEnumKeyExA(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  if (length >= chars) return kMoreData;  // no room for the terminator: the name did not fit
  buffer.resize(length);
  name = std::move(buffer);
  return kSuccess;
}

Status Win32Registry::EnumValue(KeyHandle key, std::uint32_t index, std::string& name, RegValue& value) {
  name.clear();
  value = RegValue{};
  // A first try with room for the usual value; when that is too short, the key's longest name and
  // data, grown and tried again when the value was rewritten longer in between.
  DWORD longestName = kFirstValueNameChars;
  DWORD longestData = kFirstValueDataBytes;
  for (int attempt = 0; attempt < 5; ++attempt) {
    LSTATUS st = ERROR_SUCCESS;
    if (attempt > 0) {
      st = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                              &longestData, nullptr, nullptr);
      if (st != ERROR_SUCCESS) return static_cast<Status>(st);
    }
    std::string buffer(static_cast<std::size_t>(longestName) + 2, '\0');
    std::vector<std::uint8_t> data(static_cast<std::size_t>(longestData) + 1);
    DWORD nameLength = static_cast<DWORD>(buffer.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    st = ::RegEnumValueA(ToHkey(key), index, buffer.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
    if (st == ERROR_MORE_DATA) continue;
    if (st != ERROR_SUCCESS) return static_cast<Status>(st);
    buffer.resize(nameLength);
    data.resize(dataLength);
    name = std::move(buffer);
    value.type = type;
    value.data = std::move(data);
    return kSuccess;
  }
  return kMoreData;
}

Status Win32Registry::QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                                 std::size_t& requiredSize) {
  value = RegValue{};
  requiredSize = 0;
  if (HasNul(name)) return kInvalidParameter;
  const std::size_t bytes = std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max());
  std::vector<std::uint8_t> buffer;
  try {
    // Never a null data pointer: with one the API reports the size and success instead of reading.
    buffer.resize(std::max<std::size_t>(bytes, 1));
  } catch (const std::bad_alloc&) {
    return kNotEnoughMemory;
  }
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(bytes);
  const LSTATUS st = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type, buffer.data(), &size);
  if (st == ERROR_MORE_DATA) {
    value.type = type;
    requiredSize = size;
    return kMoreData;
  }
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  buffer.resize(size);
  value.type = type;
  value.data = std::move(buffer);
  requiredSize = size;
  return kSuccess;
}

Status Win32Registry::CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) {
  out.reset();
  if (HasNul(subKey)) return kInvalidParameter;
  HKEY key = nullptr;
  LSTATUS st = ::RegCreateKeyA(ToHkey(parent), subKey.c_str(), &key);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  if (key == ToHkey(parent) && !IsPredefinedKey(key)) {
    // An empty name may hand back the parent's own handle; the caller's owner must not close it twice.
    st = ::RegOpenKeyExA(ToHkey(parent), "", 0, kReadWrite, &key);
    if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  }
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::DeleteKey(KeyHandle parent, const std::string& subKey) {
  if (HasNul(subKey)) return kInvalidParameter;
  return static_cast<Status>(::RegDeleteKeyA(ToHkey(parent), subKey.c_str()));
}

Status Win32Registry::SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                               const std::vector<std::uint8_t>& data) {
  if (HasNul(name)) return kInvalidParameter;
  if (data.size() >= std::numeric_limits<DWORD>::max()) return kInvalidParameter;
  const DWORD size = static_cast<DWORD>(data.size());
  if (IsStringType(type) && !data.empty() && data.back() != 0) {
    // For string data that does not end in NUL, RegSetValueExA looks at the byte just past the
    // data and stores it too when it is a NUL (NT's allowance for a forgotten terminator). A
    // non-NUL guard byte there keeps the stored bytes exactly the ones given.
    std::vector<std::uint8_t> guarded;
    try {
      guarded.reserve(data.size() + 1);
    } catch (const std::bad_alloc&) {
      return kNotEnoughMemory;
    }
    guarded.assign(data.begin(), data.end());
    guarded.push_back(0xFF);
    return static_cast<Status>(::RegSetValueExA(ToHkey(key), name.c_str(), 0, type, guarded.data(), size));
  }
  return static_cast<Status>(::RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data.data(), size));
}

Status Win32Registry::DeleteValue(KeyHandle key, const std::string& name) {
  if (HasNul(name)) return kInvalidParameter;
  return static_cast<Status>(::RegDeleteValueA(ToHkey(key), name.c_str()));
}

void Win32Registry::CloseKey(KeyHandle key) {
  const HKEY hkey = ToHkey(key);
  if (hkey != nullptr && !IsPredefinedKey(hkey)) ::RegCloseKey(hkey);
}


Status Win32Registry::OpenKeyW(KeyHandle parent, std::u8string_view subKey, Access access, UniqueKey& out) {
  out.reset();
  std::wstring wide;
  if (const Status st = ToWide(subKey, wide); st != kSuccess) return st;
  HKEY key = nullptr;
  const REGSAM sam = access == Access::Read ? KEY_READ : kReadWrite;
  const LSTATUS st = ::RegOpenKeyExW(ToHkey(parent), wide.c_str(), 0, sam, &key);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::EnumSubKeyW(KeyHandle key, std::uint32_t index, std::u8string& name) {
  name.clear();
  for (const DWORD capacity : {kFirstWideNameBuffer, static_cast<DWORD>(kLargestNameBuffer)}) {
    std::wstring buffer(capacity, L'\0');
    DWORD length = capacity;
    const LSTATUS st =
        ::RegEnumKeyExW(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_MORE_DATA) continue;
    if (st != ERROR_SUCCESS) return static_cast<Status>(st);
    buffer.resize(length);
    return WideToUtf8Exact(buffer, name) ? kSuccess : kNoUnicodeTranslation;
  }
  return kMoreData;
}

Status Win32Registry::QueryTextW(KeyHandle key, std::u8string_view name, std::uint32_t& type, std::u8string& text) {
  type = REG_NONE;
  text.clear();
  std::wstring wideName;
  if (const Status st = ToWide(name, wideName); st != kSuccess) return st;
  // One call reads the usual short text; a longer value, or one another writer made longer in
  // between, is read again with the size the registry names (a few rounds settle it).
  DWORD valueType = REG_NONE;
  DWORD size = kFirstTextBytes;
  std::wstring buffer;
  for (int round = 0; round < 8; ++round) {
    try {
      buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
    } catch (const std::bad_alloc&) {
      return kNotEnoughMemory;
    }
    DWORD got = static_cast<DWORD>(
        std::min<std::size_t>(buffer.size() * sizeof(wchar_t), std::numeric_limits<DWORD>::max()));
    const LSTATUS st = ::RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &valueType,
                                          reinterpret_cast<BYTE*>(buffer.data()), &got);
    const bool isText = valueType == REG_SZ || valueType == REG_EXPAND_SZ;
    // Only text is read whole: of any other type the caller is told the type alone.
    if (st == ERROR_MORE_DATA && isText) {
      size = got;
      continue;
    }
    if (st != ERROR_SUCCESS && st != ERROR_MORE_DATA) return static_cast<Status>(st);
    type = valueType;
    if (!isText) return kSuccess;
    const std::wstring_view data(buffer.data(), got / sizeof(wchar_t));
    const std::size_t end = data.find(L'\0');
    // Half a UTF-16 unit after the last whole one is no text: the value is refused rather than cut.
    if (end == std::wstring_view::npos && got % sizeof(wchar_t) != 0) return kInvalidData;
    return WideToUtf8Exact(data.substr(0, end), text) ? kSuccess : kNoUnicodeTranslation;
  }
  return kMoreData;
}

Status Win32Registry::CreateKeyW(KeyHandle parent, std::u8string_view subKey, UniqueKey& out) {
  out.reset();
  std::wstring wide;
  if (const Status st = ToWide(subKey, wide); st != kSuccess) return st;
  HKEY key = nullptr;
  // RegCreateKeyExW always hands out a handle of its own, even for an empty name.
  const LSTATUS st = ::RegCreateKeyExW(ToHkey(parent), wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite,
                                       nullptr, &key, nullptr);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::SetTextW(KeyHandle key, std::u8string_view name, std::uint32_t type, std::u8string_view text) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return kInvalidParameter;
  std::wstring wideName;
  if (const Status st = ToWide(name, wideName); st != kSuccess) return st;
  std::wstring wideText;
  if (const Status st = ToWide(text, wideText); st != kSuccess) return st;
  // With its terminating NUL, which c_str() provides.
  const std::size_t bytes = (wideText.size() + 1) * sizeof(wchar_t);
  if (bytes > std::numeric_limits<DWORD>::max()) return kInvalidParameter;
  return static_cast<Status>(::RegSetValueExW(ToHkey(key), wideName.c_str(), 0, type,
                                              reinterpret_cast<const BYTE*>(wideText.c_str()),
                                              static_cast<DWORD>(bytes)));
}

Status Win32Registry::OpenUsersRoot(UniqueKey& out) {
  out.reset();
  HKEY key = nullptr;
  // As OpenRoot: the predefined handle itself, which CloseKey leaves alone.
  const LSTATUS st = ::RegOpenKeyW(UsersKey(), nullptr, &key);
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  out = UniqueKey(this, ToHandle(key));
  return kSuccess;
}

Status Win32Registry::LoadHive(std::u8string_view name, std::u8string_view file) {
  std::wstring wideName;
  if (const Status st = ToHiveName(name, wideName); st != kSuccess) return st;
  std::wstring wideFile;
  if (const Status st = ToWide(file, wideFile); st != kSuccess) return st;
  if (wideFile.empty()) return kInvalidParameter;
  const HivePrivileges privileges;
  if (privileges.status() != kSuccess) return privileges.status();
  return static_cast<Status>(::RegLoadKeyW(UsersKey(), wideName.c_str(), wideFile.c_str()));
}

Status Win32Registry::UnloadHive(std::u8string_view name) {
  std::wstring wideName;
  if (const Status st = ToHiveName(name, wideName); st != kSuccess) return st;
  const HivePrivileges privileges;
  if (privileges.status() != kSuccess) return privileges.status();
  return static_cast<Status>(::RegUnLoadKeyW(UsersKey(), wideName.c_str()));
}

}  // namespace platform::win32
