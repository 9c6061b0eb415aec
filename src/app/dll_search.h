// Keeps DLLs planted beside SetUp.exe out of the process: the loader searches the system folder only.
#pragma once

namespace app {

// What RestrictDllSearch could put in force.
enum class DllSearch {
  kSystemFolderOnly,         // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
  kCurrentDirectoryRemoved,  // SetDllDirectoryW(L""): the current directory is out, the exe's folder is not
  kUnchanged,                // neither call succeeded
};

// Call first thing in wWinMain, before anything can load a DLL by name.
DllSearch RestrictDllSearch();

}  // namespace app
