// Registration with AutoCAD: the demand-load keys under HKLM; the trusted folder goes through users/profiles.
#include "install/registration.h"

#include <string_view>
#include <vector>

#include "records/install_texts.h"
#include "platform/path_limits.h"
#include "platform/utf8_text.h"
#include "platform/text.h"

namespace {

using platform::Access;
using platform::KeyHandle;
using platform::Registry;
using platform::RootKey;
using platform::UniqueKey;

// AutoCAD's demand-load values: LOADCTRLS 2 loads the module at start-up.
constexpr std::uint32_t kLoadOnStartup = 2;
constexpr std::uint32_t kManagedModule = 1;

// How keys are named to the user: the way regedit shows them.
constexpr const char* kLocalMachineName = "HKEY_LOCAL_MACHINE";

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

std::string ArxLoader(const std::string& installFolder, int moduleYear) {
  return installFolder + "\\VX_ZurezUvad" + std::to_string(moduleYear) + ".ARX";
}
std::string ManagedLoader(const std::string& acadFolder, int moduleYear) {
  return acadFolder + "\\VXCAD" + std::to_string(moduleYear) + "P.dll";
}

// A REG_DWORD's number (little-endian).
std::uint32_t DwordOf(const std::vector<std::uint8_t>& data) {
  std::uint32_t number = 0;
  for (std::size_t i = data.size() < 4 ? data.size() : 4; i-- > 0;) number = (number << 8) | data[i];
  return number;
}

// "<root>\<path>" as regedit names it, from a catalogue key path that ends in a backslash.
std::string FullKeyName(const char* root, std::string path) {
  StripTrailingBackslash(path);
  return path.empty() ? std::string(root) : std::string(root) + "\\" + path;
}

// Replaces the load key `keyName` of an open product key by one that holds exactly `values`.
// A loader path that AutoCAD could not open (over 259 characters) leaves the key as it was,
// rather than registering a path cut short or a key without its module. `productName` names the
// product key in `record`.
void WriteLoadKey(Registry& registry, KeyHandle root, KeyHandle product, const std::string& productPath,
                  const std::string& productName,
                  const std::string& keyName,
                  const std::string& loader, std::vector<LoadValue> values, install::InstallRecord* record) {
  const std::string fullName = productName + "\\" + keyName;
  if (!FitsMaxPath(loader)) {
    install::Report(record, fullName, install::kIssueTooLong);
    return;
  }
  values.push_back({"LOADER", platform::kRegSz, platform::SzData(loader)});
  // The key as it was, whole, for a rollback: it is deleted and made again.
  if (record != nullptr) {
    std::vector<std::u8string> names;
    names.reserve(values.size());
    for (const LoadValue& value : values) names.push_back(text::FromAnsi(value.name));
    if (record->BeforeKeyWrite(root, install::kHiveLocalMachine, text::FromAnsi(productPath + keyName), names, true) !=
        platform::kSuccess) {
      install::Report(record, fullName);
      return;
    }
  }
  // Deleting first drops whatever an older key held; a key with sub-keys of its own stays, and
  // its values are then set over the old ones.
  registry.DeleteKey(product, keyName);
  UniqueKey key;
  if (registry.CreateKey(product, keyName, key) != platform::kSuccess) {
    install::Report(record, fullName);
    return;
  }
  // Every value is still tried: AutoCAD may make do with some of them.
  bool allSet = true;
  for (const LoadValue& value : values) {
    if (registry.SetValue(key.get(), value.name, value.type, value.data) != platform::kSuccess) {
      allSet = false;
    } else if (record != nullptr) {
      record->ValueWritten(platform::RootKey::LocalMachine, productPath + keyName, value.name, value.type,
                           value.type == platform::kRegSz ? text::FromAnsi(platform::ValueText({value.type, value.data}))
                                                          : text::Decimal(DwordOf(value.data)));
    }
  }
  if (!allSet) install::Report(record, fullName);
}

}  // namespace


std::optional<ModuleYears> FindModuleYears(int releaseYear) {
  for (const YearRow& row : kModuleYears) {
    if (row.release == releaseYear) return row.modules;
  }
  return std::nullopt;
}

void RegisterWithAcad(const CAcadCatalog& catalog, const ReleaseFlags& flags, int bitness,
                      platform::Machine& machine, install::InstallRecord* record) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] != 0) RegisterRelease(catalog, year, bitness, machine, record);
  }
  AddTrustedPath(catalog, machine, record);
}

void RegisterRelease(const CAcadCatalog& catalog, int releaseYear, int bitness, platform::Machine& machine,
                     install::InstallRecord* record) {
  const std::optional<ModuleYears> modules = FindModuleYears(releaseYear);
  if (!modules) return;
  Registry& registry = machine.registry;
  const StringList& keyPaths = catalog.m_arrKeyPaths[YearIndex(releaseYear)];
  const StringList& locations = catalog.m_arrLocations[YearIndex(releaseYear)];

  UniqueKey localMachine;
  if (registry.OpenRoot(RootKey::LocalMachine, localMachine) != platform::kSuccess) {
    for (const std::string& keyPath : keyPaths) install::Report(record, FullKeyName(kLocalMachineName, keyPath));
    return;
  }

  for (std::size_t i = 0; i < keyPaths.size(); ++i) {
    const std::string productName = FullKeyName(kLocalMachineName, keyPaths[i]);
    UniqueKey product;
    if (registry.OpenKey(localMachine.get(), keyPaths[i], Access::ReadWrite, product) != platform::kSuccess) {
      install::Report(record, productName);
      continue;
    }

    WriteLoadKey(registry, localMachine.get(), product.get(), keyPaths[i], productName, ArxKeyName(releaseYear),
                 ArxLoader(catalog.m_strInstallFolder, modules->arx),
                 {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)}}, record);
    if (bitness == kBitnessWithExtraArx && releaseYear == kReleaseWithExtraArx) {
      WriteLoadKey(registry, localMachine.get(), product.get(), keyPaths[i], productName, ArxKeyName(kExtraArxYear),
                   ArxLoader(catalog.m_strInstallFolder, kExtraArxYear),
                   {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)}}, record);
    }
    // The managed module lives in the AutoCAD folder that belongs to this very product key.
    if (i < locations.size()) {
      WriteLoadKey(registry, localMachine.get(), product.get(), keyPaths[i], productName, ManagedKeyName(releaseYear),
                   ManagedLoader(locations[i], modules->managed),
                   {{"LOADCTRLS", platform::kRegDword, platform::DwordData(kLoadOnStartup)},
                    {"MANAGED", platform::kRegDword, platform::DwordData(kManagedModule)}},
                   record);
    }
  }
}

