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
  // here, so that it reads right on screen); `noteUtf8` says why, when the path alone would not.
  // The same item twice (an AutoCAD folder listed from both registry views) is kept once.
  void Add(std::string_view ansiWhat, std::string_view noteUtf8 = {});
  // The same for an item named in Unicode (a key reached through the wide registry functions).
  void Add(std::u8string_view what, std::string_view noteUtf8 = {});

  // UTF-8, in the order the work was tried.
  const std::vector<std::string>& Items() const { return m_arrItems; }
  bool Empty() const { return m_arrItems.empty(); }

 private:
  std::vector<std::string> m_arrItems;
};

// Adds to `issues` when the caller asked for them; the steps run the same either way.
inline void Report(InstallIssues* issues, std::string_view ansiWhat, std::string_view noteUtf8 = {}) {
  if (issues != nullptr) issues->Add(ansiWhat, noteUtf8);
}
inline void Report(InstallIssues* issues, std::u8string_view what, std::string_view noteUtf8 = {}) {
  if (issues != nullptr) issues->Add(what, noteUtf8);
}

}  // namespace install
