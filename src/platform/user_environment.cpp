// Expansion of environment-style text for another user: the profile path is that user's own.
#include "platform/user_environment.h"

#include <utility>

#include "platform/text.h"

namespace platform {
namespace {

// Set by Windows for each signed-in user from that user's own account and profile.
constexpr std::u8string_view kPerUserVariables[] = {
    u8"APPDATA",  u8"LOCALAPPDATA", u8"HOMEDRIVE",     u8"HOMEPATH",    u8"HOMESHARE", u8"USERNAME",
    u8"USERDOMAIN", u8"USERDNSDOMAIN", u8"LOGONSERVER", u8"TEMP",        u8"TMP",       u8"OneDrive",
};

Status ValueOf(std::u8string_view name, std::u8string_view profilePath, SystemInfo& system, std::u8string& value) {
  if (text::EqualsNoCaseUtf8(name, u8"USERPROFILE")) {
    if (profilePath.empty()) return kEnvVarNotFound;
    value.assign(profilePath);
    return kSuccess;
  }
  for (const std::u8string_view own : kPerUserVariables) {
    if (text::EqualsNoCaseUtf8(name, own)) return kEnvVarNotFound;
  }
  const Status st = system.EnvironmentVariableW(name, value);
  return st == kFileNotFound ? kEnvVarNotFound : st;
}

}  // namespace

Status ExpandForUser(std::u8string_view text, std::u8string_view profilePath, SystemInfo& system, std::u8string& out) {
  std::u8string expanded;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(u8'%', at);
    const std::size_t close = open == std::u8string_view::npos ? open : text.find(u8'%', open + 1);
    if (close == std::u8string_view::npos) {
      expanded.append(text.substr(at));
      break;
    }
    expanded.append(text.substr(at, open - at));
    const std::u8string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      expanded.append(u8"%%");
    } else {
      std::u8string value;
      if (const Status st = ValueOf(name, profilePath, system, value); st != kSuccess) return st;
      expanded.append(value);
    }
    at = close + 1;
  }
  out = std::move(expanded);
  return kSuccess;
}

}  // namespace platform
