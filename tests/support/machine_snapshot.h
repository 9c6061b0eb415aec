// The whole simulated machine as sorted lines (every key and value of both roots as the ANSI
// functions read them, every folder and every file with its content), and the difference of two
// such snapshots: for tests that must find the machine exactly as it was.
#pragma once
#include <algorithm>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf8_text.h"

namespace support {

using Snapshot = std::vector<std::string>;

inline void AddKeys(sim::SimRegistry& registry, platform::RootKey root, const sim::SimKey& key, const std::u8string& path,
                    Snapshot& lines) {
  const std::string prefix = std::string(root == platform::RootKey::LocalMachine ? "HKLM" : "HKCU") +
                             std::string(text::Utf8Bytes(path.empty() ? path : u8"\\" + path));
  lines.push_back(prefix);
  for (const auto& [folded, value] : key.values) {
    const platform::RegValue read = *registry.Get(root, path, value.name);
    // A REG_SZ of plain text as that text, anything else byte by byte with its type.
    std::string data = platform::ValueText(read);
    if (read.type != platform::kRegSz || read.data != platform::SzData(data)) {
      data = "type " + std::to_string(read.type) + ":";
      for (const std::uint8_t byte : read.data) data += " " + std::to_string(byte);
    }
    lines.push_back(prefix + " : " + std::string(text::Utf8Bytes(value.name)) + " = " + data);
  }
  for (const auto& [folded, sub] : key.subKeys) {
    AddKeys(registry, root, *sub, path.empty() ? sub->name : path + u8"\\" + sub->name, lines);
  }
}

inline Snapshot Take(sim::SimMachine& sim) {
  Snapshot lines;
  for (const platform::RootKey root : {platform::RootKey::LocalMachine, platform::RootKey::CurrentUser}) {
    AddKeys(sim.registry(), root, sim.registry().Root(root), u8"", lines);
  }
  for (const std::string& path : sim.files().Tree()) {
    lines.push_back(path.back() == '\\' ? path : path + " = " + *sim.files().ReadFile(path));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// "- line" for what `after` lost and "+ line" for what it gained, sorted.
inline std::vector<std::string> Changes(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> changes;
  for (const auto& [from, to, sign] : {std::tuple{&before, &after, "- "}, std::tuple{&after, &before, "+ "}}) {
    std::vector<std::string> only;
    std::set_difference(from->begin(), from->end(), to->begin(), to->end(), std::back_inserter(only));
    for (const std::string& line : only) changes.push_back(sign + line);
  }
  std::sort(changes.begin(), changes.end());
  return changes;
}

}  // namespace support
