// The registry scan that fills the release catalogue.
#include "discovery/acad_catalog.h"

#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

CAcadCatalog theCatalog;

namespace {

using platform::Registry;
using platform::UniqueKey;

constexpr const char* kAcadLocation = "AcadLocation";
constexpr const char* kProductName = "ProductName";

// RegQueryValueExA is given a 256-byte buffer: a longer value counts as absent. RegEnumKeyExA's
// buffer holds every key name Windows allows: 255 characters, up to two bytes each in a
// double-byte code page.
constexpr std::size_t kValueBufferBytes = 256;
constexpr std::size_t kNameBufferChars = 2 * platform::kMaxKeyNameChars + 1;

// The registry nests keys at most 512 levels deep. A link key may point back at a key above it
// (...\R97.0\ACAD-X\loop -> ...\R97.0), and a walk through it would never reach a bottom: the
// walk goes no deeper than the registry itself could.
constexpr std::size_t kMaxWalkDepth = 512;

// A filed key path is opened later from HKLM in one call. The kernel counts a full key name
// ("\REGISTRY\MACHINE\" + path) in a 16-bit byte length, i.e. at most 32767 UTF-16 units; a path
// that cannot be opened that way is left out rather than filed cut short.
constexpr std::size_t kMachinePrefixChars = 18;
constexpr std::size_t kMaxKeyPathChars = 32767 - kMachinePrefixChars;

// Characters, not bytes: a double-byte character is one UTF-16 unit.
bool FitsKeyPathLimit(std::string_view basePath, std::string_view relPath) {
  if (basePath.size() + relPath.size() <= kMaxKeyPathChars) return true;
  std::size_t chars = 0;
  for (std::string_view part : {basePath, relPath}) {
    for (std::size_t i = 0; i < part.size(); ++i, ++chars) {
      if (text::IsLeadByte(static_cast<unsigned char>(part[i])) && i + 1 < part.size()) ++i;
    }
  }
  return chars <= kMaxKeyPathChars;
}

std::string YearText(int year) { return std::to_string(year); }

}  // namespace

struct CAcadCatalog::Pass {
  const char* root;    // under HKEY_LOCAL_MACHINE
  const char* prefix;  // root + backslash: key paths are filed with it
  int lastYear;        // years kFirstYear..lastYear are filed
};

CAcadCatalog::CAcadCatalog() = default;

void CAcadCatalog::Scan(Registry& registry) {
  // The 32-bit view first, so that its 2007 and 2008 products lead those years' lists.
  ScanWow64(registry);
  ScanNative(registry);
}

void CAcadCatalog::ScanWow64(Registry& registry) {
  // Only 2007 and 2008 were 32-bit-only releases; a later 32-bit product has a 64-bit twin.
  static const Pass pass{"SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD", "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\",
                         2008};
  ScanPass(registry, pass);
}

void CAcadCatalog::ScanNative(Registry& registry) {
  static const Pass pass{"SOFTWARE\\Autodesk\\AutoCAD", "SOFTWARE\\Autodesk\\AutoCAD\\", kLastYear};
  ScanPass(registry, pass);
}

void CAcadCatalog::ScanPass(Registry& registry, const Pass& pass) {
  UniqueKey machine;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, machine) != platform::kSuccess) return;
  UniqueKey root;
  if (registry.OpenKey(machine.get(), pass.root, platform::Access::Read, root) != platform::kSuccess) return;
  std::uint32_t releaseCount = 0;
  if (registry.CountSubKeys(root.get(), releaseCount) != platform::kSuccess) return;

  std::string releaseName;
  std::string basePath;
  Findings locations;
  Findings names;
  for (std::uint32_t i = 0; i < releaseCount; ++i) {
    releaseName.clear();
    // An unreadable name is skipped: used as "" it would reopen the root itself.
    if (registry.EnumSubKey(root.get(), i, kNameBufferChars, releaseName) != platform::kSuccess ||
        releaseName.empty()) {
      continue;
    }
    basePath.assign(pass.prefix).append(releaseName).push_back('\\');

    UniqueKey release;
    if (registry.OpenKey(root.get(), releaseName, platform::Access::Read, release) != platform::kSuccess) continue;

    locations = {};
    names = {};
    CollectValues(registry, std::move(release), basePath, locations, names);
    FileProducts(pass, locations, names);
  }
}

// Joins the locations with the product names found in the same key and files each product under
// the first year of the pass that its name mentions.
void CAcadCatalog::FileProducts(const Pass& pass, const Findings& locations, const Findings& names) {
  if (locations.keys.empty() || names.keys.empty()) return;
  // One walk never yields a key path twice, so the first name per path is the only one. A release
  // key holds a handful of products: a tree finds them as fast as a hash table would, and SetUp.exe
  // has std::map's code anyway, where a hash table would add its own (3.5 KB).
  std::map<std::string_view, std::size_t> nameByKey;
  for (std::size_t k = 0; k < names.keys.size(); ++k) nameByKey.emplace(names.keys[k], k);

  for (std::size_t j = 0; j < locations.keys.size(); ++j) {
    const auto found = nameByKey.find(locations.keys[j]);
    if (found == nameByKey.end()) continue;  // location and name must come from the same key
    const std::string& productName = names.values[found->second];
    for (int year = kFirstYear; year <= pass.lastYear; ++year) {
      // The year never opens the name ("2010 ..." is not a release name), hence position > 0.
      const std::size_t at = text::FindSubstring(productName, YearText(year));
      if (at == std::string_view::npos || at == 0) continue;
      std::string folder = locations.values[j];
      StripTrailingBackslash(folder);
      m_arrKeyPaths[YearIndex(year)].push_back(locations.keys[j]);
      m_arrLocations[YearIndex(year)].push_back(std::move(folder));
      break;
    }
  }
}

void CAcadCatalog::CollectValues(Registry& registry, UniqueKey releaseKey, const std::string& basePath,
                                 Findings& locations, Findings& names) {
  // One open key on the way down: its sub-keys still to visit and what is still looked for below it.
  struct Level {
    UniqueKey key;
    std::uint32_t count = 0;
    std::uint32_t next = 0;
    std::size_t relLength = 0;  // relPath's length at this key
    bool wantLocation = true;
    bool wantName = true;
  };
  // The key's path below the release key, one buffer for the whole walk (extended and cut back
  // around each child), so that a deep tree costs no string copies per level.
  std::string relPath;
  std::vector<Level> levels;

  // Looks for what is still wanted in `key`, records what it holds, and goes on below it while
  // something is still missing (and the registry could nest that deep).
  const auto visit = [&](UniqueKey key, bool wantLocation, bool wantName) {
    const auto look = [&](const char* valueName, bool& wanted, Findings& findings) {
      if (!wanted) return;
      platform::RegValue value;
      std::size_t required = 0;
      if (registry.QueryValue(key.get(), valueName, kValueBufferBytes, value, required) != platform::kSuccess) return;
      wanted = false;
      if (!FitsKeyPathLimit(basePath, relPath)) return;
      std::string keyPath;
      keyPath.reserve(basePath.size() + relPath.size());
      keyPath.append(basePath).append(relPath);
      findings.keys.push_back(std::move(keyPath));
      findings.values.push_back(platform::ValueText(value));
    };
    look(kAcadLocation, wantLocation, locations);
    look(kProductName, wantName, names);
    if (!wantLocation && !wantName) return;
    if (levels.size() >= kMaxWalkDepth) return;
    std::uint32_t count = 0;
    if (registry.CountSubKeys(key.get(), count) != platform::kSuccess || count == 0) return;
    levels.push_back(Level{std::move(key), count, 0, relPath.size(), wantLocation, wantName});
  };

  visit(std::move(releaseKey), true, true);

  std::string name;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next >= level.count) {
      relPath.resize(level.relLength);
      levels.pop_back();
      continue;
    }
    const std::uint32_t index = level.next++;
    name.clear();
    // Skipped, never taken as "": an empty name reopens this key and would visit it again.
    if (registry.EnumSubKey(level.key.get(), index, kNameBufferChars, name) != platform::kSuccess || name.empty()) {
      continue;
    }
    UniqueKey child;
    if (registry.OpenKey(level.key.get(), name, platform::Access::Read, child) != platform::kSuccess) continue;
    relPath.resize(level.relLength);
    relPath.append(name).push_back('\\');
    // `level` may move when the next level is pushed: take what is needed first.
    const bool wantLocation = level.wantLocation;
    const bool wantName = level.wantName;
    visit(std::move(child), wantLocation, wantName);
  }
}

void StripTrailingBackslash(std::string& str) {
  const std::size_t last = text::ReverseFind(str, '\\');
  if (last != std::string_view::npos && last > 0 && last + 1 == str.size()) str.pop_back();
}
