// Gathering what an installation left undone.
#include "install/install_issues.h"

#include <algorithm>

#include "platform/text.h"

namespace install {

void InstallIssues::Add(std::string_view ansiWhat, std::string_view noteUtf8) {
  std::string item = text::AnsiToUtf8(ansiWhat);
  item += noteUtf8;
  if (std::find(m_arrItems.begin(), m_arrItems.end(), item) == m_arrItems.end()) m_arrItems.push_back(std::move(item));
}

}  // namespace install
