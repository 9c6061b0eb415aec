// A simulated Windows registry with handle accounting and failure injection for tests.
// Names are Unicode, as in the real registry, and the ANSI functions see them in code page 936
// (a character it lacks as '?'). Data written through the ANSI functions read back through them
// byte for byte: string data without a NUL stays without one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace sim {

// The deepest a key may lie below its root, as on Windows.
inline constexpr std::size_t kMaxKeyDepth = 512;
// The links one walk may pass through; past that it fails with kFileNotFound. Windows, too, stops
// after a bounded number of reparses, so that a loop of links ends in a failure, not a hang.
inline constexpr int kMaxLinksPerWalk = 32;

struct SimValue {
  std::u8string name;  // as it was set (case preserved)
  platform::RegValue value;
  // String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) written through the wide functions: `value.data`
  // then holds its UTF-8 form, which the ANSI functions hand out converted. Otherwise the bytes are
  // exactly those the ANSI functions were given.
  bool unicode = false;
};

// A root of the simulated registry: the two that the program opens by platform::RootKey, and
// HKEY_USERS (kUsers), which it reaches only through OpenUsersRoot. Converts from a RootKey, so
// that fixtures name the program's roots as the program does.
class RegRoot {
 public:
  // Implicit on purpose: every RootKey is a RegRoot.
  constexpr RegRoot(platform::RootKey root)
      : index_(root == platform::RootKey::LocalMachine ? 0 : 1) {}
  static constexpr RegRoot Users() { return RegRoot(2); }
  constexpr bool operator==(const RegRoot&) const = default;
  constexpr int index() const { return index_; }

 private:
  explicit constexpr RegRoot(int index) : index_(index) {}
  int index_;
};
inline constexpr RegRoot kUsers = RegRoot::Users();

// Where a link key leads: a key path below a root, as its "SymbolicLinkValue" names it.
struct SimLink {
  RegRoot root;
  std::u8string path;
};

// One key. Sub-keys and values are indexed by their upper-cased name in UTF-16, which gives the
// case-insensitive lookup and the enumeration order of the real registry.
struct SimKey {
  std::u8string name;
  std::size_t depth = 0;  // 0 for a root
  bool deleted = false;
  SimKey* parent = nullptr;  // null for a root and for a deleted key
  // A link key (REG_LINK) has no sub-keys of its own: a walk through it goes on at the target.
  std::optional<SimLink> link;
  std::map<std::u16string, std::shared_ptr<SimKey>> subKeys;
  std::map<std::u16string, SimValue> values;
};

// What DenyOpen refuses.
enum class Deny { AnyAccess, WriteAccess };

class SimRegistry final : public platform::Registry {
 public:
  SimRegistry();

  // platform::Registry
  platform::Status OpenRoot(platform::RootKey root, platform::UniqueKey& out) override;
  platform::Status OpenKey(platform::KeyHandle parent, const std::string& subKey, platform::Access access,
                           platform::UniqueKey& out) override;
  platform::Status CountSubKeys(platform::KeyHandle key, std::uint32_t& count) override;
  platform::Status CountValues(platform::KeyHandle key, std::uint32_t& count) override;
  platform::Status EnumValue(platform::KeyHandle key, std::uint32_t index, std::string& name,
                             platform::RegValue& value) override;
  platform::Status EnumSubKey(platform::KeyHandle key, std::uint32_t index, std::size_t capacity,
                              std::string& name) override;
  platform::Status QueryValue(platform::KeyHandle key, const std::string& name, std::size_t capacity,
                              platform::RegValue& value, std::size_t& requiredSize) override;
  platform::Status CreateKey(platform::KeyHandle parent, const std::string& subKey, platform::UniqueKey& out) override;
  platform::Status DeleteKey(platform::KeyHandle parent, const std::string& subKey) override;
  platform::Status SetValue(platform::KeyHandle key, const std::string& name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) override;
  [[nodiscard]] platform::Status DeleteValue(platform::KeyHandle key, const std::string& name) override;
  void CloseKey(platform::KeyHandle key) override;
  [[nodiscard]] platform::Status OpenKeyW(platform::KeyHandle parent, std::u8string_view subKey,
                                          platform::Access access, platform::UniqueKey& out) override;
  [[nodiscard]] platform::Status EnumSubKeyW(platform::KeyHandle key, std::uint32_t index,
                                             std::u8string& name) override;
  [[nodiscard]] platform::Status QueryTextW(platform::KeyHandle key, std::u8string_view name, std::uint32_t& type,
                                            std::u8string& text) override;
  [[nodiscard]] platform::Status CreateKeyW(platform::KeyHandle parent, std::u8string_view subKey,
                                            platform::UniqueKey& out) override;
  [[nodiscard]] platform::Status SetTextW(platform::KeyHandle key, std::u8string_view name, std::uint32_t type,
                                          std::u8string_view text) override;
  [[nodiscard]] platform::Status OpenUsersRoot(platform::UniqueKey& out) override;
  [[nodiscard]] platform::Status LoadHive(std::u8string_view name, std::u8string_view file) override;
  [[nodiscard]] platform::Status UnloadHive(std::u8string_view name) override;

  // Hive files: a key tree kept under a file path (any letter case), as a user's NTUSER.DAT keeps
  // that user's settings while nobody has them loaded. They live beside the file system, which
  // knows nothing of them.
  // RegSaveKeyW: a copy of the key and everything below it becomes the hive file `file`;
  // kAlreadyExists when that file exists, kFileNotFound when the key does not.
  platform::Status SaveKey(RegRoot root, const std::u8string& path, const std::u8string& file);
  // What signing in does: the hive file is loaded as HKEY_USERS\<name> by the system, which holds
  // it: the program's UnloadHive of it is refused, and its LoadHive of the file meets a sharing
  // violation. False when the file does not exist, is loaded already or the name is taken.
  bool MountHive(const std::u8string& file, const std::u8string& name);
  // The running account's hive: HKEY_USERS\<sid> is HKEY_CURRENT_USER, and `file` is held by it.
  bool MountCurrentUser(const std::u8string& sid, const std::u8string& file);
  // Loading this hive file fails with `status` (held by a service, damaged, a roaming profile's
  // copy that is not on this machine), whether or not the file exists.
  void FailLoadHive(const std::u8string& file, platform::Status status);
  // Hives that LoadHive loaded and UnloadHive has not unloaded yet.
  std::size_t LoadedHiveCount() const;
  bool HiveFileExists(const std::u8string& file) const;

  // Accounting: handles opened and not yet closed, and closes of handles that were not open.
  std::size_t OpenHandleCount() const { return handles_.size(); }
  std::size_t BadCloseCount() const { return badCloses_; }

  // Failure injection, for both families of functions. Paths are relative to the root,
  // backslash-separated, any letter case; an empty path names the root itself.
  // Opening (or creating) exactly this key fails with kAccessDenied.
  void DenyOpen(RegRoot root, const std::string& path, Deny what = Deny::AnyAccess);
  // Reading the name of the sub-key at `index` of this key fails with `status`.
  void FailEnumSubKey(RegRoot root, const std::string& path, std::uint32_t index,
                      platform::Status status = platform::kAccessDenied);
  void ClearFailures();

  // Direct access for building fixtures and checking results, without handles. Paths and names
  // are ANSI (code page 936) unless they are std::u8string; paths through a link lead to its target.
  // Creates every missing level; false when a name is invalid or too deep.
  bool CreatePath(RegRoot root, const std::string& path);
  bool KeyExists(RegRoot root, const std::string& path) const;
  // Removes the key and everything below it; false when it does not exist.
  bool DeleteTree(RegRoot root, const std::string& path);
  // Creates the key when missing. The value's bytes are the ANSI functions' bytes.
  bool Set(RegRoot root, const std::string& path, const std::string& name, platform::RegValue value);
  bool SetString(RegRoot root, const std::string& path, const std::string& name, const std::string& text);
  bool SetDword(RegRoot root, const std::string& path, const std::string& name, std::uint32_t value);
  // Unicode text, as RegSetValueExW stores it (REG_SZ or REG_EXPAND_SZ); creates the key when missing.
  bool SetString(RegRoot root, const std::u8string& path, const std::u8string& name,
                 const std::u8string& text, std::uint32_t type = platform::kRegSz);
  // The .reg loader's forms: Unicode names; string data in UTF-8 when `unicode`, else ANSI bytes.
  bool CreatePath(RegRoot root, const std::u8string& path);
  bool DeleteTree(RegRoot root, const std::u8string& path);
  bool Set(RegRoot root, const std::u8string& path, const std::u8string& name, platform::RegValue value,
           bool unicode);
  bool DeleteValue(RegRoot root, const std::u8string& path, const std::u8string& name);
  bool DeleteValue(RegRoot root, const std::string& path, const std::string& name);
  // The value as the ANSI functions read it.
  std::optional<platform::RegValue> Get(RegRoot root, const std::string& path,
                                        const std::string& name) const;
  std::optional<platform::RegValue> Get(RegRoot root, const std::u8string& path,
                                        const std::u8string& name) const;
  // REG_SZ-style text of a value (up to its first NUL), or nullopt when the value is missing.
  std::optional<std::string> GetString(RegRoot root, const std::string& path,
                                       const std::string& name) const;
  // The text of a REG_SZ or REG_EXPAND_SZ value as the wide functions read it; nullopt when the
  // value is missing or of another type.
  std::optional<std::u8string> GetString(RegRoot root, const std::u8string& path,
                                         const std::u8string& name) const;
  // Sub-key names in enumeration order, as the ANSI functions name them; empty when the key does not exist.
  std::vector<std::string> SubKeyNames(RegRoot root, const std::string& path) const;
  // Value names (ANSI) in the order of their upper-cased names.
  std::vector<std::string> ValueNames(RegRoot root, const std::string& path) const;
  // A link key at `path` (whose parent levels are created when missing) leading to the key at
  // `targetPath`, as RegCreateKeyExW with REG_OPTION_CREATE_LINK and a "SymbolicLinkValue" make
  // one. The target need not exist yet, and may be an ancestor of the link. False when `path`
  // exists already or a name is invalid.
  bool CreateLink(RegRoot root, const std::string& path, RegRoot targetRoot,
                  const std::string& targetPath);

  const SimKey& Root(RegRoot root) const;
  // The key at `path`, or null.
  const SimKey* Find(RegRoot root, const std::string& path) const;

 private:
  // A key as a walk reached it: where it really lies, which differs from the path walked when a
  // link was passed.
  struct Place {
    std::shared_ptr<SimKey> key;
    RegRoot root = platform::RootKey::LocalMachine;
    std::u8string path;  // from the root (for failure matching)
  };
  struct Handle {
    Place place;
    bool writable = false;
  };
  struct HiveFile {
    std::shared_ptr<SimKey> root;  // null: no such file (a failure may still be set for it)
    std::u16string mountedAs;      // folded name under HKEY_USERS while loaded; empty otherwise
    bool loadedByProgram = false;  // by LoadHive, as opposed to a sign-in
    platform::Status failLoad = platform::kSuccess;
  };

  platform::Status Lookup(platform::KeyHandle handle, Handle*& out);
  platform::Status Walk(const Place& from, std::u8string_view subKey, Place& reached,
                        std::vector<std::u8string>& missing) const;
  platform::Status Enter(Place& at, const std::shared_ptr<SimKey>& child, int& links) const;
  platform::Status FollowLink(const SimLink& link, int& links, Place& out) const;
  static platform::Status CreateMissing(Place& at, const std::vector<std::u8string>& missing);
  Place RootPlace(RegRoot root) const;
  const std::shared_ptr<SimKey>& RootKeyOf(RegRoot root) const;
  HiveFile* FindHiveFile(std::u8string_view file);
  HiveFile* MountedHive(const std::u16string& foldedName);
  void Mount(HiveFile& hive, std::u8string_view name, bool byProgram);
  bool HandleInHive(const std::u16string& foldedName) const;
  platform::KeyHandle NewHandle(Place place, bool writable);
  bool Denied(RegRoot root, std::u8string_view path, bool write) const;
  std::shared_ptr<SimKey> FindShared(RegRoot root, std::u8string_view path) const;
  // The two families share these; names and paths are Unicode here.
  platform::Status OpenKeyU(platform::KeyHandle parent, std::u8string_view subKey, platform::Access access,
                            platform::UniqueKey& out);
  platform::Status EnumSubKeyU(platform::KeyHandle key, std::uint32_t index, const SimKey*& found);
  platform::Status FindValue(platform::KeyHandle key, std::u8string_view name, const SimValue*& found);
  platform::Status CreateKeyU(platform::KeyHandle parent, std::u8string_view subKey, platform::UniqueKey& out);
  platform::Status SetValueU(platform::KeyHandle key, std::u8string_view name, platform::RegValue value, bool unicode);

  std::shared_ptr<SimKey> localMachine_;
  std::shared_ptr<SimKey> currentUser_;
  std::shared_ptr<SimKey> users_;
  std::map<std::u16string, HiveFile> hiveFiles_;  // by the folded file path
  std::map<platform::KeyHandle, Handle> handles_;
  platform::KeyHandle nextHandle_ = 0x1000;
  std::size_t badCloses_ = 0;

  struct DenyRule {
    RegRoot root;
    std::u8string path;  // folded (FoldKeyPath)
    Deny what;
  };
  struct EnumRule {
    RegRoot root;
    std::u8string path;
    std::uint32_t index;
    platform::Status status;
  };
  std::vector<DenyRule> denyRules_;
  std::vector<EnumRule> enumRules_;
};

}  // namespace sim
