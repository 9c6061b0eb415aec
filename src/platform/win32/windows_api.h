// <windows.h> for the adapters, without the A/W macros that would rename our own interface methods.
#pragma once
#include <windows.h>

// CopyFile, CreateDirectory, DeleteFile and MessageBox are members of the platform interfaces;
// the adapters call the ANSI and wide functions by their explicit names instead.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef MessageBox
