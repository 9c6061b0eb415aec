// Process entry: the DLL search order, the Win32 machine, the common controls, then the application object.
#include "platform/win32/windows_api.h"
// commctrl.h needs windows.h before it; only its declarations are used, comctl32 is loaded at run time.
#include <commctrl.h>
// shellapi.h: ShellExecuteExW, from shell32 loaded at run time.
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/dll_search.h"
#include "app/unattended.h"
#include "app/wizard_app.h"
#include "discovery/acad_catalog.h"
#include "records/install_texts.h"
#include "records/installed.h"
#include "uninstall/uninstall.h"
#include "users/user_hives.h"
#include "platform/utf8_text.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_log_support.h"
#include "ui/build_constants.h"
#include "ui/win32/progress_window.h"
#include "platform/machine.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_integrity.h"
#include "platform/win32/win32_prompts.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "ui/win32/path_dialog_host.h"

namespace {

// The progress bar's window class. comctl32 is loaded here, after the search order is restricted,
// rather than imported: an imported comctl32 is initialised before wWinMain, and whatever its
// start-up loads by name (uxtheme, say) would still be looked for beside SetUp.exe. The manifest's
// Common Controls 6.0 dependency sends this load to the side-by-side store. The module stays loaded
// for the life of the process, as an import would.
void RegisterCommonControls() {
  const HMODULE comctl32 = ::LoadLibraryW(L"comctl32.dll");
  // Without it the dialog cannot be created and the program ends, as a failed import would end it.
  if (comctl32 == nullptr) return;
  const auto init = platform::win32::FindProc<decltype(&::InitCommonControlsEx)>(comctl32, "InitCommonControlsEx");
  if (init == nullptr) {  // not a comctl32 worth keeping
    ::FreeLibrary(comctl32);
    return;
  }
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  init(&controls);
}

// The log of a user's set-up at sign-in: /LOG, else VornexUserSetup.log in that user's own %TEMP%
// (he runs without administrator rights, and the installation's log folder is theirs alone).
std::u8string UserSetupLogPath(const app::CommandLine& line) {
  if (line.logPath) return *line.logPath;
  // GetTempPathW gives at most MAX_PATH + 1 characters (with the final backslash), then its NUL.
  std::wstring temp(MAX_PATH + 2, L'\0');
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
  temp.resize(length < temp.size() ? length : 0);
  if (!temp.empty() && temp.back() != L'\\') temp.push_back(L'\\');
  return platform::win32::WideToUtf8(temp) + app::kUserSetupLogFileName;
}

// Whether this process holds an elevated token (an administrator past UAC, or SYSTEM).
bool IsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL read = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
  ::CloseHandle(token);
  return read && elevation.TokenIsElevated != 0;
}

// SetUp.exe asks for no elevation in its manifest, so that Active Setup can start the installed copy
// as a standard user at sign-in (/USERSETUP). Everything else needs administrator rights: started
// without them, the program starts itself again through UAC ("runas") with the same arguments, waits,
// and ends with its exit code. shell32 is loaded here, after the DLL search is restricted. -1 when
// the relaunch could not be made; 1602 (ERROR_INSTALL_USEREXIT) when the user declined the prompt.
int RunElevated() {
  const HMODULE shell32 = ::LoadLibraryW(L"shell32.dll");
  const auto execute = platform::win32::FindProc<decltype(&::ShellExecuteExW)>(shell32, "ShellExecuteExW");
  std::wstring program(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    if (length == 0) return -1;
    if (length < program.size()) {
      program.resize(length);
      break;
    }
    program.resize(program.size() * 2);
  }
  const std::wstring arguments(
      platform::win32::Utf8ToWide(std::u8string(app::ArgumentsOf(platform::win32::WideToUtf8(::GetCommandLineW())))));
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = program.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (execute == nullptr || !execute(&info) || info.hProcess == nullptr) {
    return ::GetLastError() == ERROR_CANCELLED ? app::kExitUserCancelled : -1;
  }
  ::WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = static_cast<DWORD>(app::kExitFailed);
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hProcess);
  return static_cast<int>(code);
}

// Shows the usage (or a fault in the command line before it): in a message box, and on the console
// when SetUp.exe was started from one.
void ShowUsage(platform::Machine& machine, const std::u8string& fault) {
  const std::u8string usage = fault.empty() ? app::UsageText() : fault + u8"\n\n" + app::UsageText();
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    const std::wstring wide = platform::win32::Utf8ToWide(usage + u8"\r\n");
    DWORD written = 0;
    ::WriteConsoleW(::GetStdHandle(STD_OUTPUT_HANDLE), wide.data(), static_cast<DWORD>(wide.size()), &written,
                    nullptr);
  }
  machine.prompts.MessageBox(0, usage, install::kCaption,
                             fault.empty() ? platform::kMbOk : platform::kMbOk | platform::kMbIconExclamation);
}

// /DIR's folder (or the default) in the ANSI code page, which the file functions take; the fault
// to tell when the code page cannot hold all of it, empty when it can.
std::u8string FolderFault(const app::CommandLine& line, std::string& folder) {
  if (text::ToAnsi(line.folder, folder)) return {};
  return u8"安装路径含有本系统代码页无法表示的字符：" + line.folder;
}

// /DIR's folder as typed, none without /DIR.
std::optional<std::string> TypedFolder(const app::CommandLine& line, const std::string& folder) {
  return line.folderGiven ? std::optional<std::string>(folder) : std::nullopt;
}

// A hive an earlier run left loaded when it was stopped goes before anything else, whatever this run
// does and whichever users it visits; one that stays is named in the log when there is one.
void UnloadLeftHives(platform::Machine& machine, install::InstallLog* log) {
  std::vector<std::u8string> stayed;
  if (install::UnloadLeftHives(machine.registry, stayed) != platform::kSuccess || log == nullptr) return;
  for (const std::u8string& name : stayed) log->Write(install::kLeftHiveStayedText + name);
}

// /S, installing or uninstalling: no window at all; the log says what was done, the exit code how
// it ended.
int RunUnattended(platform::Machine& machine, const app::CommandLine& line, bool elevated = true) {
  install::InstallLog log(machine.logging);
  // Without a log nothing would tell what happened; the exit code still does.
  if (line.userSetup) {
    (void)log.Open(UserSetupLogPath(line));
  } else {
    (void)app::OpenRunLog(machine, line.logPath, true, log);
  }
  app::WriteRunHeader(machine, log,
                      line.userSetup   ? u8"SetUp.exe 用户设置开始"
                      : line.uninstall ? u8"SetUp.exe 无人值守卸载开始"
                                       : u8"SetUp.exe 无人值守安装开始",
                      platform::win32::WideToUtf8(::GetCommandLineW()), g_nVersion);
  int exitCode = app::kExitInvalidCommandLine;
  std::string folder;
  if (!line.Valid()) {
    log.Write(u8"命令行无效：" + line.error);
  } else if (line.help && !line.uninstall) {
    // Asked for the usage with /S: the log holds it, and nothing is installed. (/UNINSTALL /S
    // takes no notice of /?: the uninstall runs.)
    log.Write(app::UsageText());
    exitCode = app::kExitSuccess;
  } else if (const std::u8string fault = FolderFault(line, folder); !fault.empty()) {
    log.Write(fault);
  } else if (!elevated) {
    log.Write(install::kNeedsAdministratorText);
    exitCode = app::kExitFailed;
  } else {
    UnloadLeftHives(machine, &log);
    app::UnattendedPrompts prompts(log, machine.logging.clock);
    platform::Machine quiet{machine.registry, machine.files, machine.system, prompts, machine.logging,
                            machine.integrity};
    theCatalog.Scan(quiet.registry);
    const app::UnattendedChoices choices{line.uninstall, line.releases, TypedFolder(line, folder), line.userSetup,
                                         line.msi};
    exitCode = app::RunUnattended(quiet, theCatalog, choices, log, g_nBitness, g_nVersion);
  }
  log.Write(u8"退出代码：" + text::Decimal(exitCode));
  return exitCode;
}

// /LOG's log for a run with windows (or the default log, when /LOG's cannot be opened), opened and
// its first line written; null without /LOG or when no log opens, and then the run keeps none.
install::InstallLog* OpenAskedLog(platform::Machine& machine, install::InstallLog& log, const app::CommandLine& line,
                                  std::u8string_view startLine) {
  if (!line.logPath || !app::OpenRunLog(machine, line.logPath, false, log)) return nullptr;
  app::WriteRunHeader(machine, log, startLine, platform::win32::WideToUtf8(::GetCommandLineW()), g_nVersion);
  return &log;
}

// The uninstall as a person sees it: the question, a window with a progress bar while files and
// keys go, the closing message.
class WindowUninstallView final : public install::UninstallView {
 public:
  void RemovalStarting() override { m_window.emplace(install::kCaption, install::kUninstallingText); }
  platform::ProgressBar& Progress() override { return m_window ? m_window->Bar() : m_hidden; }

 private:
  std::optional<ui::win32::ProgressWindow> m_window;
  platform::HiddenProgressBar m_hidden;
};

// /UNINSTALL: AutoCAD's running check warns once and then goes on, as a second press of the
// install button does.
int RunUninstall(platform::Machine& machine, const app::CommandLine& line) {
  std::string folder;
  if (const std::u8string fault = FolderFault(line, folder); !fault.empty()) {
    ShowUsage(machine, fault);
    return app::kExitInvalidCommandLine;
  }
  install::InstallLog log(machine.logging);
  install::InstallLog* logged = OpenAskedLog(machine, log, line, u8"SetUp.exe 卸载开始");
  UnloadLeftHives(machine, logged);
  RegisterCommonControls();
  theCatalog.Scan(machine.registry);
  install::UninstallChoices choices;
  choices.typedFolder = TypedFolder(line, folder);
  choices.ask = true;
  install::UninstallOutcome outcome = install::UninstallOutcome::kNothingToRemove;
  for (const bool check : {true, false}) {
    choices.checkAcadRunning = check;
    WindowUninstallView view;
    install::CUninstallEngine engine(machine, theCatalog, logged);
    outcome = engine.Run(choices, view);
    if (outcome != install::UninstallOutcome::kAcadRunning) break;
  }
  const int exitCode = app::ExitCodeFor(outcome);
  if (logged != nullptr) log.Write(u8"退出代码：" + text::Decimal(exitCode));
  return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything below can load a DLL by name (see dll_search.cpp). Where even the fallback
  // fails there is nothing better to do than run with the default order, as any program would.
  app::RestrictDllSearch();

  platform::win32::Win32Registry registry;
  platform::win32::Win32FileSystem files;
  platform::win32::Win32SystemInfo system;
  platform::win32::Win32Prompts prompts;
  platform::win32::Win32LogSupport logging;
  platform::win32::Win32PayloadIntegrity integrity;
  platform::Machine machine{registry, files, system, prompts, logging.Get(), integrity};
  ui::win32::UseShellFolderBrowser();

  const app::CommandLine line = app::ParseCommandLine(platform::win32::WideToUtf8(::GetCommandLineW()));
  int exitCode = app::kExitSuccess;
  if (app::NeedsElevation(line) && !IsElevated()) {
    // Unattended, there is nobody to answer a prompt: the log says why nothing was done.
    if (line.mode == app::RunMode::Unattended) return RunUnattended(machine, line, false);
    const int relaunched = RunElevated();
    if (relaunched >= 0) return relaunched;
    machine.prompts.MessageBox(0, install::kNeedsAdministratorText, install::kCaption, platform::kMbOk | platform::kMbIconStop);
    return app::kExitFailed;
  }
  // With a window the machine's lock is taken here, before the dialog shows, and held until the
  // program ends; an unattended run takes it in app::RunUnattended.
  std::unique_ptr<platform::HeldLock> lock;
  const bool windowed = line.mode != app::RunMode::Unattended && !line.help && line.Valid();
  if (line.mode == app::RunMode::Unattended) {
    exitCode = RunUnattended(machine, line);
  } else if (line.help || !line.Valid()) {
    ShowUsage(machine, line.error);
    exitCode = line.Valid() ? app::kExitSuccess : app::kExitInvalidCommandLine;
  } else if (!line.uninstall && app::IsPlacedUninstaller(machine)) {
    machine.prompts.MessageBox(0, install::kUninstallerOnlyText, install::kCaption, platform::kMbOk | platform::kMbIconExclamation);
    exitCode = app::kExitInvalidCommandLine;
  } else if (windowed && !app::HoldRunLock(machine, lock, nullptr)) {
    machine.prompts.MessageBox(0, install::kAnotherRunText, install::kCaption, platform::kMbOk | platform::kMbIconExclamation);
    exitCode = app::kExitAnotherRun;
  } else if (line.uninstall) {
    exitCode = RunUninstall(machine, line);
  } else {
    // The dialog, as without arguments; /DIR and /RELEASES fill it in, /LOG keeps a log of the
    // installation. A folder the ANSI edit box cannot hold is left to the user to type.
    DialogPresets presets;
    presets.releases = line.releases;
    std::string folder;
    if (line.folderGiven && text::ToAnsi(line.folder, folder)) {
      presets.folder = folder;
    } else if (const std::string installed = install::InstalledChosenFolder(install::ReadInstalledEntry(registry));
               !installed.empty()) {
      presets.folder = installed;  // the folder box starts from the installed folder
    }
    install::InstallLog log(machine.logging);
    presets.log = OpenAskedLog(machine, log, line, u8"SetUp.exe 安装开始");
    UnloadLeftHives(machine, presets.log);
    RegisterCommonControls();
    theApp.InitInstance(machine, presets);
  }

  // The adapters end here; nothing that runs at exit reaches them: they are passed, never looked up.
  return exitCode;
}
