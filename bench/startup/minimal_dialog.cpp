// The baseline of the start-up benchmark: a modal dialog from a template and nothing else, built
// with SetUp.exe's flags (see CMakeLists.txt here).
#include <windows.h>
#include <commctrl.h>

#include "minimal_dialog_ids.h"

namespace {

INT_PTR CALLBACK MinimalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
  const auto templateName = reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(IDD_MINIMAL));
  ::DialogBoxParamW(instance, templateName, nullptr, MinimalDialogProc, 0);
  return 0;
}
