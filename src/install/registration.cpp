// Registration with AutoCAD: the demand-load keys under HKLM and "TRUSTEDPATHS" under HKCU.
#include "install/registration.h"

#include <string_view>
#include <vector>

#include "install/install_texts.h"
#include "install/path_limits.h"
#include "install/trusted_paths.h"

namespace {

using platform::Access;
using platform::KeyHandle;
using platform::Registry;
using platform::RootKey;
using platform::UniqueKey;

// AutoCAD's demand-load values: LOADCTRLS 2 loads the module at start-up.
constexpr std::uint32_t kLoadOnStartup = 2;
constexpr std::uint32_t kManagedModule = 1;

constexpr const char* kAcadUserRoot = "SOFTWARE\\Autodesk\\AutoCAD";
// How keys are named to the user: the way regedit shows them.
constexpr const char* kLocalMachineName = "HKEY_LOCAL_MACHINE";
constexpr const char* kCurrentUserName = "HKEY_CURRENT_USER";
constexpr const char* kTrustedPathsValue = "TRUSTEDPATHS";
// RegEnumKeyExA's name buffer: every key name (255 characters at most) fits.
constexpr std::size_t kKeyNameCapacity = platform::kMaxKeyNameChars + 1;

// The 64-bit 2009 product also loads the 2008 module, which the add-on ships for that release's
// 64-bit edition; the 2008 key is written beside the 2009 one.
constexpr int kBitnessWithExtraArx = 64;
constexpr int kReleaseWithExtraArx = 2009;
constexpr int kExtraArxYear = 2008;

struct YearRow {
  int release;
  ModuleYears modules;
};
constexpr YearRow kModuleYears[] = {
    {2007, {2008, 2007}}, {2008, {2008, 2007}}, {2009, {2009, 2009}}, {2010, {2010, 2010}},
    {2011, {2010, 2010}}, {2012, {2010, 2010}}, {2013, {2013, 2013}}, {2014, {2013, 2013}},
    {2015, {2015, 2013}}, {2016, {2015, 2013}}, {2017, {2017, 2013}}, {2018, {2018, 2013}},
    {2019, {2019, 2013}}, {2020, {2019, 2013}}, {2021, {2021, 2013}}, {2022, {2021, 2013}},
    {2023, {2021, 2013}}, {2024, {2021, 2013}}, {2025, {2025, 2013}}, {2026, {2025, 2013}},
};
static_assert(std::size(kModuleYears) == static_cast<std::size_t>(kYearCount), "one row per served release");

struct LoadValue {
  const char* name;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

std::string ArxKeyName(int year) { return "Applications\\VX_ZurezUvad" + std::to_string(year); }
std::string ArxLoader(const std::string& installFolder, int moduleYear) {
  return installFolder + "\\VX_ZurezUvad" + std::to_string(moduleYear) + ".ARX";
}
std::string ManagedKeyName(int year) { return "Applications\\Vornex" + std::to_string(year) + "DLLP"; }
std::string ManagedLoader(const std::string& acadFolder, int moduleYear) {
  return acadFolder + "\\VXCAD" + std::to_string(moduleYear) + "P.dll";
}

// "<root>\<path>" as regedit names it, from a catalogue key path that ends in a backslash.
std::string FullKeyName(const char* root, std::string path) {
  StripTrailingBackslash(path);
  return path.empty() ? std::string(root) : std::string(root) + "\\" + path;
}

// Replaces the load key `keyName` of an open product key by one that holds exactly `values`.
// A loader path that AutoCAD could not open (over 259 characters) leaves the key as it was,
// rather than registering a path cut short or a key without its module. `productName` names the
// product key in `issues`.
void WriteLoadKey(Registry& registry, KeyHandle product, const std::string& productName, const std::string& keyName,
                  const std::string& loader, std::vector<LoadValue> values, install::InstallIssues* issues) {
  const std::string fullName = productName + "\\" + keyName;
  if (!FitsMaxPath(loader)) {
    install::Report(issues, fullName, install::kIssueTooLong);
    return;
  }
  values.push_back({"LOADER", platform::kRegSz, platform::SzData(loader)});
  // Deleting first drops whatever an older key held; a key with sub-keys of its own stays, and
  // its values are then set over the old ones.
  registry.DeleteKey(product, keyName);
  UniqueKey key;
  if (registry.CreateKey(product, keyName, key) != platform::kSuccess) {
    install::Report(issues, fullName);
    return;
  }
  // Every value is still tried: AutoCAD may make do with some of them.
  bool allSet = true;
  for (const LoadValue& value : values) {
    if (registry.SetValue(key.get(), value.name, value.type, value.data) != platform::kSuccess) allSet = false;
  }
  if (!allSet) install::Report(issues, fullName);
}

// The old "TRUSTEDPATHS" text of one profile. False when it cannot be told (the key or the
// value exists but cannot be read): the profile is then left alone rather than overwritten.
bool ReadTrustedPaths(Registry& registry, KeyHandle user, const std::string& variablesPath, std::string& text) {
  text.clear();
  UniqueKey variables;
  const platform::Status opened = registry.OpenKey(user, variablesPath, Access::Read, variables);
  if (opened == platform::kFileNotFound) return true;
  if (opened != platform::kSuccess) return false;
  platform::RegValue value;
  const platform::Status read = platform::QueryWholeValue(registry, variables.get(), kTrustedPathsValue, value);
  if (read == platform::kFileNotFound) return true;
  if (read != platform::kSuccess) return false;
  // Only text can hold paths; a value of another type has none worth keeping.
  if (value.type == platform::kRegSz || value.type == platform::kRegExpandSz) text = platform::ValueText(value);
  return true;
}

// "<base>\<name>" with one trailing backslash dropped, then `suffix`.
std::string ChildPath(const std::string& base, const std::string& name, const char* suffix) {
  std::string path = base + "\\" + name;
  StripTrailingBackslash(path);
  return path + suffix;
}

}  // namespace

std::optional<ModuleYears> FindModuleYears(int releaseYear) {
  for (const YearRow& row : kModuleYears) {
    if (row.release == releaseYear) return row.modules;
  }
  return std::nullopt;
}

void RegisterWithAcad(const CAcadCatalog& catalog, const ReleaseFlags& flags, int bitness,
                      platform::Machine& machine, install::InstallIssues* issues) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] != 0) RegisterRelease(catalog, year, bitness, machine, issues);
  }
  AddTrustedPath(catalog, machine, issues);
}

void RegisterRelease(const CAcadCatalog& catalog, int releaseYear, int bitness, platform::Machine& machine,
                     install::InstallIssues* issues) {
  const std::optional<ModuleYears> modules = FindModuleYears(releaseYear);
  if (!modules) return;
  Registry& registry = machine.registry;
  const StringList& keyPaths = catalog.m_arrKeyPaths[YearIndex(releaseYear)];
  const StringList& locations = catalog.m_arrLocations[YearIndex(releaseYear)];

  UniqueKey localMachine;
  if (registry.OpenRoot(RootKey::LocalMachine, localMachine) != platform::kSuccess) {
    for (const std::string& keyPath : keyPaths) install::Report(issues, FullKeyName(kLocalMachineName, keyPath));
    return;
  }

  for (std::size_t i = 0; i < keyPaths.size(); ++i) {
    const std::string productName = FullKeyName(kLocalMachineName, keyPaths[i]);
    UniqueKey product;
    if (registry.OpenKey(localMachine.get(), keyPaths[i], Access::ReadWrite, product) != platform::kSuccess) {
      install::Report(issues, productName);
      continue;
    }

    WriteLoadKey(registry, product.get(), productName, ArxKeyName(releaseYear),
                 ArxLoader(catalog.m_strInstallFolder, modules->arx),
                 {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)}}, issues);
    if (bitness == kBitnessWithExtraArx && releaseYear == kReleaseWithExtraArx) {
      WriteLoadKey(registry, product.get(), productName, ArxKeyName(kExtraArxYear),
                   ArxLoader(catalog.m_strInstallFolder, kExtraArxYear),
                   {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)}}, issues);
    }
    // The managed module lives in the AutoCAD folder that belongs to this very product key.
    if (i < locations.size()) {
      WriteLoadKey(registry, product.get(), productName, ManagedKeyName(releaseYear),
                   ManagedLoader(locations[i], modules->managed),
                   {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)},
                    {"MANAGED", platform::kRegDword, platform::DwordData(kManagedModule)}},
                   issues);
    }
  }
}

void AddTrustedPath(const CAcadCatalog& catalog, platform::Machine& machine, install::InstallIssues* issues) {
  Registry& registry = machine.registry;
  // A user key that exists but would not be read hides the profiles below it: they are named,
  // since their "TRUSTEDPATHS" stays without the folder.
  const auto reportUnreadable = [issues](const std::string& parent, const StringList& names) {
    for (const std::string& name : names) {
      std::string path = parent;
      if (!name.empty()) path.append(1, '\\').append(name);
      install::Report(issues, FullKeyName(kCurrentUserName, path), install::kIssueUnreadable);
    }
  };

  UniqueKey user;
  if (registry.OpenRoot(RootKey::CurrentUser, user) != platform::kSuccess) {
    reportUnreadable(kAcadUserRoot, {""});
    return;
  }

  // Opens `path` below the user's key and adds "<path>\<child><suffix>" for every child key that
  // can be read; a key that exists but cannot be opened, and children that cannot be read, are
  // reported.
  const auto addChildPaths = [&](const std::string& path, const char* suffix, StringList& out) {
    UniqueKey key;
    const platform::Status opened = registry.OpenKey(user.get(), path, Access::Read, key);
    if (opened != platform::kSuccess) {
      if (opened != platform::kFileNotFound) reportUnreadable(path, {""});
      return;
    }
    StringList children;
    StringList unreadable;
    ListSubKeys(registry, key.get(), children, &unreadable);
    reportUnreadable(path, unreadable);
    for (const std::string& child : children) out.push_back(ChildPath(path, child, suffix));
  };

  // Pass 1: every product key of every release under the user's AutoCAD key (none when there is
  // no such key: no profile to trust the folder in, and nothing left undone).
  StringList releasePaths;
  addChildPaths(kAcadUserRoot, "", releasePaths);
  StringList profilesPaths;
  for (const std::string& release : releasePaths) addChildPaths(release, "\\Profiles", profilesPaths);

  // Pass 2: every profile of those products; a product without "Profiles" yields none.
  StringList variablesPaths;
  for (const std::string& profiles : profilesPaths) addChildPaths(profiles, "\\Variables", variablesPaths);

  // Pass 3: the merge, value by value, read and written whole.
  for (const std::string& variables : variablesPaths) {
    const std::string valueName = FullKeyName(kCurrentUserName, variables) + "\\" + kTrustedPathsValue;
    std::string oldText;
    if (!ReadTrustedPaths(registry, user.get(), variables, oldText)) {
      install::Report(issues, valueName, install::kIssueUnreadable);
      continue;
    }
    const std::string newText = MergeTrustedPaths(oldText, catalog.m_strInstallFolder);
    // A profile without "Variables" gets the key.
    UniqueKey key;
    if (registry.CreateKey(user.get(), variables, key) != platform::kSuccess ||
        registry.SetValue(key.get(), kTrustedPathsValue, platform::kRegSz, platform::SzData(newText)) !=
            platform::kSuccess) {
      install::Report(issues, valueName);
    }
  }
}

void ListSubKeys(Registry& registry, KeyHandle key, StringList& names, StringList* unreadable) {
  // A key that vanished between its enumeration and its opening was not there to be read.
  const auto missed = [unreadable](const std::string& name) {
    if (unreadable != nullptr) unreadable->push_back(name);
  };
  std::uint32_t count = 0;
  if (registry.CountSubKeys(key, count) != platform::kSuccess) {
    missed("");
    return;
  }
  for (std::uint32_t index = 0; index < count; ++index) {
    std::string name;
    const platform::Status named = registry.EnumSubKey(key, index, kKeyNameCapacity, name);
    if (named != platform::kSuccess) {
      if (named != platform::kNoMoreItems) missed("");
      continue;
    }
    UniqueKey sub;
    const platform::Status opened = registry.OpenKey(key, name, Access::Read, sub);
    if (opened == platform::kSuccess) {
      names.push_back(name);
    } else if (opened != platform::kFileNotFound) {
      missed(name);
    }
  }
}
