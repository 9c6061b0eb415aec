// A simulated Windows registry (ANSI view) with handle accounting and failure injection for tests.
// Values are stored and read back byte for byte: string data without a NUL stays without one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace sim {

// The deepest a key may lie below its root, as on Windows.
inline constexpr std::size_t kMaxKeyDepth = 512;

struct SimValue {
  std::string name;  // as it was set (case preserved)
  platform::RegValue value;
};

// One key. Sub-keys and values are indexed by their upper-cased name, which gives the
// case-insensitive lookup and the case-insensitive sorted enumeration of the real registry.
struct SimKey {
  std::string name;
  std::size_t depth = 0;  // 0 for a root
  bool deleted = false;
  SimKey* parent = nullptr;  // null for a root and for a deleted key
  std::map<std::string, std::shared_ptr<SimKey>> subKeys;
  std::map<std::string, SimValue> values;
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
  platform::Status EnumSubKey(platform::KeyHandle key, std::uint32_t index, std::size_t capacity,
                              std::string& name) override;
  platform::Status QueryValue(platform::KeyHandle key, const std::string& name, std::size_t capacity,
                              platform::RegValue& value, std::size_t& requiredSize) override;
  platform::Status CreateKey(platform::KeyHandle parent, const std::string& subKey, platform::UniqueKey& out) override;
  platform::Status DeleteKey(platform::KeyHandle parent, const std::string& subKey) override;
  platform::Status SetValue(platform::KeyHandle key, const std::string& name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) override;
  void CloseKey(platform::KeyHandle key) override;

  // Accounting: handles opened and not yet closed, and closes of handles that were not open.
  std::size_t OpenHandleCount() const { return handles_.size(); }
  std::size_t BadCloseCount() const { return badCloses_; }

  // Failure injection. Paths are relative to the root, backslash-separated, any letter case;
  // an empty path names the root itself.
  // Opening (or creating) exactly this key fails with kAccessDenied.
  void DenyOpen(platform::RootKey root, const std::string& path, Deny what = Deny::AnyAccess);
  // Reading the name of the sub-key at `index` of this key fails with `status`.
  void FailEnumSubKey(platform::RootKey root, const std::string& path, std::uint32_t index,
                      platform::Status status = platform::kAccessDenied);
  void ClearFailures();

  // Direct access for building fixtures and checking results, without handles.
  // Creates every missing level; false when a name is invalid or too deep.
  bool CreatePath(platform::RootKey root, const std::string& path);
  bool KeyExists(platform::RootKey root, const std::string& path) const;
  // Removes the key and everything below it; false when it does not exist.
  bool DeleteTree(platform::RootKey root, const std::string& path);
  // Creates the key when missing.
  bool Set(platform::RootKey root, const std::string& path, const std::string& name, platform::RegValue value);
  bool SetString(platform::RootKey root, const std::string& path, const std::string& name, const std::string& text);
  bool SetDword(platform::RootKey root, const std::string& path, const std::string& name, std::uint32_t value);
  bool DeleteValue(platform::RootKey root, const std::string& path, const std::string& name);
  std::optional<platform::RegValue> Get(platform::RootKey root, const std::string& path,
                                        const std::string& name) const;
  // REG_SZ-style text of a value (up to its first NUL), or nullopt when the value is missing.
  std::optional<std::string> GetString(platform::RootKey root, const std::string& path,
                                       const std::string& name) const;
  // Sub-key names in enumeration order; empty when the key does not exist.
  std::vector<std::string> SubKeyNames(platform::RootKey root, const std::string& path) const;

  const SimKey& Root(platform::RootKey root) const;
  // The key at `path`, or null.
  const SimKey* Find(platform::RootKey root, const std::string& path) const;

 private:
  struct Handle {
    std::shared_ptr<SimKey> key;
    platform::RootKey root;
    std::string path;  // from the root, as opened (for failure matching)
    bool writable;
  };
  struct Resolved {
    std::shared_ptr<SimKey> key;
    std::string path;
  };

  platform::Status Lookup(platform::KeyHandle handle, Handle*& out);
  platform::Status Walk(const Handle& from, const std::string& subKey, bool create, Resolved& out);
  platform::KeyHandle NewHandle(std::shared_ptr<SimKey> key, platform::RootKey root, std::string path,
                                bool writable);
  bool Denied(platform::RootKey root, const std::string& path, bool write) const;
  std::shared_ptr<SimKey> FindShared(platform::RootKey root, const std::string& path) const;

  std::shared_ptr<SimKey> localMachine_;
  std::shared_ptr<SimKey> currentUser_;
  std::map<platform::KeyHandle, Handle> handles_;
  platform::KeyHandle nextHandle_ = 0x1000;
  std::size_t badCloses_ = 0;

  struct DenyRule {
    platform::RootKey root;
    std::string path;  // upper-cased, no leading or trailing backslash
    Deny what;
  };
  struct EnumRule {
    platform::RootKey root;
    std::string path;
    std::uint32_t index;
    platform::Status status;
  };
  std::vector<DenyRule> denyRules_;
  std::vector<EnumRule> enumRules_;
};

// The upper-cased form of a key path used to compare paths: backslashes collapsed at both ends.
std::string FoldKeyPath(const std::string& path);

}  // namespace sim
