// Whether AutoCAD is running: an executable name containing "acad.exe", whatever its letter case.
#pragma once
#include "platform/system.h"

bool IsAcadRunning(platform::SystemInfo& system);
