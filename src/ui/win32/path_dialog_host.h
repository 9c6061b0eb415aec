// The folder chooser's Win32 host: SHBrowseForFolderA with the added path edit box.
#pragma once
#include "ui/browser_view.h"

namespace ui::win32 {

// Runs the shell's classic folder browser for a chooser, subclassing it so that its OK
// button and the added edit box reach the chooser's handlers.
class ShellFolderBrowser final : public FolderBrowser {
 public:
  bool Run(CPathDialog& chooser) override;
};

// Makes the shell's browser the one that choosers use (once, at start-up).
void UseShellFolderBrowser();

}  // namespace ui::win32
