// planting_probe.exe: the control of the DLL-planting check. It loads DLLs by bare name the way a
// system DLL does at run time, once with the loader's default search order and once after the
// very call SetUp.exe makes first (app/dll_search.cpp), and prints where each one came from:
//   planting_probe.exe [--restrict] NAME.dll...
// Without --restrict a planted DLL beside the probe must be loaded (else the check proves nothing
// on this Wine); with it, none may be.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/dll_search.h"

namespace {

void Print(const std::wstring& line) {
  const std::wstring text = line + L"\n";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

const wchar_t* Describe(app::DllSearch search) {
  switch (search) {
    case app::DllSearch::kSystemFolderOnly: return L"system folder only (SetDefaultDllDirectories)";
    case app::DllSearch::kCurrentDirectoryRemoved: return L"current directory removed (SetDllDirectoryW)";
    case app::DllSearch::kUnchanged: return L"unchanged";
  }
  return L"?";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 1 && std::wstring(argv[1]) == L"--restrict") {
    Print(std::wstring(L"search: ") + Describe(app::RestrictDllSearch()));
    first = 2;
  } else {
    Print(L"search: default");
  }
  for (int i = first; i < argc; ++i) {
    HMODULE module = LoadLibraryW(argv[i]);
    if (module == nullptr) {
      Print(std::wstring(argv[i]) + L": not loaded (error " + std::to_wstring(GetLastError()) + L")");
      continue;
    }
    std::wstring path(1024, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    Print(std::wstring(argv[i]) + L": " + path);
    FreeLibrary(module);
  }
  return 0;
}
