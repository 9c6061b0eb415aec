// The folder path rules shared by the folder chooser and the installation.
#include "platform/folder_rules.h"

#include <string>

#include "platform/text.h"

namespace platform {
namespace {

// Windows' MAX_PATH less its terminator: the longest path taken.
constexpr std::size_t kMaxPathChars = platform::kMaxPath - 1;
// "X:\"
constexpr std::size_t kRootLength = 3;

// The lowest trail byte of every double-byte ANSI code page (932, 936, 949, 950).
constexpr unsigned char kFirstTrailByte = 0x40;

// The nine characters Windows refuses in a file name.
constexpr std::string_view kReservedChars = "\"*/:<>?\\|";

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsEdgeChar(char c) { return c == '\t' || c == ' ' || c == '.'; }

// kSuccess when something (a folder, or a file) is there.
platform::Status Presence(platform::FileSystem& files, const std::string& path) {
  std::uint32_t attributes = 0;
  return files.GetAttributes(path, attributes);
}

// The names Windows keeps for its devices: C:\Tools\NUL or C:\CON.txt names the device, at any
// level and with any extension, and no folder of that name can be made or reached.
bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = text::ToUpper(std::string(base));
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

bool IsFolderNameValid(std::string_view name) {
  if (name.empty() || IsDeviceName(name)) return false;
  if (IsEdgeChar(name.front())) return false;
  // Walk whole characters: the trail byte of a double-byte character may equal '\\' or '|'
  // and is part of its character, not one of the refused ones.
  char last = name.front();
  for (std::size_t i = 0; i < name.size();) {
    const char c = name[i];
    if (text::IsLeadByte(static_cast<unsigned char>(c))) {
      // Half a character names no folder: the ANSI API would end the name at a NUL, and at the
      // end the "\" appended below it would become its trail byte. No double-byte code page has
      // a trail byte under 0x40, so a lead byte before a '/' or a ':' is half a character too,
      // and the system would take that byte on its own (a '/' as a separator).
      if (i + 1 >= name.size() || static_cast<unsigned char>(name[i + 1]) < kFirstTrailByte) return false;
      last = name[i + 1];
      i += 2;
      continue;
    }
    // A NUL would end the name early in the ANSI API: the folder made would not be the one named.
    if (c == '\0' || kReservedChars.find(c) != std::string_view::npos) return false;
    last = c;
    ++i;
  }
  // A trail byte is never a tab, a blank or a dot, so the last byte seen tells the last character.
  return !IsEdgeChar(last);
}

platform::Status CreateFolderPath(platform::FileSystem& files, std::string_view path, bool validateOnly) {
  if (path.size() > kMaxPathChars) return platform::kInvalidName;
  if (path.size() < kRootLength) return platform::kInvalidName;
  if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return platform::kInvalidName;

  if (path.size() == kRootLength) {
    if (validateOnly) return platform::kSuccess;
    return Presence(files, std::string(path));
  }

  std::size_t start = kRootLength;
  for (;;) {
    const std::size_t end = text::Find(path, '\\', start);
    const std::size_t stop = end == std::string_view::npos ? path.size() : end;
    if (!IsFolderNameValid(path.substr(start, stop - start))) return platform::kInvalidName;
    if (!validateOnly) {
      const std::string level(path.substr(0, stop));
      // An existing folder is fine: only whether the level is there afterwards counts.
      const platform::Status created = files.CreateDirectory(level);
      if (const platform::Status there = Presence(files, level); there != platform::kSuccess) {
        return created != platform::kSuccess ? created : there;
      }
    }
    if (end == std::string_view::npos) return platform::kSuccess;
    start = end + 1;
    if (start == path.size()) return platform::kInvalidName;  // trailing backslash
  }
}

}  // namespace platform
