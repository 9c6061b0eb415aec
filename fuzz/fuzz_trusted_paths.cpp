// Fuzzes the "TRUSTEDPATHS" merge: whatever the old text holds, every old entry stays (upper-cased,
// in order; only half a character at its end goes), the install folder ends up trusted, and it is
// added once and only when it was missing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "install/trusted_paths.h"
#include "platform/sim/sim_files.h"
#include "platform/text.h"
#include "ui/path_dialog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string folder = input.ConsumeRandomLengthString(300);
  std::string oldText = input.ConsumeRemainingBytesAsString();
  // The old text is read as a string, up to its first NUL.
  oldText.resize(std::min(oldText.size(), oldText.find('\0')));

  // The folder is one the installation accepts: the chooser's form, and no ';'. Windows allows a
  // ';' in a name, but nobody reading the variable, AutoCAD included, could tell it from the
  // separator, so the install button refuses such a folder before anything is merged.
  sim::SimFileSystem untouched;
  if (CPathDialog::CreatePath(untouched, folder, true) != CPathDialog::kFolderReady) return 0;
  if (folder.find(';') != std::string::npos) return 0;

  const std::string merged = MergeTrustedPaths(oldText, folder);

  // Half a character left at the end of a damaged value goes: it would take the ';' for its trail.
  std::string whole = oldText;
  if (!whole.empty()) {
    const auto lastByte = static_cast<unsigned char>(whole.back());
    if (fuzzcheck::CharStarts(whole).back() + 1 == whole.size() && lastByte >= 0x81 && lastByte <= 0xFE) {
      whole.pop_back();
    }
  }
  // Two bytes or fewer hold no entry: the folder alone, in its own case, which the next
  // installation finds and only upper-cases.
  if (whole.size() <= 2) {
    FUZZ_CHECK(merged == folder);
    FUZZ_CHECK(MergeTrustedPaths(merged, folder) == text::ToUpper(folder));
    return 0;
  }

  const std::string upperOld = text::ToUpper(whole);
  const std::string upperFolder = text::ToUpper(folder);
  const bool wasTrusted = TrustedPathsContain(whole, folder);
  FUZZ_CHECK(merged == (wasTrusted ? upperOld : upperOld + ";" + upperFolder));

  // Every old entry survives, upper-cased and in its place, whatever bytes surround the join.
  const std::vector<std::string> oldEntries = fuzzcheck::SplitEntries(upperOld, ';');
  const std::vector<std::string> newEntries = fuzzcheck::SplitEntries(merged, ';');
  FUZZ_CHECK(newEntries.size() >= oldEntries.size());
  FUZZ_CHECK(std::equal(oldEntries.begin(), oldEntries.end(), newEntries.begin()));
  if (!wasTrusted) {
    FUZZ_CHECK(std::count(newEntries.begin(), newEntries.end(), upperFolder) == 1);
    FUZZ_CHECK(newEntries.size() == oldEntries.size() + 1);
  }

  // The folder is trusted now, and a second installation changes nothing.
  FUZZ_CHECK(TrustedPathsContain(merged, folder));
  FUZZ_CHECK(MergeTrustedPaths(merged, folder) == merged);
  return 0;
}
