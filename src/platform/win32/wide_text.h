// UTF-8 and ANSI text to UTF-16 for the wide API, which shows Chinese correctly whatever the code page.
#pragma once
#include <string>
#include <string_view>

namespace platform::win32 {

// Malformed UTF-8 becomes U+FFFD rather than vanishing.
std::wstring Utf8ToWide(std::u8string_view utf8);
// Text in the system's ANSI code page (paths, registry data).
std::wstring AnsiToWide(std::string_view ansi);
// UTF-16 from the wide API (a control's text) in the ANSI code page; a character the code page
// lacks becomes its default character, as GetWindowTextA gives it.
std::string WideToAnsi(std::wstring_view wide);
// UTF-16 from the wide API (the command line, say) as UTF-8; an unpaired surrogate becomes U+FFFD.
std::u8string WideToUtf8(std::wstring_view wide);

// Unicode text both ways without loss: false for UTF-8 that is not well-formed, or UTF-16 with
// an unpaired surrogate, which are refused rather than altered. `out` is written on success only.
bool Utf8ToWideExact(std::u8string_view utf8, std::wstring& out);
bool WideToUtf8Exact(std::wstring_view wide, std::u8string& out);

}  // namespace platform::win32
