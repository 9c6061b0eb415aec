// The dialog view, device context, GDI factory and progress bar on the real Win32 objects.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32/windows_api.h"
#include "ui/dialog_view.h"
#include "ui/repaint_pacer.h"

namespace ui::win32 {

// The process's GDI: brushes and fonts live until deleted, whatever window used them.
ui::Gdi& Win32Gdi();

class Win32ProgressBar final : public platform::ProgressBar {
 public:
  explicit Win32ProgressBar(HWND control) : m_hwnd(control) {}
  void SetRange(int minimum, int maximum) override;
  void SetStep(int step) override;
  void SetPos(int position) override;
  void StepIt() override;

 private:
  void TakePendingSteps();

  HWND m_hwnd;
  ui::RepaintPacer m_pacer;
  // Steps asked for since the last painted one, not yet passed to the control: they reach it
  // with the next painted one (at most RepaintPacer::kIntervalMs later) or before a new range
  // or step; a set position makes them moot.
  unsigned m_pendingSteps = 0;
};

// The DC of one WM_CTLCOLOR* message; Default() is DefWindowProc's handling of it.
class Win32PaintContext final : public ui::PaintContext {
 public:
  Win32PaintContext(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
      : m_dialog(dialog), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
  ui::GdiHandle Default() override;
  void SetTextColor(ui::ColorRef color) override;
  void SetTransparentBackground() override;
  void SelectFont(ui::GdiHandle font) override;

 private:
  HDC Dc() const { return reinterpret_cast<HDC>(m_wParam); }
  HWND m_dialog;
  UINT m_message;
  WPARAM m_wParam;
  LPARAM m_lParam;
};

class Win32DialogView final : public ui::DialogView {
 public:
  explicit Win32DialogView(HWND dialog) : m_hwnd(dialog) {}

  void ShowControl(int id, bool show) override;
  void EnableControl(int id, bool enable) override;
  int GetCheck(int id) override;
  void SetCheck(int id, int state) override;
  void GetText(int id, std::string& ansi) override;
  void GetText(int id, std::u8string& text) override;
  void SetText(int id, std::string_view ansi) override;
  void SetText(int id, std::u8string_view text) override;
  ui::Rect WindowRect() override;
  ui::Rect ControlRectInClient(int id) override;
  void MoveWindow(const ui::Rect& rect, bool repaint) override;
  void SetRedraw(bool on) override;
  bool SetSmallIcon(int iconId) override;
  void EndDialog(int result) override;
  platform::ProgressBar& ProgressBar(int id) override;
  platform::WindowRef Window() override;
  ui::Gdi& Gdi() override;

 private:
  // The control with this id. Looked up once: GetDlgItem lists all the dialog's children (a
  // round trip to the window server under Wine), and the controls live as long as the dialog.
  HWND Item(int id);
  // The whole text of that control.
  std::wstring WindowText(int id);
  HWND m_hwnd;
  std::map<int, HWND> m_items;
  std::map<int, std::unique_ptr<Win32ProgressBar>> m_progress;
};

}  // namespace ui::win32
