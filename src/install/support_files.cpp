// Per-release support files.
#include "install/support_files.h"

#include "install/path_limits.h"
#include "install/payload.h"

namespace {

// A copy into an AutoCAD folder; its result is not wanted. A path the file API would refuse is
// not handed to it at all.
void CopyQuietly(platform::Machine& machine, const std::string& source, const std::string& target) {
  if (!FitsMaxPath(source) || !FitsMaxPath(target)) return;
  machine.files.CopyFile(source, target, false);
}

}  // namespace

void DeploySupportFiles(const CAcadCatalog& catalog, const ReleaseFlags& flags, platform::Machine& machine) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] == 0) continue;
    for (const std::string& folder : catalog.m_arrLocations[YearIndex(year)]) {
      CopySupportFiles(folder, year == kPlotterDriverYear, machine);
    }
  }
}

void CopySupportFiles(const std::string& acadFolder, bool withPlotterDriver, platform::Machine& machine) {
  // The lookup shows its own message when the payload has gone; every copy from it would fail.
  std::string payload;
  if (!FindPayloadFolder(payload, machine)) return;

  const std::string fonts = acadFolder + "\\Fonts";
  CopyQuietly(machine, payload + "\\Vornex_EN.shx", fonts + "\\Vornex_EN.shx");
  CopyQuietly(machine, payload + "\\Vornex_HZ.shx", fonts + "\\Vornex_HZ.shx");
  CopyQuietly(machine, payload + "\\itextsharp.dll", acadFolder + "\\itextsharp.dll");
  for (int year = kFirstModuleYear; year <= kLastModuleYear; ++year) {
    const std::string module = "\\VXCAD" + std::to_string(year) + "P.dll";
    CopyQuietly(machine, payload + module, acadFolder + module);
  }
  if (withPlotterDriver) {
    // The add-on's driver takes the name of AutoCAD's own PDF plotter driver.
    CopyQuietly(machine, payload + "\\Vornex.prt5", acadFolder + "\\Drv\\pdfplot9.hdi");
  }
}
