// Gathering what an installation left undone.
#include "records/install_issues.h"

#include <algorithm>

#include "platform/text.h"

namespace install {

void InstallIssues::Add(std::string_view ansiWhat, std::u8string_view note) {
  Add(text::AnsiToU8(ansiWhat), note);
}

void InstallIssues::Add(std::u8string_view what, std::u8string_view note) {
  std::u8string item(what);
  item += note;
  if (std::find(m_arrItems.begin(), m_arrItems.end(), item) == m_arrItems.end()) m_arrItems.push_back(std::move(item));
}

}  // namespace install
