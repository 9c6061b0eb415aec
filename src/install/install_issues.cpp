// Gathering what an installation left undone.
#include "install/install_issues.h"

#include <algorithm>

#include "platform/text.h"

namespace install {

void InstallIssues::Add(std::string_view ansiWhat, std::string_view noteUtf8) {
  const std::u8string what = text::AnsiToU8(ansiWhat);
  Add(what, noteUtf8);
}

void InstallIssues::Add(std::u8string_view what, std::string_view noteUtf8) {
  // Messages are UTF-8 in a std::string: the bytes carry over as they are.
  std::string item(what.begin(), what.end());
  item += noteUtf8;
  if (std::find(m_arrItems.begin(), m_arrItems.end(), item) == m_arrItems.end()) m_arrItems.push_back(std::move(item));
}

}  // namespace install
