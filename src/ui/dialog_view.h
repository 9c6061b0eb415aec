// What a dialog's logic needs of its window: controls by id, geometry, painting and GDI objects.
// The Win32 host implements it on the real HWND; tests implement it with a fake.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/prompts.h"

namespace ui {

// A COLORREF: 0x00BBGGRR.
using ColorRef = std::uint32_t;
constexpr ColorRef Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) | (static_cast<ColorRef>(b) << 16);
}

// An opaque GDI object (HBRUSH, HFONT); 0 is "none".
using GdiHandle = std::uintptr_t;

// A rectangle in pixels (RECT).
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Rect&) const = default;
};

// The arguments of CreateFont that the program sets.
struct FontSpec {
  int height = 0;
  int width = 0;
  int escapement = 0;
  int orientation = 0;
  int weight = 0;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  std::uint8_t charSet = 0;
  std::uint8_t outPrecision = 0;
  std::uint8_t clipPrecision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitchAndFamily = 0;
  std::u8string face;
  bool operator==(const FontSpec&) const = default;
};

// Creates and deletes GDI objects. It outlives every dialog that holds objects made by it.
class Gdi {
 public:
  virtual ~Gdi() = default;
  // CreateSolidBrush; 0 on failure.
  virtual GdiHandle CreateSolidBrush(ColorRef color) = 0;
  // CreateFont; 0 on failure.
  virtual GdiHandle CreateFont(const FontSpec& font) = 0;
  // DeleteObject.
  virtual void DeleteObject(GdiHandle object) = 0;
};

// The device context of one control-colour request (the CDC of WM_CTLCOLOR*).
class PaintContext {
 public:
  virtual ~PaintContext() = default;
  // The platform's default handling of the request (sets its own colours); returns its brush.
  virtual GdiHandle Default() = 0;
  virtual void SetTextColor(ColorRef color) = 0;
  // SetBkMode(TRANSPARENT).
  virtual void SetTransparentBackground() = 0;
  virtual void SelectFont(GdiHandle font) = 0;
};

// Kinds of control-colour request, numbered as CTLCOLOR_*.
enum class CtlColorKind { MsgBox = 0, Edit = 1, ListBox = 2, Button = 3, Dialog = 4, ScrollBar = 5, Static = 6 };

// The dialog window as its logic sees it. Control ids are the template's.
class DialogView {
 public:
  virtual ~DialogView() = default;

  // ShowWindow(SW_SHOWNORMAL / SW_HIDE) on a control.
  virtual void ShowControl(int id, bool show) = 0;
  // EnableWindow on a control.
  virtual void EnableControl(int id, bool enable) = 0;
  // BM_GETCHECK / BM_SETCHECK: 1 checked, 0 unchecked.
  virtual int GetCheck(int id) = 0;
  virtual void SetCheck(int id, int state) = 0;
  // The whole text of a control, however long: data such as a path as bytes of the ANSI code
  // page, or the program's own texts as UTF-8. Both reach the control through the wide API.
  virtual void GetText(int id, std::string& ansi) = 0;
  virtual void GetText(int id, std::u8string& text) = 0;
  virtual void SetText(int id, std::string_view ansi) = 0;
  virtual void SetText(int id, std::u8string_view text) = 0;

  // GetWindowRect of the dialog: screen coordinates.
  virtual Rect WindowRect() = 0;
  // GetWindowRect of a control converted with ScreenToClient to the dialog's client area.
  virtual Rect ControlRectInClient(int id) = 0;
  // MoveWindow of the dialog, screen coordinates.
  virtual void MoveWindow(const Rect& rect, bool repaint) = 0;
  // WM_SETREDRAW on the dialog: while off, controls shown, hidden and changed are not painted
  // one by one; turning it on again repaints the dialog with all its controls at once.
  virtual void SetRedraw(bool on) = 0;

  // Loads an icon resource of the program and makes it the window's small icon (WM_SETICON,
  // ICON_SMALL). False when the icon cannot be loaded; nothing is set then.
  virtual bool SetSmallIcon(int iconId) = 0;
  // EndDialog: the modal run returns `result`.
  virtual void EndDialog(int result) = 0;

  // The progress bar control with this id.
  virtual platform::ProgressBar& ProgressBar(int id) = 0;
  // The dialog window as owner of its message boxes.
  virtual platform::WindowRef Window() = 0;
  // Brushes and fonts for painting.
  virtual ui::Gdi& Gdi() = 0;
};

}  // namespace ui
