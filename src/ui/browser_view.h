// What the folder chooser's logic needs of the open folder-browser window (the Win32 host or a test fake).
#pragma once
#include <string>

#include "platform/prompts.h"

class CPathDialog;

namespace ui {

class BrowserView {
 public:
  virtual ~BrowserView() = default;

  // BFFM_ENABLEOK.
  virtual void EnableOk(bool enable) = 0;
  // BFFM_SETSTATUSTEXTA (ANSI text; the status control is hidden, but the browser keeps it).
  virtual void SetStatusText(const std::string& ansi) = 0;
  // Text of the added path edit box; setting it raises its EN_CHANGE. No effect while the box
  // does not exist yet.
  virtual void SetPathText(const std::string& ansi) = 0;
  // The whole text of the path edit box, however long: a cut-off path must never be taken for
  // the one the user typed.
  virtual std::string PathText() = 0;
  virtual void FocusPathEdit() = 0;
  // Ends the browser's modal loop (EndDialog).
  virtual void EndBrowser(int code) = 0;
  // The window that the chooser's message boxes are modal to: the browser itself.
  virtual platform::WindowRef MessageBoxOwner() = 0;
};

// Runs the platform's folder browser for one chooser: the Win32 host in SetUp.exe, a scripted
// fake in tests.
class FolderBrowser {
 public:
  virtual ~FolderBrowser() = default;
  // Shows the browser modally and routes its notices to the chooser's handlers until it closes.
  // False when it could not be started at all (no shell allocator): nothing was shown.
  virtual bool Run(CPathDialog& chooser) = 0;
};

// The browser the running program uses. Set once at start-up, next to the current machine;
// reading it before that is a programming error.
FolderBrowser& CurrentFolderBrowser();
void SetCurrentFolderBrowser(FolderBrowser* browser);

}  // namespace ui
