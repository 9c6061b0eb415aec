// The registry interface over the ANSI registry API, and the few wide functions for Unicode names
// and text; a KeyHandle is the HKEY value itself.
#pragma once
#include "platform/registry.h"

namespace platform::win32 {

class Win32Registry final : public Registry {
 public:
  Status OpenRoot(RootKey root, UniqueKey& out) override;
  Status OpenKey(KeyHandle parent, const std::string& subKey, Access access, UniqueKey& out) override;
  Status CountSubKeys(KeyHandle key, std::uint32_t& count) override;
  Status CountValues(KeyHandle key, std::uint32_t& count) override;
  Status EnumSubKey(KeyHandle key, std::uint32_t index, std::size_t capacity, std::string& name) override;
  [[nodiscard]] Status EnumValue(KeyHandle key, std::uint32_t index, std::string& name, RegValue& value) override;
  Status QueryValue(KeyHandle key, const std::string& name, std::size_t capacity, RegValue& value,
                    std::size_t& requiredSize) override;
  Status CreateKey(KeyHandle parent, const std::string& subKey, UniqueKey& out) override;
  Status DeleteKey(KeyHandle parent, const std::string& subKey) override;
  Status SetValue(KeyHandle key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override;
  Status DeleteValue(KeyHandle key, const std::string& name) override;
  void CloseKey(KeyHandle key) override;

  [[nodiscard]] Status OpenKeyW(KeyHandle parent, std::u8string_view subKey, Access access, UniqueKey& out) override;
  [[nodiscard]] Status EnumSubKeyW(KeyHandle key, std::uint32_t index, std::u8string& name) override;
  [[nodiscard]] Status QueryTextW(KeyHandle key, std::u8string_view name, std::uint32_t& type,
                                  std::u8string& text) override;
  [[nodiscard]] Status CreateKeyW(KeyHandle parent, std::u8string_view subKey, UniqueKey& out) override;
  [[nodiscard]] Status SetTextW(KeyHandle key, std::u8string_view name, std::uint32_t type,
                                std::u8string_view text) override;
  [[nodiscard]] Status OpenUsersRoot(UniqueKey& out) override;
  [[nodiscard]] Status LoadHive(std::u8string_view name, std::u8string_view file) override;
  [[nodiscard]] Status UnloadHive(std::u8string_view name) override;
};

}  // namespace platform::win32
