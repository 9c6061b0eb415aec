// The second baseline of the start-up benchmark: SetUp.exe's own dialog template (its controls,
// bitmaps, icon and manifest, from src/ui/res/setup.rc) shown by a program that does nothing else.
// SetUp.exe against it is the cost of SetUp.exe's own start-up work: the catalogue scan, filling
// the dialog, its DLLs; SetUp.exe against minimal_dialog.exe includes what its dialog costs to show.
#include <windows.h>
#include <commctrl.h>

#include "resource.h"

namespace {

INT_PTR CALLBACK TemplateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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
  // The template holds a progress bar, whose window class comes from comctl32.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  ::InitCommonControlsEx(&controls);
  const auto templateName = reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(IDD_SETUP));
  ::DialogBoxParamW(instance, templateName, nullptr, TemplateDialogProc, 0);
  return 0;
}
