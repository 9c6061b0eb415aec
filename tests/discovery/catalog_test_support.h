// Shared helpers of the catalogue tests: building AutoCAD keys and reading back what a scan filed.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/sim/sim_registry.h"
#include "support/fixtures.h"

namespace discovery_test {

inline constexpr const char* kNative = "SOFTWARE\\Autodesk\\AutoCAD\\";
inline constexpr const char* kWow64 = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";

// One filed product as the catalogue pairs it: year, key path and folder at the same index.
struct Filed {
  int year;
  std::string keyPath;
  std::string folder;
  bool operator==(const Filed&) const = default;
};

inline void PrintTo(const Filed& f, std::ostream* os) {
  *os << "{" << f.year << ", \"" << f.keyPath << "\", \"" << f.folder << "\"}";
}

// Every product in year order, then in list order; fails the test when a year's two lists differ
// in length, since the registration pairs them by index.
std::vector<Filed> FiledProducts(const CAcadCatalog& catalog);

// Sets AcadLocation and ProductName (REG_SZ) in one key under HKLM.
void AddProduct(sim::SimRegistry& registry, const std::string& keyPath, const std::string& location,
                const std::string& productName);

// Full path of a .reg fixture in tests/fixtures/registry.
std::string FixturePath(const std::string& name);

using support::Ansi;

}  // namespace discovery_test
