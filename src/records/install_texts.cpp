// Filling ANSI data into the installer's messages.
#include "records/install_texts.h"

#include <algorithm>

#include "platform/utf8_text.h"

namespace install {

std::u8string WithPath(std::u8string_view pattern, std::string_view ansiPath) {
  std::u8string out(pattern);
  const std::size_t at = out.find(u8"{}");
  if (at != std::u8string::npos) out.replace(at, 2, text::AnsiToU8(ansiPath));
  return out;
}

void AppendItems(std::u8string& out, const std::vector<std::u8string>& items) {
  const std::size_t shown = std::min(items.size(), kIncompleteItemsShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i != 0) out += u8'\n';
    out += items[i];
  }
  if (items.size() > shown) {
    std::u8string count = kIncompleteCountPattern;
    count.replace(count.find(u8"{}"), 2, text::Decimal(items.size()));
    out += u8'\n';
    out += count;
  }
}

std::u8string IncompleteInstallText(const std::vector<std::u8string>& items) {
  std::u8string out = kIncompleteLead;
  AppendItems(out, items);
  out += kIncompleteAdvice;
  return out;
}

}  // namespace install
