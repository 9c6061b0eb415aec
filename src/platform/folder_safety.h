// Whether the folders an installation hangs from could be replaced by someone other than the
// administrators: AutoCAD loads the add-on from there, from a trusted path, for every user; and
// whether an install folder can vouch for the journal it holds. (The uninstall asks too, so the
// rule lives below both.)
#pragma once
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/machine.h"

namespace install {

// True when a principal other than Administrators, SYSTEM, TrustedInstaller and `account` (the
// account running the installer) owns the folder, or may, by an entry that applies to the folder
// itself, delete or rename it (on a drive root, which cannot be, this does not count), delete what
// is in it, or change its access list or owner. An entry that denies takes its rights back from
// the same principal's later grants.
bool OthersCanReplace(const platform::FileSecurity& security, std::string_view account, bool driveRoot);

// The nearest of `chosen` and the folders above it up to its drive root that OthersCanReplace,
// leaving out levels that do not exist; empty when there is none. `chosen` is a full path on a
// drive letter, without a trailing backslash unless it is the root. A folder whose security cannot
// be read counts as one that can be replaced: nothing vouches for it.
std::string FindReplaceableFolder(platform::Machine& machine, const std::string& chosen);

// True when a junction, a symbolic link or a mount point is at the path.
bool IsReparsePoint(platform::FileSystem& files, const std::string& path);

// OthersCanReplace, or a principal other than those it trusts may write into the folder: add a file
// or a folder to it, or change its extended attributes or attributes.
bool OthersCanWrite(const platform::FileSecurity& security, std::string_view account);

// The folder that keeps `installFolder` (a full path on a drive letter, no trailing backslash) from
// vouching for what it holds, or empty when there is none: the install folder itself when it is a
// reparse point, its security cannot be read, or OthersCanWrite; else the nearest folder above it
// that FindReplaceableFolder finds, or one that is a reparse point. A journal in such a folder may
// be anyone's, and the paths in it anything.
std::string FindUntrustedInstallFolder(platform::Machine& machine, const std::string& installFolder);

}  // namespace install
