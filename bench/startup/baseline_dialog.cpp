// The baselines of the start-up benchmark: a modal dialog from a template and nothing else, built
// with SetUp.exe's flags (see CMakeLists.txt here). Compiled twice:
//   minimal_dialog.exe   a two-control template (minimal_dialog.rc)
//   template_dialog.exe  SetUp.exe's own template, bitmaps, icon and manifest (src/ui/res/setup.rc):
//                        SetUp.exe against it is the cost of its own start-up work (the catalogue
//                        scan, filling the dialog, its DLLs); against minimal_dialog.exe it includes
//                        what its dialog costs to show.
#include <windows.h>
#include <commctrl.h>

#ifdef BASELINE_SETUP_TEMPLATE
#include "resource.h"
constexpr int kTemplateId = IDD_SETUP;
// The template holds a progress bar, whose window class comes from comctl32.
constexpr DWORD kControlClasses = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
#else
#include "minimal_dialog_ids.h"
constexpr int kTemplateId = IDD_MINIMAL;
constexpr DWORD kControlClasses = ICC_STANDARD_CLASSES;
#endif

namespace {

INT_PTR CALLBACK BaselineDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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
  controls.dwICC = kControlClasses;
  ::InitCommonControlsEx(&controls);
  const auto templateName = reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(kTemplateId));
  ::DialogBoxParamW(instance, templateName, nullptr, BaselineDialogProc, 0);
  return 0;
}
