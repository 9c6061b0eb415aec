// The simulated payload manifest and digests.
#include "platform/sim/sim_integrity.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace sim {
namespace {

// Counts itself while it lives, so that a test sees the files stay held through the installation.
// Its copy reads the file as it is at the time of the copy: a test that changes it after the check
// stands for a file whose bytes differ from what the manifest lists only where they are read.
class SimHeldFile final : public platform::HeldFile {
 public:
  SimHeldFile(std::shared_ptr<std::size_t> count, SimFileSystem& files, std::string path)
      : count_(std::move(count)), files_(files), path_(std::move(path)) {
    ++*count_;
  }
  ~SimHeldFile() override { --*count_; }
  SimHeldFile(const SimHeldFile&) = delete;
  SimHeldFile& operator=(const SimHeldFile&) = delete;

  platform::Status CopyTo(const std::string& destination, std::uint64_t& size, platform::Sha256Digest& digest) override {
    const std::optional<std::string> content = files_.ReadFile(path_);
    if (!content) return platform::kFileNotFound;
    // The file system's own copy: a read-only destination, a missing folder or an injected failure
    // answer as they do for CopyFile.
    const platform::Status copied = files_.CopyFile(path_, destination, false);
    if (copied != platform::kSuccess) return copied;
    size = content->size();
    digest = Digest(*content);
    return platform::kSuccess;
  }

 private:
  std::shared_ptr<std::size_t> count_;
  SimFileSystem& files_;
  std::string path_;
};

}  // namespace

platform::Sha256Digest Digest(std::string_view content) {
  // Four 64-bit FNV-1a hashes from four starting values.
  platform::Sha256Digest digest{};
  for (std::size_t lane = 0; lane < 4; ++lane) {
    std::uint64_t hash = 0xcbf29ce484222325ULL + lane;
    for (const char c : content) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    for (std::size_t i = 0; i < 8; ++i) digest[lane * 8 + i] = static_cast<std::uint8_t>(hash >> (8 * i));
  }
  return digest;
}

platform::Status SimPayloadIntegrity::Manifest(std::string& text) {
  if (!manifest_) return platform::kFileNotFound;
  text = *manifest_;
  return platform::kSuccess;
}

platform::Status SimPayloadIntegrity::Open(const std::string& path, std::string& content) {
  // Opening goes through the file system, so that a missing file or a folder answers as
  // CreateFileA does, and an injected failure on the source reaches this too.
  std::uint32_t attributes = 0;
  const platform::Status status = files_.GetAttributes(path, attributes);
  if (status != platform::kSuccess) return status;
  if ((attributes & platform::kAttrDirectory) != 0) return platform::kAccessDenied;
  std::optional<std::string> read = files_.ReadFile(path);
  if (!read) return platform::kFileNotFound;
  content = std::move(*read);
  return platform::kSuccess;
}

platform::Status SimPayloadIntegrity::HashFile(const std::string& path, std::uint64_t& size,
                                               platform::Sha256Digest& digest,
                                               std::unique_ptr<platform::HeldFile>& held) {
  std::string content;
  if (const platform::Status opened = Open(path, content); opened != platform::kSuccess) return opened;
  size = content.size();
  digest = Digest(content);
  held = std::make_unique<SimHeldFile>(held_, files_, path);
  return platform::kSuccess;
}

platform::Status SimPayloadIntegrity::HoldFile(const std::string& path, std::uint64_t& size,
                                               std::unique_ptr<platform::HeldFile>& held) {
  std::string content;
  if (const platform::Status opened = Open(path, content); opened != platform::kSuccess) return opened;
  size = content.size();
  held = std::make_unique<SimHeldFile>(held_, files_, path);
  return platform::kSuccess;
}

}  // namespace sim
