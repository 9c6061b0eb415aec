// Shared helpers of the catalogue tests.
#include "discovery/catalog_test_support.h"

#include <gtest/gtest.h>

namespace discovery_test {

std::vector<Filed> FiledProducts(const CAcadCatalog& catalog) {
  std::vector<Filed> filed;
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    const StringList& keys = catalog.m_arrKeyPaths[YearIndex(year)];
    const StringList& folders = catalog.m_arrLocations[YearIndex(year)];
    EXPECT_EQ(keys.size(), folders.size()) << "year " << year;
    for (std::size_t i = 0; i < keys.size() && i < folders.size(); ++i) filed.push_back({year, keys[i], folders[i]});
  }
  return filed;
}

void AddProduct(sim::SimRegistry& registry, const std::string& keyPath, const std::string& location,
                const std::string& productName) {
  ASSERT_TRUE(registry.SetString(platform::RootKey::LocalMachine, keyPath, "AcadLocation", location));
  ASSERT_TRUE(registry.SetString(platform::RootKey::LocalMachine, keyPath, "ProductName", productName));
}

std::string FixturePath(const std::string& name) { return support::FixturePath("registry/" + name); }

}  // namespace discovery_test
