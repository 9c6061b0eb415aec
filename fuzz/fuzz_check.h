// What the fuzz targets share: a property check that stops the run, and an independent walk over
// the characters of code page 936 text to judge the text module's answers against.
#pragma once
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// A broken property is a crash for libFuzzer: it keeps the input and reports it.
#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);   \
      std::abort();                                                                       \
    }                                                                                     \
  } while (false)

namespace fuzzcheck {

// Start offsets of the characters of `s` in code page 936: a byte 0x81-0xFE takes the next byte
// with it when there is one. Written out again here rather than taken from the text module, so
// that the module is judged against the rule and not against itself.
inline std::vector<std::size_t> CharStarts(std::string_view s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size();) {
    starts.push_back(i);
    const auto b = static_cast<unsigned char>(s[i]);
    i += (b >= 0x81 && b <= 0xFE && i + 1 < s.size()) ? 2 : 1;
  }
  return starts;
}

// Whether `pos` starts a character of `s` (the end of `s` counts as a boundary).
inline bool IsBoundary(std::string_view s, std::size_t pos) {
  if (pos == s.size()) return true;
  for (const std::size_t start : CharStarts(s)) {
    if (start == pos) return true;
    if (start > pos) return false;
  }
  return false;
}

}  // namespace fuzzcheck
