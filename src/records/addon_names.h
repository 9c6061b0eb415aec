// The add-on's fixed names, shared by the installation, the uninstall and the other users' pass: its
// folder inside the chosen one, its payload and settings files, its demand-load keys.
#pragma once
#include <string>
#include <string_view>

// The add-on's own folder inside the folder the user chooses.
inline constexpr const char* kInstallSubfolder = "V-ZurezUvad";

// The payload's fixed names.
inline constexpr const char* kPayloadFolderName = "Data";
inline constexpr const char* kFlatLayoutMarker = "VX_ZurezUvad2010.arx";
inline constexpr const char* kSettingsFileName = "Vornex.Ini";
inline constexpr const char* kSettingsFolderName = "Vornex";

namespace install {

// Under HKEY_LOCAL_MACHINE. SetUp.exe is a 64-bit program, so this is the native view's key, the
// one Apps & features lists for every user.
inline constexpr const char* kUninstallKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VornexSetup";
inline constexpr const char* kInstallLocationValue = "InstallLocation";
inline constexpr const char8_t* kProductName = u8"V-批打印软件";
inline constexpr const char8_t* kPublisher = u8"Vornex";
// The copy of the installer left in the install folder, which Apps & features starts to uninstall.
inline constexpr const char* kUninstallerName = "VornexSetup.exe";

}  // namespace install

// The managed modules tried in every AutoCAD folder, whichever release it belongs to.
inline constexpr int kFirstModuleYear = 2007;
inline constexpr int kLastModuleYear = 2050;

// The support files placed in an AutoCAD folder, by their path inside it (the managed modules
// "VXCAD<year>P.dll" of those years besides): the fonts, the PDF library, and the add-on's driver
// under the name of AutoCAD's own PDF plotter driver.
inline constexpr const char* kSupportFontEn = "Fonts\\Vornex_EN.shx";
inline constexpr const char* kSupportFontHz = "Fonts\\Vornex_HZ.shx";
inline constexpr const char* kSupportPdfLibrary = "itextsharp.dll";
inline constexpr const char* kSupportPlotterDriver = "Drv\\pdfplot9.hdi";
// Whether `relative` (a path inside an AutoCAD folder, ANSI) is one of those, letter case aside.
bool IsSupportFileName(std::string_view relative);

// The chosen folder with one trailing backslash removed (not a lone first character).
std::string ChosenFolder(std::string_view typed);

// The chosen folder as a path that names it on its own: ChosenFolder, except that a drive root
// keeps its backslash ("D:" alone names the current folder on drive D:, not its root).
std::string ChosenFolderPath(std::string_view typed);

// The install folder for a chosen folder: "C:\Tools\" and "C:\Tools" give C:\Tools\V-ZurezUvad,
// "D:\" gives D:\V-ZurezUvad.
std::string FormInstallFolder(std::string_view typed);

// The demand-load keys of a release, below its product key: "Applications\VX_ZurezUvad<year>" for
// the ARX module, "Applications\Vornex<year>DLLP" for the managed one.
std::string ArxKeyName(int year);
std::string ManagedKeyName(int year);
