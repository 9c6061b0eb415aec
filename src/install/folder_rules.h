// The form a folder path must have to be installed to or created, and its level-by-level creation;
// the folder chooser and the installation hold typed folders to the same rules.
#pragma once
#include <string_view>

#include "platform/files.h"

namespace install {

// Results of CreateFolderPath.
inline constexpr int kFolderReady = 0;
inline constexpr int kPathInvalid = 1;
inline constexpr int kFolderNotCreated = 2;

// Whether one path component (ANSI, multibyte-aware) may name a folder.
bool IsFolderNameValid(std::string_view name);

// kFolderReady when the path is well formed ("X:\" then valid names, at most 259 characters) and,
// unless validateOnly, every level of it exists; kPathInvalid when it is not well formed;
// kFolderNotCreated when a level could not be created or a drive root does not exist. Levels
// created before a failure stay.
int CreateFolderPath(platform::FileSystem& files, std::string_view path, bool validateOnly);

}  // namespace install
