// The file-system interface over the ANSI file API; failures are GetLastError() values.
#pragma once
#include "platform/files.h"

namespace platform::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  Status FindFirst(const std::string& pattern, FindEntry& first, std::unique_ptr<Listing>& listing) override;
  Status CreateDirectory(const std::string& path) override;
  Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) override;
  Status GetAttributes(const std::string& path, std::uint32_t& attributes) override;
  Status SetAttributes(const std::string& path, std::uint32_t attributes) override;
  Status DeleteFile(const std::string& path) override;
};

}  // namespace platform::win32
