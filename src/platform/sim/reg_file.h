// Loading and saving the simulated registry as .reg text, so that fixtures read like real exports.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/sim/sim_registry.h"

namespace sim {

struct RegFileResult {
  bool ok = true;
  std::size_t line = 0;  // 1-based line of the fault; 0 when it concerns the whole file
  std::string message;   // what was wrong, for a test failure message
  explicit operator bool() const { return ok; }
  std::string Describe() const;
};

// Applies a .reg text ("Windows Registry Editor Version 5.00" or "REGEDIT4") to the registry.
// The text may be UTF-16LE with a byte-order mark (a real export), UTF-8 with or without one
// (hand-written fixtures), or ANSI bytes: text is stored in the ANSI code page, as the ANSI
// registry functions return it. In a version 5.00 file, hex(1), hex(2) and hex(7) data are
// UTF-16LE and are stored converted too. Lines before a fault stay applied.
RegFileResult LoadReg(SimRegistry& registry, std::string_view text);
RegFileResult LoadRegFile(SimRegistry& registry, const std::string& path);

// Writes the whole registry as REGEDIT4 text in UTF-8, which LoadReg reads back to the same
// tree. Fails when a key or value name has no UTF-8 form (invalid ANSI bytes, line breaks).
RegFileResult SaveReg(const SimRegistry& registry, std::string& text);
RegFileResult SaveRegFile(const SimRegistry& registry, const std::string& path);

}  // namespace sim
