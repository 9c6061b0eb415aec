// UTF-8 <-> UTF-16 for the simulated machine, which keeps Unicode names and text as UTF-8 but
// measures and orders them in UTF-16 units, as Windows does.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// Nothing for bytes that are not well-formed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::u8string_view utf8);
// Nothing for an unpaired surrogate.
std::optional<std::u8string> Utf16ToUtf8(std::u16string_view utf16);

}  // namespace sim
