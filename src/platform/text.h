// Multibyte (ANSI code page) text operations: the one place that knows about lead bytes.
// On Windows they use the system's ANSI code page through the OS; on the host, code page 936.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// True when `byte` starts a double-byte character in the ANSI code page.
bool IsLeadByte(unsigned char byte);

// Position of the last `ch` (an ASCII character) that is a character of its own, not the
// trail byte of a double-byte character; npos when none.
std::size_t ReverseFind(std::string_view s, char ch);
// Same, forwards, starting at character-aligned position `from`.
std::size_t Find(std::string_view s, char ch, std::size_t from = 0);
// Character-aligned substring search: a match never starts on a trail byte.
std::size_t FindSubstring(std::string_view haystack, std::string_view needle);

// Upper- or lower-case: single-byte letters, and double-byte characters as whole characters.
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
// Equal without regard to letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// ANSI code page <-> UTF-8, for putting ANSI data (paths) into messages and back.
// Bytes that do not convert become U+FFFD rather than vanishing.
std::string AnsiToUtf8(std::string_view ansi);
// False when some character has no ANSI form.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi);

// Unicode text for the wide registry functions and for messages: UTF-8 typed as char8_t, so that it
// is never taken for ANSI bytes.

// The Unicode form of ANSI text: AnsiToUtf8, typed. Lossless for whatever the code page holds.
std::u8string AnsiToU8(std::string_view ansi);
// The ANSI form of Unicode text as the ANSI functions hand it out: a character the code page
// lacks becomes '?' (or the code page's nearest character where Windows has one). NULs stay.
std::string U8ToAnsiLossy(std::u8string_view text);
// How many bytes the ANSI form of `text` takes: U8ToAnsiLossy(text).size().
std::size_t AnsiLength(std::u8string_view text);
// Upper-case, character by character, as Windows' invariant upper-casing does it; text that is
// not valid UTF-8 comes back unchanged.
std::u8string ToUpperUtf8(std::u8string_view text);
// Equal without regard to letter case, in Unicode.
bool EqualsNoCaseUtf8(std::u8string_view a, std::u8string_view b);

}  // namespace text
