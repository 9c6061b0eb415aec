// Process entry: the DLL search order, the Win32 machine, the common controls, then the application object.
#include "platform/win32/windows_api.h"
// commctrl.h needs windows.h before it; only its declarations are used, comctl32 is loaded at run time.
#include <commctrl.h>

#include "app/dll_search.h"
#include "app/wizard_app.h"
#include "platform/machine.h"
#include "platform/win32/win32_files.h"
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything below can load a DLL by name (see dll_search.cpp). Where even the fallback
  // fails there is nothing better to do than run with the default order, as any program would.
  app::RestrictDllSearch();

  platform::win32::Win32Registry registry;
  platform::win32::Win32FileSystem files;
  platform::win32::Win32SystemInfo system;
  platform::win32::Win32Prompts prompts;
  platform::Machine machine{registry, files, system, prompts};
  platform::SetCurrentMachine(&machine);
  ui::win32::UseShellFolderBrowser();

  RegisterCommonControls();

  theApp.InitInstance();

  // The adapters end here; nothing that runs at exit may reach them.
  platform::SetCurrentMachine(nullptr);
  return 0;
}
