// What the registration and the support files could not do, gathered for the one message that
// follows an installation which otherwise ran to its end.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace install {

class InstallIssues {
 public:
  // One key, value or file left undone. `ansiWhat` is its path in the ANSI code page (converted
  // here, so that it reads right on screen); `note` says why, when the path alone would not.
  // The same item twice (an AutoCAD folder listed from both registry views) is kept once.
  void Add(std::string_view ansiWhat, std::u8string_view note = {});
  // The same for an item named in Unicode (a key reached through the wide registry functions).
  void Add(std::u8string_view what, std::u8string_view note = {});

  // In the order the work was tried.
  const std::vector<std::u8string>& Items() const { return m_arrItems; }
  bool Empty() const { return m_arrItems.empty(); }

 private:
  std::vector<std::u8string> m_arrItems;
};

}  // namespace install
