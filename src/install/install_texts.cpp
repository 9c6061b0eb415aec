// Filling ANSI data into the installer's UTF-8 messages.
#include "install/install_texts.h"

#include "platform/text.h"

namespace install {

std::string WithPath(std::string_view pattern, std::string_view ansiPath) {
  std::string out(pattern);
  const std::size_t at = out.find("{}");
  if (at != std::string::npos) out.replace(at, 2, text::AnsiToUtf8(ansiPath));
  return out;
}

}  // namespace install
