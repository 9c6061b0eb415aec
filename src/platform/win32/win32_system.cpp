// System facts adapter. Buffers are sized by the caller's capacity, and a result that does not
// fit is reported as such, never handed back cut short.
#include "platform/win32/win32_system.h"

#include <algorithm>

#include "platform/win32/win32_handles.h"
// After windows.h: the ANSI process entry and functions are the ones we want.
#include <tlhelp32.h>

#ifdef UNICODE
#undef Process32First
#undef Process32Next
#endif

namespace platform::win32 {
namespace {

// Far beyond any path or variable Windows allows (32767 characters), so clamping to it changes
// no answer; it only keeps a careless capacity from becoming a huge allocation.
constexpr std::size_t kLargestBuffer = 65536;

using AnsiProcessEntry = tagPROCESSENTRY32;

}  // namespace

Status Win32SystemInfo::ModulePath(std::size_t capacity, std::string& path) {
  path.clear();
  if (capacity == 0) return kFilenameTooLong;
  const std::size_t chars = std::min(capacity, kLargestBuffer);
  std::string buffer(chars, '\0');
  ::SetLastError(ERROR_SUCCESS);
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(chars));
  if (length == 0) return LastErrorStatus();
  // A path that fills the buffer has been cut (XP even leaves it unterminated); Vista and later
  // say so with ERROR_INSUFFICIENT_BUFFER.
  if (length >= chars || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) return kFilenameTooLong;
  buffer.resize(length);
  path = std::move(buffer);
  return kSuccess;
}

Status Win32SystemInfo::CurrentDirectory(std::string& path) {
  path.clear();
  DWORD size = ::GetCurrentDirectoryA(0, nullptr);  // characters including the terminator
  // The folder may change between the two calls (another thread); follow it a few times.
  for (int round = 0; round < 4; ++round) {
    if (size == 0) return LastErrorStatus();
    std::string buffer(size, '\0');
    const DWORD length = ::GetCurrentDirectoryA(size, buffer.data());
    if (length == 0) return LastErrorStatus();
    if (length < size) {
      buffer.resize(length);
      path = std::move(buffer);
      return kSuccess;
    }
    size = length;
  }
  return kMoreData;
}

Status Win32SystemInfo::EnvironmentVariable(const std::string& name, std::size_t capacity, std::string& value) {
  value.clear();
  if (name.empty() || name.find('\0') != std::string::npos) return kInvalidParameter;
  const std::size_t chars = std::min(capacity, kLargestBuffer);
  std::string buffer(chars + 1, '\0');  // the spare byte keeps a zero capacity off a null pointer
  ::SetLastError(ERROR_SUCCESS);
  const DWORD length = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(chars));
  if (length == 0) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ENVVAR_NOT_FOUND) return kFileNotFound;
    if (error != ERROR_SUCCESS) return static_cast<Status>(error);
    return kSuccess;  // set, and empty
  }
  // Too small a buffer gives the size needed, terminator included, and leaves the buffer alone.
  if (length >= chars) return kMoreData;
  buffer.resize(length);
  value = std::move(buffer);
  return kSuccess;
}

bool Win32SystemInfo::ProcessNames(std::vector<std::string>& names) {
  names.clear();
  UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  AnsiProcessEntry entry{};
  entry.dwSize = sizeof(entry);
  if (!::Process32First(snapshot.get(), &entry)) return false;
  do {
    names.emplace_back(entry.szExeFile);
    entry.dwSize = sizeof(entry);
  } while (::Process32Next(snapshot.get(), &entry));
  return true;
}

}  // namespace platform::win32
