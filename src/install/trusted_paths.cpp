// The "TRUSTEDPATHS" merge.
#include "install/trusted_paths.h"

#include "platform/text.h"

namespace {

constexpr std::size_t kMeaninglessLength = 2;
constexpr std::u8string_view kSubFolders = u8"\\...";

std::u8string_view WithoutTrailingBackslash(std::u8string_view path) {
  if (path.ends_with(u8'\\')) path.remove_suffix(1);
  return path;
}

bool EntryNamesFolder(std::u8string_view entry, std::u8string_view folder) {
  entry = WithoutTrailingBackslash(entry);
  if (text::EqualsNoCaseUtf8(entry, folder)) return true;
  // "folder\..." trusts the folder along with everything beneath it.
  return entry.ends_with(kSubFolders) &&
         text::EqualsNoCaseUtf8(entry.substr(0, entry.size() - kSubFolders.size()), folder);
}

}  // namespace

bool TrustedPathsContain(std::u8string_view trustedPaths, std::u8string_view folder) {
  folder = WithoutTrailingBackslash(folder);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = trustedPaths.find(u8';', start);
    const std::u8string_view entry =
        trustedPaths.substr(start, end == std::u8string_view::npos ? std::u8string_view::npos : end - start);
    if (EntryNamesFolder(entry, folder)) return true;
    if (end == std::u8string_view::npos) return false;
    start = end + 1;
  }
}

std::u8string MergeTrustedPaths(std::u8string_view oldText, std::u8string_view folder) {
  // Measured in the ANSI code page, as this rule has always measured it, so that nothing changes
  // for text the code page holds; a character it lacks counts as the one byte of its '?'.
  if (text::AnsiLength(oldText) <= kMeaninglessLength) return std::u8string(folder);
  std::u8string merged = text::ToUpperUtf8(oldText);
  if (!TrustedPathsContain(oldText, folder)) {
    merged += u8';';
    merged += text::ToUpperUtf8(folder);
  }
  return merged;
}
