// The one path limit the installer keeps: what the ANSI file API and AutoCAD's loader accept.
#pragma once
#include <string_view>

#include "platform/files.h"

// True when `path` has at most 259 characters (MAX_PATH with its terminator). Longer paths are
// never handed on cut short: the step that would use one fails instead.
inline bool FitsMaxPath(std::string_view path) { return path.size() < platform::kMaxPath; }
