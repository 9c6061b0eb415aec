// Runs a ui::Dialog modally on its dialog template: the Win32 host of the dialog framework.
#pragma once
#include "ui/dialog.h"

namespace ui::win32 {

// DialogBoxParamW on the dialog's template from this program's resources, owned by its parent.
// WM_INITDIALOG, WM_COMMAND and the WM_CTLCOLOR* requests reach the dialog through its maps.
// Returns the value given to EndDialog, or -1 when the window could not be created.
int RunModal(ui::Dialog& dialog);

}  // namespace ui::win32
