// The Browse button's handler.
// placeholder until the install/browse handler lands
#include "ui/dlg_setup.h"

void Dlg_Setup::OnBrowse() { UpdateInstallButton(); }
