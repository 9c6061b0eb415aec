// The install sequence's process-wide state.
#include "install/install_sequence.h"

bool g_bCheckAcadRunning = true;
