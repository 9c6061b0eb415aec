// The form a folder path must have to be installed to or created, and its level-by-level creation;
// the folder chooser and the installation hold typed folders to the same rules.
#pragma once
#include <string_view>

#include "platform/files.h"
#include "platform/status.h"

namespace platform {

// Whether one path component (ANSI, multibyte-aware) may name a folder.
bool IsFolderNameValid(std::string_view name);

// kSuccess when the path is well formed ("X:\" then valid names, at most 259 characters) and,
// unless validateOnly, every level of it exists; kInvalidName when it is not well formed. When a
// level could not be created, or a drive root does not exist, the failure that says why: the
// creation's own, or else what looking for the level gave. Levels created before a failure stay.
// Only the form is looked at with validateOnly, so then the result is kSuccess or kInvalidName.
[[nodiscard]] platform::Status CreateFolderPath(platform::FileSystem& files, std::string_view path, bool validateOnly);

}  // namespace platform
