// Per-release support files: fonts, the PDF library, the managed modules and the 2008 plotter driver.
#pragma once
#include <string>

#include "discovery/acad_catalog.h"
#include "records/addon_names.h"
#include "records/install_record.h"
#include "install/payload_manifest.h"
#include "install/registration.h"
#include "platform/machine.h"

// The release whose AutoCAD gets the add-on's plotter driver in place of its own.
inline constexpr int kPlotterDriverYear = 2008;

// For each selected release, the support files into each of its AutoCAD folders. Shows nothing of
// its own; a copy that fails is passed over and its target named in `record` if given. With
// `checked`, a file the payload's manifest does not list is not placed.
void DeploySupportFiles(const CAcadCatalog& catalog, const ReleaseFlags& flags,
                        platform::Machine& machine,
                        install::InstallRecord* record = nullptr, const install::CheckedPayload* checked = nullptr);

// The support files into one AutoCAD folder; copies that fail are passed over. A failed copy
// whose source is in the payload goes into `record`; one whose source the payload lacks does not,
// since the payload ships only some of the managed modules tried. The folder is only read, and
// only while the call runs.
void CopySupportFiles(const std::string& acadFolder, bool withPlotterDriver,
                      platform::Machine& machine,
                      install::InstallRecord* record = nullptr, const install::CheckedPayload* checked = nullptr);
