// File-system operations the program uses, with Windows' semantics (ANSI paths).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// File attribute bits (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
// A junction, a symbolic link or a mount point: the name leads somewhere else.
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// Access rights on files and folders (winnt.h): the file rights, and the generic ones.
inline constexpr std::uint32_t kRightDeleteChild = 0x40;     // FILE_DELETE_CHILD
inline constexpr std::uint32_t kRightDelete = 0x10000;       // DELETE
inline constexpr std::uint32_t kRightWriteDac = 0x40000;     // WRITE_DAC
inline constexpr std::uint32_t kRightWriteOwner = 0x80000;   // WRITE_OWNER
inline constexpr std::uint32_t kFileGenericRead = 0x120089;  // FILE_GENERIC_READ
inline constexpr std::uint32_t kFileGenericWrite = 0x120116;
inline constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
inline constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kGenericExecute = 0x20000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kGenericRead = 0x80000000;

// A mask with its generic rights replaced by the file rights they stand for, as the file system's
// GENERIC_MAPPING does when it checks access: an entry granting GENERIC_ALL grants DELETE and
// WRITE_DAC as surely as one that names them.
constexpr std::uint32_t MapGenericFileRights(std::uint32_t mask) {
  std::uint32_t mapped = mask & ~(kGenericAll | kGenericExecute | kGenericWrite | kGenericRead);
  if ((mask & kGenericRead) != 0) mapped |= kFileGenericRead;
  if ((mask & kGenericWrite) != 0) mapped |= kFileGenericWrite;
  if ((mask & kGenericExecute) != 0) mapped |= kFileGenericExecute;
  if ((mask & kGenericAll) != 0) mapped |= kFileAllAccess;
  return mapped;
}

// Well-known security identifiers, in their string form.
inline constexpr const char* kSidAdministrators = "S-1-5-32-544";
inline constexpr const char* kSidUsers = "S-1-5-32-545";
inline constexpr const char* kSidSystem = "S-1-5-18";
inline constexpr const char* kSidAuthenticatedUsers = "S-1-5-11";
inline constexpr const char* kSidEveryone = "S-1-1-0";
inline constexpr const char* kSidTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// One entry of an access list, as far as the program judges it.
struct AccessEntry {
  std::string sid;                // "S-1-5-11"
  bool allow = true;              // false: an entry that denies
  std::uint32_t mask = 0;         // generic rights already mapped to file rights
  bool inheritOnly = false;       // passed on to what is created inside; does not apply to the entry itself
};

// Who owns an entry and its access list, explicit entries first as the list holds them.
struct FileSecurity {
  std::string owner;
  std::vector<AccessEntry> entries;
};

// Windows' MAX_PATH: 259 characters and the terminator.
inline constexpr std::size_t kMaxPath = 260;

struct FindEntry {
  std::string name;            // cFileName
  std::uint32_t attributes = 0;  // dwFileAttributes
  std::uint64_t size = 0;        // nFileSizeHigh, nFileSizeLow: bytes (0 for a folder)
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
  // MoveFileExA(source, destination, MOVEFILE_COPY_ALLOWED): a file renamed, or moved to another
  // volume by a copy and a delete. Never replaces: kAlreadyExists (or kFileExists) when something is
  // at the destination; kSharingViolation while another program holds the file without letting it
  // be deleted.
  [[nodiscard]] virtual Status MoveFile(const std::string& source, const std::string& destination) = 0;
  // GetFileAttributesA: the attribute bits, or an error when nothing is at the path.
  virtual Status GetAttributes(const std::string& path, std::uint32_t& attributes) = 0;
  // SetFileAttributesA.
  virtual Status SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
  // DeleteFileA: a file, or a named stream given as "file:stream".
  virtual Status DeleteFile(const std::string& path) = 0;
  // RemoveDirectoryA: an empty folder. kDirNotEmpty while it holds anything, kDirectory when the
  // path names a file, kFileNotFound or kPathNotFound when nothing is there.
  [[nodiscard]] virtual Status RemoveDirectory(const std::string& path) = 0;
  // MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): the file (or the folder, when it is empty
  // by then) is deleted the next time Windows starts, in the order asked, before any program can
  // hold it. Nothing changes until then. Only an administrator may ask.
  [[nodiscard]] virtual Status DeleteLater(const std::string& path) = 0;
  // Takes back what DeleteLater asked for the path and for everything below it (the entries of
  // PendingFileRenameOperations that delete them): what an installation places again after an
  // uninstall must outlive the next start of Windows. kSuccess when nothing was pending.
  [[nodiscard]] virtual Status CancelDeleteLater(const std::string& path) = 0;
  // Gives a folder the access list of a folder whose code other programs load with their users'
  // rights: Administrators and SYSTEM full control, Users read and execute, inherited by everything
  // inside it, and protected from the entries the folder above would pass down, so a looser parent
  // cannot widen it. Administrators become the owner of the folder and of everything in it, and
  // what it holds loses the entries set on it and inherits the new list alone: an owner keeps the
  // right to change a list, and an entry someone set on a file would outlive the folder's list.
  // kFileNotFound or kPathNotFound when nothing is at the path.
  [[nodiscard]] virtual Status ProtectFolder(const std::string& path) = 0;
  // FlushFileBuffers on the file at the path, opened for writing as the call demands: what was
  // written to it is on the disk when this returns (CopyFile leaves it in the cache). kAccessDenied
  // for a read-only file.
  [[nodiscard]] virtual Status FlushFile(const std::string& path) = 0;
  // GetNamedSecurityInfoW: the owner and the access list of what is at the path (a link is
  // followed). A list that is missing altogether (a NULL DACL) lets everyone do everything and is
  // reported as one entry saying so, for Everyone.
  [[nodiscard]] virtual Status ReadSecurity(const std::string& path, FileSecurity& security) = 0;
  // As ProtectFolder, without the entry for Users: only Administrators and SYSTEM may even read
  // what the folder holds (the log, which names every user and the folders each one trusts).
  [[nodiscard]] virtual Status ProtectPrivateFolder(const std::string& path) = 0;
  // SetNamedSecurityInfoW(OWNER_SECURITY_INFORMATION): `sid` ("S-1-5-21-...") becomes the owner of
  // what is at the path (a link is followed: the caller has made sure there is none). Another
  // account than the running one takes the restore privilege, enabled for the call only.
  [[nodiscard]] virtual Status SetOwner(const std::string& path, const std::string& sid) = 0;
  // Whether the volume holding the path keeps named streams (GetVolumeInformation's
  // FILE_NAMED_STREAMS): a file on one that does not carries no download mark. True when unknown.
  virtual bool HasNamedStreams(const std::string& path) {
    (void)path;
    return true;
  }
};

}  // namespace platform
