// The registry interface over the ANSI registry API; a KeyHandle is the HKEY value itself.
#pragma once
#include "platform/registry.h"

namespace platform::win32 {

class Win32Registry final : public Registry {
 public:
  Status OpenRoot(RootKey root, UniqueKey& out) override;
  Status OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) override;
  Status CountSubKeys(KeyHandle key, std::uint32_t& count) override;
  Status EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) override;
  Status QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                    std::size_t& requiredSize) override;
  Status CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) override;
  Status DeleteKey(KeyHandle parent, const std::string& subKey) override;
  Status SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override;
  void CloseKey(KeyHandle key) override;
};

}  // namespace platform::win32
