// The catalogue of installed AutoCAD products by release year, filled once from the registry.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "discovery/release_years.h"
#include "platform/registry.h"

using StringList = std::vector<std::string>;
using YearLists = std::array<StringList, static_cast<std::size_t>(kYearCount)>;

class CAcadCatalog {
 public:
  CAcadCatalog();

  // Files every AutoCAD product found under HKEY_LOCAL_MACHINE: the 32-bit view first, then the
  // native one. Reports nothing; whatever cannot be read is skipped. Only appends, so call it once.
  void Scan();
  void Scan(platform::Registry& registry);

  std::string m_strInstallFolder;  // the add-on's folder, set by the install sequence
  YearLists m_arrLocations;        // per year: AutoCAD folders, no trailing backslash
  YearLists m_arrKeyPaths;         // per year: product key paths under HKLM, ending in a backslash
  std::string m_strValueName;      // the value CollectValues looks for
  StringList m_arrFoundKeys;       // CollectValues' findings: key paths...
  StringList m_arrFoundValues;     // ...and the value text found in each

 private:
  struct Pass;
  void ScanWow64(platform::Registry& registry);
  void ScanNative(platform::Registry& registry);
  void ScanPass(platform::Registry& registry, const Pass& pass);
  void FindValue(platform::Registry& registry, platform::KeyHandle releaseKey, const std::string& basePath,
                 const char* valueName);
  void FileProducts(const Pass& pass, const StringList& locationKeys, const StringList& locationValues);
  // Depth-first walk from `subKeyName` under `parent`, stopping at keys that hold m_strValueName.
  // `relPath` is the key's path below the release key; it is one buffer shared by the whole walk
  // (extended and cut back around each child) so that a deep tree costs no string copies per level.
  void CollectValues(platform::Registry& registry, platform::KeyHandle parent, const std::string& subKeyName,
                     std::string& relPath, const std::string& basePath);
};

// Removes the last character when it is a backslash (a character of its own, not a trail byte)
// and not the first character.
void StripTrailingBackslash(std::string& str);

extern CAcadCatalog theCatalog;
