// The file system's small questions and chores.
#include "platform/file_queries.h"

namespace {

using platform::FindEntry;
using platform::Listing;
using platform::Machine;

constexpr const char* kZoneStream = ":Zone.Identifier";

}  // namespace

int GetPathKind(const std::string& path, Machine& machine) {
  if (!FitsMaxPath(path)) return kPathNone;
  FindEntry entry;
  std::unique_ptr<Listing> listing;
  if (machine.files.FindFirst(path, entry, listing) != platform::kSuccess) return kPathNone;
  return (entry.attributes & platform::kAttrDirectory) != 0 ? kPathFolder : kPathFile;
}

std::vector<std::string> MissingLevels(const std::string& path, Machine& machine) {
  std::vector<std::string> levels;
  for (std::size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    std::string level = path.substr(0, at);
    if (!levels.empty() || GetPathKind(level, machine) == kPathNone) levels.push_back(std::move(level));
    if (at == std::string::npos) return levels;
  }
}

bool ListFolder(const std::string& folder, FindEntry& first, std::unique_ptr<Listing>& listing, Machine& machine) {
  const std::string pattern = folder + "\\*.*";
  if (FitsMaxPath(pattern) && machine.files.FindFirst(pattern, first, listing) == platform::kSuccess &&
      listing != nullptr) {
    return true;
  }
  listing.reset();
  return false;
}

void ClearReadOnly(const std::string& path, Machine& machine) {
  if (!FitsMaxPath(path)) return;
  std::uint32_t attributes = 0;
  if (machine.files.GetAttributes(path, attributes) != platform::kSuccess) return;
  if ((attributes & platform::kAttrReadOnly) == 0) return;
  machine.files.SetAttributes(path, attributes & ~platform::kAttrReadOnly);
}

bool RemoveZoneMark(const std::string& path, Machine& machine) {
  const std::string stream = path + kZoneStream;
  if (!FitsMaxPath(stream)) return false;
  return machine.files.DeleteFile(stream) == platform::kSuccess;
}
