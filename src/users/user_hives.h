// The other users who have a profile on this machine, and a way into each one's own registry hive.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "platform/registry.h"

namespace install {

// Where Windows lists the profiles on the machine, below HKEY_LOCAL_MACHINE.
inline constexpr std::u8string_view kProfileListPath = u8"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// A user, other than the account running the installer, who has a profile on this machine.
struct OtherUser {
  std::string sid;            // "S-1-5-21-..."
  std::u8string name;         // the account as LookupAccountSid names it ("PC\Li Wei"), else the SID
  std::u8string profilePath;  // ProfileImagePath expanded ("C:\Users\Li Wei"); empty when unreadable
  platform::Status profileStatus = platform::kSuccess;  // why profilePath is empty
  bool hiveLoaded = false;    // HKEY_USERS\<SID> opens: signed in, or a program holds the hive
};

// True for the accounts that a person signs in with: local and domain accounts (S-1-5-21-...) and
// Microsoft Entra ID accounts (S-1-12-1-...).
bool IsUserSid(std::string_view sid);

// The user accounts of ProfileList except the one running the installer, in ProfileList's order.
// Every user that can be read is listed; a result other than kSuccess says that ProfileList, or
// an entry of it, could not be read, so that some user may be missing.
platform::Status ListOtherUsers(platform::Machine& machine, std::vector<OtherUser>& users);

// The name a user's hive is loaded under while the installer works on it.
std::u8string TemporaryHiveName(std::string_view sid);

// Unloads every hive an earlier run left loaded under the installer's own name
// (HKEY_USERS\VornexSetup_<SID>): a run stopped while it held one keeps that user's NTUSER.DAT
// open, and Windows then signs the user in with a temporary profile. Whether or not this run visits
// that user, the hive goes at its start. The names that could not be unloaded go into `stayed`;
// the result is how HKEY_USERS could be listed.
[[nodiscard]] platform::Status UnloadLeftHives(platform::Registry& registry, std::vector<std::u8string>& stayed);

// A user's hive, reached for a piece of work: the hive loaded already when the user is signed
// in, else the user's NTUSER.DAT, loaded for the while under a name of the installer's own and
// unloaded again by Close or the destructor, on every way out. Keys opened below root() must be
// closed first: their owners belong in an inner scope.
class UserHive {
 public:
  UserHive() = default;
  UserHive(const UserHive&) = delete;
  UserHive& operator=(const UserHive&) = delete;

  // kSuccess with root() the top of the user's hive, open for reading and writing. Otherwise the
  // status of what failed: the user's profile path, or the load (held by a service, a damaged
  // file, a roaming profile's copy that is not on this machine).
  [[nodiscard]] platform::Status Open(platform::Machine& machine, const OtherUser& user);
  platform::KeyHandle root() const { return root_.get(); }
  // Whether Open loaded the hive, which Close then unloads.
  bool LoadedHere() const { return static_cast<bool>(loaded_); }
  // Closes the root and unloads what Open loaded. Refused (kAccessDenied) while a key in the hive
  // is open; the hive then stays owned, and the destructor tries again.
  [[nodiscard]] platform::Status Close();

 private:
  // Members go in reverse order: the root is closed before the hive is unloaded.
  platform::LoadedHive loaded_;
  platform::UniqueKey root_;
};

// A user whose hive the work did not reach, or stayed loaded after it: for the list of what could
// not be done and the log, which name the user.
struct HiveFailure {
  std::u8string user;  // OtherUser::name
  std::string sid;
  platform::Status status = platform::kSuccess;
  bool workDone = false;  // the work ran, but the hive could not be unloaded afterwards
  // The profile folder or its NTUSER.DAT is gone: a user who left, whose ProfileList entry stayed.
  // Nothing of his is left to reach, so this is no step left undone; the log still says so.
  bool departed = false;
};

// Runs work(user, hiveRoot) on the hive of every other user with a profile for whom wanted(user)
// holds, one after the other. A user whose hive cannot be reached goes into `failures` and the
// others are still done. The result is ListOtherUsers' own.
inline constexpr auto kEveryUser = [](const OtherUser&) { return true; };
template <class Wanted, class Work>
platform::Status ForEachOtherUserHive(platform::Machine& machine, std::vector<HiveFailure>& failures, Wanted&& wanted,
                                      Work&& work) {
  std::vector<OtherUser> users;
  const platform::Status listed = ListOtherUsers(machine, users);
  for (const OtherUser& user : users) {
    if (!wanted(user)) continue;
    UserHive hive;
    if (const platform::Status st = hive.Open(machine, user); st != platform::kSuccess) {
      const bool gone = !user.hiveLoaded && (st == platform::kFileNotFound || st == platform::kPathNotFound);
      failures.push_back({user.name, user.sid, st, false, gone});
      continue;
    }
    work(user, hive.root());
    if (const platform::Status st = hive.Close(); st != platform::kSuccess) {
      failures.push_back({user.name, user.sid, st, true});
    }
  }
  return listed;
}

// The user's roaming application-data folder as the user's own hive names it ("AppData" under
// Explorer's User Shell Folders), expanded with the user's own profile path; Windows' default,
// <profile>\AppData\Roaming, when the hive names none.
platform::Status RoamingAppData(platform::Machine& machine, platform::KeyHandle hiveRoot, const OtherUser& user,
                                std::u8string& folder);

}  // namespace install
