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
  [[nodiscard]] Status MoveFile(const std::string& source, const std::string& destination) override;
  Status RemoveDirectory(const std::string& path) override;
  Status DeleteLater(const std::string& path) override;
  Status ProtectFolder(const std::string& path) override;
  Status ReadSecurity(const std::string& path, FileSecurity& security) override;
  Status FlushFile(const std::string& path) override;
  bool HasNamedStreams(const std::string& path) override;
  Status CancelDeleteLater(const std::string& path) override;
  Status ProtectPrivateFolder(const std::string& path) override;
  Status SetOwner(const std::string& path, const std::string& sid) override;

 private:
  // The owner and list `sddl` names for the folder, and the owner and inheritance for what it holds.
  static Status ResetFolderSecurity(const std::string& path, const wchar_t* sddl);
};

// The owner and access list ProtectFolder sets, in the security descriptor language: owned by
// Administrators (O:BA); the list protected (P) and marked as taking part in automatic inheritance
// (AI); Administrators (BA) and SYSTEM (SY) full access (FA), Users (BU) read and execute
// (0x1200a9: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), each inherited by sub-folders (CI) and
// files (OI).
inline constexpr const wchar_t* kProtectedFolderSddl =
    L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
// ProtectPrivateFolder's: the same without Users.
inline constexpr const wchar_t* kPrivateFolderSddl = L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

}  // namespace platform::win32
