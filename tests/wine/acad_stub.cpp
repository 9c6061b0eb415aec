// acad.exe: a stand-in for a running AutoCAD. It only has to exist in the process list, so it
// sleeps until it is ended, or until its time limit passes so that a forgotten one cannot outlive
// a test run (first argument: seconds, default 120).
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  long seconds = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 120;
  if (seconds <= 0 || seconds > 3600) seconds = 120;
  Sleep(static_cast<DWORD>(seconds) * 1000u);
  return 0;
}
