// What checking the payload needs from the machine: the manifest built into the program, and a file's size and SHA-256 read while nobody can change it.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace platform {

// The manifest's place among the program's resources: RT_RCDATA, this id, language neutral.
// scripts/add-manifest.py puts it there when the release is packaged.
inline constexpr int kManifestResourceId = 500;

using Sha256Digest = std::array<std::uint8_t, 32>;

// The payload copy reads and writes in pieces of this size: few enough calls (each a round trip to
// Wine's server), and one piece of memory for the whole run.
inline constexpr std::uint32_t kCopyChunkBytes = 1u << 20;

// A payload file kept open once it was found: while it lives, others may read the file but can
// neither write, rename nor delete it, so what is copied later is what was checked.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  // Copies the file from its start to `destination` (ANSI), replacing a file there as CopyFile
  // does (its attributes and times carried), and hashes on the way what it read: the length and
  // the SHA-256 of exactly what was written. A copy that fails leaves no part of a file behind.
  virtual Status CopyTo(const std::string& destination, std::uint64_t& size, Sha256Digest& digest) = 0;
};

class PayloadIntegrity {
 public:
  virtual ~PayloadIntegrity() = default;
  // The payload manifest the release build carries in its resources, as stored. kFileNotFound for
  // a program that carries none (a development build).
  virtual Status Manifest(std::string& text) = 0;
  // Opens the file at an ANSI path for reading, sharing it for reading only, and reads it whole once:
  // its length in bytes and the SHA-256 of what was read. On success `held` keeps it open.
  virtual Status HashFile(const std::string& path, std::uint64_t& size, Sha256Digest& digest,
                          std::unique_ptr<HeldFile>& held) = 0;
  // Opens the file the same way without reading it: its length, and `held` to copy it from, which
  // hashes it then. The payload's files are read once, by their copy.
  virtual Status HoldFile(const std::string& path, std::uint64_t& size, std::unique_ptr<HeldFile>& held) = 0;
};

}  // namespace platform
