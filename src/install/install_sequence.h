// What the install button's sequence keeps between presses and the install folder it forms.
#pragma once
#include <string>
#include <string_view>

// The add-on's own folder inside the folder the user chooses.
inline constexpr const char* kInstallSubfolder = "V-ZurezUvad";

// The progress bar's range and step for one installation; the payload copy steps it once per
// listing entry, the sequence three times more, and then fills it.
inline constexpr int kProgressMinimum = 0;
inline constexpr int kProgressMaximum = 50;
inline constexpr int kProgressStep = 1;

// Set when the program starts; cleared once the "close AutoCAD" warning has been shown, so that
// a second press installs even while AutoCAD runs. Nothing sets it again.
extern bool g_bCheckAcadRunning;

// The chosen folder with one trailing backslash removed (not a lone first character).
std::string ChosenFolder(std::string_view typed);
// The chosen folder as a path that names it on its own: ChosenFolder, except that a drive root
// keeps its backslash ("D:" alone names the current folder on drive D:, not its root).
std::string ChosenFolderPath(std::string_view typed);
// The install folder for a chosen folder: "C:\Tools\" and "C:\Tools" give C:\Tools\V-ZurezUvad,
// "D:\" gives D:\V-ZurezUvad.
std::string FormInstallFolder(std::string_view typed);
