// Fuzzes the code page 936 text helpers against the character rule written out independently:
// searches land on whole characters and find what they claim, case mapping keeps every character
// in place, and text that converts to UTF-8 without a replacement comes back byte for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/text.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
// The ASCII characters the program searches for: separators and the ends of .reg syntax.
constexpr char kSearched[] = {'\\', ';', '.', ']', '"', ':', '/', '|'};

bool IsSingleByteChar(std::string_view s, std::size_t start) {
  const auto b = static_cast<unsigned char>(s[start]);
  return !(b >= 0x81 && b <= 0xFE) || start + 1 == s.size();
}

void CheckSearches(std::string_view s, char ch, std::size_t fromIndex) {
  const std::vector<std::size_t> starts = fuzzcheck::CharStarts(s);
  std::size_t last = std::string_view::npos;
  for (const std::size_t start : starts) {
    if (IsSingleByteChar(s, start) && s[start] == ch) last = start;
  }
  FUZZ_CHECK(text::ReverseFind(s, ch) == last);

  // Forwards from a character start (or the end).
  const std::size_t from = starts.empty() ? 0 : (fromIndex < starts.size() ? starts[fromIndex] : s.size());
  std::size_t first = std::string_view::npos;
  for (const std::size_t start : starts) {
    if (start >= from && IsSingleByteChar(s, start) && s[start] == ch) {
      first = start;
      break;
    }
  }
  FUZZ_CHECK(text::Find(s, ch, from) == first);
}

void CheckSubstring(std::string_view haystack, std::string_view needle) {
  const std::size_t found = text::FindSubstring(haystack, needle);
  // The first match that starts and ends on character boundaries.
  std::size_t expected = std::string_view::npos;
  if (needle.empty()) {
    expected = 0;
  } else {
    for (const std::size_t start : fuzzcheck::CharStarts(haystack)) {
      if (haystack.substr(start, needle.size()) == needle && start + needle.size() <= haystack.size() &&
          fuzzcheck::IsBoundary(haystack, start + needle.size())) {
        expected = start;
        break;
      }
    }
  }
  FUZZ_CHECK(found == expected);
}

void CheckCase(std::string_view s) {
  const std::string upper = text::ToUpper(s);
  const std::string lower = text::ToLower(s);
  // Whole characters are mapped to whole characters of the same size: nothing moves.
  FUZZ_CHECK(upper.size() == s.size());
  FUZZ_CHECK(lower.size() == s.size());
  FUZZ_CHECK(fuzzcheck::CharStarts(upper) == fuzzcheck::CharStarts(s));
  FUZZ_CHECK(fuzzcheck::CharStarts(lower) == fuzzcheck::CharStarts(s));
  FUZZ_CHECK(text::ToUpper(upper) == upper);
  FUZZ_CHECK(text::ToLower(lower) == lower);
  FUZZ_CHECK(text::EqualsNoCase(s, upper));
  FUZZ_CHECK(text::EqualsNoCase(lower, upper));
  for (const std::size_t i : fuzzcheck::CharStarts(s)) {
    const char c = s[i];
    // Every single-byte character but a-z / A-Z stays as it is; separators above all.
    if (IsSingleByteChar(s, i)) {
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      FUZZ_CHECK(upper[i] == (letter ? static_cast<char>(c & ~0x20) : c));
      FUZZ_CHECK(lower[i] == (letter ? static_cast<char>(c | 0x20) : c));
    } else {
      FUZZ_CHECK(upper[i] == c && lower[i] == c);  // lead bytes are never touched
    }
  }
}

void CheckConversion(std::string_view ansi) {
  const std::string utf8 = text::AnsiToUtf8(ansi);
  // Every character but the replacements came from the code page, so it has a way back; and
  // without replacements the way back gives the very same bytes.
  std::string kept;
  for (std::size_t i = 0; i < utf8.size();) {
    if (utf8.compare(i, kReplacement.size(), kReplacement) == 0) {
      i += kReplacement.size();
    } else {
      kept.push_back(utf8[i++]);
    }
  }
  std::string back;
  FUZZ_CHECK(text::Utf8ToAnsi(kept, back));
  if (kept.size() == utf8.size()) FUZZ_CHECK(back == ansi);
  // From the UTF-8 side: what has an ANSI form comes back to the same UTF-8 text.
  std::string ansiFromUtf8;
  const std::string_view asUtf8 = ansi;
  if (text::Utf8ToAnsi(asUtf8, ansiFromUtf8)) FUZZ_CHECK(text::AnsiToUtf8(ansiFromUtf8) == asUtf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  FuzzedDataProvider input(data, size);
  const char ch = kSearched[input.ConsumeIntegralInRange<std::size_t>(0, sizeof kSearched - 1)];
  const std::size_t fromIndex = input.ConsumeIntegralInRange<std::size_t>(0, 64);
  const std::string needle = input.ConsumeRandomLengthString(16);
  const std::string s = input.ConsumeRemainingBytesAsString();

  CheckSearches(s, ch, fromIndex);
  CheckSubstring(s, needle);
  CheckCase(s);
  CheckCase(needle);
  FUZZ_CHECK(text::EqualsNoCase(s, needle) == text::EqualsNoCase(needle, s));
  CheckConversion(s);
  return 0;
}
