// The folder chooser's logic: path form rules, level-by-level creation, and the browser's decisions.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/folder_rules.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/prompts.h"
#include "platform/status.h"
#include "ui/browser_view.h"

// The window side (BROWSEINFOA, the browser's HWND, the subclass) lives in the Win32 host
// (ui/win32/path_dialog_host.*), which calls the handlers below from its callback and subclass.
class CPathDialog {
 public:
  // DoModal's results: cancelling gives -1, not IDCANCEL.
  static constexpr int kAccepted = 1;
  static constexpr int kNotAccepted = -1;

  // On the machine it creates folders on, shown by `browser`. Caption and title are the program's
  // own texts; the start folder is ANSI data. All three are borrowed and must outlive the
  // object; null caption keeps the browser's own, null start folder means the current directory.
  // A parent of 0 lets the host pick the active window.
  CPathDialog(platform::Machine& machine, ui::FolderBrowser& browser, const char8_t* pszCaption,
              const char8_t* pszTitle, const char* pszStartFolder, platform::WindowRef parent = 0);
  virtual ~CPathDialog() = default;
  CPathDialog(const CPathDialog&) = delete;
  CPathDialog& operator=(const CPathDialog&) = delete;

  // kAccepted when the user's OK accepted a path, kNotAccepted on cancel or when the browser
  // could not be started.
  virtual int DoModal();
  std::string GetChosenPath() const { return m_szChosenPath; }

  // kSuccess when the folder exists (already or after creation); kCancelled when it is missing and
  // the user declined its creation; kInvalidName when the path is not well formed; otherwise why a
  // level could not be created. The user has been told of the last two.
  static platform::Status EnsureFolderExists(platform::Machine& machine, std::string_view path,
                                             platform::WindowRef owner);
  // platform::CreateFolderPath: kSuccess when the path is well formed (at most 259 characters)
  // and, unless validateOnly, every level of it exists; kInvalidName when it is not well formed;
  // otherwise why a level could not be created or a drive root is not there. Levels created
  // before a failure stay.
  [[nodiscard]] static platform::Status CreatePath(platform::FileSystem& files, std::string_view path,
                                                   bool validateOnly);
  // Whether one path component (ANSI, multibyte-aware) may name a folder.
  static bool IsComponentValid(std::string_view name);

  // The Win32 host's hooks, named after the browser notices they serve.
  // BFFM_SELCHANGED: `fsPath` is the selected item's file-system path, empty when it has none.
  void OnSelChanged(ui::BrowserView& view, const std::string& fsPath);
  // EN_CHANGE of the path edit box.
  void OnPathTextChanged(ui::BrowserView& view);
  // The browser's OK button, instead of the browser's own OK processing.
  void OnOK(ui::BrowserView& view);
  // BFFM_INITIALIZED: the folder to select first (ANSI).
  std::string InitialSelection() const;

  const char8_t* WindowCaption() const { return m_pszWindowCaption; }
  const char8_t* Title() const { return m_pszTitle; }
  platform::WindowRef OwnerWnd() const { return m_pOwnerWnd; }

 private:
  const char8_t* m_pszWindowCaption;
  const char* m_pszStartFolder;
  // Held whole, even past 259 characters, so that OK refuses an over-long text instead of
  // accepting a cut-off folder the user never typed.
  std::string m_szChosenPath;
  const char8_t* m_pszTitle;  // BROWSEINFOA::lpszTitle, in its ANSI form
  platform::WindowRef m_pOwnerWnd;
  std::int32_t m_bAccepted = 0;
  platform::Machine& m_machine;
  ui::FolderBrowser& m_browser;
};
