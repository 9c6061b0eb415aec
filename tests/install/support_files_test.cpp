// Per-release support files on the simulated machine: what each AutoCAD folder receives.
#include "install/support_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
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
    // A journal to keep AutoCAD's files in: without one, none of them is replaced.
    EXPECT_TRUE(sim_.files().MakeDirectories(kInstallFolder));
    EXPECT_EQ(journal_.Start(text::FromAnsi(kInstallFolder), u8"1"), platform::kSuccess);
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
    DeploySupportFiles(catalog_, flags, sim_.machine(), &issues_);
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
  install::JournalWriter journal_{sim_.logging().support()};
  install::InstallRecord issues_{nullptr, &journal_};
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
  // Most module years are not shipped: their absence is no failure.
  EXPECT_EQ(issues_.Issues().Items(), std::vector<std::u8string>{});
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
  EXPECT_EQ(issues_.Issues().Items(), (std::vector<std::u8string>{U8(acad + "\\Fonts\\Vornex_EN.shx（路径超过259个字符）"),
                                                         U8(acad + "\\Fonts\\Vornex_HZ.shx（路径超过259个字符）")}));
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
  EXPECT_EQ(issues_.Issues().Items(), (std::vector<std::u8string>{u8"C:\\A（未找到安装文件）", u8"C:\\B（未找到安装文件）"}));
}

// Module years the payload does not ship are not even tried (no failed open per year), while the
// shipped ones are, whatever the letter case of their names in the payload; when the payload
// cannot be listed, every copy is tried as if all were shipped, and the shipped ones still arrive.
class ShippedFilesTest : public SupportFilesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ShippedFilesTest, OnlyShippedFilesAreTriedUnlessThePayloadCannotBeListed) {
  const bool listable = GetParam();
  sim::SimFileSystem& files = sim_.files();
  ASSERT_TRUE(files.Remove(std::string(kData) + "\\VXCAD2013P.dll"));
  ASSERT_TRUE(files.WriteFile(std::string(kData) + "\\vxcad2013p.DLL", "payload lower case"));
  AddAcad("C:\\A");
  if (!listable) files.FailOn(sim::FileOp::Find, std::string(kData) + "\\*.*", platform::kAccessDenied);
  // Copies from these two sources fail once: a copy tried shows up as an injected failure served.
  files.FailOn(sim::FileOp::Copy, std::string(kData) + "\\VXCAD2013P.dll", platform::kAccessDenied, 1);
  files.FailOn(sim::FileOp::Copy, std::string(kData) + "\\VXCAD2020P.dll", platform::kAccessDenied, 1);
  Deploy(2010, {"C:\\A"});
  // Listed: the shipped module only. Not listable: the listing, and the shipped module; the other
  // is looked for (its content is read before any copy, for the journal) and found missing.
  EXPECT_EQ(files.InjectedFailureCount(), listable ? 1u : 2u);
  EXPECT_EQ(issues_.Issues().Items(), std::vector<std::u8string>{u8"C:\\A\\VXCAD2013P.dll"});
  std::vector<std::string> added = Added("C:\\A");
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<std::string>{"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx", "VXCAD2007P.dll",
                                             "VXCAD2010P.dll", "VXCAD2050P.dll", "itextsharp.dll"}));
}

INSTANTIATE_TEST_SUITE_P(PayloadListing, ShippedFilesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Listed" : "NotListable";
                         });

// A copy that fails is named by its target when the payload has its source, and only then; the
// copies after it are still made.
struct FailedCopyCase {
  const char* label;
  int release;
  std::function<void(sim::SimFileSystem&, const std::string& acad)> arrange;
  std::vector<std::string> issues;  // targets below the AutoCAD folder
  std::vector<std::string> added;   // what arrived nonetheless (sorted)
};

// Failures name the case, not its bytes.
void PrintTo(const FailedCopyCase& c, std::ostream* out) { *out << c.label; }

class FailedCopyTest : public SupportFilesTest, public ::testing::WithParamInterface<FailedCopyCase> {};

TEST_P(FailedCopyTest, NamesTheTargetsLeftUndone) {
  const FailedCopyCase& c = GetParam();
  const std::string acad = Ansi("C:\\Program Files\\AutoCAD 机械版");
  AddAcad(acad);
  c.arrange(sim_.files(), acad);
  Deploy(c.release, {acad, acad});
  std::vector<std::u8string> expected;
  for (const std::string& target : c.issues) expected.push_back(U8("C:\\Program Files\\AutoCAD 机械版\\" + target));
  EXPECT_EQ(issues_.Issues().Items(), expected) << c.label;
  std::vector<std::string> added = Added(acad);
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, c.added) << c.label;
}

const std::vector<std::string> kModulesAndLibrary = {"VXCAD2007P.dll", "VXCAD2010P.dll", "VXCAD2013P.dll",
                                                     "VXCAD2050P.dll", "itextsharp.dll"};

std::vector<std::string> Plus(std::vector<std::string> files, std::initializer_list<const char*> more) {
  files.insert(files.end(), more.begin(), more.end());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedCopyTest,
    ::testing::Values(
        FailedCopyCase{"no Fonts folder", 2015,
                       [](sim::SimFileSystem& files, const std::string& acad) { files.Remove(acad + "\\Fonts"); },
                       {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx"}, kModulesAndLibrary},
        FailedCopyCase{"no Fonts folder and one font not shipped", 2015,
                       [](sim::SimFileSystem& files, const std::string& acad) {
                         files.Remove(acad + "\\Fonts");
                         files.Remove(std::string(kData) + "\\Vornex_HZ.shx");
                       },
                       {"Fonts\\Vornex_EN.shx"}, kModulesAndLibrary},
        FailedCopyCase{"2008 without Drv", 2008,
                       [](sim::SimFileSystem& files, const std::string& acad) { files.Remove(acad + "\\Drv"); },
                       {"Drv\\pdfplot9.hdi"},
                       Plus(kModulesAndLibrary, {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx"})},
        FailedCopyCase{"2008 without Drv and no driver shipped", 2008,
                       [](sim::SimFileSystem& files, const std::string& acad) {
                         files.Remove(acad + "\\Drv");
                         files.Remove(std::string(kData) + "\\Vornex.prt5");
                       },
                       {}, Plus(kModulesAndLibrary, {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx"})},
        FailedCopyCase{"a shipped module held by AutoCAD", 2013,
                       [](sim::SimFileSystem& files, const std::string& acad) {
                         files.FailOn(sim::FileOp::Copy, acad + "\\VXCAD2013P.dll", platform::kAccessDenied);
                       },
                       {"VXCAD2013P.dll"},
                       {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx", "VXCAD2007P.dll", "VXCAD2010P.dll",
                        "VXCAD2050P.dll", "itextsharp.dll"}},
        FailedCopyCase{"a read-only library", 2013,
                       [](sim::SimFileSystem& files, const std::string& acad) {
                         files.WriteFile(acad + "\\itextsharp.dll", "acad", platform::kAttrReadOnly);
                       },
                       {"itextsharp.dll"},
                       {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx", "VXCAD2007P.dll", "VXCAD2010P.dll",
                        "VXCAD2013P.dll", "VXCAD2050P.dll"}},
        FailedCopyCase{"a module of a year the payload lacks held by AutoCAD", 2013,
                       [](sim::SimFileSystem& files, const std::string& acad) {
                         files.FailOn(sim::FileOp::Copy, acad + "\\VXCAD2020P.dll", platform::kAccessDenied);
                       },
                       {}, Plus(kModulesAndLibrary, {"Fonts\\Vornex_EN.shx", "Fonts\\Vornex_HZ.shx"})}));

}  // namespace
}  // namespace install_test
