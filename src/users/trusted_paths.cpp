// The "TRUSTEDPATHS" merge.
#include "users/trusted_paths.h"

#include <algorithm>

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

// The entries of `trustedPaths` that name `folder` dropped, the others joined as they were; true
// when one was dropped.
bool WithoutFolder(std::u8string_view trustedPaths, std::u8string_view folder, std::u8string& rest) {
  folder = WithoutTrailingBackslash(folder);
  rest.clear();
  bool dropped = false;
  bool first = true;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(trustedPaths.find(u8';', start), trustedPaths.size());
    const std::u8string_view entry = trustedPaths.substr(start, end - start);
    if (EntryNamesFolder(entry, folder)) {
      dropped = true;
    } else {
      if (!first) rest += u8';';
      rest += entry;
      first = false;
    }
    if (end == trustedPaths.size()) return dropped;
    start = end + 1;
  }
}

}  // namespace

bool TrustedPathsContain(std::u8string_view trustedPaths, std::u8string_view folder) {
  std::u8string rest;
  return WithoutFolder(trustedPaths, folder, rest);
}

std::u8string RemoveTrustedPath(std::u8string_view trustedPaths, std::u8string_view folder) {
  std::u8string rest;
  WithoutFolder(trustedPaths, folder, rest);
  return rest;
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
