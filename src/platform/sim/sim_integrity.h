// The simulated machine's payload manifest and file digests: the manifest as a test sets it, digests of the simulated files.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/payload_integrity.h"
#include "platform/sim/sim_files.h"

namespace sim {

// The simulated machine's digest of a file's content, in the place of CNG's SHA-256: not SHA-256
// (which only the scenarios, on the real program, check against sha256sum), but like it different
// for any other content, down to one byte.
platform::Sha256Digest Digest(std::string_view content);

class SimPayloadIntegrity final : public platform::PayloadIntegrity {
 public:
  explicit SimPayloadIntegrity(SimFileSystem& files) : files_(files) {}

  platform::Status Manifest(std::string& text) override;
  platform::Status HashFile(const std::string& path, std::uint64_t& size, platform::Sha256Digest& digest,
                            std::unique_ptr<platform::HeldFile>& held) override;
  platform::Status HoldFile(const std::string& path, std::uint64_t& size,
                            std::unique_ptr<platform::HeldFile>& held) override;

  // The manifest the program carries; none by default, as in a development build.
  void SetManifest(std::optional<std::string> text) { manifest_ = std::move(text); }
  // Files hashed and still held open.
  std::size_t HeldCount() const { return *held_; }

 private:
  // A file as CreateFileA opens it for reading: missing, a folder, or its content.
  platform::Status Open(const std::string& path, std::string& content);

  SimFileSystem& files_;
  std::optional<std::string> manifest_;
  std::shared_ptr<std::size_t> held_ = std::make_shared<std::size_t>(0);
};

}  // namespace sim
