// The add-on's fixed names and the install folder's form.
#include "records/addon_names.h"

#include "discovery/acad_catalog.h"
#include "platform/text.h"

std::string ChosenFolder(std::string_view typed) {
  std::string folder(typed);
  StripTrailingBackslash(folder);
  return folder;
}

std::string ChosenFolderPath(std::string_view typed) {
  std::string folder = ChosenFolder(typed);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string FormInstallFolder(std::string_view typed) {
  return ChosenFolder(typed) + "\\" + kInstallSubfolder;
}

std::string ArxKeyName(int year) { return "Applications\\VX_ZurezUvad" + std::to_string(year); }
std::string ManagedKeyName(int year) { return "Applications\\Vornex" + std::to_string(year) + "DLLP"; }

bool IsSupportFileName(std::string_view relative) {
  for (const char* fixed : {kSupportFontEn, kSupportFontHz, kSupportPdfLibrary, kSupportPlotterDriver}) {
    if (text::EqualsNoCase(relative, fixed)) return true;
  }
  // "VXCAD<year>P.dll"
  constexpr std::string_view kPrefix = "VXCAD";
  constexpr std::string_view kSuffix = "P.dll";
  if (relative.size() != kPrefix.size() + 4 + kSuffix.size() ||
      !text::EqualsNoCase(relative.substr(0, kPrefix.size()), kPrefix) ||
      !text::EqualsNoCase(relative.substr(kPrefix.size() + 4), kSuffix)) {
    return false;
  }
  int year = 0;
  for (const char c : relative.substr(kPrefix.size(), 4)) {
    if (c < '0' || c > '9') return false;
    year = year * 10 + (c - '0');
  }
  return year >= kFirstModuleYear && year <= kLastModuleYear;
}
