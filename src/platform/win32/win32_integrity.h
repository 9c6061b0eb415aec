// The payload manifest from the program's own resources, and SHA-256 by Windows' CNG (bcrypt.dll, loaded when first needed).
#pragma once
#include <vector>

#include "platform/payload_integrity.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

class Win32PayloadIntegrity final : public PayloadIntegrity {
 public:
  Win32PayloadIntegrity();
  ~Win32PayloadIntegrity() override;
  Win32PayloadIntegrity(const Win32PayloadIntegrity&) = delete;
  Win32PayloadIntegrity& operator=(const Win32PayloadIntegrity&) = delete;

  Status Manifest(std::string& text) override;
  Status HashFile(const std::string& path, std::uint64_t& size, Sha256Digest& digest,
                  std::unique_ptr<HeldFile>& held) override;
  Status HoldFile(const std::string& path, std::uint64_t& size, std::unique_ptr<HeldFile>& held) override;

  // A file read from `source` to its end in pieces, each hashed and, when `destination` is given
  // (a file open for writing), written there: the digest of exactly what was read and written.
  Status Stream(HANDLE source, HANDLE destination, std::uint64_t& size, Sha256Digest& digest);

 private:
  struct Cng;
  // The algorithm provider, opened on the first file: a program without a manifest never loads bcrypt.
  Status OpenCng();

  std::unique_ptr<Cng> cng_;
  std::vector<unsigned char> buffer_;
};

}  // namespace platform::win32
