// A folder-browser window and a browser run for host tests of the chooser: the window keeps the
// state the real one shows, and the edit box raises EN_CHANGE as the real one does.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "ui/browser_view.h"
#include "ui/path_dialog.h"

namespace uitest {

class FakeBrowserWindow final : public ui::BrowserView {
 public:
  static constexpr platform::WindowRef kWindow = 0xB0F;

  explicit FakeBrowserWindow(CPathDialog& chooser) : chooser_(chooser) {}

  bool okEnabled = true;  // the classic browser opens with OK enabled
  std::string status;
  std::string edit;
  int focusCount = 0;
  std::vector<int> endCodes;

  // The user types (or pastes) into the path box.
  void Type(const std::string& text) { SetPathText(text); }
  // The user selects a tree item; `fsPath` is what SHGetPathFromIDListA gives, empty for none.
  void Select(const std::string& fsPath) { chooser_.OnSelChanged(*this, fsPath); }
  // The user presses OK: the real browser ignores a disabled button.
  void PressOk() {
    if (okEnabled) chooser_.OnOK(*this);
  }
  bool Ended() const { return !endCodes.empty(); }

  void EnableOk(bool enable) override { okEnabled = enable; }
  void SetStatusText(const std::string& ansi) override { status = ansi; }
  void SetPathText(const std::string& ansi) override {
    edit = ansi;
    chooser_.OnPathTextChanged(*this);  // EN_CHANGE
  }
  std::string PathText() override { return edit; }
  void FocusPathEdit() override { ++focusCount; }
  void EndBrowser(int code) override { endCodes.push_back(code); }
  platform::WindowRef MessageBoxOwner() override { return kWindow; }

 private:
  CPathDialog& chooser_;
};

// Runs a scripted user against a fake browser window. The run records where the browser would
// open (BFFM_INITIALIZED's selection); the script then selects, types and presses OK, or gives up
// (Cancel).
class ScriptedBrowser final : public ui::FolderBrowser {
 public:
  using Script = std::function<void(FakeBrowserWindow&)>;

  bool starts = true;  // false: no shell allocator
  Script script;
  int runs = 0;
  std::string openedOn;  // the initial selection of the last run
  const char8_t* caption = nullptr;
  const char8_t* title = nullptr;

  bool Run(CPathDialog& chooser) override {
    if (!starts) return false;
    ++runs;
    caption = chooser.WindowCaption();
    title = chooser.Title();
    FakeBrowserWindow window(chooser);
    openedOn = chooser.InitialSelection();
    if (script) script(window);
    return true;
  }
};

}  // namespace uitest
