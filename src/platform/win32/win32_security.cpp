// Security identifiers as text, account names, and the privileges that hive loading needs.
#include "platform/win32/win32_security.h"

#include <sddl.h>

#include <cstddef>

#include "platform/win32/wide_text.h"

namespace platform::win32 {
namespace {

TOKEN_PRIVILEGES* AsTokenPrivileges(void* privileges) { return static_cast<TOKEN_PRIVILEGES*>(privileges); }

}  // namespace

Status SidToString(PSID sid, std::string& text) {
  text.clear();
  LocalMemory<LPWSTR> wide;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, wide.put())) return LastErrorStatus();
  for (const wchar_t* c = wide.get(); *c != L'\0'; ++c) {
    if (*c >= 0x80) return kInvalidParameter;
    text += static_cast<char>(*c);
  }
  return kSuccess;
}

Status AccountNameOf(const std::string& sid, std::u8string& name) {
  name.clear();
  if (sid.find('\0') != std::string::npos) return kInvalidSid;
  LocalMemory<PSID> binary;
  if (!::ConvertStringSidToSidW(AnsiToWide(sid).c_str(), binary.put())) return LastErrorStatus();
  // A first guess that holds nearly every name; a longer one is asked for again at the size told.
  DWORD accountChars = 64;
  DWORD domainChars = 64;
  for (int round = 0; round < 3; ++round) {
    std::wstring account(accountChars, L'\0');
    std::wstring domain(domainChars, L'\0');
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, binary.get(), account.data(), &accountChars, domain.data(), &domainChars, &use)) {
      // On success the counts are the lengths without the terminator.
      account.resize(accountChars);
      domain.resize(domainChars);
      if (!domain.empty()) domain += L'\\';
      domain += account;
      return WideToUtf8Exact(domain, name) ? kSuccess : kNoUnicodeTranslation;
    }
    // On ERROR_INSUFFICIENT_BUFFER the counts are the sizes needed, terminators included.
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastErrorStatus();
  }
  return kMoreData;
}

HivePrivileges::HivePrivileges() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
    status_ = LastErrorStatus();
    return;
  }
  token_.reset(raw);
  static_assert(offsetof(TwoPrivileges, Privileges) == offsetof(TOKEN_PRIVILEGES, Privileges),
                "laid out as TOKEN_PRIVILEGES");
  TwoPrivileges wanted{};
  wanted.PrivilegeCount = 2;
  // SE_BACKUP_NAME and SE_RESTORE_NAME, spelt out: this file is built without UNICODE.
  const wchar_t* const names[] = {L"SeBackupPrivilege", L"SeRestorePrivilege"};
  for (DWORD i = 0; i < 2; ++i) {
    if (!::LookupPrivilegeValueW(nullptr, names[i], &wanted.Privileges[i].Luid)) {
      status_ = LastErrorStatus();
      return;
    }
    wanted.Privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
  }
  DWORD length = 0;
  // `previous_` receives the state of exactly the privileges this call changed, which is what the
  // destructor restores; with ERROR_NOT_ALL_ASSIGNED some were changed and some were not held.
  ::SetLastError(ERROR_SUCCESS);
  if (!::AdjustTokenPrivileges(token_.get(), FALSE, AsTokenPrivileges(&wanted), sizeof(previous_),
                               AsTokenPrivileges(&previous_), &length)) {
    previous_.PrivilegeCount = 0;
    status_ = LastErrorStatus();
  } else if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
    status_ = kPrivilegeNotHeld;
  }
}

HivePrivileges::~HivePrivileges() {
  if (token_ && previous_.PrivilegeCount != 0) {
    ::AdjustTokenPrivileges(token_.get(), FALSE, AsTokenPrivileges(&previous_), 0, nullptr, nullptr);
  }
}

}  // namespace platform::win32
