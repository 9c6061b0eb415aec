// The modal dialog's window procedure: routing into the dialog's logic, and the error box for a
// handler that throws.
#include "ui/win32/modal_dialog.h"

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/invalid_argument.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_system.h"
#include "ui/dialog.h"
#include "ui/win32/win32_dialog_view.h"

namespace ui::win32 {
namespace {

struct ModalRun {
  ui::Dialog& dialog;
  std::unique_ptr<Win32DialogView> view;
};

std::wstring SystemMessage(HRESULT code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

// A handler's exception must not unwind through user32; it is reported the way the class
// library reports one escaping a message handler, and the dialog carries on.
void ReportHandlerFailure(HWND dialog, HRESULT code) {
  std::wstring text = SystemMessage(code);
  if (text.empty()) text = L"Error";
  // The real process's own facts: this is the Win32 host, which only ever runs on the real machine.
  platform::win32::Win32SystemInfo system;
  std::wstring title = platform::win32::Utf8ToWide(ui::ApplicationTitle(system));
  if (title.empty()) title = L"SetUp";
  ::MessageBoxW(dialog, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
}

template <class Body>
INT_PTR Guarded(HWND dialog, Body body) {
  try {
    return body();
  } catch (const platform::InvalidArgument&) {
    ReportHandlerFailure(dialog, E_INVALIDARG);
  } catch (const std::bad_alloc&) {
    ReportHandlerFailure(dialog, E_OUTOFMEMORY);
  } catch (const std::exception&) {
    ReportHandlerFailure(dialog, E_FAIL);
  }
  return TRUE;
}

std::optional<ui::CtlColorKind> CtlColorKindOf(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX: return ui::CtlColorKind::MsgBox;
    case WM_CTLCOLOREDIT: return ui::CtlColorKind::Edit;
    case WM_CTLCOLORLISTBOX: return ui::CtlColorKind::ListBox;
    case WM_CTLCOLORBTN: return ui::CtlColorKind::Button;
    case WM_CTLCOLORDLG: return ui::CtlColorKind::Dialog;
    case WM_CTLCOLORSCROLLBAR: return ui::CtlColorKind::ScrollBar;
    case WM_CTLCOLORSTATIC: return ui::CtlColorKind::Static;
    default: return std::nullopt;
  }
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* run = reinterpret_cast<ModalRun*>(lParam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    run->view = std::make_unique<Win32DialogView>(hwnd);
    run->dialog.AttachView(run->view.get());
    return Guarded(hwnd, [&]() -> INT_PTR { return run->dialog.OnInitDialog() ? TRUE : FALSE; });
  }

  auto* run = reinterpret_cast<ModalRun*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (run == nullptr) return FALSE;

  if (message == WM_COMMAND) {
    // Control ids travel as 16 bits; -1 (IDC_STATIC) comes back as such.
    const int id = static_cast<short>(LOWORD(wParam));
    const auto code = static_cast<std::uint32_t>(HIWORD(wParam));
    return Guarded(hwnd, [&]() -> INT_PTR { return run->dialog.RouteCommand(code, id) ? TRUE : FALSE; });
  }

  if (const std::optional<ui::CtlColorKind> kind = CtlColorKindOf(message)) {
    // The dialog's own request has id 0, as a top-level window has no control id.
    const int id = message == WM_CTLCOLORDLG ? 0 : ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    Win32PaintContext dc(hwnd, message, wParam, lParam);
    return Guarded(hwnd, [&]() -> INT_PTR {
      const std::optional<ui::GdiHandle> brush = run->dialog.RouteCtlColor(dc, id, *kind);
      // A brush handle is the answer itself for these messages; none lets the default paint.
      return brush && *brush != 0 ? static_cast<INT_PTR>(*brush) : FALSE;
    });
  }

  if (message == WM_NCDESTROY) {
    run->dialog.AttachView(nullptr);
    run->view.reset();
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
  }
  return FALSE;
}

}  // namespace

int RunModal(ui::Dialog& dialog) {
  ModalRun run{dialog, nullptr};
  const auto templateName =
      reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(dialog.TemplateId())));
  const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), templateName,
                                           reinterpret_cast<HWND>(dialog.Parent()), DialogProc,
                                           reinterpret_cast<LPARAM>(&run));
  // Should the window have gone without WM_NCDESTROY reaching us, the view must not outlive it.
  dialog.AttachView(nullptr);
  return static_cast<int>(result);
}

}  // namespace ui::win32
