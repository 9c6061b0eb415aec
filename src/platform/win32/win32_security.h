// Memory the security functions hand out, and security identifiers in their text form.
#pragma once
#include <string>

#include "platform/status.h"
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

}  // namespace platform::win32
