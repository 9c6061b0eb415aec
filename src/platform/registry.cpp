// Helpers shared by every registry caller.
#include "platform/registry.h"

#include <algorithm>

namespace platform {

Status QueryWholeValue(Registry& registry, KeyHandle key, const std::string& name, RegValue& value) {
  std::size_t capacity = 256;
  // The value may grow between two calls (another writer); a few rounds settle it.
  for (int round = 0; round < 8; ++round) {
    std::size_t required = 0;
    const Status st = registry.QueryValue(key, name, capacity, value, required);
    if (st != kMoreData) return st;
    capacity = std::max(required, capacity * 2);
  }
  return kMoreData;
}

Status LoadedHive::Load(Registry& registry, std::u8string_view name, std::u8string_view file) {
  if (const Status st = Unload(); st != kSuccess) return st;
  const Status st = registry.LoadHive(name, file);
  if (st != kSuccess) return st;
  registry_ = &registry;
  name_.assign(name);
  return kSuccess;
}

void LoadedHive::Adopt(Registry& registry, std::u8string_view name) {
  static_cast<void>(Unload());
  registry_ = &registry;
  name_.assign(name);
}

Status LoadedHive::Unload() {
  if (registry_ == nullptr) return kSuccess;
  const Status st = registry_->UnloadHive(name_);
  if (st != kSuccess) return st;
  registry_ = nullptr;
  name_.clear();
  return kSuccess;
}

std::string ValueText(const RegValue& value) {
  const auto end = std::find(value.data.begin(), value.data.end(), std::uint8_t{0});
  return std::string(value.data.begin(), end);
}

std::vector<std::uint8_t> SzData(const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::vector<std::uint8_t> DwordData(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value & 0xFFu), static_cast<std::uint8_t>((value >> 8) & 0xFFu),
          static_cast<std::uint8_t>((value >> 16) & 0xFFu), static_cast<std::uint8_t>((value >> 24) & 0xFFu)};
}

}  // namespace platform
