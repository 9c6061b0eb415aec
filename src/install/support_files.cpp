// Per-release support files.
#include "install/support_files.h"

#include "install/install_texts.h"
#include "install/path_limits.h"
#include "install/payload.h"

namespace {

// A copy into an AutoCAD folder. A path the file API would refuse is not handed to it at all.
// A failure counts only when the payload has the file: most of the module years tried are not
// shipped, and their absence is no fault. The source is looked at only after a failed copy.
void CopyNoting(platform::Machine& machine, const std::string& source, const std::string& target,
                install::InstallIssues* issues) {
  if (FitsMaxPath(source) && FitsMaxPath(target) &&
      machine.files.CopyFile(source, target, false) == platform::kSuccess) {
    return;
  }
  if (GetPathKind(source, machine) != kPathFile) return;
  install::Report(issues, target, FitsMaxPath(target) ? "" : install::kIssueTooLong);
}

}  // namespace

void DeploySupportFiles(const CAcadCatalog& catalog, const ReleaseFlags& flags, platform::Machine& machine,
                        install::InstallIssues* issues) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] == 0) continue;
    for (const std::string& folder : catalog.m_arrLocations[YearIndex(year)]) {
      CopySupportFiles(folder, year == kPlotterDriverYear, machine, issues);
    }
  }
}

void CopySupportFiles(const std::string& acadFolder, bool withPlotterDriver, platform::Machine& machine,
                      install::InstallIssues* issues) {
  // The lookup shows its own message when the payload has gone; every copy from it would fail.
  std::string payload;
  if (!FindPayloadFolder(payload, machine)) {
    install::Report(issues, acadFolder, install::kIssueNoPayload);
    return;
  }

  const std::string fonts = acadFolder + "\\Fonts";
  CopyNoting(machine, payload + "\\Vornex_EN.shx", fonts + "\\Vornex_EN.shx", issues);
  CopyNoting(machine, payload + "\\Vornex_HZ.shx", fonts + "\\Vornex_HZ.shx", issues);
  CopyNoting(machine, payload + "\\itextsharp.dll", acadFolder + "\\itextsharp.dll", issues);
  for (int year = kFirstModuleYear; year <= kLastModuleYear; ++year) {
    const std::string module = "\\VXCAD" + std::to_string(year) + "P.dll";
    CopyNoting(machine, payload + module, acadFolder + module, issues);
  }
  if (withPlotterDriver) {
    // The add-on's driver takes the name of AutoCAD's own PDF plotter driver.
    CopyNoting(machine, payload + "\\Vornex.prt5", acadFolder + "\\Drv\\pdfplot9.hdi", issues);
  }
}
