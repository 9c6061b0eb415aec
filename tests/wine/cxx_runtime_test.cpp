// SetUp.exe's own pieces of the C++ runtime, linked as in SetUp.exe. src/app/library_errors.cpp:
// every misuse of the library still throws; a memory error keeps its standard type, which the
// registry adapter catches by name; any other is a std::exception, which the dialog framework
// catches. src/app/exception_globals.cpp: rethrowing, nested handlers, exception pointers and the
// count of uncaught exceptions work from its one record; a second thread that throws ends the
// program. Run under Wine by scripts/wine-contract.sh.
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <windows.h>

namespace {

// What a misuse of the library threw, as the handlers of SetUp.exe see it.
constexpr long long kNothing = 0;
constexpr long long kBadAlloc = 1;
constexpr long long kException = 2;  // a std::exception with a text

template <class Misuse>
long long Run(Misuse misuse) {
  try {
    misuse();
  } catch (const std::bad_alloc&) {
    return kBadAlloc;
  } catch (const std::exception& e) {
    return e.what() != nullptr && *e.what() != '\0' ? kException : kNothing;
  }
  return kNothing;
}

// Sizes and pointers the optimiser cannot see through.
volatile std::size_t g_three = 3;
const char* volatile g_null = nullptr;

// The exception a handler rethrows after it has caught and finished another one inside.
int RethrownAfterNested() {
  try {
    try {
      throw 1;
    } catch (int) {
      try {
        throw 2;
      } catch (int) {
      }
      throw;
    }
  } catch (int value) {
    return value;
  }
  return 0;
}

// std::uncaught_exceptions() as a destructor sees it while an exception passes, and after.
int UncaughtWhileUnwinding() {
  struct Watch {
    int& seen;
    ~Watch() { seen = std::uncaught_exceptions(); }
  };
  int seen = -1;
  try {
    Watch watch{seen};
    throw 3;
  } catch (int) {
  }
  return seen * 10 + std::uncaught_exceptions();
}

int ThroughExceptionPointer() {
  std::exception_ptr held;
  try {
    throw 4;
  } catch (int) {
    held = std::current_exception();
  }
  if (!held || std::current_exception()) return 0;
  try {
    std::rethrow_exception(held);
  } catch (int value) {
    return value;
  }
  return 0;
}

DWORD WINAPI ThrowOnThisThread(void*) {
  try {
    throw 5;
  } catch (int value) {
    return static_cast<DWORD>(value);
  }
}

// Runs this program again with --second-thread and returns its exit code.
DWORD SecondThreadExitCode() {
  wchar_t command[MAX_PATH + 32] = L"\"";
  ::GetModuleFileNameW(nullptr, command + 1, MAX_PATH);
  std::wcscat(command, L"\" --second-thread");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return 0;
  ::WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--second-thread") == 0) {
    (void)RethrownAfterNested();
    const HANDLE thread = ::CreateThread(nullptr, 0, ThrowOnThisThread, nullptr, 0, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    return 0;  // not reached: the thread's throw ends the program
  }
  using Ints = std::allocator<int>;
  const struct {
    const char* name;
    long long expected;
    long long got;
  } cases[] = {
      {"substr past the end", kException, Run([] { (void)std::string("ab").substr(g_three); })},
      {"vector::at past the end", kException, Run([] { (void)std::vector<int>(2).at(g_three); })},
      {"string past max_size", kException, Run([] { std::string().reserve(std::string().max_size() + g_three); })},
      {"vector past max_size", kException, Run([] { std::vector<int>().reserve(std::vector<int>().max_size() + g_three); })},
      {"string from a null pointer", kException, Run([] { (void)std::string(g_null); })},
      {"allocation past max_size", kBadAlloc, Run([] { (void)Ints().allocate(PTRDIFF_MAX / sizeof(int) + g_three); })},
      {"allocation past the address space", kBadAlloc, Run([] { (void)Ints().allocate(SIZE_MAX / sizeof(int) + g_three); })},
      {"rethrow after a nested handler", 1, RethrownAfterNested()},
      {"uncaught exceptions while unwinding, then none", 10, UncaughtWhileUnwinding()},
      {"exception pointer held past its handler", 4, ThroughExceptionPointer()},
      {"a second thread that throws ends the program (abort: 3)", 3, SecondThreadExitCode()},
  };
  int passed = 0;
  int failed = 0;
  for (const auto& c : cases) {
    const bool ok = c.got == c.expected;
    if (ok) {
      std::printf("ok: %s\n", c.name);
      ++passed;
    } else {
      std::printf("FAILED: %s: %lld, expected %lld\n", c.name, c.got, c.expected);
      ++failed;
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
