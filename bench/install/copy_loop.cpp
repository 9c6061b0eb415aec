// copy_loop: copies every file of a folder into another with CopyFileA and nothing else; the
// floor for SetUp.exe's payload copy under Wine (scripts/bench-install.sh). The destination
// folder is made if missing, as SetUp.exe makes its install folder.
//
// Usage: copy_loop SOURCE DESTINATION     Exit code: 0 when every file was copied, else 1.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The C runtime's arguments: CommandLineToArgvW would bring shell32 and its start-up along,
  // which SetUp.exe does not load either.
  if (__argc != 3) return 2;
  // The ANSI API, as SetUp.exe copies; the benchmark's paths are plain ASCII.
  const auto narrow = [](const wchar_t* wide) {
    std::string out;
    for (const wchar_t* c = wide; *c != L'\0'; ++c) out += static_cast<char>(*c);
    return out;
  };
  const std::string source = narrow(__wargv[1]);
  const std::string destination = narrow(__wargv[2]);
  ::CreateDirectoryA(destination.c_str(), nullptr);

  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((source + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 1;
  int result = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::string name = std::string("\\") + found.cFileName;
    if (!::CopyFileA((source + name).c_str(), (destination + name).c_str(), FALSE)) result = 1;
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return result;
}
