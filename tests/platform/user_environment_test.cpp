// Environment-style text expanded for another user: that user's profile, the machine's variables,
// and never the installer's own per-user variables.
#include "platform/user_environment.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"
#include "support/fixtures.h"

namespace {

TEST(ExpandForUser, UsesTheUsersProfileAndTheMachinesVariablesOnly) {
  sim::SimMachine machine;
  // The installer's own account, whose folders must never stand in for another user's.
  machine.system().SetEnvironment("USERPROFILE", "C:\\Users\\Admin");
  machine.system().SetEnvironment("LOCALAPPDATA", "C:\\Users\\Admin\\AppData\\Local");
  machine.system().SetEnvironment("TEMP", "C:\\Users\\Admin\\AppData\\Local\\Temp");
  machine.system().SetEnvironment("ProgramData", "C:\\ProgramData");
  machine.system().SetEnvironment("Projects", support::Ansi("D:\\项目"));
  struct Case {
    std::u8string text;
    std::u8string profile;
    platform::Status status;
    std::u8string expanded;
  };
  const std::u8string profile = u8"C:\\Users\\李伟";
  const Case cases[] = {
      {u8"%USERPROFILE%\\AppData\\Roaming", profile, platform::kSuccess, u8"C:\\Users\\李伟\\AppData\\Roaming"},
      {u8"%userprofile%", profile, platform::kSuccess, profile},
      {u8"%SystemDrive%\\Users\\Li Wei", u8"", platform::kSuccess, u8"C:\\Users\\Li Wei"},
      {u8"%SystemDrive%%USERPROFILE%", profile, platform::kSuccess, u8"C:C:\\Users\\李伟"},
      {u8"%ProgramData%\\Autodesk;%Projects%", profile, platform::kSuccess, u8"C:\\ProgramData\\Autodesk;D:\\项目"},
      {u8"%USERPROFILE%\\AppData", u8"", platform::kEnvVarNotFound, u8""},
      {u8"%APPDATA%\\Autodesk", profile, platform::kEnvVarNotFound, u8""},
      {u8"%LocalAppData%", profile, platform::kEnvVarNotFound, u8""},
      {u8"%TEMP%", profile, platform::kEnvVarNotFound, u8""},
      {u8"%NEVER_SET%\\x", profile, platform::kEnvVarNotFound, u8""},
      {u8"100% sure", profile, platform::kSuccess, u8"100% sure"},
      {u8"a%%b%", profile, platform::kSuccess, u8"a%%b%"},
      {u8"", profile, platform::kSuccess, u8""},
  };
  for (const Case& c : cases) {
    std::u8string out = u8"stale";
    const std::string label(c.text.begin(), c.text.end());
    EXPECT_EQ(platform::ExpandForUser(c.text, c.profile, machine.system(), out), c.status) << label;
    EXPECT_EQ(out, c.status == platform::kSuccess ? c.expanded : u8"stale") << label;
  }
}

}  // namespace
