// The payload checked against the manifest SetUp.exe carries, on the simulated machine: a payload
// that differs from it in any way changes nothing and ends with 1603; an intact one installs the
// listed files only; without a manifest everything is installed as before.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/unattended.h"
#include "install/payload_manifest.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"
#include "records/addon_names.h"
#include "support/fixtures.h"

namespace {

constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kLog = "D:\\VornexSetup.log";
constexpr const char* kInstalled = "C:\\Vornex\\V-ZurezUvad";
constexpr const char* kAcad2010 = "C:\\Program Files\\Autodesk\\AutoCAD 2010";
// The payload the manifest was made from: the module, a settings file and a font placed in AutoCAD's folders.
const std::vector<std::pair<std::string, std::string>> kPayload = {
    {"VX_ZurezUvad2010.arx", "the 2010 module"}, {"Vornex.Ini", "[Vornex]"}, {"Vornex_EN.shx", "a font"}};

std::string Hex(const platform::Sha256Digest& digest) {
  std::string out;
  for (const std::uint8_t byte : digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

std::string ManifestOf(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string text = std::string(install::kManifestHeader) + "\n";
  for (const auto& [name, content] : files) {
    text += Hex(sim::Digest(content)) + " " + std::to_string(content.size()) + " " + name + "\n";
  }
  return text;
}

struct CheckCase {
  const char* name;
  bool manifest;                                      // the program carries the payload's manifest
  std::function<void(sim::SimFileSystem&)> change;    // done to Data\ after the manifest was made
  int exitCode;
  std::vector<std::string> logged;                    // each must be in the log (UTF-8)
  std::vector<std::string> installed;                 // must be there afterwards (none: nothing may change)
  std::vector<std::string> absent;                    // must not be there afterwards
  bool msi = false;  // run by the MSI (/S /MSI): its own Apps & features entry is a system component
};

std::string In(const char* folder, const char* name) { return std::string(folder) + "\\" + name; }

class ManifestCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ManifestCheck, RefusesAnyDifferenceBeforeAnythingChanges) {
  const CheckCase& c = GetParam();
  sim::SimMachine sim;
  ASSERT_TRUE(support::LoadRegistryFixture(sim, "registry/two-releases.reg"));
  for (const auto& [name, content] : kPayload) ASSERT_TRUE(sim.files().WriteFile(In(kData, name.c_str()), content));
  for (const char* acad : {kAcad2010, "C:\\Program Files\\Autodesk\\AutoCAD 2022"}) {
    ASSERT_TRUE(sim.files().MakeDirectories(std::string(acad) + "\\Fonts"));
  }
  if (c.manifest) sim.integrity().SetManifest(ManifestOf(kPayload));
  if (c.change) c.change(sim.files());
  sim.files().AddDrive('D');
  const std::vector<std::string> treeBefore = sim.files().Tree("C:\\");
  std::string registryBefore;
  ASSERT_TRUE(sim::SaveReg(sim.registry(), registryBefore));

  CAcadCatalog catalog;
  catalog.Scan(sim.registry());
  install::InstallLog log(sim.logging().support());
  ASSERT_EQ(log.Open(text::FromAnsi(kLog)), platform::kSuccess);
  app::UnattendedPrompts prompts(log, sim.logging().clock());
  platform::Machine quiet{sim.registry(), sim.files(), sim.system(), prompts, sim.logging().support(), sim.integrity()};
  EXPECT_EQ(app::RunUnattended(quiet, catalog, {false, std::nullopt, std::nullopt, false, c.msi}, log, 64, 20250428),
            c.exitCode);

  const std::string logText = sim.files().ReadFile(kLog).value_or("");
  for (const std::string& part : c.logged) EXPECT_NE(logText.find(part), std::string::npos) << part << "\n" << logText;
  if (c.installed.empty()) {
    EXPECT_EQ(sim.files().Tree("C:\\"), treeBefore);
    std::string registryAfter;
    ASSERT_TRUE(sim::SaveReg(sim.registry(), registryAfter));
    EXPECT_EQ(registryAfter, registryBefore);
  }
  for (const std::string& path : c.installed) EXPECT_TRUE(sim.files().Exists(path)) << path;
  if (!c.installed.empty()) {
    // Only the package's entry is listed when the MSI runs SetUp.exe; run by itself, SetUp.exe's is.
    EXPECT_EQ(sim.registry().Get(platform::RootKey::LocalMachine, install::kUninstallKeyPath, "SystemComponent").has_value(),
              c.msi);
  }
  for (const std::string& path : c.absent) EXPECT_FALSE(sim.files().Exists(path)) << path;
  // The files stay held only while the installation runs.
  EXPECT_EQ(sim.integrity().HeldCount(), 0u);
}

const std::string kModule = In(kData, "VX_ZurezUvad2010.arx");

INSTANTIATE_TEST_SUITE_P(
    Manifest, ManifestCheck,
    ::testing::Values(
        CheckCase{"Intact", true, nullptr, app::kExitSuccess,
                  {"安装文件与清单一致：3 个文件"},
                  {In(kInstalled, "VX_ZurezUvad2010.arx"), In(kAcad2010, "Fonts\\Vornex_EN.shx")},
                  {},
                  true},
        CheckCase{"FileMissing", true, [](sim::SimFileSystem& files) { EXPECT_TRUE(files.Remove(kModule)); },
                  app::kExitFailed, {"VX_ZurezUvad2010.arx：文件不存在", "安装文件 C:\\Setup\\Data\\VX_ZurezUvad2010.arx 缺失"},
                  {}, {}},
        CheckCase{"OneByteChanged", true,
                  [](sim::SimFileSystem& files) { EXPECT_TRUE(files.WriteFile(kModule, "the 2011 module")); },
                  app::kExitFailed, {"VX_ZurezUvad2010.arx：SHA-256 为 "}, {}, {}},
        // Placed in AutoCAD's folders only, never read by the payload copy: checked before anything changes.
        CheckCase{"FontChangedByOneByte", true,
                  [](sim::SimFileSystem& files) { EXPECT_TRUE(files.WriteFile(In(kData, "Vornex_EN.shx"), "a fonT")); },
                  app::kExitFailed, {"Vornex_EN.shx：SHA-256 为 "}, {}, {}},
        CheckCase{"AnotherSize", true,
                  [](sim::SimFileSystem& files) { EXPECT_TRUE(files.WriteFile(In(kData, "Vornex.Ini"), "[Vornex]\r\n")); },
                  app::kExitFailed, {"Vornex.Ini：大小为 10 字节，清单中为 8 字节"}, {}, {}},
        CheckCase{"ExtraFiles", true,
                  [](sim::SimFileSystem& files) {
                    EXPECT_TRUE(files.WriteFile(In(kData, "VX_ZurezUvad2021.arx"), "a module of someone's"));
                    EXPECT_TRUE(files.WriteFile(In(kData, "itextsharp.dll"), "a library of someone's"));
                  },
                  app::kExitSuccess,
                  {"清单中没有的文件，不安装：C:\\Setup\\Data\\VX_ZurezUvad2021.arx",
                   "清单中没有的文件，不安装：C:\\Setup\\Data\\itextsharp.dll"},
                  {In(kInstalled, "VX_ZurezUvad2010.arx")},
                  {In(kInstalled, "VX_ZurezUvad2021.arx"), In(kAcad2010, "itextsharp.dll")}},
        CheckCase{"NoManifest", false,
                  [](sim::SimFileSystem& files) { EXPECT_TRUE(files.WriteFile(In(kData, "itextsharp.dll"), "library")); },
                  app::kExitSuccess, {"不带安装文件清单"},
                  {In(kInstalled, "VX_ZurezUvad2010.arx"), In(kAcad2010, "itextsharp.dll")}, {}}),
    [](const ::testing::TestParamInfo<CheckCase>& row) { return std::string(row.param.name); });

// Manifests SetUp.exe must not act on: a check against half a list would install what it does not list.
struct ParseCase {
  const char* name;
  std::string text;
  bool valid;
};

class ManifestText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ManifestText, IsTakenWholeOrNotAtAll) {
  std::vector<install::ManifestEntry> entries;
  EXPECT_EQ(install::ParseManifest(GetParam().text, entries), GetParam().valid);
}

const std::string kLine = std::string(64, 'a') + " 12 ";

INSTANTIATE_TEST_SUITE_P(
    Lines, ManifestText,
    ::testing::Values(ParseCase{"CrlfLines", "Vornex payload manifest 1\r\n" + kLine + "a.arx\r\n", true},
                      ParseCase{"OtherHeader", "Vornex payload manifest 2\n" + kLine + "a.arx\n", false},
                      ParseCase{"Empty", "", false},
                      ParseCase{"ShortDigest", "Vornex payload manifest 1\n" + std::string(63, 'a') + " 12 a.arx\n", false},
                      ParseCase{"NotHex", "Vornex payload manifest 1\n" + std::string(63, 'a') + "g 12 a.arx\n", false},
                      ParseCase{"NoSize", "Vornex payload manifest 1\n" + std::string(64, 'a') + "  a.arx\n", false},
                      ParseCase{"PathInName", "Vornex payload manifest 1\n" + kLine + "..\\a.arx\n", false},
                      ParseCase{"SameNameTwice", "Vornex payload manifest 1\n" + kLine + "a.arx\n" + kLine + "A.ARX\n", false}),
    [](const ::testing::TestParamInfo<ParseCase>& row) { return std::string(row.param.name); });

}  // namespace
