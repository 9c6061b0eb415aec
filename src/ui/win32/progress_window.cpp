// The progress window.
#include "ui/win32/progress_window.h"

#include <commctrl.h>

#include "platform/win32/wide_text.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VornexProgressWindow";
// Client area and layout in pixels at 96 DPI: one line of text above a bar.
constexpr int kWidth = 380;
constexpr int kHeight = 96;
constexpr int kMargin = 16;
constexpr int kTextHeight = 20;
constexpr int kBarHeight = 18;

HWND CreateTheWindow(HINSTANCE instance, const std::wstring& caption) {
  static const ATOM registered = [instance] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassExW(&windowClass);
  }();
  if (registered == 0) return nullptr;
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_BORDER;
  RECT frame{0, 0, kWidth, kHeight};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return ::CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, caption.c_str(), kStyle, x, y, width, height, nullptr,
                           nullptr, instance, nullptr);
}

}  // namespace

ProgressWindow::ProgressWindow(std::u8string_view caption, std::u8string_view note)
    : m_window(CreateTheWindow(::GetModuleHandleW(nullptr), platform::win32::Utf8ToWide(caption))),
      m_bar(nullptr) {
  if (m_window == nullptr) return;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // The dialog's face, which carries the Chinese text on every Windows that shows the dialog.
  m_font = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
  const HWND line = ::CreateWindowExW(0, L"STATIC", platform::win32::Utf8ToWide(note).c_str(),
                                      WS_CHILD | WS_VISIBLE | SS_LEFT, kMargin, kMargin, kWidth - 2 * kMargin,
                                      kTextHeight, m_window, nullptr, instance, nullptr);
  if (line != nullptr && m_font != nullptr) ::SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  const HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, kMargin,
                                     kMargin + kTextHeight + 8, kWidth - 2 * kMargin, kBarHeight, m_window, nullptr,
                                     instance, nullptr);
  m_bar = Win32ProgressBar(bar);
  ::ShowWindow(m_window, SW_SHOWNORMAL);
  ::UpdateWindow(m_window);
}

ProgressWindow::~ProgressWindow() {
  if (m_window != nullptr) ::DestroyWindow(m_window);
  if (m_font != nullptr) ::DeleteObject(m_font);
}

}  // namespace ui::win32
