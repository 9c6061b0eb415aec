// System facts adapter. Buffers are sized by the caller's capacity, and a result that does not
// fit is reported as such, never handed back cut short.
#include "platform/win32/win32_system.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_security.h"
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

// GetEnvironmentVariableW, the value whole: kFileNotFound when the variable is unset.
Status ReadVariable(const std::wstring& name, std::wstring& value) {
  value.clear();
  std::wstring wide(256, L'\0');
  // The value may grow between two calls (another thread); follow it a few times.
  for (int round = 0; round < 4; ++round) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), wide.data(), static_cast<DWORD>(wide.size()));
    if (length == 0) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_ENVVAR_NOT_FOUND) return kFileNotFound;
      return error == ERROR_SUCCESS ? kSuccess : static_cast<Status>(error);  // set, and empty
    }
    if (length < wide.size()) {
      wide.resize(length);
      value = std::move(wide);
      return kSuccess;
    }
    if (length > kLargestBuffer) return kMoreData;
    wide.assign(length, L'\0');  // too small: length is the size needed, terminator included
  }
  return kMoreData;
}

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
  // Read through the wide API and convert ourselves: Wine 8's GetEnvironmentVariableA cuts a
  // value with double-byte characters to as many bytes as it has UTF-16 characters, which would
  // turn "C:\Users\设计师\AppData\Roaming" into another folder.
  std::wstring wide;
  if (const Status st = ReadVariable(AnsiToWide(name), wide); st != kSuccess) return st;
  if (wide.empty()) return capacity == 0 ? kMoreData : kSuccess;  // set, and empty
  BOOL usedDefault = FALSE;
  const int wideLength = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0, nullptr,
                                          &usedDefault);
  // A character without an ANSI form would come out as '?': a different folder, so refuse it.
  if (bytes <= 0 || usedDefault) return kInvalidName;
  if (static_cast<std::size_t>(bytes) + 1 > capacity) return kMoreData;
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, ansi.data(), bytes, nullptr, nullptr);
  value = std::move(ansi);
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

Status Win32SystemInfo::AccountSid(std::string& sid) {
  sid.clear();
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return LastErrorStatus();
  const UniqueKernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return LastErrorStatus();
  // TOKEN_USER holds a pointer (to the SID that follows it): the buffer is aligned for one.
  std::vector<std::uintptr_t> buffer((size + sizeof(std::uintptr_t) - 1) / sizeof(std::uintptr_t));
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return LastErrorStatus();
  return SidToString(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, sid);
}

Status Win32SystemInfo::EnvironmentVariableW(std::u8string_view name, std::u8string& value) {
  value.clear();
  std::wstring wideName;
  if (name.empty() || name.find(u8'\0') != std::u8string_view::npos || !Utf8ToWideExact(name, wideName)) {
    return kInvalidParameter;
  }
  std::wstring wide;
  if (const Status st = ReadVariable(wideName, wide); st != kSuccess) return st;
  return WideToUtf8Exact(wide, value) ? kSuccess : kNoUnicodeTranslation;
}

Status Win32SystemInfo::AccountName(const std::string& sid, std::u8string& name) { return AccountNameOf(sid, name); }

namespace {

class Win32HeldLock final : public HeldLock {
 public:
  explicit Win32HeldLock(HANDLE mutex) : m_mutex(mutex) {}
  ~Win32HeldLock() override {
    ::ReleaseMutex(m_mutex);
    ::CloseHandle(m_mutex);
  }
  Win32HeldLock(const Win32HeldLock&) = delete;
  Win32HeldLock& operator=(const Win32HeldLock&) = delete;

 private:
  HANDLE m_mutex;
};

}  // namespace

Status Win32SystemInfo::HoldMachineLock(std::u8string_view name, std::unique_ptr<HeldLock>& lock) {
  lock.reset();
  const std::wstring wide = Utf8ToWide(name);
  // Not owned at creation: whether it was there already is told by the wait, which also takes over a
  // mutex abandoned by a killed run.
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wide.c_str());
  if (mutex == nullptr) return LastErrorStatus();
  const DWORD waited = ::WaitForSingleObject(mutex, 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return waited == WAIT_TIMEOUT ? kAlreadyExists : LastErrorStatus();
  }
  lock = std::make_unique<Win32HeldLock>(mutex);
  return kSuccess;
}

}  // namespace platform::win32
