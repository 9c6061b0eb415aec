// The scan over whole machines saved as .reg files, as the dialog and installer tests use them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "discovery/catalog_test_support.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_registry.h"

namespace discovery_test {
namespace {

std::vector<Filed> ScanFixture(const std::string& name) {
  sim::SimRegistry registry;
  const sim::RegFileResult loaded = sim::LoadRegFile(registry, FixturePath(name));
  EXPECT_TRUE(loaded) << loaded.Describe();
  CAcadCatalog catalog;
  catalog.Scan(registry);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
  return FiledProducts(catalog);
}

TEST(CatalogFixtures, TwoReleases) {
  const std::vector<Filed> expected{
      {2010, std::string(kNative) + "R18.0\\ACAD-8001:804\\", "C:\\Program Files\\Autodesk\\AutoCAD 2010"},
      {2022, std::string(kNative) + "R24.1\\ACAD-5101:409\\", "C:\\Program Files\\Autodesk\\AutoCAD 2022"}};
  EXPECT_EQ(ScanFixture("two-releases.reg"), expected);
}

TEST(CatalogFixtures, ManyReleasesInBothViews) {
  const std::vector<Filed> expected{
      {2007, std::string(kWow64) + "R17.0\\ACAD-5001:804\\", "C:\\Program Files (x86)\\AutoCAD 2007"},
      {2008, std::string(kWow64) + "R17.1\\ACAD-6001:804\\", "C:\\Program Files (x86)\\AutoCAD 2008"},
      {2008, std::string(kNative) + "R17.1\\ACAD-6001:804\\", "C:\\Program Files\\AutoCAD 2008"},
      // The 32-bit AutoCAD 2009 is not served.
      {2015, std::string(kNative) + "R20.0\\ACAD-E001:804\\", "C:\\Program Files\\Autodesk\\AutoCAD 2015"},
      {2015, std::string(kNative) + "R20.0\\ACAD-E005:804\\", "C:\\Program Files\\Autodesk\\AutoCAD 2015"}};
  EXPECT_EQ(ScanFixture("many-releases.reg"), expected);
}

TEST(CatalogFixtures, TrueViewAloneIsNoAutoCad) { EXPECT_TRUE(ScanFixture("no-autocad.reg").empty()); }

}  // namespace
}  // namespace discovery_test
