// The "TRUSTEDPATHS" merge.
#include "install/trusted_paths.h"

#include "platform/text.h"

namespace {

constexpr std::size_t kMeaninglessLength = 2;
constexpr std::string_view kSubFolders = "\\...";

std::string_view WithoutTrailingBackslash(std::string_view path) {
  if (!path.empty() && text::ReverseFind(path, '\\') == path.size() - 1) path.remove_suffix(1);
  return path;
}

bool EntryNamesFolder(std::string_view entry, std::string_view folder) {
  entry = WithoutTrailingBackslash(entry);
  if (text::EqualsNoCase(entry, folder)) return true;
  // "folder\..." trusts the folder along with everything beneath it. The backslash must be a
  // character of its own, not the trail byte of a double-byte character.
  if (entry.size() < kSubFolders.size() || entry.substr(entry.size() - kSubFolders.size()) != kSubFolders) {
    return false;
  }
  const std::size_t split = entry.size() - kSubFolders.size();
  return text::ReverseFind(entry, '\\') == split && text::EqualsNoCase(entry.substr(0, split), folder);
}

// A value cut after the lead byte of a double-byte character ends in half a character. Left in
// place, it would take the ';' appended after it for its trail byte, glue the folder to the last
// entry and so have the folder added again at every installation.
std::string_view WithoutDanglingLeadByte(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const bool lead = text::IsLeadByte(static_cast<unsigned char>(s[i]));
    if (lead && i + 1 == s.size()) return s.substr(0, i);
    i += lead ? 2 : 1;
  }
  return s;
}

}  // namespace

bool TrustedPathsContain(std::string_view trustedPaths, std::string_view folder) {
  folder = WithoutTrailingBackslash(folder);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text::Find(trustedPaths, ';', start);
    const std::string_view entry =
        trustedPaths.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (EntryNamesFolder(entry, folder)) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

std::string MergeTrustedPaths(std::string_view oldText, std::string_view folder) {
  // Half a character is no text: a value that holds two bytes or fewer besides it holds no entry.
  oldText = WithoutDanglingLeadByte(oldText);
  if (oldText.size() <= kMeaninglessLength) return std::string(folder);
  std::string merged = text::ToUpper(oldText);
  if (!TrustedPathsContain(oldText, folder)) {
    merged += ';';
    merged += text::ToUpper(folder);
  }
  return merged;
}
