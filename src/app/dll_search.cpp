// The DLL search order of the elevated process.
//
// SetUp.exe runs as administrator from wherever the user unpacked it, typically Downloads, where
// any page or archive can drop a file named version.dll, uxtheme.dll, cryptbase.dll or dwmapi.dll
// beside it. The loader's default order looks in the exe's own folder first, so such a file would
// run with administrator rights.
//
// What this call can and cannot cover:
// - The DLLs in SetUp.exe's import table are bound by the loader before wWinMain runs, and so is
//   whatever their start-up code loads. Those are KnownDLLs only (kernel32, advapi32, msvcrt),
//   which the loader maps from the system's own sections and never searches for;
//   scripts/check-pe.sh keeps the import table that way. user32 and gdi32, KnownDLLs too, are
//   delay-loaded at their first call, after this one, and what they import with them. comctl32 is
//   not a KnownDLL, so main.cpp loads it after this call instead of importing it; shell32 and ole32
//   are loaded when the folder chooser first opens (path_dialog_host.cpp), so that their start-up
//   code comes after it too.
// - Everything loaded later by a bare name is searched for at that moment: uxtheme when the first
//   themed window is drawn, version, dwmapi, cryptbase and the like when the shell's folder browser,
//   COM or the crypto provider pull them in, and the dependencies of each of those. Those loads
//   follow the process's default DLL directories, which is what is set here; hence the call comes
//   before the first window, the first COM call and the first shell call.
// scripts/check-dll-planting.sh shows this under Wine, and says what Wine cannot show.
#include "app/dll_search.h"

#include "platform/win32/windows_api.h"

namespace app {
namespace {

// Not in every SDK's headers for the Windows 7 target, and the value is fixed by the ABI.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

DllSearch RestrictDllSearch() {
  // SetDefaultDllDirectories came with KB2533623 on Windows 7 and is missing on an unpatched one;
  // importing it would stop SetUp.exe from starting there, so it is looked up. kernel32 is mapped
  // into every process before the first instruction of ours: asking for its handle loads nothing.
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto setDefault =
      platform::win32::FindProc<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(kSearchSystem32)) return DllSearch::kSystemFolderOnly;
  // The fallback takes the current directory out of the search, nothing more: the exe's folder is
  // still searched first on such a system. An updated Windows 7 is what closes that.
  if (::SetDllDirectoryW(L"")) return DllSearch::kCurrentDirectoryRemoved;
  return DllSearch::kUnchanged;
}

}  // namespace app
