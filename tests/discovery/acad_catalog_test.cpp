// The registry scan: which products are filed under which year, with which key path and folder.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "discovery/catalog_test_support.h"
#include "platform/sim/sim_registry.h"

namespace discovery_test {
namespace {

using platform::RootKey;

constexpr RootKey kHklm = RootKey::LocalMachine;

class CatalogScan : public ::testing::Test {
 protected:
  // Every scan must give back every handle it opened, whatever it met.
  std::vector<Filed> Scan() {
    const std::size_t before = registry_.OpenHandleCount();
    catalog_.Scan(registry_);
    EXPECT_EQ(registry_.OpenHandleCount(), before);
    EXPECT_EQ(registry_.BadCloseCount(), 0u);
    return FiledProducts(catalog_);
  }

  void Product(const std::string& path, const std::string& location, const std::string& name) {
    AddProduct(registry_, path, location, name);
  }

  void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
    platform::RegValue value;
    value.type = type;
    value.data.assign(bytes.begin(), bytes.end());
    ASSERT_TRUE(registry_.Set(kHklm, path, name, value));
  }

  sim::SimRegistry registry_;
  CAcadCatalog catalog_;
};

TEST_F(CatalogScan, NoAutoCadKeysLeaveEveryListEmpty) {
  ASSERT_TRUE(registry_.CreatePath(kHklm, "SOFTWARE\\Autodesk\\DWG TrueView\\R24"));
  EXPECT_TRUE(Scan().empty());
  EXPECT_TRUE(catalog_.m_strInstallFolder.empty());
}

TEST_F(CatalogScan, ProductKeyIsFiledWithItsPathAndFolder) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "C:\\Program Files\\Autodesk\\AutoCAD 2010\\",
          Ansi("AutoCAD 2010 - 简体中文 (Simplified Chinese)"));
  const std::vector<Filed> expected{
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\", "C:\\Program Files\\Autodesk\\AutoCAD 2010"}};
  EXPECT_EQ(Scan(), expected);
}

// The year comes from ProductName alone, first year of the test order found past its first byte.
struct NameCase {
  const char* productName;
  int year;  // 0: not filed
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.productName)); }

class ProductNameYear : public CatalogScan, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ProductNameYear, DecidesTheYear) {
  // The release key says R24.1 (2022) on purpose: its name must not matter.
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409", "C:\\Acad\\", GetParam().productName);
  const std::vector<Filed> filed = Scan();
  if (GetParam().year == 0) {
    EXPECT_TRUE(filed.empty());
  } else {
    const std::vector<Filed> expected{{GetParam().year, "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\", "C:\\Acad"}};
    EXPECT_EQ(filed, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProductNameYear,
    ::testing::Values(NameCase{"AutoCAD 2010", 2010}, NameCase{"AutoCAD Mechanical 2015", 2015},
                      NameCase{"AutoCAD 2026", 2026}, NameCase{"AutoCAD LT2007", 2007},
                      NameCase{"2010 AutoCAD", 0},             // the year at the very start does not count
                      NameCase{"2010 AutoCAD 2011", 2011},     // ...but a later year still does
                      NameCase{"AutoCAD 2012 (2010 update)", 2010},  // two years: the earlier one of the order
                      NameCase{"AutoCAD 2006", 0}, NameCase{"AutoCAD 2027", 0}, NameCase{"AutoCAD", 0},
                      NameCase{"", 0},
                      // 0xB0 is a lead byte: "2010" here starts on a trail byte and is not a year text.
                      NameCase{"AutoCAD \xB0"
                               "2010",
                               0}));

// The folder is AcadLocation with at most one trailing backslash removed, never a trail byte.
struct LocationCase {
  const char* utf8Location;
  const char* utf8Folder;
};

void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.utf8Location; }

class LocationFolder : public CatalogScan, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(LocationFolder, LosesOneTrailingBackslash) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", Ansi(GetParam().utf8Location), "AutoCAD 2010");
  const std::vector<Filed> filed = Scan();
  ASSERT_EQ(filed.size(), 1u);
  EXPECT_EQ(filed[0].folder, Ansi(GetParam().utf8Folder));
}

INSTANTIATE_TEST_SUITE_P(Locations, LocationFolder,
                         ::testing::Values(LocationCase{"C:\\AutoCAD 2010\\", "C:\\AutoCAD 2010"},
                                           LocationCase{"C:\\AutoCAD 2010\\\\", "C:\\AutoCAD 2010\\"},
                                           LocationCase{"C:\\AutoCAD 2010", "C:\\AutoCAD 2010"},
                                           LocationCase{"\\", "\\"}, LocationCase{"", ""},
                                           // 誠 is D5 5C in code page 936: its trail byte is no backslash.
                                           LocationCase{"D:\\CAD\\誠", "D:\\CAD\\誠"},
                                           LocationCase{"D:\\CAD\\誠\\", "D:\\CAD\\誠"}));

TEST(StripTrailingBackslash, RemovesOnlyALastBackslashThatIsNotFirst) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {{"", ""},
               {"\\", "\\"},
               {"\\\\", "\\"},
               {"C:\\", "C:"},
               {"C:\\a\\\\", "C:\\a\\"},
               {"C:\\a", "C:\\a"},
               {"\xD5\x5C", "\xD5\x5C"},             // 誠 alone
               {"\\\xD5\x5C", "\\\xD5\x5C"},         // last backslash is first, last byte a trail byte
               {"a\\\xD5\x5C\\", "a\\\xD5\x5C"}};
  for (const auto& c : cases) {
    std::string s = c.in;
    StripTrailingBackslash(s);
    EXPECT_EQ(s, c.out) << "input " << ::testing::PrintToString(c.in);
  }
}

TEST_F(CatalogScan, ValuesSeveralLevelsDownAreFoundAndDeeperKeysAreNotSearched) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Install\\Main", "C:\\Deep\\", "AutoCAD 2010");
  // Below a key that holds the values: never reached.
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Install\\Main\\Old", "C:\\Older\\", "AutoCAD 2009");
  const std::vector<Filed> expected{
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Install\\Main\\", "C:\\Deep"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, ValuesInTheReleaseKeyItselfGiveTheBasePath) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0", "C:\\R18\\", "AutoCAD 2010");
  const std::vector<Filed> expected{{2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\", "C:\\R18"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, LocationAndNameInDifferentKeysFileNothing) {
  const RootKey m = kHklm;
  // ProductName only in the release key above the product key.
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0", "ProductName", "AutoCAD 2010"));
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "AcadLocation", "C:\\A\\"));
  // ProductName only in a key below the one with AcadLocation.
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409", "AcadLocation", "C:\\B\\"));
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Info", "ProductName",
                                  "AutoCAD 2022"));
  // Two siblings with one value each.
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R20.0\\ACAD-E001:804", "AcadLocation", "C:\\C\\"));
  ASSERT_TRUE(registry_.SetString(m, "SOFTWARE\\Autodesk\\AutoCAD\\R20.0\\ACAD-E005:804", "ProductName",
                                  "AutoCAD 2015"));
  EXPECT_TRUE(Scan().empty());
}

TEST_F(CatalogScan, ProductsOfOneYearKeepScanOrderWithPairedEntries) {
  // Enumeration is sorted without regard to case: R18.0 before r18.1, E001 before E005.
  Product("SOFTWARE\\Autodesk\\AutoCAD\\r18.1\\ACAD-9001:409", "C:\\Third\\", "AutoCAD 2010 SP9");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E005:804", "C:\\Second\\", "AutoCAD Mechanical 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E001:804", "C:\\Shared\\", "AutoCAD 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E009:804", "C:\\Shared\\", "AutoCAD Architecture 2010");
  const std::vector<Filed> expected{
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E001:804\\", "C:\\Shared"},
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E005:804\\", "C:\\Second"},
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-E009:804\\", "C:\\Shared"},  // no de-duplication
      {2010, "SOFTWARE\\Autodesk\\AutoCAD\\r18.1\\ACAD-9001:409\\", "C:\\Third"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, ThirtyTwoBitViewFilesOnly2007And2008AheadOfNativeProducts) {
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.0\\ACAD-5001:804", "C:\\x86\\AutoCAD 2007\\",
          "AutoCAD 2007");
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409", "C:\\x86\\AutoCAD 2008\\",
          "AutoCAD 2008");
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.2\\ACAD-7001:409", "C:\\x86\\AutoCAD 2009\\",
          "AutoCAD 2009");
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:409", "C:\\x86\\AutoCAD 2010\\",
          "AutoCAD 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409", "C:\\x64\\AutoCAD 2008\\", "AutoCAD 2008");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R17.2\\ACAD-7001:409", "C:\\x64\\AutoCAD 2009\\", "AutoCAD 2009");
  const std::vector<Filed> expected{
      {2007, std::string(kWow64) + "R17.0\\ACAD-5001:804\\", "C:\\x86\\AutoCAD 2007"},
      {2008, std::string(kWow64) + "R17.1\\ACAD-6001:409\\", "C:\\x86\\AutoCAD 2008"},
      {2008, std::string(kNative) + "R17.1\\ACAD-6001:409\\", "C:\\x64\\AutoCAD 2008"},
      {2009, std::string(kNative) + "R17.2\\ACAD-7001:409\\", "C:\\x64\\AutoCAD 2009"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, TrailByte5CInKeyNamesStaysInThePath) {
  const std::string product = Ansi("ACAD-8001:804 誠");  // ends in D5 5C
  const std::string release = Ansi("R18.0誠");
  Product(std::string(kNative) + release + "\\" + product, Ansi("C:\\誠\\"), "AutoCAD 2010");
  const std::vector<Filed> expected{{2010, std::string(kNative) + release + "\\" + product + "\\", Ansi("C:\\誠")}};
  EXPECT_EQ(Scan(), expected);
}

// A key name may be 255 characters, up to 510 bytes in code page 936: names of every length the
// registry allows are read, at every level of the walk.
TEST_F(CatalogScan, LongDoubleByteKeyNamesAreRead) {
  std::string tu;
  for (int i = 0; i < 130; ++i) tu += Ansi("图");  // 260 bytes
  std::string longest;
  for (int i = 0; i < 255; ++i) longest += Ansi("图");  // 510 bytes, the most a name can take
  const struct {
    std::string release;
    std::string relPath;  // below the release key, ending in a backslash
  } cases[] = {
      {"R18.0", tu + "\\"},
      {tu, "ACAD-8001:804\\"},
      {"R18.0", "ACAD-8001:804\\" + longest + "\\"},
      {longest, "ACAD-8001:804\\"},
  };
  for (const auto& c : cases) {
    sim::SimRegistry registry;
    CAcadCatalog catalog;
    const std::string keyPath = std::string(kNative) + c.release + "\\" + c.relPath;
    AddProduct(registry, keyPath, "C:\\AutoCAD 2010\\", "AutoCAD 2010");
    catalog.Scan(registry);
    const std::vector<Filed> expected{{2010, keyPath, "C:\\AutoCAD 2010"}};
    EXPECT_EQ(FiledProducts(catalog), expected) << c.release.size() << " / " << c.relPath.size();
  }
}

// A link key pointing back at its own release key makes the tree endless: the walk stops where
// the registry's own nesting would (512 levels below the release key), files what it met on the
// way, and gives back every handle. The release key recurs at every second level (0, 2, ... 510),
// and the product beside the link with it; "ACAD-X" sorts first, so the deepest comes first.
TEST_F(CatalogScan, LinkBackToTheReleaseKeyEndsAtTheNestingLimit) {
  const std::string release = std::string(kNative) + "R97.0";
  Product(release + "\\ACAD-Y:804", "C:\\AutoCAD 2010\\", "AutoCAD 2010");
  ASSERT_TRUE(registry_.CreateLink(kHklm, release + "\\ACAD-X\\loop", kHklm, release));
  std::vector<Filed> expected;
  for (int round = 255; round >= 0; --round) {
    std::string keyPath = release + "\\";
    for (int i = 0; i < round; ++i) keyPath += "ACAD-X\\loop\\";
    expected.push_back({2010, keyPath + "ACAD-Y:804\\", "C:\\AutoCAD 2010"});
  }
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, UnreadableSubKeyNamesAreSkipped) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "C:\\A\\", "AutoCAD 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:809", "C:\\B\\", "AutoCAD 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804\\Main", "C:\\C\\", "AutoCAD 2011");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9002:804", "C:\\D\\", "AutoCAD 2011");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.2\\ACAD-A001:804", "C:\\E\\", "AutoCAD 2012");
  // A release name, a product name and a deeper name that cannot be read; one failure of each
  // status the registry gives.
  registry_.FailEnumSubKey(kHklm, "SOFTWARE\\Autodesk\\AutoCAD", 2, platform::kAccessDenied);
  registry_.FailEnumSubKey(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0", 0, platform::kMoreData);
  registry_.FailEnumSubKey(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804", 0, platform::kKeyDeleted);
  const std::vector<Filed> expected{{2010, std::string(kNative) + "R18.0\\ACAD-8001:809\\", "C:\\B"},
                                    {2011, std::string(kNative) + "R18.1\\ACAD-9002:804\\", "C:\\D"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, KeysThatCannotBeOpenedAreSkipped) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "C:\\A\\", "AutoCAD 2010");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804", "C:\\B\\", "AutoCAD 2011");
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9002:804", "C:\\C\\", "AutoCAD 2011");
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.0\\ACAD-5001:804", "C:\\D\\", "AutoCAD 2007");
  registry_.DenyOpen(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0");
  registry_.DenyOpen(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804");
  const std::vector<Filed> expected{{2007, std::string(kWow64) + "R17.0\\ACAD-5001:804\\", "C:\\D"},
                                    {2011, std::string(kNative) + "R18.1\\ACAD-9002:804\\", "C:\\C"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, ARootThatCannotBeOpenedEndsOnlyItsPass) {
  Product("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "C:\\A\\", "AutoCAD 2010");
  Product("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.0\\ACAD-5001:804", "C:\\D\\", "AutoCAD 2007");
  registry_.DenyOpen(kHklm, "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD");
  const std::vector<Filed> expected{{2010, std::string(kNative) + "R18.0\\ACAD-8001:804\\", "C:\\A"}};
  EXPECT_EQ(Scan(), expected);
}

// Data as stored, whatever its type: the text up to the first NUL within 256 bytes.
struct DataCase {
  const char* label;
  std::uint32_t type;
  std::string location;               // raw bytes of AcadLocation
  std::optional<std::string> folder;  // nullopt: not filed
};

class LocationData : public CatalogScan, public ::testing::WithParamInterface<DataCase> {};

TEST_P(LocationData, IsReadAsBoundedText) {
  const std::string key = std::string(kNative) + "R18.0\\ACAD-8001:804";
  SetRaw(key, "AcadLocation", GetParam().type, GetParam().location);
  SetRaw(key, "ProductName", platform::kRegSz, "AutoCAD 2010");  // no NUL either
  const std::vector<Filed> filed = Scan();
  if (!GetParam().folder) {
    EXPECT_TRUE(filed.empty());
  } else {
    ASSERT_EQ(filed.size(), 1u);
    EXPECT_EQ(filed[0].folder, *GetParam().folder);
  }
}

const std::string k256Location = "C:\\" + std::string(251, 'a') + "\\b";  // 256 bytes, no NUL

INSTANTIATE_TEST_SUITE_P(
    Types, LocationData,
    ::testing::Values(DataCase{"SzWithoutNul", platform::kRegSz, "C:\\Acad\\", "C:\\Acad"},
                      DataCase{"SzWithNul", platform::kRegSz, std::string("C:\\Acad\\\0", 9), "C:\\Acad"},
                      DataCase{"ExpandSz", platform::kRegExpandSz, std::string("%ProgramFiles%\\Acad\\\0", 21),
                               "%ProgramFiles%\\Acad"},
                      DataCase{"MultiSzGivesFirstString", platform::kRegMultiSz,
                               std::string("C:\\A\\\0C:\\B\\\0\0", 13), "C:\\A"},
                      DataCase{"Dword", platform::kRegDword, std::string("C:\0\0", 4), "C:"},
                      DataCase{"BinaryStopsAtNul", platform::kRegBinary, std::string("C:\\X\0junk", 9), "C:\\X"},
                      DataCase{"NoneEmpty", platform::kRegNone, std::string(), ""},
                      DataCase{"Exactly256WithoutNul", platform::kRegSz, k256Location, k256Location},
                      DataCase{"Over256CountsAsAbsent", platform::kRegSz, k256Location + "\\", std::nullopt}),
    [](const ::testing::TestParamInfo<DataCase>& p) { return std::string(p.param.label); });

TEST_F(CatalogScan, OverlongValueSendsTheWalkOneLevelDeeper) {
  const std::string product = std::string(kNative) + "R18.0\\ACAD-8001:804";
  SetRaw(product, "AcadLocation", platform::kRegSz, "C:\\" + std::string(253, 'a') + "\\");  // 257 bytes
  Product(product + "\\Current", "C:\\Current\\", "AutoCAD 2010");
  // A ProductName of 300 bytes is absent too: the one below is taken.
  SetRaw(product, "ProductName", platform::kRegSz, std::string(296, 'x') + "2010");
  const std::vector<Filed> expected{{2010, product + "\\Current\\", "C:\\Current"}};
  EXPECT_EQ(Scan(), expected);
}

TEST_F(CatalogScan, LongestKeyNamesAreFiledWhole) {
  const std::string release(platform::kMaxKeyNameChars, 'R');
  const std::string product = Ansi("ACAD-8001:804 ") + std::string(platform::kMaxKeyNameChars - 16, 'p') + "\xD5\x5C";
  ASSERT_EQ(product.size(), platform::kMaxKeyNameChars);
  Product(std::string(kWow64) + release + "\\" + product, "C:\\A\\", "AutoCAD 2008");
  const std::vector<Filed> expected{{2008, std::string(kWow64) + release + "\\" + product + "\\", "C:\\A"}};
  EXPECT_EQ(Scan(), expected);
}

// Deep trees: the walk reaches the deepest key Windows allows, and a key path the registry could
// not open from HKLM in one piece is left out rather than filed cut short.
struct DepthCase {
  std::size_t levels;   // below the product key
  std::size_t nameLength;
  bool filed;
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.levels << " levels of " << c.nameLength << " characters"; }

class DeepKeys : public CatalogScan, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(DeepKeys, AreWalkedWithoutCuttingPaths) {
  // SOFTWARE\Autodesk\AutoCAD\R18.0\ACAD-8001:804 is 5 levels below HKLM.
  std::string relative = "ACAD-8001:804\\";
  for (std::size_t i = 0; i < GetParam().levels; ++i) {
    relative += std::string(GetParam().nameLength, static_cast<char>('a' + i % 26)) + "\\";
  }
  const std::string deepest = std::string(kNative) + "R18.0\\" + relative.substr(0, relative.size() - 1);
  Product(deepest, "C:\\Deep\\", "AutoCAD 2010");
  // A sibling product of the same release is filed whatever happens to the deep one.
  Product(std::string(kNative) + "R18.0\\ACAD-8001:409", "C:\\Near\\", "AutoCAD 2010");

  std::vector<Filed> expected{{2010, std::string(kNative) + "R18.0\\ACAD-8001:409\\", "C:\\Near"}};
  if (GetParam().filed) expected.push_back({2010, std::string(kNative) + "R18.0\\" + relative, "C:\\Deep"});
  EXPECT_EQ(Scan(), expected);
}

INSTANTIATE_TEST_SUITE_P(Trees, DeepKeys,
                         ::testing::Values(DepthCase{sim::kMaxKeyDepth - 5, 1, true},
                                           // about 25,650 characters: a long path, still one HKLM can open
                                           DepthCase{100, platform::kMaxKeyNameChars, true},
                                           // about 33,330 characters: past the 32,767 of a full key name
                                           DepthCase{130, platform::kMaxKeyNameChars, false}));

}  // namespace
}  // namespace discovery_test
