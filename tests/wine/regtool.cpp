// regtool: registry set-ups that a .reg file cannot express, for the scenarios (scripts/scenarios.sh).
//   regtool link KEY TARGET   makes KEY (HKLM\... or HKCU\...) a link key whose SymbolicLinkValue is
//                             TARGET, an absolute registry path such as \REGISTRY\MACHINE\SOFTWARE\...
//   regtool save-hive KEY FILE
//                             writes KEY (HKLM\..., HKCU\... or HKU\...) and everything below it to
//                             FILE, a new hive file that RegLoadKeyW loads: another user's NTUSER.DAT.
//                             Under Wine the file is in Wine's own registry format, which only Wine loads.
// Exit code 0 when done; otherwise the failing call and its error are printed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int Fail(const wchar_t* what, LSTATUS status) {
  std::fwprintf(stderr, L"regtool: %ls failed with error %ld\n", what, static_cast<long>(status));
  return 1;
}

bool SplitRoot(const std::wstring& path, HKEY& root, std::wstring& rest) {
  const std::size_t slash = path.find(L'\\');
  if (slash == std::wstring::npos) return false;
  const std::wstring head = path.substr(0, slash);
  if (_wcsicmp(head.c_str(), L"HKLM") == 0 || _wcsicmp(head.c_str(), L"HKEY_LOCAL_MACHINE") == 0) {
    root = HKEY_LOCAL_MACHINE;
  } else if (_wcsicmp(head.c_str(), L"HKCU") == 0 || _wcsicmp(head.c_str(), L"HKEY_CURRENT_USER") == 0) {
    root = HKEY_CURRENT_USER;
  } else if (_wcsicmp(head.c_str(), L"HKU") == 0 || _wcsicmp(head.c_str(), L"HKEY_USERS") == 0) {
    root = HKEY_USERS;
  } else {
    return false;
  }
  rest = path.substr(slash + 1);
  return true;
}

int Link(const std::wstring& keyPath, const std::wstring& target) {
  HKEY root = nullptr;
  std::wstring sub;
  if (!SplitRoot(keyPath, root, sub)) return Fail(L"reading the key path", ERROR_BAD_PATHNAME);
  HKEY key = nullptr;
  DWORD disposition = 0;
  LSTATUS st = ::RegCreateKeyExW(root, sub.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                                 nullptr, &key, &disposition);
  if (st != ERROR_SUCCESS) return Fail(L"RegCreateKeyExW(REG_OPTION_CREATE_LINK)", st);
  // The link's target is stored without a terminating NUL.
  st = ::RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  ::RegCloseKey(key);
  if (st != ERROR_SUCCESS) return Fail(L"RegSetValueExW(SymbolicLinkValue)", st);
  std::wprintf(L"regtool: %ls -> %ls\n", keyPath.c_str(), target.c_str());
  return 0;
}

// RegSaveKeyW needs the backup privilege enabled, which an administrator holds but has disabled.
bool EnableBackupPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = ::LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &privileges.Privileges[0].Luid) &&
                       ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                       ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  return enabled;
}

int SaveHive(const std::wstring& keyPath, const std::wstring& file) {
  HKEY root = nullptr;
  std::wstring sub;
  if (!SplitRoot(keyPath, root, sub)) return Fail(L"reading the key path", ERROR_BAD_PATHNAME);
  if (!EnableBackupPrivilege()) return Fail(L"enabling SeBackupPrivilege", static_cast<LSTATUS>(::GetLastError()));
  HKEY key = nullptr;
  LSTATUS st = ::RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key);
  if (st != ERROR_SUCCESS) return Fail(L"RegOpenKeyExW", st);
  // Windows refuses to write over an existing file (ERROR_ALREADY_EXISTS); Wine replaces it.
  st = ::RegSaveKeyW(key, file.c_str(), nullptr);
  ::RegCloseKey(key);
  if (st != ERROR_SUCCESS) return Fail(L"RegSaveKeyW", st);
  std::wprintf(L"regtool: %ls saved to %ls\n", keyPath.c_str(), file.c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"link") == 0) return Link(argv[2], argv[3]);
  if (argc == 4 && std::wcscmp(argv[1], L"save-hive") == 0) return SaveHive(argv[2], argv[3]);
  std::fwprintf(stderr, L"usage: regtool link KEY TARGET\n       regtool save-hive KEY FILE\n");
  return 2;
}
