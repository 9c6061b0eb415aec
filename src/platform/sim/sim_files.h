// A simulated Windows file system: drive letters, case-insensitive names, attributes, named
// streams, CopyFile semantics, listings, owners and access lists with inheritance, reparse points;
// with failure injection and inspection for tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace sim {

// Operations whose failure a test can force. Find is FindFirst on exactly that pattern.
enum class FileOp {
  Copy, CreateDirectory, SetAttributes, DeleteFile, ProtectFolder, ReadSecurity, Find, RemoveDirectory, DeleteLater,
  Move, Flush, SetOwner
};

// ACE flags (OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE, INHERIT_ONLY_ACE).
inline constexpr std::uint8_t kObjectInherit = 0x1;
inline constexpr std::uint8_t kContainerInherit = 0x2;
inline constexpr std::uint8_t kInheritOnly = 0x8;

// One entry of an access list as stored, generic rights and inheritance flags as they were set.
struct SimAce {
  std::string sid;
  bool allow = true;
  std::uint32_t mask = 0;
  std::uint8_t flags = 0;
  bool operator==(const SimAce&) const = default;
};

// An entry's security. A new entry is owned by whoever creates it and inherits, at that moment,
// what its folder passes down (the entries with the object- or container-inherit flag); a
// protected list takes nothing from above.
struct SimSecurity {
  std::string owner;
  std::vector<SimAce> explicitEntries;  // set on the entry itself
  std::vector<SimAce> inherited;        // passed down from the folder above
  bool isProtected = false;
};

// The list a drive's root has on a freshly installed Windows: Administrators and SYSTEM full
// control, Users read and execute, Authenticated Users may create folders on the root itself and
// get Modify (delete included) on whatever is created below it.
std::vector<SimAce> UsualRootEntries();
// The list ProtectFolder sets: Administrators and SYSTEM full control, Users read and execute.
std::vector<SimAce> ProtectedEntries();
// The list ProtectPrivateFolder sets: Administrators and SYSTEM full control.
std::vector<SimAce> PrivateEntries();

// An entry's access list in the terms of the protected list: what a read-back on Windows tells.
enum class Acl {
  kOrdinary,           // not protected, and not exactly the protected list inherited
  kProtected,          // exactly the protected list, set on this entry
  kInheritsProtected,  // exactly the protected list's entries, inherited from a folder above
  kOther,              // protected, but not with that list
};

// Passed as `times` to fail on every call.
inline constexpr int kAlways = -1;

class SimFileSystem final : public platform::FileSystem {
 public:
  SimFileSystem();
  ~SimFileSystem() override;
  SimFileSystem(const SimFileSystem&) = delete;
  SimFileSystem& operator=(const SimFileSystem&) = delete;

  // platform::FileSystem
  platform::Status FindFirst(const std::string& pattern, platform::FindEntry& first,
                             std::unique_ptr<platform::Listing>& listing) override;
  platform::Status CreateDirectory(const std::string& path) override;
  platform::Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) override;
  platform::Status GetAttributes(const std::string& path, std::uint32_t& attributes) override;
  platform::Status SetAttributes(const std::string& path, std::uint32_t attributes) override;
  platform::Status DeleteFile(const std::string& path) override;
  platform::Status MoveFile(const std::string& source, const std::string& destination) override;
  platform::Status RemoveDirectory(const std::string& path) override;
  platform::Status DeleteLater(const std::string& path) override;
  platform::Status ProtectFolder(const std::string& path) override;
  platform::Status ReadSecurity(const std::string& path, platform::FileSecurity& security) override;
  platform::Status FlushFile(const std::string& path) override;

  // The power goes: what the program copied and never flushed (FlushFile) did not reach the disk,
  // and each such file is found empty, as NTFS, which journals its records but not file data, leaves it.
  void PowerCut();
  platform::Status CancelDeleteLater(const std::string& path) override;
  platform::Status ProtectPrivateFolder(const std::string& path) override;
  platform::Status SetOwner(const std::string& path, const std::string& sid) override;

  // The machine: drives and the current directory (which resolves relative paths and "\x").
  void AddDrive(char letter);
  bool SetCurrentDirectory(const std::string& path);
  const std::string& CurrentDirectory() const { return currentDirectory_; }

  // What DeleteLater was asked to delete at the next start of Windows, in order, as full paths.
  const std::vector<std::string>& PendingDeletions() const { return pendingDeletions_; }
  // The next start of Windows: each pending deletion is done in order, a folder only when it is
  // empty by then, and what cannot be done is passed over, as Windows passes it over.
  void Restart();

  // Listings opened and not yet destroyed.
  std::size_t OpenListingCount() const { return *openListings_; }

  // Failure injection: `op` on `path` (for Copy and Move: as source or destination) fails with `status`
  // the next `times` calls, or always; the path is compared without regard to letter case.
  void FailOn(FileOp op, const std::string& path, platform::Status status, int times = kAlways);
  void ClearFailures();
  // How many injected failures have been served, to prove a retry really happened.
  std::size_t InjectedFailureCount() const { return injectedServed_; }

  // Direct access for building fixtures and checking results. Paths are absolute.
  // Creates every missing folder level; false when something in the way is a file.
  bool MakeDirectories(const std::string& path);
  // Creates or replaces a file, creating missing folders; false when the path is unusable.
  bool WriteFile(const std::string& path, const std::string& content,
                 std::uint32_t attributes = platform::kAttrArchive);
  std::optional<std::string> ReadFile(const std::string& path) const;
  bool Exists(const std::string& path) const;
  bool IsDirectory(const std::string& path) const;
  // Stored attribute bits (0 for a file without any), or nullopt when nothing is there.
  std::optional<std::uint32_t> Attributes(const std::string& path) const;
  // The entry's name with its stored letter case, or nullopt.
  std::optional<std::string> StoredName(const std::string& path) const;
  bool AddStream(const std::string& path, const std::string& stream, const std::string& content);
  bool HasStream(const std::string& path, const std::string& stream) const;
  std::optional<std::string> ReadStream(const std::string& path, const std::string& stream) const;
  // The entry's access list, or nullopt when nothing is there.
  std::optional<Acl> AclOf(const std::string& path) const;
  std::optional<SimSecurity> SecurityOf(const std::string& path) const;
  // Gives an entry an owner and its own entries, protected or not, as that owner could; what it
  // inherits is worked out again, and so is what the folders below it inherit. False when nothing
  // is there.
  bool SetSecurity(const std::string& path, const std::string& owner, std::vector<SimAce> explicitEntries,
                   bool isProtected = false);
  // A folder made by another account: missing levels above it as the program would make them, the
  // folder itself owned by `owner`, inheriting as usual, with `explicitEntries` of its own.
  bool MakeFolderAs(const std::string& path, const std::string& owner, std::vector<SimAce> explicitEntries = {});
  // Makes the folder (and missing levels) and marks it as a junction: FILE_ATTRIBUTE_REPARSE_POINT.
  bool MakeJunction(const std::string& path);
  // A symbolic link to a file: an entry marked FILE_ATTRIBUTE_REPARSE_POINT. Whoever opens it
  // without following it finds the link itself, empty; nothing in the program follows one.
  bool MakeFileLink(const std::string& path);
  // CreateHardLink: a second name for the file at `existing`. Both names then count two links;
  // the content is copied, not shared: nothing in the program writes through a second name.
  bool MakeHardLink(const std::string& existing, const std::string& path);
  // nNumberOfLinks: how many names the file has (0 when nothing is there).
  std::uint32_t LinkCount(const std::string& path) const;
  // Removes a file or a folder with everything in it.
  bool Remove(const std::string& path);
  // Every entry at or below `path` (all drives when empty) as full paths in listing order,
  // folders with a trailing backslash.
  std::vector<std::string> Tree(const std::string& path = "") const;

  struct Node;

 private:
  struct Parsed;
  struct Failure {
    FileOp op;
    std::string path;  // normalised and upper-cased
    platform::Status status;
    int times;
  };

  platform::Status Parse(const std::string& path, bool lastMayHaveWildcards, Parsed& out) const;
  Node* Lookup(const Parsed& parsed, platform::Status& status) const;
  Node* Parent(const Parsed& parsed, platform::Status& status) const;
  Node* LookupPath(const std::string& path) const;
  bool Injected(FileOp op, const Parsed& parsed, platform::Status& status);
  // The node a call on `path` works on: parsed (a stream refused), a failure injected for `op`, looked up.
  Node* Target(const std::string& path, FileOp op, Parsed& parsed, platform::Status& status);

  std::map<char, std::unique_ptr<Node>> drives_;
  std::string currentDirectory_;
  std::shared_ptr<std::size_t> openListings_;
  std::vector<Failure> failures_;
  std::vector<std::string> pendingDeletions_;
  std::size_t injectedServed_ = 0;
  // Who owns what the program creates: Administrators, as for an elevated administrator, whose
  // token names that group as the owner of new objects.
  const std::string creatorOwner_ = platform::kSidAdministrators;
};

}  // namespace sim
