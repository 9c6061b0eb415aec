// UTF-8 text told apart from ANSI text by its type: std::u8string holds UTF-8, std::string holds
// bytes in the ANSI code page (paths, registry names), as everywhere else in the program.
#pragma once
#include <string>
#include <string_view>

#include "platform/text.h"

namespace text {

// UTF-8 kept in a std::string by code that predates the distinction (the message texts).
inline std::u8string AsUtf8(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }
// The bytes of UTF-8 text, for an API that takes char.
inline std::string_view Utf8Bytes(std::u8string_view utf8) {
  // char8_t and char have the same size and representation; only the type differs.
  return {reinterpret_cast<const char*>(utf8.data()), utf8.size()};
}

// ANSI data (a path, a registry name) as UTF-8; a byte that does not convert becomes U+FFFD.
inline std::u8string FromAnsi(std::string_view ansi) { return AsUtf8(AnsiToUtf8(ansi)); }
// UTF-8 as ANSI; false when some character has no form in the ANSI code page.
inline bool ToAnsi(std::u8string_view utf8, std::string& ansi) { return Utf8ToAnsi(Utf8Bytes(utf8), ansi); }

}  // namespace text
