// The command line: splitting as Windows splits it, the switches, and every fault.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include <string>

namespace {

using app::CommandLine;

std::string Bytes(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// A parse result in one line: "silent dir=<folder> releases=2010,2018 log=<path> help uninstall".
std::string Describe(const CommandLine& line) {
  std::string described = line.mode == app::RunMode::Unattended ? "silent" : "dialog";
  described += " dir=" + Bytes(line.folder);
  if (line.releases) {
    described += " releases=";
    for (const int year : *line.releases)
      described += std::to_string(year) + (year == line.releases->back() ? "" : ",");
  }
  if (line.logPath) described += " log=" + Bytes(*line.logPath);
  if (line.help) described += " help";
  if (line.uninstall) described += " uninstall";
  if (line.userSetup) described += " usersetup";
  if (line.msi) described += " msi";
  return described;
}

// Expected results: a description as above, or "!" and a part of the error that names the argument
// and what is wrong with it.
TEST(ParseCommandLine, ReadsSwitchesAsWindowsSplitsThem) {
  const struct {
    const char8_t* line;
    const char* expected;
  } cases[] = {
      {u8"SetUp.exe", "dialog dir=C:\\Vornex"},
      {u8"\"C:\\Program Files\\Setup\\SetUp.exe\"", "dialog dir=C:\\Vornex"},
      {u8"SetUp.exe /S", "silent dir=C:\\Vornex"},
      {u8"SetUp.exe -s", "silent dir=C:\\Vornex"},
      {u8"SetUp.exe\t/s\t\t-Help  /uninstall ", "silent dir=C:\\Vornex help uninstall"},
      {u8"SetUp.exe /?", "dialog dir=C:\\Vornex help"},
      {u8"SetUp.exe /s /dir=D:\\Tools /Releases=2018,2010,2007,2026 -LOG=C:\\l.log",
       "silent dir=D:\\Tools releases=2007,2010,2018,2026 log=C:\\l.log"},
      {u8"SetUp.exe /LOG=C:\\a=b.log", "dialog dir=C:\\Vornex log=C:\\a=b.log"},
      {u8"SetUp.exe /UNINSTALL /S -MSI", "silent dir=C:\\Vornex uninstall msi"},
      // Quotes group, at the start of an argument or inside it.
      {u8"SetUp.exe /S \"/DIR=D:\\CAD Tools\\批打印\"", "silent dir=D:\\CAD Tools\\批打印"},
      {u8"SetUp.exe /DIR=\"D:\\도구 모음\\한글\" /log=\"D:\\日志 目录\\setup.log\"",
       "dialog dir=D:\\도구 모음\\한글 log=D:\\日志 目录\\setup.log"},
      // The program name ends at its closing quote, whatever the backslashes before it.
      {u8"\"C:\\Setup\\\"/S", "silent dir=C:\\Vornex"},
      {u8"C:\\Set\"up\\SetUp.exe /S", "silent dir=C:\\Vornex"},
      // Backslashes: 2n before a quote give n and the quote groups; 2n+1 give n and a quote; others stay.
      {u8"SetUp.exe \"/DIR=C:\\Tools\\\\\" /S", "silent dir=C:\\Tools\\"},
      // A literal quote in a value is a fault: it swallowed what followed, /S included, which then
      // still keeps every window shut.
      {u8"SetUp.exe /DIR=\"C:\\Tools\\\" /S", "!开关“/DIR=C:\\Tools\" /S”的值含有引号"},
      {u8"SetUp.exe \"/DIR=C:\\A B\\\" /s", "!开关“/DIR=C:\\A B\" /s”的值含有引号"},
      {u8"SetUp.exe \"/LOG=C:\\l\\\" -S /DIR=D:\\x", "!开关“/LOG=C:\\l\" -S /DIR=D:\\x”的值含有引号"},
      {u8"SetUp.exe /DIR=C:\\\\a\\\\\\\"b", "!开关“/DIR=C:\\\\a\\\"b”的值含有引号"},
      // A doubled quote inside a quoted part is one quote and ends the part; outside, it is nothing.
      {u8"SetUp.exe \"/DIR=C:\\a\"\"b\" /S", "!开关“/DIR=C:\\a\"b /S”的值含有引号"},
      {u8"SetUp.exe /DIR=C:\\a\"\"b /S", "silent dir=C:\\ab"},
      {u8"SetUp.exe /DIR=a\"\"\"b /S", "!开关“/DIR=a\"b”的值含有引号"},
      {u8"SetUp.exe /DIR=a\"\"\"\"b /S", "!开关“/DIR=a\"b /S”的值含有引号"},
      // A user's set-up at sign-in never shows a window, and takes /LOG alone.
      {u8"VornexSetup.exe /USERSETUP", "silent dir=C:\\Vornex usersetup"},
      {u8"VornexSetup.exe /usersetup /LOG=C:\\u.log", "silent dir=C:\\Vornex log=C:\\u.log usersetup"},
      {u8"VornexSetup.exe /USERSETUP /DIR=C:\\a", "!只能与 /LOG 一起使用"},
      {u8"VornexSetup.exe /USERSETUP /UNINSTALL", "!只能与 /LOG 一起使用"},
      {u8"VornexSetup.exe /USERSETUP /X", "!无法识别的开关“/X”"},
      // Faults, each naming its argument.
      {u8"SetUp.exe /X", "!无法识别的开关“/X”"},
      {u8"SetUp.exe --S", "!无法识别的开关“--S”"},
      {u8"SetUp.exe /S /DIR=C:\\a /s", "!开关“/s”重复出现"},
      {u8"SetUp.exe /DIR=C:\\a \"-dir=D:\\b c\"", "!开关“-dir=D:\\b c”重复出现"},
      {u8"SetUp.exe /? /HELP", "!开关“/HELP”重复出现"},
      {u8"SetUp.exe /DIR=", "!开关“/DIR=”缺少值"},
      {u8"SetUp.exe /S /Dir", "!开关“/Dir”缺少值"},
      {u8"SetUp.exe /LOG= /S", "!开关“/LOG=”缺少值"},
      {u8"SetUp.exe /RELEASES", "!开关“/RELEASES”缺少值"},
      {u8"SetUp.exe /S=1", "!开关“/S=1”不带值"},
      {u8"SetUp.exe /UNINSTALL=yes", "!开关“/UNINSTALL=yes”不带值"},
      {u8"SetUp.exe /S install", "!“install”不是开关"},
      {u8"SetUp.exe /S \"\"", "!“”不是开关"},
      {u8"SetUp.exe /S 批打印", "!“批打印”不是开关"},
      {u8"SetUp.exe /RELEASES=2010,,2018", "!“/RELEASES=2010,,2018”中的版本列表无效"},
      {u8"SetUp.exe /RELEASES=2010,", "!“/RELEASES=2010,”中的版本列表无效"},
      {u8"SetUp.exe /RELEASES=,2010", "!“/RELEASES=,2010”中的版本列表无效"},
      {u8"SetUp.exe \"/RELEASES=2010, 2018\"", "!“/RELEASES=2010, 2018”中的版本列表无效"},
      {u8"SetUp.exe /RELEASES=201O", "!“/RELEASES=201O”中的版本列表无效"},
      {u8"SetUp.exe /RELEASES=02010", "!“/RELEASES=02010”中的版本列表无效"},
      {u8"SetUp.exe /RELEASES=2010,2006", "!“/RELEASES=2010,2006”中的 2006 不是可以安装的版本"},
      {u8"SetUp.exe /RELEASES=2027", "!“/RELEASES=2027”中的 2027 不是可以安装的版本"},
      {u8"SetUp.exe /RELEASES=2010,2018,2010", "!“/RELEASES=2010,2018,2010”中的 2010 重复出现"},
  };
  for (const auto& c : cases) {
    const CommandLine parsed = app::ParseCommandLine(c.line);
    SCOPED_TRACE(Bytes(c.line));
    const std::string expected = c.expected;
    if (expected[0] != '!') {
      EXPECT_TRUE(parsed.Valid()) << Bytes(parsed.error);
      EXPECT_EQ(Describe(parsed), expected);
      continue;
    }
    EXPECT_NE(Bytes(parsed.error).find(expected.substr(1)), std::string::npos) << Bytes(parsed.error);
    CommandLine blank;
    blank.error = parsed.error;
    // Only the unattended mode survives a fault, so that it is told in the log, not in a box.
    std::istringstream words(Bytes(c.line));
    for (std::string word; words >> word;) {
      while (!word.empty() && word.back() == '"') word.pop_back();
      if (word == "/S" || word == "/s" || word == "-S" || word == "-s" || word == "/USERSETUP") {
        blank.mode = app::RunMode::Unattended;
      }
    }
    EXPECT_EQ(parsed, blank) << "a faulty line must not leave half its switches applied: " << Describe(parsed);
  }
}

// Who needs the administrator prompt: a wrong answer either blocks a standard user's sign-in
// set-up behind UAC, or lets an installation start without rights. And the relaunch passes the
// arguments on exactly as they were typed.
TEST(ParseCommandLine, ElevationAndTheArgumentsPassedOn) {
  const struct {
    const char8_t* line;
    bool elevated;
    const char8_t* arguments;
  } cases[] = {
      {u8"\"C:\\Setup Files\\SetUp.exe\"  /S \"/DIR=D:\\CAD Tools\"", true, u8"/S \"/DIR=D:\\CAD Tools\""},
      {u8"C:\\Set\"up\\SetUp.exe\t/UNINSTALL /S", true, u8"/UNINSTALL /S"},
      {u8"SetUp.exe /UNINSTALL /?", true, u8"/UNINSTALL /?"},
      {u8"SetUp.exe /?", false, u8"/?"},
      {u8"SetUp.exe /X", false, u8"/X"},
      {u8"\"C:\\Vornex\\V-ZurezUvad\\VornexSetup.exe\" /USERSETUP", false, u8"/USERSETUP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Bytes(c.line));
    EXPECT_EQ(app::NeedsElevation(app::ParseCommandLine(c.line)), c.elevated);
    EXPECT_EQ(Bytes(app::ArgumentsOf(c.line)), Bytes(c.arguments));
  }
}

}  // namespace
