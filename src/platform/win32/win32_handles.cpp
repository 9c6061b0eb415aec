// The handle constants whose Windows definitions are C-style casts.
#include "platform/win32/win32_handles.h"

namespace platform::win32 {

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#endif
HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
HKEY LocalMachineKey() { return HKEY_LOCAL_MACHINE; }
HKEY CurrentUserKey() { return HKEY_CURRENT_USER; }
HKEY UsersKey() { return HKEY_USERS; }

bool IsPredefinedKey(HKEY key) {
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA,
                    HKEY_PERFORMANCE_TEXT, HKEY_PERFORMANCE_NLSTEXT, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
    if (key == root) return true;
  }
  return false;
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

Status LastErrorStatus() {
  const DWORD error = ::GetLastError();
  // A failure must never read as success to the caller.
  return static_cast<Status>(error == ERROR_SUCCESS ? DWORD{ERROR_GEN_FAILURE} : error);
}

Status IsLinkOrSecondName(HANDLE file, bool& linked) {
  linked = true;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
      !::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) {
    return LastErrorStatus();
  }
  linked = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || (!standard.Directory && standard.NumberOfLinks > 1);
  return kSuccess;
}

}  // namespace platform::win32
