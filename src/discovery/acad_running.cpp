// The running-AutoCAD check over the process list.
#include "discovery/acad_running.h"

#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"

namespace {
// Already lower case: each process name is lower-cased before the search.
constexpr std::string_view kAcadExe = "acad.exe";
}  // namespace

bool IsAcadRunning(platform::SystemInfo& system) {
  std::vector<std::string> names;
  // No snapshot: go ahead as if AutoCAD were not running rather than block the install.
  if (!system.ProcessNames(names)) return false;
  for (const std::string& name : names) {
    if (text::FindSubstring(text::ToLower(name), kAcadExe) != std::string_view::npos) return true;
  }
  return false;
}
