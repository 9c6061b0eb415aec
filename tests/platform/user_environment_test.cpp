// Environment-style text expanded for another user: that user's profile, the machine's variables,
// and never the installer's own per-user variables.
#include "platform/user_environment.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "support/fixtures.h"

namespace {

TEST(ExpandForUser, UsesTheUsersProfileAndTheMachinesVariablesOnly) {
  sim::SimMachine machine;  // its environment is the installer's: APPDATA, SystemDrive, SystemRoot
  machine.system().SetEnvironment("USERPROFILE", "C:\\Users\\Admin");
  machine.system().SetEnvironment("TEMP", "C:\\Users\\Admin\\AppData\\Local\\Temp");
  machine.system().SetEnvironment("Projects", support::Ansi("D:\\项目"));
  struct Case {
    std::u8string text;
    std::u8string profile;
    platform::Status status;
    std::u8string expanded;
  };
  const std::u8string liWei = u8"C:\\Users\\李伟";
  for (const Case& c : {
           Case{u8"%userprofile%\\AppData\\Roaming", liWei, platform::kSuccess, u8"C:\\Users\\李伟\\AppData\\Roaming"},
           Case{u8"%SystemDrive%\\Users\\Li Wei;%Projects%", u8"", platform::kSuccess, u8"C:\\Users\\Li Wei;D:\\项目"},
           Case{u8"%USERPROFILE%\\AppData", u8"", platform::kEnvVarNotFound, u8""},
           Case{u8"%APPDATA%\\Autodesk", liWei, platform::kEnvVarNotFound, u8""},
           Case{u8"%TEMP%", liWei, platform::kEnvVarNotFound, u8""},
           Case{u8"%NEVER_SET%", liWei, platform::kEnvVarNotFound, u8""},
           Case{u8"100% sure", liWei, platform::kSuccess, u8"100% sure"},
           Case{u8"a%%b", liWei, platform::kSuccess, u8"a%%b"},
       }) {
    std::u8string out = u8"stale";
    EXPECT_EQ(platform::ExpandForUser(c.text, c.profile, machine.system(), out), c.status) << text::U8ToAnsiLossy(c.text);
    EXPECT_EQ(out, c.status == platform::kSuccess ? c.expanded : u8"stale") << text::U8ToAnsiLossy(c.text);
  }
}

}  // namespace
