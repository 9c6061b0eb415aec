// Reading the Apps & features entry, and comparing versions.
#include "records/installed.h"

#include <cstdint>
#include <optional>

#include "records/addon_names.h"

namespace install {
namespace {

// The numbers of a dotted version, each none when it is not a number (or too large to be one).
std::vector<std::optional<std::uint32_t>> Parts(std::u8string_view version) {
  std::vector<std::optional<std::uint32_t>> parts;
  for (std::size_t start = 0;;) {
    const std::size_t dot = std::min(version.find(u8'.', start), version.size());
    const std::u8string_view item = version.substr(start, dot - start);
    std::optional<std::uint32_t> number = item.empty() || item.size() > 9 ? std::nullopt : std::optional<std::uint32_t>(0);
    for (const char8_t c : item) {
      if (!number || c < u8'0' || c > u8'9') {
        number.reset();
        break;
      }
      *number = *number * 10 + static_cast<std::uint32_t>(c - u8'0');
    }
    parts.push_back(number);
    if (dot == version.size()) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

InstalledEntry ReadInstalledEntry(platform::Registry& registry) {
  InstalledEntry entry;
  platform::UniqueKey root;
  platform::UniqueKey key;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      registry.OpenKey(root.get(), kUninstallKeyPath, platform::Access::Read, key) != platform::kSuccess) {
    return entry;
  }
  platform::RegValue value;
  if (platform::QueryWholeValue(registry, key.get(), kInstallLocationValue, value) == platform::kSuccess &&
      (value.type == platform::kRegSz || value.type == platform::kRegExpandSz)) {
    entry.folder = platform::ValueText(value);
  }
  std::uint32_t type = platform::kRegNone;
  std::u8string version;
  if (registry.QueryTextW(key.get(), u8"DisplayVersion", type, version) == platform::kSuccess &&
      type == platform::kRegSz) {
    entry.version = version;
  }
  return entry;
}

std::string InstalledChosenFolder(const InstalledEntry& entry) {
  const std::string suffix = std::string("\\") + kInstallSubfolder;
  const std::string& folder = entry.folder;
  if (folder.size() <= suffix.size() + 2 || folder.compare(folder.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return {};
  }
  std::string chosen = folder.substr(0, folder.size() - suffix.size());
  if (chosen.size() == 2 && chosen[1] == ':') chosen += '\\';  // a drive root keeps its backslash
  return chosen;
}

int CompareVersions(std::u8string_view a, std::u8string_view b) {
  const auto left = Parts(a);
  const auto right = Parts(b);
  for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    const std::optional<std::uint32_t> x = i < left.size() ? left[i] : std::optional<std::uint32_t>(0);
    const std::optional<std::uint32_t> y = i < right.size() ? right[i] : std::optional<std::uint32_t>(0);
    if (x == y) continue;
    if (!x) return -1;
    if (!y) return 1;
    return *x < *y ? -1 : 1;
  }
  return 0;
}

}  // namespace install
