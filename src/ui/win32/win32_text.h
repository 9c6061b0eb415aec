// UTF-16 from the wide API back to the program's strings: UTF-8 texts or ANSI data.
#pragma once
#include <string>
#include <string_view>

#include "ui/dialog_view.h"

namespace ui::win32 {

// Characters with no form in the target become its default character, as GetWindowTextA does.
std::string FromWide(std::wstring_view wide, ui::TextEncoding encoding);
std::wstring ToWide(std::string_view text, ui::TextEncoding encoding);

}  // namespace ui::win32
