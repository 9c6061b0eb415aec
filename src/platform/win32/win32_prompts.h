// Message boxes through the wide API, so that the program's UTF-8 texts read correctly on any code page.
#pragma once
#include "platform/prompts.h"

namespace platform::win32 {

class Win32Prompts final : public Prompts {
 public:
  int MessageBox(WindowRef owner, std::u8string_view text, std::u8string_view caption,
                 std::uint32_t flags) override;
};

}  // namespace platform::win32
