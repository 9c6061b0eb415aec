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
  void Scan(platform::Registry& registry);

  std::string m_strInstallFolder;  // the add-on's folder, set by the install sequence
  YearLists m_arrLocations;        // per year: AutoCAD folders, no trailing backslash
  YearLists m_arrKeyPaths;         // per year: product key paths under HKLM, ending in a backslash

 private:
  struct Pass;
  // The keys below one release key that hold a value, and the value's text in each, in walk order.
  struct Findings {
    StringList keys;
    StringList values;
  };
  void ScanWow64(platform::Registry& registry);
  void ScanNative(platform::Registry& registry);
  void ScanPass(platform::Registry& registry, const Pass& pass);
  void FileProducts(const Pass& pass, const Findings& locations, const Findings& names);
  // One depth-first walk of the keys below `releaseKey` that gathers "AcadLocation" and
  // "ProductName" alike: each value is looked for until a key on the way down holds it, and the
  // keys below that one are not searched for it again.
  static void CollectValues(platform::Registry& registry, platform::UniqueKey releaseKey, const std::string& basePath,
                            Findings& locations, Findings& names);
};

// Removes the last character when it is a backslash (a character of its own, not a trail byte)
// and not the first character.
void StripTrailingBackslash(std::string& str);

extern CAcadCatalog theCatalog;
