// MessageBoxW with UTF-8 texts converted to UTF-16.
#include "platform/win32/win32_prompts.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

int Win32Prompts::MessageBox(WindowRef owner, std::u8string_view text, std::u8string_view caption,
                             std::uint32_t flags) {
  const HWND window = owner != 0 ? reinterpret_cast<HWND>(owner) : ::GetActiveWindow();
  const std::wstring wideText = Utf8ToWide(text);
  const std::wstring wideCaption = Utf8ToWide(caption);
  return ::MessageBoxW(window, wideText.c_str(), wideCaption.c_str(), flags);
}

}  // namespace platform::win32
