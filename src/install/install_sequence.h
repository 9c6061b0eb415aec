// What the install button's sequence keeps between presses.
#pragma once
#include "records/addon_names.h"

// The progress bar's range and step for one installation; the payload copy steps it once per
// listing entry, the sequence three times more, and then fills it.
inline constexpr int kProgressMinimum = 0;
inline constexpr int kProgressMaximum = 50;
inline constexpr int kProgressStep = 1;

// Set when the program starts; cleared once the "close AutoCAD" warning has been shown, so that
// a second press installs even while AutoCAD runs. Nothing sets it again.
extern bool g_bCheckAcadRunning;
