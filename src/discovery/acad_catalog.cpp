// The registry scan that fills the release catalogue.
#include "discovery/acad_catalog.h"

#include <string_view>
#include <unordered_map>

#include "platform/machine.h"
#include "platform/text.h"

CAcadCatalog theCatalog;

namespace {

using platform::KeyHandle;
using platform::Registry;
using platform::UniqueKey;

constexpr const char* kAcadLocation = "AcadLocation";
constexpr const char* kProductName = "ProductName";

// RegQueryValueExA and RegEnumKeyExA are given 256-byte buffers: a longer value counts as absent,
// and every key name (255 characters at most) fits.
constexpr std::size_t kValueBufferBytes = 256;
constexpr std::size_t kNameBufferChars = 256;

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

CAcadCatalog::CAcadCatalog() : m_strValueName(kAcadLocation) {}

void CAcadCatalog::Scan() { Scan(platform::CurrentMachine().registry); }

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

    FindValue(registry, release.get(), basePath, kAcadLocation);
    const StringList locationKeys = m_arrFoundKeys;
    const StringList locationValues = m_arrFoundValues;
    FindValue(registry, release.get(), basePath, kProductName);
    FileProducts(pass, locationKeys, locationValues);
  }
}

void CAcadCatalog::FindValue(Registry& registry, KeyHandle releaseKey, const std::string& basePath,
                             const char* valueName) {
  m_arrFoundKeys.clear();
  m_arrFoundValues.clear();
  m_strValueName = valueName;
  std::string relPath;
  CollectValues(registry, releaseKey, std::string(), relPath, basePath);
}

// Joins the locations with the product names found in the same key (m_arrFoundKeys/Values hold the
// names) and files each product under the first year of the pass that its name mentions.
void CAcadCatalog::FileProducts(const Pass& pass, const StringList& locationKeys, const StringList& locationValues) {
  if (locationKeys.empty() || m_arrFoundKeys.empty()) return;
  // One walk never yields a key path twice, so the first name per path is the only one.
  std::unordered_map<std::string_view, std::size_t> nameByKey;
  nameByKey.reserve(m_arrFoundKeys.size());
  for (std::size_t k = 0; k < m_arrFoundKeys.size(); ++k) nameByKey.emplace(m_arrFoundKeys[k], k);

  for (std::size_t j = 0; j < locationKeys.size(); ++j) {
    const auto found = nameByKey.find(locationKeys[j]);
    if (found == nameByKey.end()) continue;  // location and name must come from the same key
    const std::string& productName = m_arrFoundValues[found->second];
    for (int year = kFirstYear; year <= pass.lastYear; ++year) {
      // The year never opens the name ("2010 ..." is not a release name), hence position > 0.
      const std::size_t at = text::FindSubstring(productName, YearText(year));
      if (at == std::string_view::npos || at == 0) continue;
      std::string folder = locationValues[j];
      StripTrailingBackslash(folder);
      m_arrKeyPaths[YearIndex(year)].push_back(locationKeys[j]);
      m_arrLocations[YearIndex(year)].push_back(std::move(folder));
      break;
    }
  }
}

void CAcadCatalog::CollectValues(Registry& registry, KeyHandle parent, const std::string& subKeyName,
                                 std::string& relPath, const std::string& basePath) {
  UniqueKey key;
  if (registry.OpenKey(parent, subKeyName, platform::Access::Read, key) != platform::kSuccess) return;

  {
    platform::RegValue value;
    std::size_t required = 0;
    if (registry.QueryValue(key.get(), m_strValueName, kValueBufferBytes, value, required) == platform::kSuccess) {
      if (FitsKeyPathLimit(basePath, relPath)) {
        std::string keyPath;
        keyPath.reserve(basePath.size() + relPath.size());
        keyPath.append(basePath).append(relPath);
        m_arrFoundKeys.push_back(std::move(keyPath));
        m_arrFoundValues.push_back(platform::ValueText(value));
      }
      return;
    }
  }

  std::uint32_t count = 0;
  if (registry.CountSubKeys(key.get(), count) != platform::kSuccess) return;
  const std::size_t relLength = relPath.size();
  std::string name;
  for (std::uint32_t i = 0; i < count; ++i) {
    name.clear();
    // Skipped, never taken as "": an empty name reopens this key and would recurse without end.
    if (registry.EnumSubKey(key.get(), i, kNameBufferChars, name) != platform::kSuccess || name.empty()) continue;
    relPath.append(name).push_back('\\');
    CollectValues(registry, key.get(), name, relPath, basePath);
    relPath.resize(relLength);
  }
}

void StripTrailingBackslash(std::string& str) {
  const std::size_t last = text::ReverseFind(str, '\\');
  if (last != std::string_view::npos && last > 0 && last + 1 == str.size()) str.pop_back();
}
