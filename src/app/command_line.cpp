// Splitting and reading the command line.
#include "app/command_line.h"

#include <algorithm>
#include <string>

#include "discovery/release_years.h"
#include "platform/utf8_text.h"

namespace app {
namespace {

enum class Switch { Silent, Folder, Releases, Log, Help, Uninstall, UserSetup, Msi };

constexpr struct {
  std::u8string_view name;
  Switch id;
  bool takesValue;
} kSwitches[] = {
    {u8"S", Switch::Silent, false},
    {u8"DIR", Switch::Folder, true},
    {u8"RELEASES", Switch::Releases, true},
    {u8"LOG", Switch::Log, true},
    {u8"?", Switch::Help, false},
    {u8"HELP", Switch::Help, false},
    {u8"UNINSTALL", Switch::Uninstall, false},
    {u8"USERSETUP", Switch::UserSetup, false},
    {u8"MSI", Switch::Msi, false},
};

constexpr std::size_t kYearDigits = 4;

bool IsBlank(char8_t c) { return c == u8' ' || c == u8'\t'; }

char8_t UpperAscii(char8_t c) { return c >= u8'a' && c <= u8'z' ? static_cast<char8_t>(c - u8'a' + u8'A') : c; }

bool EqualsNoCase(std::u8string_view a, std::u8string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char8_t x, char8_t y) { return UpperAscii(x) == UpperAscii(y); });
}

std::u8string Quoted(std::u8string_view argument) { return u8"“" + std::u8string(argument) + u8"”"; }

// One argument after the program name, from `at` (not blank) to the blank that ends it.
std::u8string TakeArgument(std::u8string_view line, std::size_t& at) {
  std::u8string argument;
  bool quoted = false;
  while (at < line.size() && (quoted || !IsBlank(line[at]))) {
    if (line[at] == u8'\\') {
      const std::size_t first = at;
      while (at < line.size() && line[at] == u8'\\') ++at;
      const std::size_t count = at - first;
      if (at == line.size() || line[at] != u8'"') {
        argument.append(count, u8'\\');
        continue;
      }
      argument.append(count / 2, u8'\\');
      if (count % 2 == 1) {
        argument += u8'"';
        ++at;
        continue;
      }
      // An even run: the quote after it groups, below.
    }
    if (line[at] == u8'"') {
      // A run of quotes counts on from where quoting stands; every third one is a literal quote,
      // and quoting ends up open when one is left over.
      int state = quoted ? 1 : 0;
      while (at < line.size() && line[at] == u8'"') {
        if (++state == 3) {
          argument += u8'"';
          state = 0;
        }
        ++at;
      }
      quoted = state == 1;
      continue;
    }
    argument += line[at++];
  }
  return argument;
}

// Reads a /RELEASES list into `years` (ascending); on a fault, says what is wrong.
bool ReadYears(std::u8string_view list, std::u8string_view argument, std::vector<int>& years, std::u8string& error) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(u8',', start);
    const std::u8string_view item =
        list.substr(start, comma == std::u8string_view::npos ? std::u8string_view::npos : comma - start);
    if (item.size() != kYearDigits ||
        !std::all_of(item.begin(), item.end(), [](char8_t c) { return c >= u8'0' && c <= u8'9'; })) {
      error = Quoted(argument) + u8"中的版本列表无效：应为以逗号分隔的四位年份，不含空格，例如 /RELEASES=2010,2018。";
      return false;
    }
    int year = 0;
    for (const char8_t c : item) year = year * 10 + (c - u8'0');
    if (!IsServedYear(year)) {
      error = Quoted(argument) + u8"中的 " + text::Decimal(year) + u8" 不是可以安装的版本：可选 " +
              text::Decimal(kFirstYear) + u8" 至 " + text::Decimal(kLastYear) + u8"。";
      return false;
    }
    if (std::find(years.begin(), years.end(), year) != years.end()) {
      error = Quoted(argument) + u8"中的 " + text::Decimal(year) + u8" 重复出现。";
      return false;
    }
    years.push_back(year);
    if (comma == std::u8string_view::npos) break;
    start = comma + 1;
  }
  std::sort(years.begin(), years.end());
  return true;
}

bool IsSwitchEdge(char8_t c) { return c == u8'"' || IsBlank(c); }

// Whether /S (or -S, in any letter case) stands anywhere in the argument as a word of its own:
// a quote gone astray may have swallowed it into another argument's value.
bool MentionsSilent(std::u8string_view argument) {
  for (std::size_t at = 0; at + 1 < argument.size(); ++at) {
    if ((argument[at] != u8'/' && argument[at] != u8'-') || UpperAscii(argument[at + 1]) != u8'S') continue;
    if ((at == 0 || IsSwitchEdge(argument[at - 1])) && (at + 2 == argument.size() || IsSwitchEdge(argument[at + 2]))) {
      return true;
    }
  }
  return false;
}

// Applies one argument; false, with `error` set, when it is at fault.
bool ApplyArgument(std::u8string_view argument, std::vector<Switch>& seen, CommandLine& result, std::u8string& error) {
  if (argument.empty() || (argument[0] != u8'/' && argument[0] != u8'-')) {
    error = Quoted(argument) + u8"不是开关：开关以 / 或 - 开头，输入 /? 可查看用法。";
    return false;
  }
  const std::u8string_view body = argument.substr(1);
  const std::size_t equals = body.find(u8'=');
  const std::u8string_view name = body.substr(0, equals);
  const auto known = std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                  [name](const auto& s) { return EqualsNoCase(s.name, name); });
  if (known == std::end(kSwitches)) {
    error = u8"无法识别的开关" + Quoted(argument) + u8"，输入 /? 可查看用法。";
    return false;
  }
  if (std::find(seen.begin(), seen.end(), known->id) != seen.end()) {
    error = u8"开关" + Quoted(argument) + u8"重复出现。";
    return false;
  }
  seen.push_back(known->id);
  const std::u8string_view value = equals == std::u8string_view::npos ? std::u8string_view() : body.substr(equals + 1);
  // No folder or file name holds a quote: one here is a backslash before a closing quote
  // ("/DIR=C:\A B\" /S), which Windows' rules turned into a literal quote, taking in whatever
  // followed, /S included.
  if (value.find(u8'"') != std::u8string_view::npos) {
    error = u8"开关" + Quoted(argument) + u8"的值含有引号：路径末尾的 \\ 不要紧挨着右引号，例如应写成 \"/DIR=C:\\A B\"。";
    return false;
  }
  if (known->takesValue && value.empty()) {
    error = u8"开关" + Quoted(argument) + u8"缺少值：应写成 /" + std::u8string(known->name) + u8"=<值>。";
    return false;
  }
  if (!known->takesValue && equals != std::u8string_view::npos) {
    error = u8"开关" + Quoted(argument) + u8"不带值。";
    return false;
  }
  switch (known->id) {
    case Switch::Silent:
      result.mode = RunMode::Unattended;
      return true;
    case Switch::Folder:
      result.folder = value;
      result.folderGiven = true;
      return true;
    case Switch::Releases:
      return ReadYears(value, argument, result.releases.emplace(), error);
    case Switch::Log:
      result.logPath = value;
      return true;
    case Switch::Help:
      result.help = true;
      return true;
    case Switch::Uninstall:
      result.uninstall = true;
      return true;
    case Switch::UserSetup:
      // Started by Active Setup at a user's sign-in: never a window.
      result.userSetup = true;
      result.mode = RunMode::Unattended;
      return true;
    case Switch::Msi:
      result.msi = true;
      return true;
  }
  return true;
}

}  // namespace

std::vector<std::u8string> SplitCommandLine(std::u8string_view commandLine) {
  std::vector<std::u8string> arguments;
  std::size_t at = 0;
  // The program name knows no escapes: Windows paths end in backslashes, and a name cannot hold a quote.
  if (!commandLine.empty() && commandLine[0] == u8'"') {
    const std::size_t close = commandLine.find(u8'"', 1);
    constexpr std::size_t npos = std::u8string_view::npos;
    arguments.emplace_back(commandLine.substr(1, close == npos ? npos : close - 1));
    at = close == npos ? commandLine.size() : close + 1;
  } else {
    while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
    arguments.emplace_back(commandLine.substr(0, at));
  }
  for (;;) {
    while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
    if (at == commandLine.size()) break;
    arguments.push_back(TakeArgument(commandLine, at));
  }
  return arguments;
}

CommandLine ParseCommandLine(std::u8string_view commandLine) {
  const std::vector<std::u8string> arguments = SplitCommandLine(commandLine);
  CommandLine result;
  std::vector<Switch> seen;
  std::u8string error;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (!ApplyArgument(arguments[i], seen, result, error)) {
      CommandLine failed;
      failed.error = error;
      // Asked to run unattended, it must not show a box for the fault either: the deployment tool
      // that started it waits for an exit code, and nobody may be there to close the box.
      for (std::size_t j = 1; j < arguments.size(); ++j) {
        if (MentionsSilent(arguments[j]) || EqualsNoCase(arguments[j], u8"/USERSETUP") ||
            EqualsNoCase(arguments[j], u8"-USERSETUP")) {
          failed.mode = RunMode::Unattended;
        }
      }
      return failed;
    }
  }
  // The set-up of one user takes the installed folder and nothing else; /LOG alone may go with it.
  if (result.userSetup && (result.folderGiven || result.releases || result.uninstall || result.help)) {
    CommandLine failed;
    failed.error = u8"开关“/USERSETUP”只能与 /LOG 一起使用。";
    failed.mode = RunMode::Unattended;
    return failed;
  }
  return result;
}

std::u8string UsageText() {
  std::u8string usage =
      u8"用法：SetUp.exe [/S] [/DIR=<文件夹>] [/RELEASES=<年份,...>] [/LOG=<文件>]\n"
      u8"      SetUp.exe /UNINSTALL [/S] [/DIR=<文件夹>] [/LOG=<文件>]\n"
      u8"\n"
      u8"不带参数时显示安装对话框。开关不区分大小写，也可以用 - 开头。\n"
      u8"\n"
      u8"/S                     静默安装或卸载：不显示对话框，也不弹出任何消息框。\n"
      u8"/UNINSTALL             卸载：未指定 /DIR 时，按“应用和功能”中的记录找到安装位置。\n"
      u8"/USERSETUP             为当前登录的用户设置（由 Windows 的 Active Setup 在用户登录时运行）。\n";
  usage += u8"/DIR=<文件夹>          安装到该文件夹，默认为 " + std::u8string(kDefaultFolder) + u8"；含空格时\n";
  usage += u8"                       请给整个开关加引号，例如 \"/DIR=D:\\CAD Tools\"。\n";
  usage += u8"/RELEASES=<年份,...>   只为这些版本的 AutoCAD 安装，年份以逗号分隔、不含空格，\n";
  usage += u8"                       例如 /RELEASES=2010,2018；可选 " + text::Decimal(kFirstYear) + u8" 至 " +
           text::Decimal(kLastYear) + u8"，默认为找到的全部版本。\n";
  usage += u8"/LOG=<文件>            把安装日志（UTF-8）写入该文件；静默安装未指定、或该文件无法\n";
  usage += u8"                       打开时写入 %ProgramData%\\Vornex\\Logs\\" + std::u8string(kDefaultLogFileName) +
           u8"。\n";
  usage += u8"/MSI                   由 Windows Installer 安装包调用（与 /S 一起）：本程序自己的\n";
  usage += u8"                       “应用和功能”条目不显示，只显示安装包的条目。\n";
  usage += u8"/?、/HELP              显示本说明。\n\n退出代码：\n";
  const struct {
    int code;
    std::u8string_view meaning;
  } exitCodes[] = {
      {kExitSuccess, u8"安装成功；卸载时：已卸载，或没有需要卸载的安装。"},
      {kExitInvalidCommandLine, u8"命令行无效，未做任何更改。"},
      {kExitAcadRunning, u8"AutoCAD 正在运行，未做任何更改。"},
      {kExitFailed, u8"安装或卸载失败、被中止或被拒绝。"},
      {kExitNewerInstalled, u8"本机已安装更新的版本，未做任何更改。"},
      {kExitIncomplete, u8"已安装或已卸载，但部分项目未能完成，详见日志。"},
  };
  constexpr std::size_t kCodeColumn = 11;
  for (const auto& entry : exitCodes) {
    const std::u8string number = text::Decimal(entry.code);
    usage += u8"  " + number + std::u8string(kCodeColumn - std::min(number.size(), kCodeColumn - 1), u8' ');
    usage += std::u8string(entry.meaning) + u8"\n";
  }
  return usage;
}

int ExitCodeFor(install::InstallOutcome outcome) {
  switch (outcome) {
    case install::InstallOutcome::kDone:
      return kExitSuccess;
    case install::InstallOutcome::kDoneWithIssues:
      return kExitIncomplete;
    case install::InstallOutcome::kAcadRunning:
      return kExitAcadRunning;
    case install::InstallOutcome::kNewerInstalled:
      return kExitNewerInstalled;
    case install::InstallOutcome::kFolderRefused:
      return kExitInvalidCommandLine;  // the folder /DIR named cannot be installed to
    case install::InstallOutcome::kDeclined:
    case install::InstallOutcome::kNothingChosen:
    case install::InstallOutcome::kNotProtected:
    case install::InstallOutcome::kPayloadRejected:
    case install::InstallOutcome::kStopped:
      return kExitFailed;
  }
  return kExitFailed;
}

int ExitCodeFor(install::UserSetupOutcome outcome) {
  return outcome == install::UserSetupOutcome::kDoneWithIssues ? kExitIncomplete : kExitSuccess;
}

bool NeedsElevation(const CommandLine& line) {
  // What a standard user may do himself: his own set-up at sign-in, and reading the usage.
  if (line.userSetup) return false;
  return line.Valid() ? !(line.help && !line.uninstall) : false;
}

std::u8string_view ArgumentsOf(std::u8string_view commandLine) {
  std::size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == u8'"') {
    const std::size_t close = commandLine.find(u8'"', 1);
    at = close == std::u8string_view::npos ? commandLine.size() : close + 1;
  }
  while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
  while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
  return commandLine.substr(at);
}

int ExitCodeFor(install::UninstallOutcome outcome) {
  switch (outcome) {
    case install::UninstallOutcome::kDone:
    case install::UninstallOutcome::kNothingToRemove:
      return kExitSuccess;
    case install::UninstallOutcome::kDoneWithIssues:
      return kExitIncomplete;
    case install::UninstallOutcome::kAcadRunning:
      return kExitAcadRunning;
    case install::UninstallOutcome::kDeclined:
    case install::UninstallOutcome::kStopped:
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace app
