// run_timer: starts a program and times it with QueryPerformanceCounter from just before
// CreateProcess to its exit, so that its whole life counts, start-up included
// (scripts/bench-install.sh). Prints "elapsed N.N ms exit CODE".
//
// Usage: run_timer FOLDER COMMAND-LINE     (the command line as CreateProcess takes it; the
// program runs in FOLDER). Exit code: 0 when the program ran and ended within the limit, else 1.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
constexpr DWORD kLimitMs = 300000;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::printf("usage: run_timer FOLDER COMMAND-LINE\n");
    return 2;
  }
  std::wstring commandLine = argv[2];
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  LARGE_INTEGER frequency{};
  LARGE_INTEGER start{};
  LARGE_INTEGER end{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[1], &startup,
                        &process)) {
    std::printf("error: cannot start the program (error %lu)\n", ::GetLastError());
    return 1;
  }
  const DWORD waited = ::WaitForSingleObject(process.hProcess, kLimitMs);
  ::QueryPerformanceCounter(&end);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  if (waited != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    std::printf("error: the program did not end within %lu s\n", kLimitMs / 1000);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (waited != WAIT_OBJECT_0) return 1;
  const double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  std::printf("elapsed %.1f ms exit %lu\n", ms, code);
  return 0;
}
