// UTF-8 text told apart from ANSI text by its type: std::u8string holds UTF-8, std::string holds
// bytes in the ANSI code page (paths, registry names), as everywhere else in the program.
#pragma once
#include <concepts>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace text {

// The bytes of UTF-8 text, for an API that takes char.
inline std::string_view Utf8Bytes(std::u8string_view utf8) {
  // char8_t and char have the same size and representation; only the type differs.
  return {reinterpret_cast<const char*>(utf8.data()), utf8.size()};
}

// A number in decimal digits, for a message or a line of the log.
template <std::integral Number>
std::u8string Decimal(Number value) {
  const std::string digits = std::to_string(value);
  return std::u8string(digits.begin(), digits.end());
}

// ANSI data (a path, a registry name) as UTF-8; a byte that does not convert becomes U+FFFD.
inline std::u8string FromAnsi(std::string_view ansi) { return AnsiToU8(ansi); }
// UTF-8 as ANSI; false when some character has no form in the ANSI code page.
inline bool ToAnsi(std::u8string_view utf8, std::string& ansi) { return Utf8ToAnsi(Utf8Bytes(utf8), ansi); }

}  // namespace text
