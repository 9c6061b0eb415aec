// UTF-8 and ANSI text to UTF-16 for the wide API, which shows Chinese correctly whatever the code page.
#pragma once
#include <string>
#include <string_view>

namespace platform::win32 {

// Malformed UTF-8 becomes U+FFFD rather than vanishing.
std::wstring Utf8ToWide(std::string_view utf8);
// Text in the system's ANSI code page (paths, registry data).
std::wstring AnsiToWide(std::string_view ansi);
// UTF-16 from the wide API (the command line, say) as UTF-8; an unpaired surrogate becomes U+FFFD.
std::u8string WideToUtf8(std::wstring_view wide);

}  // namespace platform::win32
