// File-system operations the program uses, with Windows' semantics (ANSI paths).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace platform {

// File attribute bits (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;

// Windows' MAX_PATH: 259 characters and the terminator.
inline constexpr std::size_t kMaxPath = 260;

struct FindEntry {
  std::string name;            // cFileName
  std::uint32_t attributes = 0;  // dwFileAttributes
};

// An open listing (FindFirstFileA's handle); FindClose in the destructor.
class Listing {
 public:
  virtual ~Listing() = default;
  // FindNextFileA: false when the listing is exhausted (or fails).
  virtual bool Next(FindEntry& entry) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // FindFirstFileA: on success `listing` is set and `first` holds the first entry.
  // A pattern may end in a wildcard component ("*.*"); without one it names one entry.
  virtual Status FindFirst(const std::string& pattern, FindEntry& first, std::unique_ptr<Listing>& listing) = 0;
  // CreateDirectoryA: one level; kAlreadyExists for an existing entry, kPathNotFound
  // when the parent is missing.
  virtual Status CreateDirectory(const std::string& path) = 0;
  // CopyFileA: replaces the destination unless failIfExists; fails on a read-only
  // destination or a missing destination folder; the copy carries the source's attributes.
  virtual Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) = 0;
  // GetFileAttributesA: the attribute bits, or an error when nothing is at the path.
  virtual Status GetAttributes(const std::string& path, std::uint32_t& attributes) = 0;
  // SetFileAttributesA.
  virtual Status SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
  // DeleteFileA: a file, or a named stream given as "file:stream".
  virtual Status DeleteFile(const std::string& path) = 0;
  // Gives a folder the access list of a folder whose code other programs load with their users'
  // rights: Administrators and SYSTEM full control, Users read and execute, inherited by everything
  // inside it (what exists is updated, what is created later inherits), and protected from the
  // entries the folder above would pass down, so a looser parent cannot widen it. The owner is left
  // as it is. kFileNotFound or kPathNotFound when nothing is at the path.
  virtual Status ProtectFolder(const std::string& path) = 0;
};

}  // namespace platform
