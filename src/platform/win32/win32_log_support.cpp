// Appended files, the local time and error texts over the wide API: the log may be named on the
// command line with characters the ANSI code page lacks.
#include "platform/win32/win32_log_support.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_system.h"

#include <aclapi.h>

namespace platform::win32 {
namespace {

// A file handle from CreateFileW: INVALID_HANDLE_VALUE on failure, released with CloseHandle.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

// A buffer FormatMessageW allocated, given back with LocalFree.
struct LocalFreeDeleter {
  void operator()(wchar_t* buffer) const { ::LocalFree(buffer); }
};

// MAKELANGID(LANG_CHINESE_SIMPLIFIED, SUBLANG_CHINESE_SIMPLIFIED), written out: the macro is a cast.
constexpr DWORD kSimplifiedChineseLangId = 0x0804;

// A path as UTF-16. Unlike the message conversion, a malformed byte is refused rather than
// replaced: U+FFFD would name another file.
Status PathToWide(std::u8string_view path, std::wstring& wide) {
  wide.clear();
  if (path.empty()) return kPathNotFound;
  if (path.find(u8'\0') != std::u8string_view::npos) return kInvalidName;
  if (path.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return kFilenameTooLong;
  const char* bytes = reinterpret_cast<const char*>(path.data());
  const int length = static_cast<int>(path.size());
  const int chars = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
  if (chars <= 0) return kInvalidName;
  wide.assign(static_cast<std::size_t>(chars), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, wide.data(), chars) != chars) {
    wide.clear();
    return kInvalidName;
  }
  return kSuccess;
}

std::u8string WideToUtf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), bytes, nullptr, nullptr) != bytes) return {};
  return std::u8string(utf8.begin(), utf8.end());
}

class Win32AppendedFile final : public AppendedFile {
 public:
  explicit Win32AppendedFile(UniqueFile file) : file_(std::move(file)) {}

  Status Append(std::u8string_view text) override {
    const auto* at = reinterpret_cast<const char*>(text.data());
    std::size_t left = text.size();
    // A handle with append access alone writes at the end of the file whatever its pointer says,
    // so nothing another writer did in between is overwritten.
    while (left > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, std::numeric_limits<DWORD>::max()));
      DWORD written = 0;
      if (!::WriteFile(file_.get(), at, chunk, &written, nullptr)) return LastErrorStatus();
      if (written == 0) return static_cast<Status>(ERROR_WRITE_FAULT);
      at += written;
      left -= written;
    }
    return kSuccess;
  }

 private:
  UniqueFile file_;
};

// The file's length from its handle.
Status FileSize(HANDLE file, std::uint64_t& size) {
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file, &length)) return LastErrorStatus();
  size = static_cast<std::uint64_t>(length.QuadPart);
  return kSuccess;
}

// Whether the file open on `file` is the file itself, with one name and a trusted owner: a link
// there, a second name, or an owner other than Administrators, SYSTEM or the account running the
// program would let someone else choose, or read, what is written.
Status CheckOwnFile(HANDLE file) {
  bool linked = true;
  if (const Status st = IsLinkOrSecondName(file, linked); st != kSuccess) return st;
  if (linked) return kAccessDenied;
  PSID owner = nullptr;
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  const DWORD read = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                       nullptr, descriptor.put());
  if (read != ERROR_SUCCESS) return static_cast<Status>(read);
  std::string sid;
  if (const Status st = SidToString(owner, sid); st != kSuccess) return st;
  if (sid == kSidAdministrators || sid == kSidSystem) return kSuccess;
  std::string self;
  Win32SystemInfo system;
  return system.AccountSid(self) == kSuccess && sid == self ? kSuccess : kAccessDenied;
}

}  // namespace

Status Win32AppendFiles::OpenForAppend(std::u8string_view path, Durability durability,
                                       std::unique_ptr<AppendedFile>& file,
                                       std::uint64_t& sizeBefore) {
  file.reset();
  sizeBefore = 0;
  std::wstring wide;
  if (const Status converted = PathToWide(path, wide); converted != kSuccess) return converted;
  // Write-through for the journal: each record reaches the disk before the step it records goes on,
  // so a power cut leaves a true account; the log only needs to outlive the program, and is spared
  // a disk round trip per line. Reading attributes is for the size. Readers may share the file, and
  // so may other appenders (two runs given one /LOG): append-only writes land whole at the end.
  // The name is opened itself (FILE_FLAG_OPEN_REPARSE_POINT), never what a link there leads to, and
  // READ_CONTROL reads its owner.
  UniqueFile handle(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                      (durability == Durability::kWriteThrough ? FILE_FLAG_WRITE_THROUGH : 0),
                                  nullptr));
  if (!handle) return LastErrorStatus();
  if (const Status own = CheckOwnFile(handle.get()); own != kSuccess) return own;
  if (const Status sized = FileSize(handle.get(), sizeBefore); sized != kSuccess) return sized;
  file = std::make_unique<Win32AppendedFile>(std::move(handle));
  return kSuccess;
}

Status Win32AppendFiles::Truncate(std::u8string_view path, std::uint64_t size) {
  std::wstring wide;
  if (const Status converted = PathToWide(path, wide); converted != kSuccess) return converted;
  UniqueFile handle(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!handle) return LastErrorStatus();
  // Only ever cut back: SetEndOfFile would lengthen the file to a size a damaged record names.
  std::uint64_t now = 0;
  if (const Status sized = FileSize(handle.get(), now); sized != kSuccess) return sized;
  if (size >= now) return kSuccess;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(handle.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle.get()) ||
      !::FlushFileBuffers(handle.get())) {
    return LastErrorStatus();
  }
  return kSuccess;
}

Status Win32AppendFiles::Replace(std::u8string_view source, std::u8string_view destination) {
  std::wstring from;
  std::wstring to;
  if (const Status converted = PathToWide(source, from); converted != kSuccess) return converted;
  if (const Status converted = PathToWide(destination, to); converted != kSuccess) return converted;
  // Without MOVEFILE_COPY_ALLOWED: within one volume the replacement is a rename, which NTFS logs
  // as one operation.
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastErrorStatus();
  }
  return kSuccess;
}

Status Win32AppendFiles::ReadWhole(std::u8string_view path, std::u8string& content) {
  content.clear();
  std::wstring wide;
  if (const Status converted = PathToWide(path, wide); converted != kSuccess) return converted;
  // The writer may still hold the file open (it shares reading, and we share writing back).
  UniqueFile handle(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return LastErrorStatus();
  std::uint64_t size = 0;
  if (const Status sized = FileSize(handle.get(), size); sized != kSuccess) return sized;
  if (size > kLargestTextFile) return kFileTooLarge;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  // The length found above: what a writer adds meanwhile is left for the next reading.
  while (done < bytes.size()) {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done);  // at most kLargestTextFile
    if (!::ReadFile(handle.get(), bytes.data() + done, chunk, &read, nullptr)) return LastErrorStatus();
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  bytes.resize(done);
  content.assign(bytes.begin(), bytes.end());
  return kSuccess;
}

LocalTime Win32Clock::Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void Win32Clock::Wait(unsigned milliseconds) { ::Sleep(milliseconds); }

std::u8string Win32ErrorTexts::Describe(Status error) {
  const DWORD code = static_cast<DWORD>(error);
  for (const DWORD language : {kSimplifiedChineseLangId, DWORD{0}}) {
    LPWSTR raw = nullptr;
    // The system sizes the buffer, so no text is ever cut to fit one of ours.
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, language, reinterpret_cast<LPWSTR>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> buffer(raw);
    if (length == 0 || !buffer) continue;  // not in this language: ERROR_RESOURCE_LANG_NOT_FOUND
    std::wstring_view message(buffer.get(), length);
    // The system's sentences end in a line break, which would break the log's line.
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
      message.remove_suffix(1);
    }
    return WideToUtf8(message);
  }
  return {};
}

}  // namespace platform::win32
