// The host's ANSI code page: 936 (Simplified Chinese, GBK), as a Chinese Windows machine has it.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/sim/utf16.h"
#include "platform/text.h"

namespace text {
namespace {

constexpr unsigned char kLeadFirst = 0x81;
constexpr unsigned char kLeadLast = 0xFE;

unsigned char Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Length of the character starting at `i`: a lead byte takes the next byte with it, unless the
// string ends there (a lone lead byte at the end is a character of its own).
std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsLeadByte(Byte(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

// Double-byte letters that have a case in GBK, as (lead, first upper trail, first lower trail, count).
struct CaseBlock {
  unsigned char lead;
  unsigned char upperFirst;
  unsigned char lowerFirst;
  unsigned char count;
};
constexpr CaseBlock kCaseBlocks[] = {
    {0xA3, 0xC1, 0xE1, 26},  // fullwidth Latin Ａ-Ｚ / ａ-ｚ
    {0xA6, 0xA1, 0xC1, 24},  // Greek Α-Ω / α-ω
    {0xA7, 0xA1, 0xD1, 33},  // Cyrillic А-Я / а-я (Ё/ё in place)
    {0xA2, 0xF1, 0xA1, 10},  // Roman numerals Ⅰ-Ⅹ / ⅰ-ⅹ (the small ones come first in GBK)
};

enum class Case { Upper, Lower };

std::string ChangeCase(std::string_view s, Case to) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t len = CharLength(out, i);
    if (len == 1) {
      const char c = out[i];
      if (to == Case::Upper && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
      if (to == Case::Lower && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
    } else {
      const unsigned char lead = Byte(out, i);
      const unsigned char trail = Byte(out, i + 1);
      for (const CaseBlock& block : kCaseBlocks) {
        if (lead != block.lead) continue;
        const unsigned char from = to == Case::Upper ? block.lowerFirst : block.upperFirst;
        const unsigned char into = to == Case::Upper ? block.upperFirst : block.lowerFirst;
        if (trail >= from && trail < from + block.count) {
          out[i + 1] = static_cast<char>(into + (trail - from));
        }
      }
    }
    i += len;
  }
  return out;
}

// A valid GBK trail byte; a lead byte followed by anything else is not a pair.
bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// One iconv conversion descriptor per call: the host tests are single-threaded, but a
// descriptor carries shift state, so sharing one would be a trap for no measurable gain.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as possible; returns the number of input bytes consumed. `failed` tells
  // whether it stopped on an input it cannot convert (or an incomplete sequence).
  std::size_t Convert(std::string_view in, std::string& out, bool& failed) {
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    failed = false;
    char buffer[256];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        failed = true;
        break;
      }
    }
    return in.size() - srcLeft;
  }

 private:
  iconv_t cd_;
};

// glibc knows Windows' table under "CP936" (an alias of GBK); fall back to the plain name.
const char* AnsiCharset() {
  static const char* const name = [] {
    const iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "GBK";
    iconv_close(cd);
    return "CP936";
  }();
  return name;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Bytes of the UTF-8 character starting at `i` as far as they go: its lead byte and the
// continuation bytes that follow it, at most as many as the lead byte announces.
std::size_t Utf8CharLength(std::u8string_view s, std::size_t i) {
  const char8_t b = s[i];
  const std::size_t announced = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  std::size_t n = 1;
  while (n < announced && i + n < s.size() && (s[i + n] & 0xC0) == 0x80) ++n;
  return n;
}

// The C library's Unicode case table, independent of the process locale; null when the system
// has no "C.UTF-8" locale, and then only ASCII letters change case.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// One UTF-16 unit upper-cased on its own, as Windows' upper-case table works; a surrogate, and a
// letter whose capital lies outside the unit's plane, stay as they are.
char16_t UpperUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  const locale_t locale = UnicodeLocale();
  if (locale == static_cast<locale_t>(nullptr) || (unit >= 0xD800 && unit <= 0xDFFF)) return unit;
  const wint_t upper = towupper_l(static_cast<wint_t>(unit), locale);
  return upper <= 0xFFFF && !(upper >= 0xD800 && upper <= 0xDFFF) ? static_cast<char16_t>(upper) : unit;
}

std::string_view AsChars(std::u8string_view s) { return {reinterpret_cast<const char*>(s.data()), s.size()}; }

}  // namespace

bool IsLeadByte(unsigned char byte) { return byte >= kLeadFirst && byte <= kLeadLast; }

std::size_t ReverseFind(std::string_view s, char ch) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
    if (CharLength(s, i) == 1 && s[i] == ch) found = i;
  }
  return found;
}

std::size_t Find(std::string_view s, char ch, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) {
    if (CharLength(s, i) == 1 && s[i] == ch) return i;
  }
  return std::string_view::npos;
}

std::size_t FindSubstring(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  for (std::size_t i = 0; i < haystack.size(); i += CharLength(haystack, i)) {
    if (haystack.size() - i < needle.size()) break;
    if (haystack.compare(i, needle.size(), needle) != 0) continue;
    // The match must also end on a character boundary: a needle ending in a lead byte
    // would otherwise match the first half of a double-byte character.
    std::size_t end = i;
    while (end < i + needle.size()) end += CharLength(haystack, end);
    if (end == i + needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string ToUpper(std::string_view s) { return ChangeCase(s, Case::Upper); }
std::string ToLower(std::string_view s) { return ChangeCase(s, Case::Lower); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ToUpper(a) == ToUpper(b);
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  Converter conv("UTF-8", AnsiCharset());
  if (!conv.ok()) {
    // Without the table only ASCII can be trusted.
    for (const char c : ansi) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out.push_back(c);
      } else {
        out.append(kReplacement);
      }
    }
    return out;
  }
  std::size_t pos = 0;
  while (pos < ansi.size()) {
    bool failed = false;
    pos += conv.Convert(ansi.substr(pos), out, failed);
    if (!failed) break;
    // Replace the one character that did not convert and go on after it.
    out.append(kReplacement);
    const bool pair = IsLeadByte(Byte(ansi, pos)) && pos + 1 < ansi.size() && IsTrailByte(Byte(ansi, pos + 1));
    pos += pair ? 2 : 1;
  }
  return out;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& ansi) {
  Converter conv(AnsiCharset(), "UTF-8");
  if (!conv.ok()) return false;
  std::string out;
  bool failed = false;
  conv.Convert(utf8, out, failed);
  if (failed) return false;
  ansi = std::move(out);
  return true;
}

std::u8string AnsiToU8(std::string_view ansi) {
  const std::string utf8 = AnsiToUtf8(ansi);
  return std::u8string(utf8.begin(), utf8.end());
}

std::string U8ToAnsiLossy(std::u8string_view textIn) {
  std::string out;
  Converter conv(AnsiCharset(), "UTF-8");
  std::size_t pos = 0;
  while (pos < textIn.size()) {
    bool failed = true;
    if (conv.ok()) pos += conv.Convert(AsChars(textIn.substr(pos)), out, failed);
    if (!failed) break;
    // One character the code page lacks (or bytes that are none) becomes one '?'.
    const char8_t first = textIn[pos];
    out.push_back(!conv.ok() && first < 0x80 ? static_cast<char>(first) : '?');  // without the table, ASCII passes
    pos += Utf8CharLength(textIn, pos);
  }
  return out;
}

std::size_t AnsiLength(std::u8string_view textIn) { return U8ToAnsiLossy(textIn).size(); }

std::u8string ToUpperUtf8(std::u8string_view textIn) {
  std::optional<std::u16string> units = sim::Utf8ToUtf16(textIn);
  if (!units) return std::u8string(textIn);
  for (char16_t& unit : *units) unit = UpperUnit(unit);
  std::optional<std::u8string> upper = sim::Utf16ToUtf8(*units);
  return upper ? std::move(*upper) : std::u8string(textIn);
}

bool EqualsNoCaseUtf8(std::u8string_view a, std::u8string_view b) { return ToUpperUtf8(a) == ToUpperUtf8(b); }

}  // namespace text
