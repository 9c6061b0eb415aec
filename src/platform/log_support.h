// What the install log and the journal need from the machine: files named by UTF-8 paths that grow a
// line at a time and are read back whole, the local time, and the system's words for an error code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

inline constexpr Status kFileTooLarge = 223;  // ERROR_FILE_TOO_LARGE

// The largest file ReadWhole hands back. A journal or a log is a few hundred lines; anything near
// this is not one of ours, and it is refused whole rather than read in part.
inline constexpr std::size_t kLargestTextFile = std::size_t{64} * 1024 * 1024;

// A file opened for appending; closed by its destructor.
class AppendedFile {
 public:
  virtual ~AppendedFile() = default;
  // Adds `text` at the end of the file, all of it or an error. The bytes have left the program when
  // it returns, so a crash right after keeps them; for a file opened kWriteThrough they have left
  // the system's cache too, and a power cut keeps them as well.
  virtual Status Append(std::u8string_view text) = 0;
};

// How far an appended line has gone when Append returns.
enum class Durability {
  kToSystem,      // handed to the system (survives the program, not a power cut): the log
  kWriteThrough,  // on the disk (survives a power cut): the journal, which the uninstall relies on
};

class AppendFiles {
 public:
  virtual ~AppendFiles() = default;
  // Opens a file for appending, creating it when missing (its folder must exist: kPathNotFound);
  // `sizeBefore` is its length in bytes as found. Others may read it while it is open. The name is
  // opened itself, never followed: a junction or symbolic link there is refused (kAccessDenied), and
  // so is a file with a second name (a hard link) or one owned by anyone but Administrators, SYSTEM
  // or the account running the program, who could then read, or choose, what is written.
  virtual Status OpenForAppend(std::u8string_view path, Durability durability, std::unique_ptr<AppendedFile>& file,
                               std::uint64_t& sizeBefore) = 0;
  // The whole content of a file as stored. kFileNotFound when there is none; kFileTooLarge beyond
  // kLargestTextFile.
  virtual Status ReadWhole(std::u8string_view path, std::u8string& content) = 0;
  // Cuts a file back to its first `size` bytes (SetEndOfFile), flushed to the disk; a file no longer
  // than that stays as it is. kFileNotFound (kPathNotFound: nor its folder) when there is none;
  // kAccessDenied for a folder or a read-only file.
  [[nodiscard]] virtual Status Truncate(std::u8string_view path, std::uint64_t size) = 0;
  // Puts the file at `source` in the place of the one at `destination` in one step, written through
  // to the disk (MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): whoever looks,
  // even after a power cut, finds the old file or the new one, never neither. Both lie in one
  // folder. A folder or a read-only file at `destination` is not replaced (kAccessDenied).
  [[nodiscard]] virtual Status Replace(std::u8string_view source, std::u8string_view destination) = 0;
};

// GetLocalTime, as far as a log line needs it.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Waits that long (Sleep): a retry a moment later may find a file let go.
  virtual void Wait(unsigned milliseconds) = 0;
};

class ErrorTexts {
 public:
  virtual ~ErrorTexts() = default;
  // The system's sentence for a Win32 error code (FormatMessage), without the code and without a
  // line end; empty when the system has none.
  virtual std::u8string Describe(Status error) = 0;
};

// The three together, as the log and the journal take them.
struct LogSupport {
  AppendFiles& files;
  Clock& clock;
  ErrorTexts& errors;
};

}  // namespace platform
