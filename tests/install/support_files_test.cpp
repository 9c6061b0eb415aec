// Per-release support files on the simulated machine: what each AutoCAD folder receives.
#include "install/support_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "install/install_test_support.h"

namespace install_test {
namespace {

constexpr const char* kData = "C:\\Setup\\Data";

class SupportFilesTest : public MachineTest {
 protected:
  SupportFilesTest() {
    // Modules of years the registration names, one at each end of the range tried, and two outside it.
    for (const char* name : {"Vornex_EN.shx", "Vornex_HZ.shx", "itextsharp.dll", "Vornex.prt5", "VXCAD2006P.dll",
                             "VXCAD2007P.dll", "VXCAD2010P.dll", "VXCAD2013P.dll", "VXCAD2050P.dll",
                             "VXCAD2051P.dll", "VX_ZurezUvad2010.arx"}) {
      EXPECT_TRUE(sim_.files().WriteFile(std::string(kData) + "\\" + name, std::string("payload ") + name));
    }
  }

  // An AutoCAD folder as installed: its own fonts folder and PDF plotter driver.
  void AddAcad(const std::string& folder, bool withFonts = true) {
    ASSERT_TRUE(sim_.files().MakeDirectories(folder));
    if (withFonts) {
      ASSERT_TRUE(sim_.files().WriteFile(folder + "\\Fonts\\txt.shx", "acad"));
    }
    ASSERT_TRUE(sim_.files().WriteFile(folder + "\\Drv\\pdfplot9.hdi", "acad driver"));
  }

  void Deploy(int year, std::vector<std::string> folders) {
    for (const std::string& folder : folders) catalog_.m_arrLocations[YearIndex(year)].push_back(folder);
    ReleaseFlags flags{};
    flags[YearIndex(year)] = 1;
    DeploySupportFiles(catalog_, flags, sim_.machine());
  }

  std::vector<std::string> Added(const std::string& folder) {
    std::vector<std::string> added;
    for (const std::string& path : sim_.files().Tree(folder)) {
      const std::optional<std::string> content = sim_.files().ReadFile(path);
      if (content && content->rfind("payload ", 0) == 0) added.push_back(path.substr(folder.size() + 1));
    }
    return added;
  }

  CAcadCatalog catalog_;
};

const std::vector<std::string> kEveryRelease = {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx", "itextsharp.dll",
                                                "VXCAD2007P.dll",       "VXCAD2010P.dll",      "VXCAD2013P.dll",
                                                "VXCAD2050P.dll"};

TEST_F(SupportFilesTest, Release2008GetsThePlotterDriver) {
  const std::string acad = "C:\\Program Files\\AutoCAD 2008";
  AddAcad(acad);
  Deploy(2008, {acad});
  std::vector<std::string> expected = kEveryRelease;
  expected.insert(expected.begin() + 2, "Drv\\pdfplot9.hdi");
  std::vector<std::string> added = Added(acad);
  std::sort(added.begin(), added.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(added, expected);
  EXPECT_EQ(sim_.files().ReadFile(acad + "\\Drv\\pdfplot9.hdi"), "payload Vornex.prt5");
  EXPECT_EQ(sim_.files().ReadFile(acad + "\\Fonts\\txt.shx"), "acad");
}

TEST_F(SupportFilesTest, OtherReleasesKeepTheirDriverAndGetEveryModule) {
  const std::string first = "C:\\Program Files\\AutoCAD 2009";
  const std::string second = "D:\\Autodesk\\AutoCAD Mechanical 2009";
  sim_.files().AddDrive('D');
  AddAcad(first);
  AddAcad(second);
  // Already there from an earlier installation, with other contents.
  ASSERT_TRUE(sim_.files().WriteFile(first + "\\VXCAD2010P.dll", "old module"));
  Deploy(2009, {first, second});
  for (const std::string& acad : {first, second}) {
    SCOPED_TRACE(acad);
    std::vector<std::string> added = Added(acad);
    std::sort(added.begin(), added.end());
    std::vector<std::string> expected = kEveryRelease;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(added, expected);
    EXPECT_EQ(sim_.files().ReadFile(acad + "\\Drv\\pdfplot9.hdi"), "acad driver");
  }
  EXPECT_EQ(sim_.files().ReadFile(first + "\\VXCAD2010P.dll"), "payload VXCAD2010P.dll");
}

TEST_F(SupportFilesTest, MissingFontsFolderIsNotCreated) {
  const std::string acad = "C:\\AutoCAD 2015";
  AddAcad(acad, false);
  Deploy(2015, {acad});
  EXPECT_FALSE(sim_.files().Exists(acad + "\\Fonts"));
  EXPECT_EQ(sim_.files().ReadFile(acad + "\\itextsharp.dll"), "payload itextsharp.dll");
  EXPECT_TRUE(sim_.files().Exists(acad + "\\VXCAD2013P.dll"));
}

TEST_F(SupportFilesTest, UnselectedAndUnfoundReleasesAreLeftAlone) {
  const std::string acad = "C:\\AutoCAD 2010";
  AddAcad(acad);
  catalog_.m_arrLocations[YearIndex(2010)].push_back(acad);
  ReleaseFlags flags{};
  flags[YearIndex(2011)] = 1;  // selected, but nothing was found for it
  DeploySupportFiles(catalog_, flags, sim_.machine());
  EXPECT_TRUE(Added(acad).empty());
}

// Paths beyond the file API's 259 characters are passed over, never cut; the shorter ones of the
// same folder are still copied.
TEST_F(SupportFilesTest, OverlongTargetsArePassedOver) {
  const std::string acad = "C:\\" + std::string(237, 'a');  // "\Fonts\Vornex_EN.shx" makes 260
  ASSERT_EQ(acad.size() + std::string("\\Fonts\\Vornex_EN.shx").size(), 260u);
  AddAcad(acad);
  Deploy(2010, {acad});
  EXPECT_EQ(Added(acad), (std::vector<std::string>{"itextsharp.dll", "VXCAD2007P.dll", "VXCAD2010P.dll",
                                                   "VXCAD2013P.dll", "VXCAD2050P.dll"}));
  EXPECT_EQ(sim_.files().Tree(acad + "\\Fonts"), std::vector<std::string>{acad + "\\Fonts\\txt.shx"});
}

TEST_F(SupportFilesTest, MissingPayloadIsReportedOncePerFolder) {
  ASSERT_TRUE(sim_.files().Remove(kData));
  sim_.prompts().Answer(platform::kIdOk);
  sim_.prompts().Answer(platform::kIdOk);
  AddAcad("C:\\A");
  AddAcad("C:\\B");
  Deploy(2010, {"C:\\A", "C:\\B"});
  EXPECT_EQ(sim_.prompts().Boxes().size(), 2u);
  EXPECT_TRUE(Added("C:\\A").empty());
  EXPECT_TRUE(Added("C:\\B").empty());
}

}  // namespace
}  // namespace install_test
