// What a run that ended well leaves of the installations before it: in its own folder, the files of
// earlier runs the new payload no longer has (taken out as the uninstall would) and a journal
// compacted to describe the installation as it stands; in another folder, the earlier installation
// taken out whole, as its own uninstall would, once this one is in place.
#pragma once
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/machine.h"
#include "records/install_log.h"
#include "records/install_record.h"
#include "records/journal.h"

namespace install {

// The installation found in another folder than `installFolder` (ANSI), from its Apps & features
// entry, with what its journal records when it can be believed (in a folder only administrators
// could write to); an empty folder when there is none, or it is this one.
struct EarlierInstallation {
  std::string folder;
  std::vector<JournalRecord> records;
};
EarlierInstallation FindEarlierInstallation(platform::Machine& machine, const std::string& installFolder);

// In `installFolder`, after its last run ended well and its journal was closed: the earlier runs'
// files the payload in `payloadFolder` no longer has removed (AutoCAD's originals put back), then
// the journal rewritten whole. What could not be removed goes into `record`'s issues, and stays
// recorded for the uninstall.
void LeaveOnlyLastRun(platform::Machine& machine, const CAcadCatalog& catalog, const std::string& installFolder,
                      const std::string& payloadFolder, InstallRecord& record, InstallLog* log);

// The earlier installation taken out as its uninstall would, `installFolder` taking its place; what
// stays of it goes into `record`'s issues.
void MoveOut(platform::Machine& machine, const CAcadCatalog& catalog, const EarlierInstallation& earlier,
             const std::string& installFolder, InstallRecord& record, InstallLog* log);

}  // namespace install
