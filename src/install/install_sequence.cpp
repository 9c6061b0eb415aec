// The install sequence's process-wide state and the install folder's form.
#include "install/install_sequence.h"

#include "discovery/acad_catalog.h"

bool g_bCheckAcadRunning = true;

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
