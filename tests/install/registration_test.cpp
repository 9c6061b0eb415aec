// Registration with AutoCAD on the simulated registry: load keys per product, trusted folder per profile.
#include "install/registration.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "records/install_texts.h"

namespace install_test {
namespace {

using platform::RootKey;

constexpr int kBitness64 = 64;
constexpr const char* kUserAcad = "Software\\Autodesk\\AutoCAD\\";

ReleaseFlags Selected(std::initializer_list<int> years) {
  ReleaseFlags flags{};
  for (const int year : years) flags[YearIndex(year)] = 1;
  return flags;
}

ReleaseFlags AllSelected() {
  ReleaseFlags flags;
  flags.fill(1);
  return flags;
}

class RegistrationTest : public MachineTest {
 protected:
  // Files one product under HKLM directly in the catalogue, as a scan would.
  void AddProduct(int year, const std::string& keyPath, const std::string& folder) {
    ASSERT_TRUE(sim_.registry().CreatePath(RootKey::LocalMachine, keyPath));
    catalog_.m_arrKeyPaths[YearIndex(year)].push_back(keyPath + "\\");
    catalog_.m_arrLocations[YearIndex(year)].push_back(folder);
  }
  void ScanFixture(const std::string& fixture) {
    LoadRegistry(fixture);
    catalog_.Scan(sim_.registry());
  }
  void Register(const ReleaseFlags& flags, int bitness = kBitness64) {
    issues_ = {};
    RegisterWithAcad(catalog_, flags, bitness, sim_.machine(), &issues_);
    EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);
    EXPECT_EQ(sim_.registry().BadCloseCount(), 0u);
    EXPECT_TRUE(sim_.prompts().Boxes().empty());
  }
  std::vector<std::string> ValueNames(RootKey root, const std::string& path) {
    return sim_.registry().ValueNames(root, path);
  }
  std::vector<std::string> Applications(const std::string& productPath) {
    return sim_.registry().SubKeyNames(RootKey::LocalMachine, productPath + "\\Applications");
  }

  CAcadCatalog catalog_;
  install::InstallRecord issues_;
};

TEST_F(RegistrationTest, TwoReleaseMachine) {
  ScanFixture("two-releases.reg");
  catalog_.m_strInstallFolder = kInstallFolder;
  Register(AllSelected());
  EXPECT_EQ(issues_.Issues().Items(), std::vector<std::u8string>{});

  const std::string acad2010 = "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\";
  EXPECT_EQ(HklmDword(acad2010 + "VX_ZurezUvad2010", "LOADCTRLS"), 2u);
  EXPECT_EQ(HklmString(acad2010 + "VX_ZurezUvad2010", "LOADER"), "C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2010.ARX");
  EXPECT_EQ(HklmDword(acad2010 + "Vornex2010DLLP", "LOADCTRLS"), 2u);
  EXPECT_EQ(HklmString(acad2010 + "Vornex2010DLLP", "LOADER"),
            "C:\\Program Files\\Autodesk\\AutoCAD 2010\\VXCAD2010P.dll");
  EXPECT_EQ(HklmDword(acad2010 + "Vornex2010DLLP", "MANAGED"), 1u);
  // AutoCAD's own load keys stay as they were.
  EXPECT_EQ(HklmString(acad2010 + "AcadVBA", "LOADER"), "C:\\Program Files\\Autodesk\\AutoCAD 2010\\acvba.arx");

  const std::string acad2022 = "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Applications\\";
  EXPECT_EQ(HklmString(acad2022 + "VX_ZurezUvad2022", "LOADER"), "C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2021.ARX");
  EXPECT_EQ(HklmString(acad2022 + "Vornex2022DLLP", "LOADER"),
            "C:\\Program Files\\Autodesk\\AutoCAD 2022\\VXCAD2013P.dll");

  // The Chinese profile had no TRUSTEDPATHS; the English one had two folders.
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R18.0\\ACAD-8001:804\\Profiles\\" + Ansi("<<未命名配置>>") +
                           "\\Variables",
                       "TRUSTEDPATHS"),
            kInstallFolder);
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables",
                       "TRUSTEDPATHS"),
            "C:\\PROGRAM FILES\\AUTODESK\\AUTOCAD 2022\\PLUGINS\\...;C:\\USERS\\JSMITH\\DOCUMENTS\\LISP;"
            "C:\\VORNEX\\V-ZUREZUVAD");
}

TEST_F(RegistrationTest, UpgradeOverAnOlderInstallation) {
  ScanFixture("install-upgrade.reg");
  ASSERT_EQ(catalog_.m_arrKeyPaths[YearIndex(2011)].size(), 2u);
  catalog_.m_strInstallFolder = "D:\\Vornex\\V-ZurezUvad";
  Register(Selected({2009, 2011}));

  // 2009 gets the 2008 module's key beside its own.
  const std::string acad2009 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.2\\ACAD-7001:804";
  EXPECT_EQ(Applications(acad2009),
            (std::vector<std::string>{"AcadVBA", "Vornex2009DLLP", "VX_ZurezUvad2008", "VX_ZurezUvad2009"}));
  EXPECT_EQ(HklmString(acad2009 + "\\Applications\\VX_ZurezUvad2008", "LOADER"),
            "D:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2008.ARX");
  EXPECT_EQ(HklmDword(acad2009 + "\\Applications\\VX_ZurezUvad2008", "LOADCTRLS"), 2u);

  // The old ARX key lost its extra values; the old managed key has a sub-key, so it cannot be
  // deleted and its values are set over the old ones.
  const std::string acad2011 = "SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804\\Applications\\";
  EXPECT_EQ(ValueNames(RootKey::LocalMachine, acad2011 + "VX_ZurezUvad2011"),
            (std::vector<std::string>{"LOADCTRLS", "LOADER"}));
  EXPECT_EQ(HklmDword(acad2011 + "VX_ZurezUvad2011", "LOADCTRLS"), 2u);
  EXPECT_EQ(HklmString(acad2011 + "VX_ZurezUvad2011", "LOADER"), "D:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2010.ARX");
  EXPECT_EQ(ValueNames(RootKey::LocalMachine, acad2011 + "Vornex2011DLLP"),
            (std::vector<std::string>{"DESCRIPTION", "LOADCTRLS", "LOADER", "MANAGED"}));
  EXPECT_TRUE(sim_.registry().KeyExists(RootKey::LocalMachine, acad2011 + "Vornex2011DLLP\\Commands"));

  // Two products of one release, each with its own AutoCAD folder.
  EXPECT_EQ(HklmString(acad2011 + "Vornex2011DLLP", "LOADER"),
            "C:\\Program Files\\Autodesk\\AutoCAD 2011\\VXCAD2010P.dll");
  EXPECT_EQ(HklmString("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9000:804\\Applications\\Vornex2011DLLP", "LOADER"),
            "D:\\Autodesk\\AutoCAD Civil 3D 2011\\VXCAD2010P.dll");
  EXPECT_EQ(HklmString("SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9000:804\\Applications\\VX_ZurezUvad2011", "LOADER"),
            "D:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2010.ARX");

  const std::string user2011 = std::string(kUserAcad) + "R18.1\\";
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R17.2\\ACAD-7001:804\\Profiles\\" + Ansi("<<未命名配置>>") +
                           "\\Variables",
                       "TRUSTEDPATHS"),
            "D:\\VORNEX\\V-ZUREZUVAD");
  EXPECT_EQ(HkcuString(user2011 + "ACAD-9000:804\\Profiles\\<<C3D_Metric>>\\Variables", "TRUSTEDPATHS"),
            "D:\\VORNEX\\V-ZUREZUVAD\\...;");
  // A profile without "Variables" gets the key, with the folder in its own case.
  EXPECT_EQ(HkcuString(user2011 + "ACAD-9001:804\\Profiles\\" + Ansi("<<未命名配置>>") + "\\Variables", "TRUSTEDPATHS"),
            "D:\\Vornex\\V-ZurezUvad");
  // Only a longer path with the folder's text was there: the folder is added.
  const std::string plot = user2011 + "ACAD-9001:804\\Profiles\\" + Ansi("出图") + "\\Variables";
  EXPECT_EQ(HkcuString(plot, "TRUSTEDPATHS"), Ansi("D:\\VORNEX\\V-ZUREZUVAD2;D:\\图库\\;D:\\VORNEX\\V-ZUREZUVAD"));
  EXPECT_EQ(HkcuString(plot, "LWDEFAULT"), "25");
  // A product without profiles gets nothing.
  EXPECT_EQ(sim_.registry().SubKeyNames(RootKey::CurrentUser, user2011 + "ACAD-9002:804"),
            std::vector<std::string>{});
}

// The module years of every served release, and the keys each one gets.
struct YearCase {
  int release;
  std::vector<std::string> keys;  // Applications sub-keys, in enumeration order
  const char* arxLoader;          // of "VX_ZurezUvad<release>"
  const char* managedLoader;      // of "Vornex<release>DLLP"
};

TEST_F(RegistrationTest, ModuleYearsOfEveryRelease) {
  const YearCase cases[] = {
      {2007, {"Vornex2007DLLP", "VX_ZurezUvad2007"}, "VX_ZurezUvad2008.ARX", "VXCAD2007P.dll"},
      {2008, {"Vornex2008DLLP", "VX_ZurezUvad2008"}, "VX_ZurezUvad2008.ARX", "VXCAD2007P.dll"},
      {2009, {"Vornex2009DLLP", "VX_ZurezUvad2008", "VX_ZurezUvad2009"}, "VX_ZurezUvad2009.ARX", "VXCAD2009P.dll"},
      {2010, {"Vornex2010DLLP", "VX_ZurezUvad2010"}, "VX_ZurezUvad2010.ARX", "VXCAD2010P.dll"},
      {2011, {"Vornex2011DLLP", "VX_ZurezUvad2011"}, "VX_ZurezUvad2010.ARX", "VXCAD2010P.dll"},
      {2012, {"Vornex2012DLLP", "VX_ZurezUvad2012"}, "VX_ZurezUvad2010.ARX", "VXCAD2010P.dll"},
      {2013, {"Vornex2013DLLP", "VX_ZurezUvad2013"}, "VX_ZurezUvad2013.ARX", "VXCAD2013P.dll"},
      {2014, {"Vornex2014DLLP", "VX_ZurezUvad2014"}, "VX_ZurezUvad2013.ARX", "VXCAD2013P.dll"},
      {2015, {"Vornex2015DLLP", "VX_ZurezUvad2015"}, "VX_ZurezUvad2015.ARX", "VXCAD2013P.dll"},
      {2016, {"Vornex2016DLLP", "VX_ZurezUvad2016"}, "VX_ZurezUvad2015.ARX", "VXCAD2013P.dll"},
      {2017, {"Vornex2017DLLP", "VX_ZurezUvad2017"}, "VX_ZurezUvad2017.ARX", "VXCAD2013P.dll"},
      {2018, {"Vornex2018DLLP", "VX_ZurezUvad2018"}, "VX_ZurezUvad2018.ARX", "VXCAD2013P.dll"},
      {2019, {"Vornex2019DLLP", "VX_ZurezUvad2019"}, "VX_ZurezUvad2019.ARX", "VXCAD2013P.dll"},
      {2020, {"Vornex2020DLLP", "VX_ZurezUvad2020"}, "VX_ZurezUvad2019.ARX", "VXCAD2013P.dll"},
      {2021, {"Vornex2021DLLP", "VX_ZurezUvad2021"}, "VX_ZurezUvad2021.ARX", "VXCAD2013P.dll"},
      {2022, {"Vornex2022DLLP", "VX_ZurezUvad2022"}, "VX_ZurezUvad2021.ARX", "VXCAD2013P.dll"},
      {2023, {"Vornex2023DLLP", "VX_ZurezUvad2023"}, "VX_ZurezUvad2021.ARX", "VXCAD2013P.dll"},
      {2024, {"Vornex2024DLLP", "VX_ZurezUvad2024"}, "VX_ZurezUvad2021.ARX", "VXCAD2013P.dll"},
      {2025, {"Vornex2025DLLP", "VX_ZurezUvad2025"}, "VX_ZurezUvad2025.ARX", "VXCAD2013P.dll"},
      {2026, {"Vornex2026DLLP", "VX_ZurezUvad2026"}, "VX_ZurezUvad2025.ARX", "VXCAD2013P.dll"},
  };
  static_assert(std::size(cases) == static_cast<std::size_t>(kYearCount));
  catalog_.m_strInstallFolder = kInstallFolder;
  for (const YearCase& c : cases) {
    const std::string product = "SOFTWARE\\Autodesk\\AutoCAD\\R" + std::to_string(c.release) + "\\ACAD-0001:804";
    AddProduct(c.release, product, "C:\\AutoCAD " + std::to_string(c.release));
  }
  Register(AllSelected());
  for (const YearCase& c : cases) {
    SCOPED_TRACE(c.release);
    const std::string year = std::to_string(c.release);
    const std::string apps = "SOFTWARE\\Autodesk\\AutoCAD\\R" + year + "\\ACAD-0001:804\\Applications\\";
    EXPECT_EQ(Applications("SOFTWARE\\Autodesk\\AutoCAD\\R" + year + "\\ACAD-0001:804"), c.keys);
    EXPECT_EQ(HklmString(apps + "VX_ZurezUvad" + year, "LOADER"), std::string(kInstallFolder) + "\\" + c.arxLoader);
    EXPECT_EQ(HklmString(apps + "Vornex" + year + "DLLP", "LOADER"), "C:\\AutoCAD " + year + "\\" + c.managedLoader);
    EXPECT_EQ(ValueNames(RootKey::LocalMachine, apps + "Vornex" + year + "DLLP"),
              (std::vector<std::string>{"LOADCTRLS", "LOADER", "MANAGED"}));
  }
}

TEST_F(RegistrationTest, YearsOutsideTheTableWriteNothing) {
  EXPECT_FALSE(FindModuleYears(2006));
  EXPECT_FALSE(FindModuleYears(2027));
  catalog_.m_strInstallFolder = kInstallFolder;
  AddProduct(2010, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", "C:\\AutoCAD 2010");
  RegisterRelease(catalog_, 2006, kBitness64, sim_.machine());
  RegisterRelease(catalog_, 2027, kBitness64, sim_.machine());
  EXPECT_TRUE(Applications("SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804").empty());
}

TEST_F(RegistrationTest, ThirtyTwoBitEditionOf2009HasNoExtraKey) {
  catalog_.m_strInstallFolder = kInstallFolder;
  const std::string product = "SOFTWARE\\Autodesk\\AutoCAD\\R17.2\\ACAD-7001:804";
  AddProduct(2009, product, "C:\\AutoCAD 2009");
  Register(Selected({2009}), 32);
  EXPECT_EQ(Applications(product), (std::vector<std::string>{"Vornex2009DLLP", "VX_ZurezUvad2009"}));
}

TEST_F(RegistrationTest, OnlySelectedReleasesWithProductsAreWritten) {
  ScanFixture("two-releases.reg");
  catalog_.m_strInstallFolder = kInstallFolder;
  const std::string acad2010 = "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804";
  const std::string acad2022 = "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409";
  const std::vector<std::string> before2010 = Applications(acad2010);
  const std::vector<std::string> before2022 = Applications(acad2022);

  // Nothing selected: no load key, but every profile still trusts the folder.
  Register(ReleaseFlags{});
  EXPECT_EQ(Applications(acad2010), before2010);
  EXPECT_EQ(Applications(acad2022), before2022);
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R18.0\\ACAD-8001:804\\Profiles\\" + Ansi("<<未命名配置>>") +
                           "\\Variables",
                       "TRUSTEDPATHS"),
            kInstallFolder);

  // A selected release with no product found writes nothing; 2022 alone is written.
  Register(Selected({2013, 2022}));
  EXPECT_EQ(Applications(acad2010), before2010);
  EXPECT_EQ(Applications(acad2022), (std::vector<std::string>{"AcadBIMCore", "Vornex2022DLLP", "VX_ZurezUvad2022"}));
}

TEST_F(RegistrationTest, UnopenableProductKeyIsSkipped) {
  catalog_.m_strInstallFolder = kInstallFolder;
  const std::string locked = "SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9000:804";
  const std::string open = "SOFTWARE\\Autodesk\\AutoCAD\\R18.1\\ACAD-9001:804";
  AddProduct(2011, locked, "D:\\Civil 3D 2011");
  AddProduct(2011, open, "C:\\AutoCAD 2011");
  sim_.registry().DenyOpen(RootKey::LocalMachine, locked, sim::Deny::WriteAccess);
  Register(Selected({2011}));
  EXPECT_EQ(issues_.Issues().Items(), std::vector<std::u8string>{U8("HKEY_LOCAL_MACHINE\\" + locked)});
  EXPECT_TRUE(Applications(locked).empty());
  EXPECT_EQ(HklmString(open + "\\Applications\\Vornex2011DLLP", "LOADER"), "C:\\AutoCAD 2011\\VXCAD2010P.dll");
}

// A loader path AutoCAD could not open is not registered, cut or whole; the old key stays and the
// other keys are still written. 259 characters still fit.
TEST_F(RegistrationTest, OverlongLoaderLeavesThatKeyAlone) {
  const std::string product = "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804";
  const std::string apps = product + "\\Applications\\";
  const std::string arxModule = "\\VX_ZurezUvad2010.ARX";
  const std::string managedModule = "\\VXCAD2010P.dll";
  struct Case {
    std::size_t installLength;
    std::size_t acadLength;
    bool arxWritten;
    bool managedWritten;
    std::vector<std::u8string> issues;
  };
  const Case cases[] = {
      {259 - arxModule.size(), 259 - managedModule.size(), true, true, {}},
      {260 - arxModule.size(), 30, false, true,
       {U8("HKEY_LOCAL_MACHINE\\" + apps + "VX_ZurezUvad2010（路径超过259个字符）")}},
      {30, 260 - managedModule.size(), true, false,
       {U8("HKEY_LOCAL_MACHINE\\" + apps + "Vornex2010DLLP（路径超过259个字符）")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installLength);
    sim::SimMachine fresh;
    CAcadCatalog catalog;
    ASSERT_TRUE(fresh.registry().SetString(RootKey::LocalMachine, apps + "VX_ZurezUvad2010", "LOADER", "old"));
    ASSERT_TRUE(fresh.registry().SetString(RootKey::LocalMachine, apps + "Vornex2010DLLP", "LOADER", "old"));
    const std::string install = "C:\\" + std::string(c.installLength - 3, 'i');
    const std::string acad = "C:\\" + std::string(c.acadLength - 3, 'a');
    catalog.m_strInstallFolder = install;
    catalog.m_arrKeyPaths[YearIndex(2010)].push_back(product + "\\");
    catalog.m_arrLocations[YearIndex(2010)].push_back(acad);
    install::InstallRecord issues;
    RegisterWithAcad(catalog, Selected({2010}), kBitness64, fresh.machine(), &issues);
    EXPECT_EQ(issues.Issues().Items(), c.issues);
    EXPECT_EQ(fresh.registry().GetString(RootKey::LocalMachine, apps + "VX_ZurezUvad2010", "LOADER"),
              c.arxWritten ? install + arxModule : "old");
    EXPECT_EQ(fresh.registry().GetString(RootKey::LocalMachine, apps + "Vornex2010DLLP", "LOADER"),
              c.managedWritten ? acad + managedModule : "old");
    EXPECT_EQ(fresh.registry().Get(RootKey::LocalMachine, apps + "VX_ZurezUvad2010", "LOADCTRLS").has_value(),
              c.arxWritten);
  }
}

// "TRUSTEDPATHS" as the registry holds it before the merge, and what it holds afterwards.
struct TrustedCase {
  const char* label;
  bool keyExists;
  std::optional<platform::RegValue> before;
  std::string after;
  std::uint32_t afterType = platform::kRegSz;
};

platform::RegValue Sz(const std::string& text) { return {platform::kRegSz, platform::SzData(text)}; }

class TrustedPathsValueTest : public MachineTest, public ::testing::WithParamInterface<TrustedCase> {};

TEST_P(TrustedPathsValueTest, MergesTheWholeValue) {
  const TrustedCase& c = GetParam();
  const std::string variables = std::string(kUserAcad) + "R18.0\\ACAD-8001:804\\Profiles\\" +
                                Ansi("<<未命名配置>>") + "\\Variables";
  const std::string profile = variables.substr(0, variables.size() - std::string("\\Variables").size());
  ASSERT_TRUE(sim_.registry().CreatePath(RootKey::CurrentUser, c.keyExists ? variables : profile));
  if (c.before) {
    ASSERT_TRUE(sim_.registry().Set(RootKey::CurrentUser, variables, "TRUSTEDPATHS", *c.before));
  }

  CAcadCatalog catalog;
  catalog.m_strInstallFolder = kInstallFolder;
  AddTrustedPath(catalog, sim_.machine());

  const std::optional<platform::RegValue> written = sim_.registry().Get(RootKey::CurrentUser, variables, "TRUSTEDPATHS");
  ASSERT_TRUE(written) << c.label;
  EXPECT_EQ(written->type, c.afterType) << c.label;
  EXPECT_EQ(written->data, platform::SzData(c.after)) << c.label;
  EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);
}

std::string LongTrustedPaths() {
  std::string text;
  for (int i = 0; text.size() < 100 * 1024; ++i) text += "D:\\DRAWINGS\\PROJECT" + std::to_string(i) + "\\LISP;";
  text.pop_back();
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    States, TrustedPathsValueTest,
    ::testing::Values(
        TrustedCase{"no Variables key", false, std::nullopt, kInstallFolder},
        TrustedCase{"no value", true, std::nullopt, kInstallFolder},
        TrustedCase{"empty", true, Sz(""), kInstallFolder},
        TrustedCase{"two bytes", true, Sz("d:"), kInstallFolder},
        TrustedCase{"text without its NUL", true, platform::RegValue{platform::kRegSz, {'d', ':', '\\', 'x'}},
                    "D:\\X;C:\\VORNEX\\V-ZUREZUVAD"},
        TrustedCase{"expandable text stays expandable", true,
                    platform::RegValue{platform::kRegExpandSz, platform::SzData("%x%")}, "%X%;C:\\VORNEX\\V-ZUREZUVAD",
                    platform::kRegExpandSz},
        TrustedCase{"present in another case", true, Sz("c:\\vornex\\v-zurezuvad;d:\\x"), "C:\\VORNEX\\V-ZUREZUVAD;D:\\X"},
        TrustedCase{"a hundred kilobytes", true, Sz(LongTrustedPaths()),
                    LongTrustedPaths() + ";C:\\VORNEX\\V-ZUREZUVAD"},
        TrustedCase{"a hundred kilobytes ending in the folder", true,
                    Sz(LongTrustedPaths() + ";C:\\Vornex\\V-ZurezUvad\\..."),
                    LongTrustedPaths() + ";C:\\VORNEX\\V-ZUREZUVAD\\..."}));

// Profiles whose names or "TRUSTEDPATHS" lie outside the ANSI code page, names as long as Windows
// allows, and values that are not text. Text is written and read back with the wide functions.
struct ProfileCase {
  const char* label;
  std::u8string product;
  std::u8string profile;
  platform::RegValue before;  // string data as written by a Unicode program (UTF-8 here)
  std::u8string after;        // empty: the value stays as it was and is named as not text
  std::string installFolder = kInstallFolder;
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.label; }

platform::RegValue Text(std::u8string_view text, std::uint32_t type = platform::kRegSz) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return {type, std::move(data)};
}

const std::u8string kUnnamedProfile = u8"<<Unnamed Profile>>";
const std::u8string kProduct2022 = u8"ACAD-5101:409";

std::u8string LongName() {
  std::u8string name;
  for (int i = 0; i < 130; ++i) name += u8"图";  // 260 bytes in code page 936, 130 characters
  return name;
}

class TrustedPathsProfileTest : public MachineTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(TrustedPathsProfileTest, EveryEntrySurvivesAndOtherTypesStay) {
  const ProfileCase& c = GetParam();
  const std::u8string variables =
      u8"Software\\Autodesk\\AutoCAD\\R24.1\\" + c.product + u8"\\Profiles\\" + c.profile + u8"\\Variables";
  ASSERT_TRUE(sim_.registry().Set(RootKey::CurrentUser, variables, u8"TRUSTEDPATHS", c.before, true));
  CAcadCatalog catalog;
  catalog.m_strInstallFolder = c.installFolder;
  install::InstallRecord issues;
  AddTrustedPath(catalog, sim_.machine(), &issues);
  EXPECT_EQ(sim_.registry().OpenHandleCount(), 0u);

  const std::optional<platform::RegValue> written =
      sim_.registry().Get(RootKey::CurrentUser, variables, u8"TRUSTEDPATHS");
  ASSERT_TRUE(written);
  EXPECT_EQ(written->type, c.before.type);
  if (c.after.empty()) {
    EXPECT_EQ(written->data, c.before.data);
    EXPECT_EQ(issues.Issues().Items(),
              std::vector<std::u8string>{u8"HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\" + c.product +
                                         u8"\\Profiles\\" + c.profile + u8"\\Variables\\TRUSTEDPATHS" +
                                         install::kIssueNotText});
  } else {
    EXPECT_EQ(sim_.registry().GetString(RootKey::CurrentUser, variables, u8"TRUSTEDPATHS"), c.after);
    EXPECT_TRUE(issues.Issues().Empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    WideRegistry, TrustedPathsProfileTest,
    ::testing::Values(
        ProfileCase{"entries outside the code page", kProduct2022, kUnnamedProfile,
                    Text(u8"D:\\Jörg\\Lisp;E:\\한글;F:\\中"),
                    u8"D:\\JÖRG\\LISP;E:\\한글;F:\\中;C:\\VORNEX\\V-ZUREZUVAD"},
        ProfileCase{"Chinese install folder", kProduct2022, kUnnamedProfile, Text(u8"e:\\한글"),
                    u8"E:\\한글;D:\\软件\\V-ZUREZUVAD", Ansi("D:\\软件\\V-ZurezUvad")},
        // "ö;" is three bytes of UTF-8 but two in the code page ("?;"): no entry worth keeping.
        ProfileCase{"two bytes in the code page", kProduct2022, kUnnamedProfile, Text(u8"ö;"),
                    u8"C:\\Vornex\\V-ZurezUvad"},
        ProfileCase{"profile named outside the code page", kProduct2022, u8"프로필", Text(u8"d:\\x"),
                    u8"D:\\X;C:\\VORNEX\\V-ZUREZUVAD"},
        ProfileCase{"product of 130 characters", LongName(), kUnnamedProfile, Text(u8"d:\\x"),
                    u8"D:\\X;C:\\VORNEX\\V-ZUREZUVAD"},
        ProfileCase{"profile of 130 characters", kProduct2022, LongName(), Text(u8"d:\\x"),
                    u8"D:\\X;C:\\VORNEX\\V-ZUREZUVAD"},
        ProfileCase{"expandable text outside the code page", kProduct2022, u8"프로필",
                    Text(u8"%USERPROFILE%\\Jörg", platform::kRegExpandSz),
                    u8"%USERPROFILE%\\JÖRG;C:\\VORNEX\\V-ZUREZUVAD"},
        ProfileCase{"a list of strings", kProduct2022, kUnnamedProfile,
                    {platform::kRegMultiSz, {'d', ':', '\\', 0, 'e', ':', 0, 0}}, u8""},
        ProfileCase{"bytes", kProduct2022, kUnnamedProfile, {platform::kRegBinary, {0x44, 0x3A, 0x00, 0xFF}}, u8""},
        ProfileCase{"a number", kProduct2022, u8"프로필", {platform::kRegDword, platform::DwordData(0x41414141)},
                    u8""}));

TEST_F(RegistrationTest, NoUserAutoCadKeyWritesLoadKeysOnly) {
  ScanFixture("two-releases.reg");
  ASSERT_TRUE(sim_.registry().DeleteTree(RootKey::CurrentUser, "Software\\Autodesk"));
  catalog_.m_strInstallFolder = kInstallFolder;
  Register(AllSelected());
  EXPECT_FALSE(sim_.registry().KeyExists(RootKey::CurrentUser, "Software\\Autodesk"));
  EXPECT_TRUE(HklmString("SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Applications\\VX_ZurezUvad2022", "LOADER"));
}

// A release or profile whose name cannot be read is passed over; nothing is written in its stead.
TEST_F(RegistrationTest, UnreadableNamesAreSkipped) {
  ScanFixture("install-upgrade.reg");
  catalog_.m_strInstallFolder = "D:\\Vornex\\V-ZurezUvad";
  // Release R17.2 (index 0) and profile <<C3D_Metric>> of Civil 3D (index 0).
  sim_.registry().FailEnumSubKey(RootKey::CurrentUser, "Software\\Autodesk\\AutoCAD", 0);
  sim_.registry().FailEnumSubKey(RootKey::CurrentUser, "Software\\Autodesk\\AutoCAD\\R18.1\\ACAD-9000:804\\Profiles", 0);
  // A profile that cannot be opened for reading.
  const std::string plot = std::string(kUserAcad) + "R18.1\\ACAD-9001:804\\Profiles\\" + Ansi("出图");
  sim_.registry().DenyOpen(RootKey::CurrentUser, plot);
  Register(ReleaseFlags{});

  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R17.2\\ACAD-7001:804\\Profiles\\" + Ansi("<<未命名配置>>") +
                           "\\Variables",
                       "TRUSTEDPATHS"),
            "d:\\vornex\\v-zurezuvad");
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R18.1\\ACAD-9000:804\\Profiles\\<<C3D_Metric>>\\Variables",
                       "TRUSTEDPATHS"),
            "D:\\Vornex\\V-ZurezUvad\\...;");
  sim_.registry().ClearFailures();
  EXPECT_EQ(HkcuString(plot + "\\Variables", "TRUSTEDPATHS"), Ansi("D:\\Vornex\\V-ZurezUvad2;D:\\图库\\"));
  // The rest is still done.
  EXPECT_EQ(HkcuString(std::string(kUserAcad) + "R18.1\\ACAD-9001:804\\Profiles\\" + Ansi("<<未命名配置>>") +
                           "\\Variables",
                       "TRUSTEDPATHS"),
            "D:\\Vornex\\V-ZurezUvad");
  // No key was made from an empty name.
  EXPECT_EQ(sim_.registry().SubKeyNames(RootKey::CurrentUser, "Software\\Autodesk\\AutoCAD"),
            (std::vector<std::string>{"R17.2", "R18.1"}));
}

// What could not be written is named, once, the way regedit shows it (UTF-8 on screen); every other
// key and profile is still done.
struct RefusalCase {
  const char* label;
  std::function<void(sim::SimRegistry&)> refuse;
  std::vector<std::u8string> issues;
};

const std::string kAcad2010 = "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804";
const std::string kAcad2022 = "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409";
const std::string kChineseProfile = kAcad2010 + "\\Profiles\\<<未命名配置>>";
const std::string kEnglishProfile = kAcad2022 + "\\Profiles\\<<Unnamed Profile>>";

std::function<void(sim::SimRegistry&)> Deny(RootKey root, const std::string& path, sim::Deny what) {
  return [=](sim::SimRegistry& registry) { registry.DenyOpen(root, Ansi(path), what); };
}
std::function<void(sim::SimRegistry&)> FailReleaseName(platform::Status status) {
  return [=](sim::SimRegistry& registry) {
    registry.FailEnumSubKey(RootKey::CurrentUser, "Software\\Autodesk\\AutoCAD", 1, status);
  };
}

// Failures name the case, not its bytes.
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.label; }

class RegistrationRefusalTest : public RegistrationTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RegistrationRefusalTest, WhatCouldNotBeWrittenIsNamed) {
  const RefusalCase& c = GetParam();
  ScanFixture("two-releases.reg");
  catalog_.m_strInstallFolder = kInstallFolder;
  c.refuse(sim_.registry());
  Register(AllSelected());
  EXPECT_EQ(issues_.Issues().Items(), c.issues) << c.label;
  sim_.registry().ClearFailures();
  // The rest was written all the same.
  const bool product2010Refused = c.issues == std::vector<std::u8string>{U8("HKEY_LOCAL_MACHINE\\" + kAcad2010)};
  EXPECT_EQ(HklmString(kAcad2010 + "\\Applications\\Vornex2010DLLP", "LOADER").has_value(), !product2010Refused);
  EXPECT_EQ(HklmString(kAcad2022 + "\\Applications\\Vornex2022DLLP", "LOADER"),
            "C:\\Program Files\\Autodesk\\AutoCAD 2022\\VXCAD2013P.dll");
  EXPECT_EQ(HkcuString(Ansi(kChineseProfile) + "\\Variables", "TRUSTEDPATHS").has_value(),
            c.issues.empty() || c.issues[0].find(u8"<<未命名配置>>") == std::u8string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RegistrationRefusalTest,
    ::testing::Values(
        RefusalCase{"product key read-only", Deny(RootKey::LocalMachine, kAcad2010, sim::Deny::WriteAccess),
                    {U8("HKEY_LOCAL_MACHINE\\" + kAcad2010)}},
        RefusalCase{"load key cannot be created",
                    Deny(RootKey::LocalMachine, kAcad2022 + "\\Applications\\VX_ZurezUvad2022", sim::Deny::WriteAccess),
                    {U8("HKEY_LOCAL_MACHINE\\" + kAcad2022 + "\\Applications\\VX_ZurezUvad2022")}},
        RefusalCase{"Variables read-only", Deny(RootKey::CurrentUser, kEnglishProfile + "\\Variables", sim::Deny::WriteAccess),
                    {U8("HKEY_CURRENT_USER\\" + kEnglishProfile + "\\Variables\\TRUSTEDPATHS")}},
        RefusalCase{"Variables unreadable", Deny(RootKey::CurrentUser, kChineseProfile + "\\Variables", sim::Deny::AnyAccess),
                    {U8("HKEY_CURRENT_USER\\" + kChineseProfile + "\\Variables\\TRUSTEDPATHS（无法读取）")}},
        RefusalCase{"profile unreadable", Deny(RootKey::CurrentUser, kEnglishProfile, sim::Deny::AnyAccess),
                    {U8("HKEY_CURRENT_USER\\" + kEnglishProfile + "（无法读取）")}},
        RefusalCase{"profiles unreadable", Deny(RootKey::CurrentUser, kAcad2022 + "\\Profiles", sim::Deny::AnyAccess),
                    {U8("HKEY_CURRENT_USER\\" + kAcad2022 + "\\Profiles（无法读取）")}},
        RefusalCase{"release name unreadable", FailReleaseName(platform::kAccessDenied),
                    {u8"HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD（无法读取）"}},
        // The list ended early: there was nothing more to read.
        RefusalCase{"release gone while listed", FailReleaseName(platform::kNoMoreItems), {}}));

TEST_F(RegistrationTest, ListSubKeysKeepsOrderAndCaseAndSkipsLockedKeys) {
  const std::string base = "Software\\Test";
  for (const char* name : {"zeta", "Alpha", "beta", "Gamma"}) {
    ASSERT_TRUE(sim_.registry().CreatePath(RootKey::CurrentUser, base + "\\" + name));
  }
  sim_.registry().DenyOpen(RootKey::CurrentUser, base + "\\beta");
  platform::UniqueKey user;
  platform::UniqueKey key;
  ASSERT_EQ(sim_.registry().OpenRoot(RootKey::CurrentUser, user), platform::kSuccess);
  ASSERT_EQ(sim_.registry().OpenKey(user.get(), base, platform::Access::Read, key), platform::kSuccess);
  std::vector<std::u8string> names{u8"earlier"};
  ListSubKeys(sim_.registry(), key.get(), names);
  EXPECT_EQ(names, (std::vector<std::u8string>{u8"earlier", u8"Alpha", u8"Gamma", u8"zeta"}));
}

}  // namespace
}  // namespace install_test
