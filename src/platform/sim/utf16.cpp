// UTF-8 <-> UTF-16, written out: the host's iconv would do, but these two are short and exact.
#include "platform/sim/utf16.h"

namespace sim {

std::optional<std::u16string> Utf8ToUtf16(std::u8string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char8_t b = utf8[i];
    std::size_t len = 0;
    char32_t min = 0;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      len = 2;
      min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
      min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
      min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + len > utf8.size()) return std::nullopt;
    char32_t cp = b & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
      const char8_t c = utf8[i + k];
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::optional<std::u8string> Utf16ToUtf8(std::u16string_view utf16) {
  std::u8string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char8_t>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char8_t>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char8_t>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char8_t>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char8_t>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char8_t>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char8_t>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char8_t>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char8_t>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace sim
