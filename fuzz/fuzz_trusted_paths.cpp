// Fuzzes the "TRUSTEDPATHS" merge: whatever the old text holds, every old entry stays (upper-cased,
// in order), the install folder ends up trusted, and it is added once and only when it was missing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "users/trusted_paths.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/utf16.h"
#include "platform/text.h"
#include "ui/path_dialog.h"

namespace {

// The old text as the wide functions read it: from code page 936 bytes an ANSI program wrote, or
// from UTF-16 units as the registry stores them (an unpaired surrogate is no text and is dropped).
std::u8string OldText(const std::string& bytes, bool utf16) {
  if (!utf16) return text::AnsiToU8(bytes);
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit < 0xD800 || unit > 0xDFFF) units.push_back(unit);
  }
  return sim::Utf16ToUtf8(units).value_or(std::u8string());
}

std::vector<std::u8string> Entries(const std::u8string& s) {
  std::vector<std::u8string> entries;
  std::size_t from = 0;
  for (std::size_t end; (end = s.find(u8';', from)) != std::u8string::npos; from = end + 1) {
    entries.push_back(s.substr(from, end - from));
  }
  entries.push_back(s.substr(from));
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string folderAnsi = input.ConsumeRandomLengthString(300);
  const bool utf16 = input.ConsumeBool();  // the provider takes it from the end
  std::u8string oldText = OldText(input.ConsumeRemainingBytesAsString(), utf16);
  // The old text is read as a string, up to its first NUL.
  oldText.resize(std::min(oldText.size(), oldText.find(u8'\0')));

  // The folder is one the installation accepts: the chooser's form, and no ';'. Windows allows a
  // ';' in a name, but nobody reading the variable, AutoCAD included, could tell it from the
  // separator, so the install button refuses such a folder before anything is merged.
  sim::SimFileSystem untouched;
  if (CPathDialog::CreatePath(untouched, folderAnsi, true) != platform::kSuccess) return 0;
  if (folderAnsi.find(';') != std::string::npos) return 0;
  const std::u8string folder = text::AnsiToU8(folderAnsi);

  const std::u8string merged = MergeTrustedPaths(oldText, folder);

  // Two bytes or fewer in the code page hold no entry: the folder alone, in its own case, which
  // the next installation finds and only upper-cases.
  if (text::AnsiLength(oldText) <= 2) {
    FUZZ_CHECK(merged == folder);
    FUZZ_CHECK(MergeTrustedPaths(merged, folder) == text::ToUpperUtf8(folder));
    return 0;
  }

  const std::u8string upperOld = text::ToUpperUtf8(oldText);
  const std::u8string upperFolder = text::ToUpperUtf8(folder);
  const bool wasTrusted = TrustedPathsContain(oldText, folder);
  FUZZ_CHECK(merged == (wasTrusted ? upperOld : upperOld + u8";" + upperFolder));

  // Every old entry survives, upper-cased and in its place.
  const std::vector<std::u8string> oldEntries = Entries(upperOld);
  const std::vector<std::u8string> newEntries = Entries(merged);
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
