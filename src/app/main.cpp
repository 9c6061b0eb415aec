// Process entry: the Win32 machine, the common controls, then the application object.
#include "platform/win32/windows_api.h"
// commctrl.h needs windows.h before it.
#include <commctrl.h>

#include "app/wizard_app.h"
#include "platform/machine.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_prompts.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "ui/win32/path_dialog_host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  platform::win32::Win32Registry registry;
  platform::win32::Win32FileSystem files;
  platform::win32::Win32SystemInfo system;
  platform::win32::Win32Prompts prompts;
  platform::Machine machine{registry, files, system, prompts};
  platform::SetCurrentMachine(&machine);
  ui::win32::UseShellFolderBrowser();

  // The progress bar's window class.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);

  theApp.InitInstance();

  // The adapters end here; nothing that runs at exit may reach them.
  platform::SetCurrentMachine(nullptr);
  return 0;
}
