// The dialog's window through user32, gdi32 and the common controls.
#include "ui/win32/win32_dialog_view.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace ui::win32 {
namespace {

template <class Handle>
Handle FromGdiHandle(ui::GdiHandle handle) {
  return reinterpret_cast<Handle>(handle);
}

template <class Handle>
ui::GdiHandle ToGdiHandle(Handle handle) {
  return reinterpret_cast<ui::GdiHandle>(handle);
}

class Win32GdiImpl final : public ui::Gdi {
 public:
  ui::GdiHandle CreateSolidBrush(ui::ColorRef color) override { return ToGdiHandle(::CreateSolidBrush(color)); }
  ui::GdiHandle CreateFont(const ui::FontSpec& font) override {
    // The face goes through the wide API so that "宋体" names the font on any code page.
    const std::wstring face = platform::win32::Utf8ToWide(font.face);
    return ToGdiHandle(::CreateFontW(font.height, font.width, font.escapement, font.orientation, font.weight,
                                     font.italic ? TRUE : FALSE, font.underline ? TRUE : FALSE,
                                     font.strikeOut ? TRUE : FALSE, font.charSet, font.outPrecision,
                                     font.clipPrecision, font.quality, font.pitchAndFamily, face.c_str()));
  }
  void DeleteObject(ui::GdiHandle object) override { ::DeleteObject(FromGdiHandle<HGDIOBJ>(object)); }
};

LPCWSTR IntResource(int id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

ui::Rect FromRect(const RECT& r) { return ui::Rect{r.left, r.top, r.right, r.bottom}; }

}  // namespace

ui::Gdi& Win32Gdi() {
  static Win32GdiImpl gdi;
  return gdi;
}

void Win32ProgressBar::SetRange(int minimum, int maximum) {
  TakePendingSteps();
  // PBM_SETRANGE takes two 16-bit values: MAKELPARAM(minimum, maximum).
  const auto low = static_cast<LPARAM>(static_cast<WORD>(minimum));
  const auto high = static_cast<LPARAM>(static_cast<WORD>(maximum));
  ::SendMessageW(m_hwnd, PBM_SETRANGE, 0, low | (high << 16));
  m_pacer.Reset();
}
void Win32ProgressBar::SetStep(int step) {
  TakePendingSteps();
  ::SendMessageW(m_hwnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}
void Win32ProgressBar::SetPos(int position) {
  // Steps not yet taken would only have moved the bar to where it is now set.
  m_pendingSteps = 0;
  // The whole bar, so that no segment of an earlier position stays behind.
  ::InvalidateRect(m_hwnd, nullptr, TRUE);
  ::SendMessageW(m_hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  ::UpdateWindow(m_hwnd);
  m_pacer.Reset();
}
void Win32ProgressBar::StepIt() {
  ++m_pendingSteps;
  if (m_pacer.Due(::GetTickCount64())) TakePendingSteps();
}
void Win32ProgressBar::TakePendingSteps() {
  if (m_pendingSteps == 0) return;
  const unsigned steps = m_pendingSteps;
  m_pendingSteps = 0;
  const auto minimum = static_cast<int>(::SendMessageW(m_hwnd, PBM_GETRANGE, TRUE, 0));
  const auto maximum = static_cast<int>(::SendMessageW(m_hwnd, PBM_GETRANGE, FALSE, 0));
  const auto step = static_cast<int>(::SendMessageW(m_hwnd, PBM_GETSTEP, 0, 0));
  // One move for all the steps, painting the whole bar: every PBM_STEPIT would update the window
  // on its own, and even with its painting held costs round trips to the window system.
  const auto position = static_cast<int>(::SendMessageW(m_hwnd, PBM_GETPOS, 0, 0));
  ::InvalidateRect(m_hwnd, nullptr, TRUE);
  ::SendMessageW(m_hwnd, PBM_SETPOS,
                 static_cast<WPARAM>(platform::SteppedPosition(position, steps, step, minimum, maximum)), 0);
  ::UpdateWindow(m_hwnd);
}

ui::GdiHandle Win32PaintContext::Default() {
  return static_cast<ui::GdiHandle>(::DefWindowProcW(m_dialog, m_message, m_wParam, m_lParam));
}
void Win32PaintContext::SetTextColor(ui::ColorRef color) { ::SetTextColor(Dc(), color); }
void Win32PaintContext::SetTransparentBackground() { ::SetBkMode(Dc(), TRANSPARENT); }
void Win32PaintContext::SelectFont(ui::GdiHandle font) { ::SelectObject(Dc(), FromGdiHandle<HGDIOBJ>(font)); }

HWND Win32DialogView::Item(int id) {
  if (const auto found = m_items.find(id); found != m_items.end()) return found->second;
  const HWND control = ::GetDlgItem(m_hwnd, id);
  // A missing control is looked up again next time rather than remembered as missing.
  if (control != nullptr) m_items.emplace(id, control);
  return control;
}

void Win32DialogView::ShowControl(int id, bool show) { ::ShowWindow(Item(id), show ? SW_SHOWNORMAL : SW_HIDE); }

void Win32DialogView::EnableControl(int id, bool enable) { ::EnableWindow(Item(id), enable ? TRUE : FALSE); }

int Win32DialogView::GetCheck(int id) { return static_cast<int>(::SendMessageW(Item(id), BM_GETCHECK, 0, 0)); }

void Win32DialogView::SetCheck(int id, int state) {
  ::SendMessageW(Item(id), BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

std::wstring Win32DialogView::WindowText(int id) {
  const HWND control = Item(id);
  const int length = ::GetWindowTextLengthW(control);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void Win32DialogView::GetText(int id, std::string& ansi) { ansi = platform::win32::WideToAnsi(WindowText(id)); }

void Win32DialogView::GetText(int id, std::u8string& text) { text = platform::win32::WideToUtf8(WindowText(id)); }

void Win32DialogView::SetText(int id, std::string_view ansi) {
  ::SetWindowTextW(Item(id), platform::win32::AnsiToWide(ansi).c_str());
}

void Win32DialogView::SetText(int id, std::u8string_view text) {
  ::SetWindowTextW(Item(id), platform::win32::Utf8ToWide(text).c_str());
}

ui::Rect Win32DialogView::WindowRect() {
  RECT r{};
  ::GetWindowRect(m_hwnd, &r);
  return FromRect(r);
}

ui::Rect Win32DialogView::ControlRectInClient(int id) {
  RECT r{};
  ::GetWindowRect(Item(id), &r);
  POINT topLeft{r.left, r.top};
  POINT bottomRight{r.right, r.bottom};
  ::ScreenToClient(m_hwnd, &topLeft);
  ::ScreenToClient(m_hwnd, &bottomRight);
  return ui::Rect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void Win32DialogView::MoveWindow(const ui::Rect& rect, bool repaint) {
  ::MoveWindow(m_hwnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint ? TRUE : FALSE);
}

void Win32DialogView::SetRedraw(bool on) {
  ::SendMessageW(m_hwnd, WM_SETREDRAW, on ? TRUE : FALSE, 0);
  if (on) ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool Win32DialogView::SetSmallIcon(int iconId) {
  const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), IntResource(iconId));
  if (icon == nullptr) return false;
  ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  return true;
}

void Win32DialogView::EndDialog(int result) { ::EndDialog(m_hwnd, result); }

platform::ProgressBar& Win32DialogView::ProgressBar(int id) {
  std::unique_ptr<Win32ProgressBar>& bar = m_progress[id];
  if (!bar) bar = std::make_unique<Win32ProgressBar>(Item(id));
  return *bar;
}

platform::WindowRef Win32DialogView::Window() { return reinterpret_cast<platform::WindowRef>(m_hwnd); }

ui::Gdi& Win32DialogView::Gdi() { return Win32Gdi(); }

}  // namespace ui::win32
