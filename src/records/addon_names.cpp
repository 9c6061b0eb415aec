// The add-on's fixed names and the install folder's form.
#include "records/addon_names.h"

#include "discovery/acad_catalog.h"

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
