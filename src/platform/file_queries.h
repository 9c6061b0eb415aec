// Small questions and chores over the file system that every step asks: what is at a path, a
// folder's listing, the read-only bit, the downloaded-file mark. Each refuses a path too long for
// the file API rather than cut it short.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "platform/path_limits.h"

// What GetPathKind finds at a path.
inline constexpr int kPathNone = 0;
inline constexpr int kPathFile = 1;
inline constexpr int kPathFolder = 2;

// kPathNone, kPathFile or kPathFolder. A path too long for the file API finds nothing.
int GetPathKind(const std::string& path, platform::Machine& machine);

// The levels of `path` ("C:\\A\\B") that are missing, from the highest down to `path` itself; a level
// below a missing one is missing too.
std::vector<std::string> MissingLevels(const std::string& path, platform::Machine& machine);

// FindFirst over every entry of a folder ("<folder>\*.*"). False, with no listing open, when that
// pattern is too long for the file API or the folder cannot be listed.
bool ListFolder(const std::string& folder, platform::FindEntry& first, std::unique_ptr<platform::Listing>& listing,
                platform::Machine& machine);

// Drops the read-only bit of an existing file; anything else is left alone.
void ClearReadOnly(const std::string& path, platform::Machine& machine);

// Deletes the "downloaded from the internet" mark (the ":Zone.Identifier" stream); true when deleted.
bool RemoveZoneMark(const std::string& path, platform::Machine& machine);
