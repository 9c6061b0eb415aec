// Process-wide facts from the Win32 API: module path, current folder, environment, process list, account.
#pragma once
#include "platform/system.h"

namespace platform::win32 {

class Win32SystemInfo final : public SystemInfo {
 public:
  Status ModulePath(std::size_t capacity, std::string& path) override;
  Status CurrentDirectory(std::string& path) override;
  Status EnvironmentVariable(const std::string& name, std::size_t capacity, std::string& value) override;
  bool ProcessNames(std::vector<std::string>& names) override;
  Status AccountSid(std::string& sid) override;
  Status EnvironmentVariableW(std::u8string_view name, std::u8string& value) override;
  Status AccountName(const std::string& sid, std::u8string& name) override;
  Status HoldMachineLock(std::u8string_view name, std::unique_ptr<HeldLock>& lock) override;
};

}  // namespace platform::win32
