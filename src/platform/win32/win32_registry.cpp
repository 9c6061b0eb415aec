// Registry adapter: each method is one ANSI registry call and its status.
#include "platform/win32/win32_registry.h"

#include <algorithm>
#include <limits>
#include <new>

#include "platform/win32/win32_handles.h"

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

void Win32Registry::CloseKey(KeyHandle key) {
  const HKEY hkey = ToHkey(key);
  if (hkey != nullptr && !IsPredefinedKey(hkey)) ::RegCloseKey(hkey);
}

}  // namespace platform::win32
