// The installation for the users other than the one running it: AutoCAD's trusted folder in their
// profiles and a settings file of their own, through each user's registry hive.
#pragma once
#include "discovery/acad_catalog.h"
#include "records/install_record.h"
#include "users/profiles.h"
#include "users/user_hives.h"
#include "platform/machine.h"

namespace install {

// For every other user with a profile on this machine (the accounts ProfileList lists, services
// not included): the catalogue's install folder merged into "TRUSTEDPATHS" of each of his AutoCAD
// profiles, as for the user running the installer, and the payload's settings file placed in his
// roaming folder when he has none there yet (one he has is his own and stays). `settings` is the
// payload's settings file (none placed when it is empty or not a file). A user who cannot
// be reached, or whose settings file cannot be placed, is named in `record`; the others are done.
// A hive loaded for the work is unloaded before the next user's is loaded.
void ReachOtherUsers(const CAcadCatalog& catalog, const std::string& settings, platform::Machine& machine,
                     InstallRecord& record);

// The name of a user in what could not be done: "用户 <account>（<SID>）".
std::u8string UserLabel(std::u8string_view name, std::string_view sid);

// The user's profiles below `root`, the top of his hive, named "HKEY_USERS\<SID>".
ProfileOwner OwnerOf(const OtherUser& user, platform::KeyHandle root);

// "HKEY_LOCAL_MACHINE\...\ProfileList", for a list of the users that could not be read.
std::u8string ProfileListName();

}  // namespace install
