// Filling ANSI data into the installer's UTF-8 messages.
#include "install/install_texts.h"

#include <algorithm>

#include "platform/text.h"

namespace install {

std::string WithPath(std::string_view pattern, std::string_view ansiPath) {
  std::string out(pattern);
  const std::size_t at = out.find("{}");
  if (at != std::string::npos) out.replace(at, 2, text::AnsiToUtf8(ansiPath));
  return out;
}

void AppendItems(std::string& out, const std::vector<std::string>& itemsUtf8) {
  const std::size_t shown = std::min(itemsUtf8.size(), kIncompleteItemsShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i != 0) out += '\n';
    out += itemsUtf8[i];
  }
  if (itemsUtf8.size() > shown) {
    std::string count = kIncompleteCountPattern;
    count.replace(count.find("{}"), 2, std::to_string(itemsUtf8.size()));
    out += '\n';
    out += count;
  }
}

std::string IncompleteInstallText(const std::vector<std::string>& itemsUtf8) {
  std::string out = kIncompleteLead;
  AppendItems(out, itemsUtf8);
  out += kIncompleteAdvice;
  return out;
}

}  // namespace install
