// What a run that ended well makes of the journal: the records of earlier runs' files it no longer
// has picked out (for removal), then the whole journal rewritten as one run describing the
// installation as it stands, so that it does not grow with every reinstall.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/journal.h"

namespace install {

// A path's records of earlier runs that the last run (the one that ended well) no longer needs.
struct SupersededRecords {
  // FILE records of files in the install folder the last run did not copy, and SUPPORT and BACKUP
  // records of AutoCAD folders' files it did not place, in the order written.
  std::vector<JournalRecord> records;
  std::vector<std::u8string> files;      // the FILE records' paths, each once
  std::vector<std::u8string> placements;  // the SUPPORT and BACKUP records' placed paths, each once
};

// The earlier runs' records of what the last run no longer has. `payloadHas(name)` says whether the
// last run's payload has a file of that name: one whose copy was skipped keeps the earlier copy.
SupersededRecords FindSuperseded(const std::vector<JournalRecord>& records, std::u8string_view installFolder,
                                 const std::function<bool(std::u8string_view)>& payloadHas);

// The journal as the installation stands after its last run ended well: that run's RUN, each folder,
// file, key and trusted entry once (a value as last written, a trusted entry as first added, since
// that one knows whether the value was made), every backup of AutoCAD's files, and of each placed
// file the last run's placement alone when it finished one (otherwise all of its placements), then
// the run's END. What was made or moved aside on the way is no longer needed. The records of the
// paths in `settled` (superseded and taken out) go. None when the journal holds no RUN, or a record
// only a later version understands, which must then stay as it is.
std::optional<std::vector<JournalRecord>> CompactJournal(const std::vector<JournalRecord>& records,
                                                         const std::vector<std::u8string>& settled);

}  // namespace install
