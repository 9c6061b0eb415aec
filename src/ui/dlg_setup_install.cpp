// The install button's handler and the installation sequence.
// placeholder until the install/browse handler lands
#include "ui/dlg_setup.h"

void Dlg_Setup::OnInstall() {}

bool Dlg_Setup::DoInstall() { return false; }
