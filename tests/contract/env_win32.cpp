// The contract tests' environment on Windows and under Wine: the Win32 adapters, a scratch key
// under HKEY_CURRENT_USER and a scratch folder under the temp folder, both removed afterwards.
#ifdef SETUP_CONTRACT_WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_env.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_integrity.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_api.h"

// sddl.h needs windows.h before it.
#include <sddl.h>

namespace contract {
namespace {

using platform::win32::CurrentUserKey;
using platform::win32::UniqueFindHandle;
using platform::win32::UniqueHkey;

constexpr const char* kScratchRoot = "Software\\VornexContractTest";

// Unique across the tests of one run and across runs that share a prefix.
std::string UniqueName() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// Deletes an open key by its handle: NtDeleteKey removes a link key itself, where RegDeleteKey
// would open the name again and follow the link.
bool DeleteOpenKey(HKEY key) {
  using NtDeleteKey = LONG(NTAPI*)(HANDLE);
  static const auto deleteKey =
      platform::win32::FindProc<NtDeleteKey>(::GetModuleHandleA("ntdll.dll"), "NtDeleteKey");
  return deleteKey != nullptr && deleteKey(key) >= 0;
}

// A key refuses deletion while it still has sub-keys, so the tree goes deepest first.
// The depth bound stops a runaway walk; the registry allows 512 levels. Keys are opened with
// REG_OPTION_OPEN_LINK and deleted by handle, so that a link key is removed itself and the walk
// never goes through it (a link may lead back to an ancestor).
bool DeleteKeyTree(HKEY parent, const std::wstring& name, int depth) {
  if (depth > 600) return false;
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | KEY_WRITE | DELETE, &raw) !=
      ERROR_SUCCESS) {
    return false;
  }
  UniqueHkey key(raw);
  // Sized from the key itself: Wine accepts names longer than Windows' 255 characters.
  DWORD longest = 0;
  ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
  const DWORD capacity = std::max<DWORD>(longest, platform::kMaxKeyNameChars) + 1;
  DWORD index = 0;  // stays 0 while children go away; moves past a child that would not
  for (;;) {
    std::wstring child(capacity, L'\0');
    DWORD length = capacity;
    const LSTATUS st = ::RegEnumKeyExW(key.get(), index, child.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (st != ERROR_SUCCESS) break;
    child.resize(length);
    if (!DeleteKeyTree(key.get(), child, depth + 1)) ++index;
  }
  return DeleteOpenKey(key.get());
}

// Removes a folder and everything in it; read-only entries are made writable first.
void RemoveFolderTree(const std::string& folder, int depth) {
  if (depth > 100) return;
  WIN32_FIND_DATAA data{};
  UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveFolderTree(path, depth + 1);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find.get(), &data));
  }
  find.reset();
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(folder.c_str());
}

// "S-1-5-21-..." of the user whose key HKEY_CURRENT_USER is; empty when it cannot be told.
std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  std::wstring sid;
  LPWSTR text = nullptr;
  if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = text;
    ::LocalFree(text);
  }
  ::CloseHandle(token);
  return sid;
}

std::string TempFolder() {
  const DWORD size = ::GetTempPathA(0, nullptr);
  std::string path(size, '\0');
  const DWORD length = ::GetTempPathA(size, path.data());
  if (length == 0 || length >= size) return "C:\\";
  path.resize(length);
  return path;  // ends in a backslash
}

class Win32Env final : public Env {
 public:
  Win32Env() {
    const std::string unique = UniqueName();
    scratchKey_ = std::string(kScratchRoot) + "\\" + unique;
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(CurrentUserKey(), scratchKey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, &raw, nullptr) == ERROR_SUCCESS) {
      UniqueHkey created(raw);
    } else {
      ADD_FAILURE() << "cannot create the scratch key HKCU\\" << scratchKey_;
    }
    scratchDir_ = TempFolder() + "vxc-" + unique;
    if (!::CreateDirectoryA(scratchDir_.c_str(), nullptr)) {
      ADD_FAILURE() << "cannot create the scratch folder " << scratchDir_ << " (error " << ::GetLastError() << ")";
    }
  }

  ~Win32Env() override {
    DeleteKeyTree(CurrentUserKey(), std::wstring(scratchKey_.begin(), scratchKey_.end()), 0);
    ::RegDeleteKeyA(CurrentUserKey(), kScratchRoot);  // refused while another test still has a key there
    RemoveFolderTree(scratchDir_, 0);
  }

  platform::Registry& Registry() override { return registry_; }
  platform::FileSystem& Files() override { return files_; }
  platform::PayloadIntegrity& Integrity() override { return integrity_; }
  platform::Status WriteBytes(const std::string& path, std::string_view bytes) override {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<platform::Status>(::GetLastError());
    DWORD written = 0;
    const BOOL wrote = bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const platform::Status status = wrote ? platform::kSuccess : static_cast<platform::Status>(::GetLastError());
    ::CloseHandle(file);
    return status;
  }
  platform::SystemInfo& System() override { return system_; }
  std::string ScratchKey() override { return scratchKey_; }
  platform::Status CreateLink(const std::string& path, const std::string& targetPath) override;
  std::string ScratchDir() override { return scratchDir_; }
  bool IsWine() override { return WineVersion() != nullptr; }
  platform::Status MakeFileLink(const std::string& path, const std::string& target) override {
    return ::CreateSymbolicLinkA(path.c_str(), target.c_str(), 0) ? platform::kSuccess
                                                                  : static_cast<platform::Status>(::GetLastError());
  }
  platform::Status MakeHardLink(const std::string& existing, const std::string& path) override {
    return ::CreateHardLinkA(path.c_str(), existing.c_str(), nullptr) ? platform::kSuccess
                                                                       : static_cast<platform::Status>(::GetLastError());
  }
  platform::Status SaveHive(const std::string& path, const std::u8string& file) override;
  int EnabledHivePrivileges() override;
  std::u8string UniqueHiveName(std::u8string_view prefix) override {
    const std::string unique = UniqueName();
    return std::u8string(prefix) + std::u8string(unique.begin(), unique.end());
  }

  static const char* WineVersion() {
    // The documented way to ask Wine for its version: a plain C function exported by its ntdll.
    using WineGetVersion = const char* (*)();
    const auto getVersion =
        platform::win32::FindProc<WineGetVersion>(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return getVersion != nullptr ? getVersion() : nullptr;
  }

 private:
  platform::win32::Win32Registry registry_;
  platform::win32::Win32FileSystem files_;
  platform::win32::Win32PayloadIntegrity integrity_;
  platform::win32::Win32SystemInfo system_;
  std::string scratchKey_;
  std::string scratchDir_;
};

// A link names its target by the kernel's absolute path: HKEY_CURRENT_USER is the user's key
// under \REGISTRY\USER. The value holds the path without a terminating NUL.
platform::Status Win32Env::CreateLink(const std::string& path, const std::string& targetPath) {
  const std::wstring sid = UserSid();
  if (sid.empty()) return platform::kAccessDenied;
  const std::wstring target = L"\\REGISTRY\\USER\\" + sid + L"\\" + platform::win32::AnsiToWide(targetPath);
  HKEY raw = nullptr;
  LSTATUS st = ::RegCreateKeyExW(CurrentUserKey(), platform::win32::AnsiToWide(path).c_str(), 0, nullptr,
                                 REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &raw, nullptr);
  if (st != ERROR_SUCCESS) return static_cast<platform::Status>(st);
  UniqueHkey link(raw);
  st = ::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  return static_cast<platform::Status>(st);
}

platform::Status Win32Env::SaveHive(const std::string& path, const std::u8string& file) {
  const platform::win32::HivePrivileges privileges;
  if (privileges.status() != platform::kSuccess) return privileges.status();
  HKEY raw = nullptr;
  LSTATUS st = ::RegOpenKeyExA(CurrentUserKey(), path.c_str(), 0, KEY_READ, &raw);
  if (st != ERROR_SUCCESS) return static_cast<platform::Status>(st);
  UniqueHkey key(raw);
  const std::wstring wideFile = platform::win32::Utf8ToWide(file);
  st = ::RegSaveKeyW(key.get(), wideFile.c_str(), nullptr);
  return static_cast<platform::Status>(st);
}

int Win32Env::EnabledHivePrivileges() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return -1;
  const platform::win32::UniqueKernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
  std::vector<std::uintptr_t> buffer(size / sizeof(std::uintptr_t) + 1);
  if (!::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return -1;
  const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  const LUID_AND_ATTRIBUTES* entries = held->Privileges;
  int enabled = 0;
  for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
    LUID luid{};
    if (!::LookupPrivilegeValueW(nullptr, name, &luid)) return -1;
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
      const LUID& at = entries[i].Luid;
      if (at.LowPart == luid.LowPart && at.HighPart == luid.HighPart) enabled += (entries[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  return enabled;
}

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<Win32Env>(); }

}  // namespace contract

int main(int argc, char** argv) {
  const char* wine = contract::Win32Env::WineVersion();
  std::printf("contract_tests: ANSI code page %u, OEM code page %u, %s%s\n", ::GetACP(), ::GetOEMCP(),
              wine != nullptr ? "Wine " : "Windows", wine != nullptr ? wine : "");
  std::fflush(stdout);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#endif  // SETUP_CONTRACT_WIN32
