// Conversions between UTF-16 and UTF-8 or the ANSI code page, through the OS.
#include "platform/win32/wide_text.h"

#include <limits>
#include <utility>

#include "platform/win32/windows_api.h"

namespace platform::win32 {
namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  // The API counts in int; no message or path comes near that, and a cut text would mislead.
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  const int bytes = static_cast<int>(text.size());
  const int chars = ::MultiByteToWideChar(codePage, 0, text.data(), bytes, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  const int written = ::MultiByteToWideChar(codePage, 0, text.data(), bytes, wide.data(), chars);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

// What a character the code page lacks becomes is the code page's default character.
std::string FromWide(UINT codePage, std::wstring_view wide) {
  // Three bytes at most for each UTF-16 unit must still count in int.
  if (wide.empty() || wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 3)) return {};
  const int chars = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(codePage, 0, wide.data(), chars, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  const int written = ::WideCharToMultiByte(codePage, 0, wide.data(), chars, out.data(), bytes, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return out;
}

}  // namespace

std::wstring Utf8ToWide(std::u8string_view utf8) {
  return ToWide(CP_UTF8, std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

bool Utf8ToWideExact(std::u8string_view utf8, std::wstring& out) {
  if (utf8.empty()) {
    out.clear();
    return true;
  }
  if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const auto* bytes = reinterpret_cast<const char*>(utf8.data());
  const int length = static_cast<int>(utf8.size());
  const int chars = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
  if (chars <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, wide.data(), chars) != chars) return false;
  out = std::move(wide);
  return true;
}

bool WideToUtf8Exact(std::wstring_view wide, std::u8string& out) {
  if (wide.empty()) {
    out.clear();
    return true;
  }
  if (wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const int length = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::u8string utf8(static_cast<std::size_t>(bytes), u8'\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, reinterpret_cast<char*>(utf8.data()),
                            bytes, nullptr, nullptr) != bytes) {
    return false;
  }
  out = std::move(utf8);
  return true;
}
std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }

std::string WideToAnsi(std::wstring_view wide) { return FromWide(CP_ACP, wide); }

std::u8string WideToUtf8(std::wstring_view wide) {
  const std::string utf8 = FromWide(CP_UTF8, wide);
  return std::u8string(utf8.begin(), utf8.end());
}

}  // namespace platform::win32
