// Process-wide facts the program reads: its own path, the current folder, environment, processes.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

// The longest path Windows knows (with the "\\?\" prefix), and the longest value an environment
// variable can hold, in characters with the terminator: a capacity that reads either whole.
inline constexpr std::size_t kLongestPathChars = 32768;

// A machine-wide lock held by this process; let go by its destructor (or when the process ends).
class HeldLock {
 public:
  virtual ~HeldLock() = default;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // GetModuleFileNameA(NULL): the full path of the running program. kFilenameTooLong
  // (ERROR_INSUFFICIENT_BUFFER on Windows) when it does not fit `capacity` characters with the terminator.
  virtual Status ModulePath(std::size_t capacity, std::string& path) = 0;
  // GetCurrentDirectoryA.
  virtual Status CurrentDirectory(std::string& path) = 0;
  // GetEnvironmentVariableA: kFileNotFound (ERROR_ENVVAR_NOT_FOUND on Windows) when unset,
  // kMoreData when the value does not fit `capacity` characters with the terminator.
  virtual Status EnvironmentVariable(const std::string& name, std::size_t capacity, std::string& value) = 0;
  // CreateToolhelp32Snapshot + Process32First/Next: the executable names (szExeFile)
  // in snapshot order. False when no snapshot could be taken or its first entry read.
  virtual bool ProcessNames(std::vector<std::string>& names) = 0;
  // OpenProcessToken + GetTokenInformation(TokenUser): the security identifier of the account the
  // program runs as, in its string form ("S-1-5-21-...").
  [[nodiscard]] virtual Status AccountSid(std::string& sid) = 0;
  // GetEnvironmentVariableW: the value whole, as Unicode, whatever the ANSI code page holds.
  // kFileNotFound when unset, as EnvironmentVariable.
  [[nodiscard]] virtual Status EnvironmentVariableW(std::u8string_view name, std::u8string& value) = 0;
  // LookupAccountSidW on this machine: "DOMAIN\name" (or the name alone when there is no domain)
  // of the account with that security identifier ("S-1-5-21-..."). kNoneMapped when no account has
  // it any more (a deleted account whose profile stayed); kInvalidSid when the text is no SID.
  [[nodiscard]] virtual Status AccountName(const std::string& sid, std::u8string& name) = 0;
  // CreateMutexW(name) and a wait of no time: the named mutex (in "Global\\", one for the whole
  // machine, every session) held until `lock` is destroyed. kAlreadyExists at once while another
  // process holds it; one a killed process left behind is taken over.
  [[nodiscard]] virtual Status HoldMachineLock(std::u8string_view name, std::unique_ptr<HeldLock>& lock) = 0;
};

}  // namespace platform
