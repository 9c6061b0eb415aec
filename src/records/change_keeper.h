// What a run finds before it changes anything, written to its journal first: the file it is about to
// replace (moved aside), the file, folder or key it is about to make, the values a key held. A run
// that stops is rolled back from these records (install/rollback.h).
#pragma once
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/status.h"
#include "platform/text.h"
#include "records/journal.h"

namespace install {

class ChangeKeeper {
 public:
  // Nothing is kept without a journal (null): every call then lets the change go ahead as it is.
  ChangeKeeper(platform::Machine& machine, JournalWriter* journal, std::u8string_view installFolder);

  // Before a file is written at `path` (ANSI): recorded as made, or, when a file is there, moved
  // aside into the install folder and recorded so. Not kSuccess: nothing could be kept (a file
  // held by another program cannot be moved), and the file must not be written.
  [[nodiscard]] platform::Status BeforeFile(const std::string& path);
  // The write after BeforeFile failed, or was given up: what was moved aside goes back.
  void Unwritten(const std::string& path);
  // Before `path` (ANSI) is made with every missing level: each missing level recorded, top first.
  [[nodiscard]] platform::Status BeforeFolders(const std::string& path);
  // Before `names` are set in `keyPath` below `root` (named `hive` in the journal): the key's highest
  // missing level, or each of those values as it is (or its absence). With `wholeKey` (a key about
  // to be deleted and made again) every value the key holds is kept too. Once per key and run.
  [[nodiscard]] platform::Status BeforeKeyWrite(platform::KeyHandle root, std::u8string_view hive,
                                                std::u8string_view keyPath, const std::vector<std::u8string>& names,
                                                bool wholeKey);

  // `folder` (ANSI) was made empty by this run, under the machine's lock and locked down at once:
  // a file in it that is not this run's own cannot be there, and BeforeFile need not look. (Under
  // Wine each look for a name that is not there reads the whole folder.)
  void FolderMadeEmpty(const std::string& folder) { m_strFreshFolder = text::ToUpper(folder); }

  // The run ended well: what was moved aside is deleted, and the journal says the run is closed.
  void Commit();

  bool Keeping() const { return m_pJournal != nullptr; }

 private:
  platform::Status Record(ChangeKind kind, std::vector<std::u8string> fields);
  std::vector<std::pair<std::string, std::string>>::iterator Find(const std::string& folded);

  platform::Machine& m_machine;
  JournalWriter* m_pJournal;
  std::string m_strAsideFolder;
  std::string m_strFreshFolder;  // upper-cased; empty: none
  bool m_bAsideFolderMade = false;
  unsigned m_nAside = 0;
  // Upper-cased path, and where it was moved (empty: made).
  std::vector<std::pair<std::string, std::string>> m_kept;
  std::vector<std::u8string> m_keysKept;  // "<hive>\<key>", upper-cased
};

// The folder a run moves replaced files into, inside the install folder.
inline constexpr const char* kAsideFolderName = "VornexSetup.replaced";

}  // namespace install
