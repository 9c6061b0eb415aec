// The machine the installation, its rollback and the uninstall are run on: AutoCAD 2008 (whose PDF
// driver the add-on replaces), 2010 in Chinese and 2022 in English, a profile without "Variables",
// and the payload beside the installer; installed for all three releases into C:\Vornex.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_engine.h"
#include "platform/sim/sim_machine.h"
#include "support/fixtures.h"
#include "uninstall/uninstall.h"

namespace support {

inline constexpr const char* kAcad2008 = "C:\\Program Files\\Autodesk\\AutoCAD 2008";
inline constexpr const char* kAcad2010 = "C:\\Program Files\\Autodesk\\AutoCAD 2010";
inline constexpr const char* kAcad2022 = "C:\\Program Files\\Autodesk\\AutoCAD 2022";
inline constexpr const char* kProduct2008 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804";
inline constexpr const char* kInstallFolder = "C:\\Vornex\\V-ZurezUvad";
inline constexpr const char* kJournal = "C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal";
inline constexpr const char* kDriver = "C:\\Program Files\\Autodesk\\AutoCAD 2008\\Drv\\pdfplot9.hdi";
inline const std::vector<std::string> kAddonPayload = {"VX_ZurezUvad2008.arx", "VX_ZurezUvad2010.arx",
                                                       "VX_ZurezUvad2021.arx", "VXCAD2013P.dll",
                                                       "Vornex_EN.shx",        "Vornex.prt5",
                                                       "Vornex.Ini"};

class NullView final : public install::UninstallView, public install::InstallView {
 public:
  void CopyStarting() override {}
  void RemovalStarting() override {}
  platform::ProgressBar& Progress() override { return progress; }
  sim::SimProgressBar progress;
};

class AddonRig {
 public:
  // `driver`: AutoCAD's own PDF driver; each payload file holds its name and `mark`.
  explicit AddonRig(const std::string& driver, const std::vector<std::string>& payload = kAddonPayload,
                    const std::string& mark = "") {
    const sim::RegFileResult loaded = LoadRegistryFixture(sim, "registry/two-releases.reg");
    EXPECT_TRUE(loaded) << loaded.Describe();
    auto& reg = sim.registry();
    EXPECT_TRUE(reg.SetString(platform::RootKey::LocalMachine, kProduct2008, "AcadLocation", std::string(kAcad2008) + "\\"));
    EXPECT_TRUE(reg.SetString(platform::RootKey::LocalMachine, kProduct2008, "ProductName", "AutoCAD 2008"));
    EXPECT_TRUE(reg.CreatePath(platform::RootKey::CurrentUser,
                               "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Plotting"));
    for (const char* acad : {kAcad2008, kAcad2010, kAcad2022}) {
      EXPECT_TRUE(sim.files().MakeDirectories(std::string(acad) + "\\Fonts"));
    }
    EXPECT_TRUE(sim.files().WriteFile(kDriver, driver));
    Payload(payload, mark);
    catalog.Scan(sim.registry());
  }

  void Payload(const std::vector<std::string>& names, const std::string& mark) {
    for (const std::string& name : names) EXPECT_TRUE(sim.files().WriteFile("C:\\Setup\\Data\\" + name, name + mark));
  }

  install::InstallOutcome Install(int version = 20250428, const std::string& folder = "C:\\Vornex") {
    install::InstallChoices choices;
    for (const int year : {2008, 2010, 2022}) choices.releases[YearIndex(year)] = 1;
    choices.typedFolder = folder;
    install::CInstallEngine engine(sim.machine(), catalog, 64, version);
    return engine.Run(choices, view);
  }

  install::UninstallOutcome Uninstall(const install::UninstallChoices& choices) {
    install::CUninstallEngine engine(sim.machine(), catalog);
    return engine.Run(choices, view);
  }

  std::u8string LastBox() { return sim.prompts().Boxes().empty() ? u8"" : sim.prompts().Boxes().back().text; }

  sim::SimMachine sim;
  CAcadCatalog catalog;
  NullView view;
};

}  // namespace support
