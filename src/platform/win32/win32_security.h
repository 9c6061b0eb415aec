// Memory the security functions hand out, and security identifiers in their text form.
#pragma once
#include <string>

#include "platform/status.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// What ConvertStringSecurityDescriptorToSecurityDescriptorW, GetNamedSecurityInfoW and
// ConvertSidToStringSidW allocate for their caller, freed with LocalFree.
template <class Pointer>
class LocalMemory {
 public:
  LocalMemory() = default;
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() {
    if (pointer_ != nullptr) ::LocalFree(pointer_);
  }
  Pointer* put() { return &pointer_; }
  Pointer get() const { return pointer_; }

 private:
  Pointer pointer_ = nullptr;
};

// ConvertSidToStringSidW: "S-1-5-32-544". SID strings are ASCII, so nothing is lost on the way.
Status SidToString(PSID sid, std::string& text);

// LookupAccountSidW on this machine for a SID in its text form: "DOMAIN\name", or the name alone.
Status AccountNameOf(const std::string& sid, std::u8string& name);

// Enables the backup and restore privileges (SE_BACKUP_NAME, SE_RESTORE_NAME) of the process token
// for the owner's lifetime, which loading and unloading a hive need, and then puts back exactly
// those it changed: the rest of the program runs without them.
class HivePrivileges {
 public:
  HivePrivileges();
  HivePrivileges(const HivePrivileges&) = delete;
  HivePrivileges& operator=(const HivePrivileges&) = delete;
  ~HivePrivileges();
  // kSuccess when both are enabled; kPrivilegeNotHeld when the account lacks one (not elevated).
  Status status() const { return status_; }

 private:
  // TOKEN_PRIVILEGES with room for the two privileges.
  struct TwoPrivileges {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
  };
  UniqueKernelHandle token_;
  TwoPrivileges previous_{};
  Status status_ = kSuccess;
};

}  // namespace platform::win32
