// File-system adapter: one ANSI call per method; the find handle lives in its listing.
#include "platform/win32/win32_files.h"

#include <new>

#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace platform::win32 {
namespace {

// A path with a NUL inside would reach the API as a shorter, different path.
bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

FindEntry ToEntry(const WIN32_FIND_DATAA& data) {
  FindEntry entry;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
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

// The descriptor ConvertStringSecurityDescriptorToSecurityDescriptorW allocates, freed with LocalFree.
class LocalSecurityDescriptor {
 public:
  LocalSecurityDescriptor() = default;
  LocalSecurityDescriptor(const LocalSecurityDescriptor&) = delete;
  LocalSecurityDescriptor& operator=(const LocalSecurityDescriptor&) = delete;
  ~LocalSecurityDescriptor() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  PSECURITY_DESCRIPTOR* put() { return &descriptor_; }
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
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

Status Win32FileSystem::ProtectFolder(const std::string& path) {
  if (HasNul(path)) return kInvalidName;
  if (path.empty()) return kPathNotFound;  // as the ANSI file functions answer
  LocalSecurityDescriptor descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
    return LastErrorStatus();
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted)) return LastErrorStatus();
  if (!present || dacl == nullptr) return kInvalidParameter;  // a NULL DACL would grant everyone everything
  // SetNamedSecurityInfoW rather than SetFileSecurityW: it takes PROTECTED_DACL_SECURITY_INFORMATION,
  // and it brings what already is in the folder (a second installation) under the new entries.
  std::wstring wide = AnsiToWide(path);
  if (wide.empty()) return kInvalidName;
  const DWORD result = ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, dacl, nullptr);
  return static_cast<Status>(result);
}

}  // namespace platform::win32
