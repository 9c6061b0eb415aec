// A small window with a line of text and a progress bar, for work that runs without the setup
// dialog (the uninstall with a person): what the user sees while files and keys are removed.
#pragma once
#include <string_view>

#include "platform/prompts.h"
#include "platform/win32/windows_api.h"
#include "ui/win32/win32_dialog_view.h"

namespace ui::win32 {

class ProgressWindow {
 public:
  // Shown at once, in the middle of the screen, with the caption and the note. Without a window
  // (none could be made) the bar still takes its calls and shows nothing.
  ProgressWindow(std::u8string_view caption, std::u8string_view note);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  platform::ProgressBar& Bar() { return m_bar; }
  // The owner of the message boxes shown while it is up, so that they stay in front of it.
  platform::WindowRef Owner() const { return reinterpret_cast<platform::WindowRef>(m_window); }

 private:
  HWND m_window = nullptr;
  HFONT m_font = nullptr;
  Win32ProgressBar m_bar;
};

}  // namespace ui::win32
