// File-system adapter: one ANSI call per method; the find handle lives in its listing.
#include "platform/win32/win32_files.h"

#include <algorithm>
#include <new>
#include <string_view>

#include <aclapi.h>
#include <sddl.h>

#include "platform/system.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_security.h"

namespace platform::win32 {
namespace {

// A path with a NUL inside would reach the API as a shorter, different path.
bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

FindEntry ToEntry(const WIN32_FIND_DATAA& data) {
  FindEntry entry;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return entry;
}

class Win32Listing final : public Listing {
 public:
  explicit Win32Listing(UniqueFindHandle handle) : handle_(std::move(handle)) {}

  bool Next(FindEntry& entry) override {
    WIN32_FIND_DATAA data{};
    if (!handle_ || !::FindNextFileA(handle_.get(), &data)) return false;
    entry = ToEntry(data);
    return true;
  }

 private:
  UniqueFindHandle handle_;
};

Status Result(BOOL ok) { return ok ? kSuccess : LastErrorStatus(); }

// TreeResetNamedSecurityInfoW reports each entry it could not reset to a progress callback and
// goes on; the first such failure is kept here. The callback's last parameter is a BOOL in some
// headers and a PBOOL in others, so its type is taken from FN_PROGRESS itself.
template <class Callback>
struct TreeFailures;
template <class Last>
struct TreeFailures<VOID (*)(LPWSTR, DWORD, PPROG_INVOKE_SETTING, PVOID, Last)> {
  static VOID Record(LPWSTR, DWORD status, PPROG_INVOKE_SETTING, PVOID first, Last) {
    auto* kept = static_cast<DWORD*>(first);
    if (status != ERROR_SUCCESS && *kept == ERROR_SUCCESS) *kept = status;
  }
};

}  // namespace

Status Win32FileSystem::FindFirst(const std::string& pattern, FindEntry& first, std::unique_ptr<Listing>& listing) {
  listing.reset();
  first = FindEntry{};
  if (HasNul(pattern)) return kInvalidName;
  WIN32_FIND_DATAA data{};
  UniqueFindHandle handle(::FindFirstFileA(pattern.c_str(), &data));
  if (!handle) return LastErrorStatus();
  auto* open = new (std::nothrow) Win32Listing(std::move(handle));
  // On a failed allocation the handle was never moved and its owner closes it here.
  if (open == nullptr) return kNotEnoughMemory;
  listing.reset(open);
  first = ToEntry(data);
  return kSuccess;
}

Status Win32FileSystem::CreateDirectory(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  return Result(::CreateDirectoryA(path.c_str(), nullptr));
}

Status Win32FileSystem::CopyFile(const std::string& source, const std::string& destination, bool failIfExists) {
  if (HasNul(source) || HasNul(destination)) return kInvalidName;
  return Result(::CopyFileA(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE));
}

Status Win32FileSystem::GetAttributes(const std::string& path, std::uint32_t& attributes) {
  attributes = 0;
  if (HasNul(path)) return kInvalidName;
  const DWORD found = ::GetFileAttributesA(path.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return LastErrorStatus();
  attributes = found;
  return kSuccess;
}

Status Win32FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
  if (HasNul(path)) return kInvalidName;
  return Result(::SetFileAttributesA(path.c_str(), attributes));
}

Status Win32FileSystem::DeleteFile(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  return Result(::DeleteFileA(path.c_str()));
}

Status Win32FileSystem::RemoveDirectory(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  return Result(::RemoveDirectoryA(path.c_str()));
}

Status Win32FileSystem::MoveFile(const std::string& source, const std::string& destination) {
  if (HasNul(source) || HasNul(destination)) return kInvalidName;
  return Result(::MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_COPY_ALLOWED));
}

Status Win32FileSystem::DeleteLater(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  return Result(::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

Status Win32FileSystem::ProtectFolder(const std::string& path) { return ResetFolderSecurity(path, kProtectedFolderSddl); }

Status Win32FileSystem::ProtectPrivateFolder(const std::string& path) {
  return ResetFolderSecurity(path, kPrivateFolderSddl);
}

Status Win32FileSystem::SetOwner(const std::string& path, const std::string& sid) {
  if (HasNul(path) || HasNul(sid)) return kInvalidName;
  std::wstring wide = AnsiToWide(path);
  if (wide.empty()) return kInvalidName;
  LocalMemory<PSID> owner;
  if (!::ConvertStringSidToSidW(AnsiToWide(sid).c_str(), owner.put())) return LastErrorStatus();
  // Only the restore privilege lets an owner be set to an account other than the caller's own.
  const HivePrivileges privileges;
  if (privileges.status() != kSuccess) return privileges.status();
  // The path is in a folder its user controls: he may have swapped the file, or a folder above it,
  // for a link since it was checked. So the owner is set through a handle on the name itself, and
  // only when that handle leads to the very path asked for, by a file with no other name.
  HANDLE raw = ::CreateFileW(wide.c_str(), WRITE_OWNER | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return LastErrorStatus();
  const UniqueKernelHandle handle(raw);
  bool linked = true;
  if (const Status st = IsLinkOrSecondName(handle.get(), linked); st != kSuccess) return st;
  if (linked) return kAccessDenied;
  std::wstring reached(kLongestPathChars, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), reached.data(), static_cast<DWORD>(reached.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= reached.size()) return length == 0 ? LastErrorStatus() : kFilenameTooLong;
  reached.resize(length);
  constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
  std::wstring_view shown(reached);
  if (shown.starts_with(kLongPrefix)) shown.remove_prefix(kLongPrefix.size());
  if (::CompareStringOrdinal(shown.data(), static_cast<int>(shown.size()), wide.data(), static_cast<int>(wide.size()),
                             TRUE) != CSTR_EQUAL) {
    return kAccessDenied;
  }
  return static_cast<Status>(::SetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner.get(),
                                               nullptr, nullptr, nullptr));
}

namespace {

// PendingFileRenameOperations holds pairs of NT paths ("\??\C:\...") as one REG_MULTI_SZ: the
// source, then the target, empty for a deletion.
constexpr const wchar_t* kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const wchar_t* kPendingRenames = L"PendingFileRenameOperations";
constexpr std::wstring_view kNtPrefix = L"\\??\\";

bool IsAtOrBelow(std::wstring_view pending, std::wstring_view path) {
  if (pending.starts_with(kNtPrefix)) pending.remove_prefix(kNtPrefix.size());
  if (pending.size() < path.size()) return false;
  const auto same = [](std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
  };
  return same(pending.substr(0, path.size()), path) && (pending.size() == path.size() || pending[path.size()] == L'\\');
}

}  // namespace

Status Win32FileSystem::CancelDeleteLater(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  const std::wstring wide = AnsiToWide(path);
  if (wide.empty() || wide.back() == L'\\') return kInvalidName;
  HKEY raw = nullptr;
  LSTATUS st = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &raw);
  if (st == ERROR_FILE_NOT_FOUND) return kSuccess;
  if (st != ERROR_SUCCESS) return static_cast<Status>(st);
  const UniqueHkey key(raw);
  std::wstring data;
  DWORD type = REG_NONE;
  for (DWORD bytes = 0;;) {
    st = ::RegQueryValueExW(key.get(), kPendingRenames, nullptr, &type, nullptr, &bytes);
    if (st == ERROR_FILE_NOT_FOUND) return kSuccess;
    if (st != ERROR_SUCCESS) return static_cast<Status>(st);
    data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    st = ::RegQueryValueExW(key.get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
    if (st == ERROR_MORE_DATA) continue;  // grown meanwhile
    if (st != ERROR_SUCCESS) return static_cast<Status>(st);
    data.resize(got / sizeof(wchar_t));
    break;
  }
  if (type != REG_MULTI_SZ) return kSuccess;  // not Windows' own list: left as it is
  // Pairs read up to the empty source that ends the list; a torn last pair is kept as it was.
  std::wstring kept;
  bool dropped = false;
  std::size_t at = 0;
  const auto next = [&](std::wstring_view& item) {
    if (at >= data.size()) return false;
    const std::size_t end = std::min(data.find(L'\0', at), data.size());
    item = std::wstring_view(data).substr(at, end - at);
    at = end + 1;
    return true;
  };
  for (std::wstring_view source, target; next(source) && !source.empty();) {
    if (!next(target)) target = {};
    if (target.empty() && IsAtOrBelow(source, wide)) {
      dropped = true;
      continue;
    }
    kept.append(source).push_back(L'\0');
    kept.append(target).push_back(L'\0');
  }
  if (!dropped) return kSuccess;
  if (kept.empty()) return static_cast<Status>(::RegDeleteValueW(key.get(), kPendingRenames));
  kept.push_back(L'\0');
  return static_cast<Status>(::RegSetValueExW(key.get(), kPendingRenames, 0, REG_MULTI_SZ,
                                              reinterpret_cast<const BYTE*>(kept.data()),
                                              static_cast<DWORD>(kept.size() * sizeof(wchar_t))));
}

Status Win32FileSystem::ResetFolderSecurity(const std::string& path, const wchar_t* sddl) {
  if (HasNul(path)) return kInvalidName;
  if (path.empty()) return kPathNotFound;  // as the ANSI file functions answer
  std::wstring wide = AnsiToWide(path);
  if (wide.empty()) return kInvalidName;
  // Whether anything is there is asked first: the answer for a missing folder is part of this
  // interface, and Wine's TreeResetNamedSecurityInfoW answers success whatever the path.
  if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return LastErrorStatus();
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
    return LastErrorStatus();
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) ||
      !::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted)) {
    return LastErrorStatus();
  }
  if (!present || dacl == nullptr || owner == nullptr) return kInvalidParameter;  // a NULL DACL grants everything
  // The folder gets the list and the owner; everything in it gets the owner, loses the entries
  // set on it (KeepExplicit FALSE) and inherits the list. SetNamedSecurityInfoW would leave those
  // entries, and the owners, in place. What cannot be reset makes the whole call fail, so that
  // nothing is copied into a folder someone else still holds a grip on.
  DWORD firstFailure = ERROR_SUCCESS;
  const DWORD result = ::TreeResetNamedSecurityInfoW(
      wide.data(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner, nullptr,
      dacl, nullptr, FALSE, &TreeFailures<FN_PROGRESS>::Record, ProgressInvokeOnError, &firstFailure);
  return static_cast<Status>(result != ERROR_SUCCESS ? result : firstFailure);
}

Status Win32FileSystem::ReadSecurity(const std::string& path, FileSecurity& security) {
  security = FileSecurity{};
  if (HasNul(path)) return kInvalidName;
  if (path.empty()) return kPathNotFound;
  const std::wstring wide = AnsiToWide(path);
  if (wide.empty()) return kInvalidName;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  const DWORD result = ::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, descriptor.put());
  if (result != ERROR_SUCCESS) return static_cast<Status>(result);
  // No owner is read as an owner nobody trusts: the empty string.
  if (owner != nullptr) {
    if (const Status status = SidToString(owner, security.owner); status != kSuccess) return status;
  }
  if (dacl == nullptr) {
    security.entries.push_back(AccessEntry{kSidEveryone, true, kFileAllAccess, false});
    return kSuccess;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(dacl, i, &raw)) return LastErrorStatus();
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    // The allowed and denied entries, and a conditional grant taken as granting; a conditional
    // denial may not apply and is left out. Files carry no other kinds in their lists.
    const BYTE type = header->AceType;
    const bool allow = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    if (!allow && type != ACCESS_DENIED_ACE_TYPE) continue;
    // The three kinds share the layout of ACCESS_ALLOWED_ACE up to the SID.
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    AccessEntry entry;
    if (const Status status = SidToString(const_cast<DWORD*>(&ace->SidStart), entry.sid); status != kSuccess) {
      return status;
    }
    entry.allow = allow;
    entry.mask = MapGenericFileRights(ace->Mask);
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    security.entries.push_back(std::move(entry));
  }
  return kSuccess;
}

bool Win32FileSystem::HasNamedStreams(const std::string& path) {
  if (HasNul(path)) return true;
  // The volume's root, however the path reaches it (a drive letter, a share, a mounted folder).
  std::string root(path.size() + 2, '\0');
  if (!::GetVolumePathNameA(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) return true;
  DWORD flags = 0;
  if (!::GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return true;
  return (flags & FILE_NAMED_STREAMS) != 0;
}

Status Win32FileSystem::FlushFile(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  const UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastErrorStatus();
  return Result(::FlushFileBuffers(file.get()));
}

}  // namespace platform::win32
