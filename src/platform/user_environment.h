// Environment-style text (REG_EXPAND_SZ) expanded for a user who need not be the one running the program.
#pragma once
#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/system.h"

namespace platform {

// Expands the %NAME% references of `text` as they read in that user's own session. %USERPROFILE%
// is `profilePath` (an empty one gives it no value: a profile path is itself expanded before it is
// known). A variable that each user has for himself (APPDATA, HOMEPATH, TEMP...) has no value
// here, since the installer's own would name the folders of the account running it. Every other
// variable comes from the machine's environment through `system` (SystemDrive, SystemRoot,
// ProgramData). A reference without a value gives kEnvVarNotFound rather than a half-expanded
// path that names no folder. A '%' without a partner, and "%%", stay as they are.
Status ExpandForUser(std::u8string_view text, std::u8string_view profilePath, SystemInfo& system, std::u8string& out);

}  // namespace platform
