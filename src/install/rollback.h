// Rollback: a run that stops puts the machine back as it found it, from the records its journal
// kept before each change (records/change_keeper.h); a run cut off by a kill or a power cut is rolled
// back by the next run of SetUp.exe or of the placed uninstaller, whichever comes first.
//
// An open run is marked in the registry, where only administrators write:
// HKEY_LOCAL_MACHINE\SOFTWARE\VornexSetup holds "Folder", the install folder whose journal records
// the run, and "NewFolders", the folders the run makes before its journal can exist (the chosen
// folder's missing levels and the install folder), separated by ';'. The mark is set before the
// run changes anything and removed when it ends, well or rolled back; in the journal the run is the
// last RUN record, without an END after it.
#pragma once
#include <string>
#include <vector>

#include "records/install_log.h"
#include "platform/machine.h"
#include "platform/status.h"

namespace install {

inline constexpr const char* kRunMarkKeyPath = "SOFTWARE\\VornexSetup";

// Sets the mark; not kSuccess when it could not be written (the run then cannot be finished by a
// later one, and should not begin).
[[nodiscard]] platform::Status MarkRunOpen(platform::Registry& registry, const std::string& installFolder,
                                           const std::vector<std::string>& newFolders);
// Removes the mark, and its key.
void MarkRunClosed(platform::Registry& registry);

// Undoes what the last run recorded in the journal of `installFolder` changed, newest first: files it
// made deleted, files it moved aside put back, values set back or removed, keys it made removed,
// then the journal cut back to its length before the run (or deleted), then the folders it made,
// when empty, and `newFolders`. The journal must not be open for writing. Each step is logged.
void RollBack(platform::Machine& machine, const std::string& installFolder,
              const std::vector<std::string>& newFolders, InstallLog* log);

// At the start of every run: when a run is marked open, it is rolled back and the mark removed.
// True when there was one.
bool FinishInterruptedRun(platform::Machine& machine, InstallLog* log);

}  // namespace install
