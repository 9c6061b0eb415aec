// Multibyte text in the system's ANSI code page, with the OS deciding lead bytes, case and conversions.
#include <array>
#include <limits>

#include "platform/text.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace text {
namespace {

// The ANSI code page is fixed for the life of the process, so its lead bytes are asked once.
const std::array<bool, 256>& LeadBytes() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> lead{};
    for (unsigned value = 0; value < 256; ++value) lead[value] = ::IsDBCSLeadByte(static_cast<BYTE>(value)) != FALSE;
    return lead;
  }();
  return table;
}

// Bytes in the character at `i`: a lead byte takes the next byte along, as CharNextA does,
// unless the string ends first.
std::size_t CharLength(std::string_view s, std::size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

bool FitsInt(std::size_t size) { return size <= static_cast<std::size_t>(std::numeric_limits<int>::max()); }

// One character's case through UTF-16. A character without a UTF-16 form, or whose other case
// has no ANSI form, keeps its bytes: case mapping must never damage data.
std::string MapCharacter(std::string_view ch, DWORD mapping) {
  std::array<wchar_t, 2> wide{};
  const int wideLength = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ch.data(), static_cast<int>(ch.size()),
                                               wide.data(), static_cast<int>(wide.size()));
  if (wideLength <= 0) return std::string(ch);
  std::array<wchar_t, 4> mapped{};
  const int mappedLength = ::LCMapStringEx(LOCALE_NAME_INVARIANT, mapping, wide.data(), wideLength, mapped.data(),
                                           static_cast<int>(mapped.size()), nullptr, nullptr, 0);
  if (mappedLength <= 0) return std::string(ch);
  std::array<char, 8> back{};
  BOOL usedDefault = FALSE;
  const int backLength = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, mapped.data(), mappedLength,
                                               back.data(), static_cast<int>(back.size()), nullptr, &usedDefault);
  if (backLength <= 0 || usedDefault) return std::string(ch);
  return std::string(back.data(), static_cast<std::size_t>(backLength));
}

std::string MapCase(std::string_view s, DWORD mapping, bool upper) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t length = CharLength(s, i);
    const char c = s[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      // ASCII letters map the same in every code page; no need to ask the OS for each one.
      if (upper && c >= 'a' && c <= 'z') {
        out += static_cast<char>(c - 'a' + 'A');
      } else if (!upper && c >= 'A' && c <= 'Z') {
        out += static_cast<char>(c - 'A' + 'a');
      } else {
        out += c;
      }
    } else {
      out += MapCharacter(s.substr(i, length), mapping);
    }
    i += length;
  }
  return out;
}

void AppendUtf8(std::string& out, const wchar_t* wide, int length) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(bytes));
  ::WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data() + at, bytes, nullptr, nullptr);
}

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

bool IsLeadByte(unsigned char byte) { return LeadBytes()[byte]; }

std::size_t ReverseFind(std::string_view s, char ch) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
    if (s[i] == ch) found = i;
  }
  return found;
}

std::size_t Find(std::string_view s, char ch, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) {
    if (s[i] == ch) return i;
  }
  return std::string_view::npos;
}

std::size_t FindSubstring(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); i += CharLength(haystack, i)) {
    if (haystack.substr(i, needle.size()) != needle) continue;
    // The match must end on a character boundary too: a needle ending in a lead byte would
    // otherwise match the first half of a double-byte character.
    std::size_t end = i;
    while (end < i + needle.size()) end += CharLength(haystack, end);
    if (end == i + needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string ToUpper(std::string_view s) { return MapCase(s, LCMAP_UPPERCASE, true); }
std::string ToLower(std::string_view s) { return MapCase(s, LCMAP_LOWERCASE, false); }

bool EqualsNoCase(std::string_view a, std::string_view b) { return ToUpper(a) == ToUpper(b); }

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  if (ansi.empty() || !FitsInt(ansi.size())) return out;
  const int length = static_cast<int>(ansi.size());
  const int wideLength = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
  if (wideLength > 0) {
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, wide.data(), wideLength);
    AppendUtf8(out, wide.data(), wideLength);
    return out;
  }
  // Some bytes do not convert: go a character at a time and mark each bad byte with U+FFFD,
  // so that a stray lead byte does not swallow the ASCII character after it.
  for (std::size_t i = 0; i < ansi.size();) {
    const std::size_t charLength = CharLength(ansi, i);
    std::array<wchar_t, 2> wide{};
    const int converted = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data() + i,
                                                static_cast<int>(charLength), wide.data(), 2);
    if (converted > 0) {
      AppendUtf8(out, wide.data(), converted);
      i += charLength;
    } else {
      out += kReplacementUtf8;
      i += 1;
    }
  }
  return out;
}

// `ansi` is only written on success.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi) {
  if (utf8.empty()) {
    ansi.clear();
    return true;
  }
  if (!FitsInt(utf8.size())) return false;
  const int length = static_cast<int>(utf8.size());
  const int wideLength = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (wideLength <= 0) return false;
  if (::GetACP() == CP_UTF8) {
    ansi.assign(utf8);  // valid UTF-8 is already ANSI text
    return true;
  }
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), wideLength);
  BOOL usedDefault = FALSE;
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0, nullptr, &usedDefault);
  if (bytes <= 0 || usedDefault) return false;
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), bytes, nullptr,
                        &usedDefault);
  if (usedDefault) return false;
  ansi = std::move(out);
  return true;
}

std::u8string AnsiToU8(std::string_view ansi) {
  const std::string utf8 = AnsiToUtf8(ansi);
  return std::u8string(utf8.begin(), utf8.end());
}

// The conversion the ANSI registry functions make: the code page's default character, and its
// best fit where the table has one, for what it lacks.
std::string U8ToAnsiLossy(std::u8string_view textIn) {
  const std::wstring wide = platform::win32::Utf8ToWide(textIn);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::size_t AnsiLength(std::u8string_view textIn) {
  const std::wstring wide = platform::win32::Utf8ToWide(textIn);
  // Text too large for the API to measure (gigabytes) is anything but short.
  if (wide.empty()) return textIn.size();
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  return bytes > 0 ? static_cast<std::size_t>(bytes) : textIn.size();
}

std::u8string ToUpperUtf8(std::u8string_view textIn) {
  std::wstring wide;
  if (!platform::win32::Utf8ToWideExact(textIn, wide) || wide.empty()) return std::u8string(textIn);
  const int length = static_cast<int>(wide.size());
  const int mappedLength =
      ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, nullptr, 0, nullptr, nullptr, 0);
  if (mappedLength <= 0) return std::u8string(textIn);
  std::wstring mapped(static_cast<std::size_t>(mappedLength), L'\0');
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, mapped.data(), mappedLength,
                      nullptr, nullptr, 0) != mappedLength) {
    return std::u8string(textIn);
  }
  std::u8string out;
  if (!platform::win32::WideToUtf8Exact(mapped, out)) return std::u8string(textIn);
  return out;
}

bool EqualsNoCaseUtf8(std::u8string_view a, std::u8string_view b) { return ToUpperUtf8(a) == ToUpperUtf8(b); }

}  // namespace text
