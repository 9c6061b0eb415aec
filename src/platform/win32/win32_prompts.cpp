// MessageBoxW with UTF-8 texts converted to UTF-16.
#include "platform/win32/win32_prompts.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

int Win32Prompts::MessageBox(WindowRef owner, const std::string& textUtf8, const std::string& captionUtf8,
                             std::uint32_t flags) {
  const HWND window = owner != 0 ? reinterpret_cast<HWND>(owner) : ::GetActiveWindow();
  const std::wstring text = Utf8ToWide(textUtf8);
  const std::wstring caption = Utf8ToWide(captionUtf8);
  return ::MessageBoxW(window, text.c_str(), caption.c_str(), flags);
}

}  // namespace platform::win32
