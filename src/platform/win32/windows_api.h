// <windows.h> for the adapters, without the A/W macros that would rename our own interface methods.
#pragma once
#include <windows.h>

// CopyFile, CreateDirectory, DeleteFile, MessageBox and RemoveDirectory are members of the platform interfaces;
// the adapters call the ANSI and wide functions by their explicit names instead.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef MoveFile
#undef MessageBox
#undef RemoveDirectory

namespace platform::win32 {

// A function exported by a loaded module, as the type it is called through; null when the module
// is null or exports no such name. (GetProcAddress hands every export out as one function type.)
template <class Function>
Function FindProc(HMODULE module, const char* name) {
  const FARPROC proc = module != nullptr ? ::GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

}  // namespace platform::win32
