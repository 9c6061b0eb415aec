// Registration with AutoCAD: demand-load entries per product key and the trusted install folder per profile.
#pragma once
#include <array>
#include <optional>
#include <string>

#include "discovery/acad_catalog.h"
#include "discovery/release_years.h"
#include "platform/machine.h"
#include "platform/registry.h"

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
// AutoCAD profile of the current user (also when nothing is selected). Reports nothing.
// `bitness` is the build's g_nBitness (ui/build_constants.h), handed down by the install sequence.
void RegisterWithAcad(const CAcadCatalog& catalog, const ReleaseFlags& flags, int bitness,
                      platform::Machine& machine = platform::CurrentMachine());

// The load entries of one release under each of its product keys; what fails is skipped. The
// 64-bit edition of 2009 also gets the 2008 module's key.
void RegisterRelease(const CAcadCatalog& catalog, int releaseYear, int bitness,
                     platform::Machine& machine = platform::CurrentMachine());

// Merges the catalogue's install folder into "TRUSTEDPATHS" of every profile of every AutoCAD
// product of the current user.
void AddTrustedPath(const CAcadCatalog& catalog, platform::Machine& machine = platform::CurrentMachine());

// Appends the name of every sub-key of `key` that opens for reading, in enumeration order.
void ListSubKeys(platform::Registry& registry, platform::KeyHandle key, StringList& names);
