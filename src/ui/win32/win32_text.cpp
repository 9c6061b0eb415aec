// Conversions between UTF-16 and UTF-8 / the ANSI code page.
#include "ui/win32/win32_text.h"

#include <limits>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace ui::win32 {

std::string FromWide(std::wstring_view wide, ui::TextEncoding encoding) {
  if (wide.empty()) return {};
  // A control's text never comes near 2 GB; refuse rather than cut it.
  if (wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) return {};
  const UINT codePage = encoding == ui::TextEncoding::Utf8 ? CP_UTF8 : CP_ACP;
  const int chars = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), chars, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  const int written = ::WideCharToMultiByte(codePage, 0, wide.data(), chars, out.data(), bytes, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return out;
}

std::wstring ToWide(std::string_view text, ui::TextEncoding encoding) {
  if (encoding == ui::TextEncoding::Ansi) return platform::win32::AnsiToWide(text);
  return platform::win32::Utf8ToWide(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace ui::win32
