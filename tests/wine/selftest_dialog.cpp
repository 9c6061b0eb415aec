// The driver's self-test dialog: a small stand-in for SetUp.exe whose behaviour the self-test
// scenario knows exactly, so that the driver's own steps are checked before they judge SetUp.exe.
//   - the install button is enabled while a box is checked, and asks an abort/retry/ignore question;
//     Retry asks a second, yes/no question with an icon; the answers appear in static 1101
//     ("answer N" or "answer 4 then M");
//   - edit 1000 echoes every change into static 1100 (proof that set-text raises EN_CHANGE);
//   - Browse opens the shell's folder browser; the chosen path lands in the edit;
//   - IDOK ends the program with exit code 10, IDCANCEL with 20;
//   - static 1102 shows the arguments as CommandLineToArgvW reads them, each in brackets (proof that
//     the driver quotes what it passes); "--hidden-window MS" first holds a hidden top-level window
//     for MS ms before the dialog opens (proof that expect-no-window-until-exit sees hidden windows).
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "selftest_ids.h"

namespace {

constexpr wchar_t kHiddenWindowClass[] = L"SelfTestHidden";

// The arguments after the program name, "[a][b c]".
std::wstring ArgumentsShown() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring shown;
  for (int i = 1; argv != nullptr && i < count; ++i) shown += L"[" + std::wstring(argv[i]) + L"]";
  LocalFree(argv);
  return shown;
}

// "--hidden-window MS" as the first arguments: a top-level window that is never shown, made and
// destroyed again after MS ms.
void HoldHiddenWindow(HINSTANCE instance) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv != nullptr && count > 2 && lstrcmpW(argv[1], L"--hidden-window") == 0) {
    const DWORD ms = static_cast<DWORD>(_wtoi(argv[2]));
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kHiddenWindowClass;
    RegisterClassW(&wc);
    HWND hidden = CreateWindowExW(0, kHiddenWindowClass, L"hidden", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  instance, nullptr);
    Sleep(ms);
    if (hidden != nullptr) DestroyWindow(hidden);
  }
  LocalFree(argv);
}

void UpdateInstall(HWND dlg) {
  bool any = IsDlgButtonChecked(dlg, IDC_ST_BOX_A) == BST_CHECKED || IsDlgButtonChecked(dlg, IDC_ST_BOX_B) == BST_CHECKED;
  EnableWindow(GetDlgItem(dlg, IDC_ST_INSTALL), any);
}

void Browse(HWND dlg) {
  BROWSEINFOW bi{};
  bi.hwndOwner = dlg;
  bi.lpszTitle = L"请选择安装目录：";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
  if (item == nullptr) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(item, path)) SetDlgItemTextW(dlg, IDC_ST_PATH, path);
  CoTaskMemFree(item);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      CheckDlgButton(dlg, IDC_ST_BOX_A, BST_CHECKED);
      CheckDlgButton(dlg, IDC_ST_BOX_B, BST_CHECKED);
      EnableWindow(GetDlgItem(dlg, IDC_ST_BOX_OFF), FALSE);
      SetDlgItemTextW(dlg, IDC_ST_PATH, L"C:\\Vornex");
      SetDlgItemTextW(dlg, IDC_ST_ARGS, ArgumentsShown().c_str());
      UpdateInstall(dlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_ST_BOX_A:
        case IDC_ST_BOX_B:
          if (HIWORD(wp) == BN_CLICKED) UpdateInstall(dlg);
          return TRUE;
        case IDC_ST_PATH:
          if (HIWORD(wp) == EN_CHANGE) {
            // The whole text, however long: the driver checks it comes back as it was typed.
            const HWND edit = GetDlgItem(dlg, IDC_ST_PATH);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
            SetDlgItemTextW(dlg, IDC_ST_ECHO, (L"echo " + text).c_str());
          }
          return TRUE;
        case IDC_ST_INSTALL: {
          int answer = MessageBoxW(dlg, L"拷贝文件 C:\\x 失败\n\n第二行", L"V-软件安装", MB_ABORTRETRYIGNORE);
          std::wstring shown = L"answer " + std::to_wstring(answer);
          if (answer == IDRETRY) {
            int again = MessageBoxW(dlg, L"Again?", L"selftest", MB_YESNO | MB_ICONQUESTION);
            shown += L" then " + std::to_wstring(again);
          }
          SetDlgItemTextW(dlg, IDC_ST_ANSWER, shown.c_str());
          return TRUE;
        }
        case IDC_ST_BROWSE:
          Browse(dlg);
          return TRUE;
        case IDOK:
          EndDialog(dlg, 10);
          return TRUE;
        case IDCANCEL:
          EndDialog(dlg, 20);
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HoldHiddenWindow(instance);
  CoInitialize(nullptr);
  INT_PTR r = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SELFTEST), nullptr, DialogProc, 0);
  CoUninitialize();
  return static_cast<int>(r);
}
