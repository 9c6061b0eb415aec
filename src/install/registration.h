// Registration with AutoCAD: demand-load entries per product key, then the trusted install folder
// in the running user's profiles (users/profiles.h).
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "discovery/release_years.h"
#include "records/install_record.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "records/addon_names.h"
#include "users/profiles.h"

// One selection flag per release year, kFirstYear first; non-zero means selected.
using ReleaseFlags = std::array<int, static_cast<std::size_t>(kYearCount)>;

// The module files that serve a release: their years need not be the release year.
struct ModuleYears {
  int arx;      // "VX_ZurezUvad<arx>.ARX" in the install folder
  int managed;  // "VXCAD<managed>P.dll" in the AutoCAD folder
};
// Nothing for a year the installer does not serve.
std::optional<ModuleYears> FindModuleYears(int releaseYear);


// Writes the load entries of every selected release, then trusts the install folder in every
// AutoCAD profile of the current user (also when nothing is selected). Shows nothing: what fails
// is skipped, the next step runs, and the key or value left undone goes into `record` if given.
// `bitness` is the build's g_nBitness (ui/build_constants.h), handed down by the install sequence.
void RegisterWithAcad(const CAcadCatalog& catalog, const ReleaseFlags& flags, int bitness,
                      platform::Machine& machine,
                      install::InstallRecord* record = nullptr);

// The load entries of one release under each of its product keys; what fails is skipped (and
// named in `record`). The 64-bit edition of 2009 also gets the 2008 module's key.
void RegisterRelease(const CAcadCatalog& catalog, int releaseYear, int bitness,
                     platform::Machine& machine,
                     install::InstallRecord* record = nullptr);
