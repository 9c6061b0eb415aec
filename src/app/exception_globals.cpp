// The C++ runtime's record of the exceptions being handled, kept for SetUp.exe's one thread.
//
// libstdc++ keeps that record (the Itanium C++ ABI's __cxa_eh_globals: the chain of exceptions
// caught and not yet finished, and the count of those thrown and not yet caught) per thread, in a
// thread_local variable. MinGW's GCC emulates thread_local through libgcc's emutls, which rests on
// winpthread's keys and once-calls, and these bring in the rest of winpthread: its threads,
// condition variables and read-write locks, about 24 KB, in a program that starts no thread.
// SetUp.exe runs all its code on one thread (cmake/SmallExe.cmake says so for its function
// statics too), so one record serves. Defined here, the two functions through which the runtime
// finds the record keep libstdc++'s (and with it emutls and most of winpthread) out of SetUp.exe.
// Should a second thread ever throw or catch, the program ends there rather than share the record.
#include <cxxabi.h>

#include <cstdlib>

#include "platform/win32/windows_api.h"

// NOLINTBEGIN(bugprone-reserved-identifier): the runtime's own names, which these definitions must use.
namespace __cxxabiv1 {

struct __cxa_exception;

// The layout the Itanium C++ ABI gives it, which libstdc++ reads and writes through the pointer.
struct __cxa_eh_globals {
  __cxa_exception* caughtExceptions;
  unsigned int uncaughtExceptions;
};

namespace {

__cxa_eh_globals g_globals{};
DWORD g_thread = 0;  // the thread that first asked; no thread has id 0

}  // namespace

extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  const DWORD thread = ::GetCurrentThreadId();
  if (g_thread == 0) g_thread = thread;
  if (thread != g_thread) std::abort();
  return &g_globals;
}

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept { return __cxa_get_globals_fast(); }

}  // namespace __cxxabiv1
// NOLINTEND(bugprone-reserved-identifier)
