// File-system adapter: one ANSI call per method; the find handle lives in its listing.
#include "platform/win32/win32_files.h"

#include <new>

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

}  // namespace platform::win32
