// Security identifiers as text.
#include "platform/win32/win32_security.h"

#include <sddl.h>

#include "platform/win32/win32_handles.h"

namespace platform::win32 {

Status SidToString(PSID sid, std::string& text) {
  text.clear();
  LocalMemory<LPWSTR> wide;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, wide.put())) return LastErrorStatus();
  for (const wchar_t* c = wide.get(); *c != L'\0'; ++c) {
    if (*c >= 0x80) return kInvalidParameter;
    text += static_cast<char>(*c);
  }
  return kSuccess;
}

}  // namespace platform::win32
