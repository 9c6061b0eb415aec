// Payload manifest and digests: FindResourceW on our own module; CreateFileA, ReadFile and CNG's SHA-256.
#include "platform/win32/win32_integrity.h"

#include <bcrypt.h>

#include "platform/win32/win32_handles.h"

namespace platform::win32 {
namespace {

// Large reads keep the number of calls (and Wine's server round trips) low; one buffer for all files.
constexpr DWORD kReadChunk = kCopyChunkBytes;

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

// The attributes a copy carries, as CopyFile carries them.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

class Win32HeldFile final : public HeldFile {
 public:
  Win32HeldFile(UniqueFile file, Win32PayloadIntegrity& integrity) : file_(std::move(file)), integrity_(integrity) {}

  // Our own read-and-write loop rather than CopyFileA: the bytes the hash sees are the bytes
  // written, read once. (It is as fast as CopyFileA under Wine with pieces this large.)
  Status CopyTo(const std::string& destination, std::uint64_t& size, Sha256Digest& digest) override {
    if (destination.find('\0') != std::string::npos) return kInvalidName;
    // Attributes and times asked of the handle alone (not the volume's serial number with them).
    FILE_BASIC_INFO info{};
    LARGE_INTEGER start{};
    // From the start each time: a copy tried again after a failure reads the file whole again.
    if (!::GetFileInformationByHandleEx(file_.get(), FileBasicInfo, &info, sizeof info) ||
        !::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) {
      return LastErrorStatus();
    }
    // CREATE_ALWAYS replaces a file there and fails on a read-only one, as CopyFile does.
    UniqueFile target(::CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    (info.FileAttributes & kCarriedAttributes) | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!target) return LastErrorStatus();
    Status status = integrity_.Stream(file_.get(), target.get(), size, digest);
    const FILETIME written{info.LastWriteTime.LowPart, static_cast<DWORD>(info.LastWriteTime.HighPart)};
    if (status == kSuccess && !::SetFileTime(target.get(), nullptr, nullptr, &written)) {
      status = LastErrorStatus();
    }
    if (status == kSuccess) return kSuccess;
    target.reset();
    // Half a module would be loaded as readily as a whole one.
    ::SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(destination.c_str());
    return status;
  }

 private:
  UniqueFile file_;
  Win32PayloadIntegrity& integrity_;
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

// bcrypt.dll is not imported: an import is resolved before wWinMain restricts the DLL search, and
// whatever it loaded by name would be looked for beside SetUp.exe first. Loaded after that, it
// comes from the system folder only; it stays loaded for the life of the process.
struct Win32PayloadIntegrity::Cng {
  decltype(&::BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&::BCryptCreateHash) createHash = nullptr;
  decltype(&::BCryptHashData) hashData = nullptr;
  decltype(&::BCryptFinishHash) finishHash = nullptr;
  decltype(&::BCryptDestroyHash) destroyHash = nullptr;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
};

Win32PayloadIntegrity::Win32PayloadIntegrity() = default;

Win32PayloadIntegrity::~Win32PayloadIntegrity() {
  if (cng_ && cng_->algorithm != nullptr) cng_->close(cng_->algorithm, 0);
}

Status Win32PayloadIntegrity::Manifest(std::string& text) {
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kManifestResourceId), MAKEINTRESOURCEW(10));
  if (found == nullptr) return kFileNotFound;
  const HGLOBAL loaded = ::LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return LastErrorStatus();
  text.assign(static_cast<const char*>(bytes), ::SizeofResource(nullptr, found));
  return kSuccess;
}

Status Win32PayloadIntegrity::OpenCng() {
  if (cng_) return cng_->algorithm != nullptr ? kSuccess : kModNotFound;
  cng_ = std::make_unique<Cng>();
  const HMODULE bcrypt = ::LoadLibraryW(L"bcrypt.dll");
  if (bcrypt == nullptr) return kModNotFound;
  Cng& cng = *cng_;
  cng.open = FindProc<decltype(cng.open)>(bcrypt, "BCryptOpenAlgorithmProvider");
  cng.close = FindProc<decltype(cng.close)>(bcrypt, "BCryptCloseAlgorithmProvider");
  cng.createHash = FindProc<decltype(cng.createHash)>(bcrypt, "BCryptCreateHash");
  cng.hashData = FindProc<decltype(cng.hashData)>(bcrypt, "BCryptHashData");
  cng.finishHash = FindProc<decltype(cng.finishHash)>(bcrypt, "BCryptFinishHash");
  cng.destroyHash = FindProc<decltype(cng.destroyHash)>(bcrypt, "BCryptDestroyHash");
  if (cng.open == nullptr || cng.close == nullptr || cng.createHash == nullptr || cng.hashData == nullptr ||
      cng.finishHash == nullptr || cng.destroyHash == nullptr ||
      !Succeeded(cng.open(&cng.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    cng.algorithm = nullptr;
    return kModNotFound;
  }
  return kSuccess;
}

namespace {

// Shared for reading only: from here until the handle goes, nobody can change, rename or delete the
// file, and the copy reads what was checked.
Status OpenHeld(const std::string& path, UniqueFile& file) {
  if (path.find('\0') != std::string::npos) return kInvalidName;
  file.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return file ? kSuccess : LastErrorStatus();
}

}  // namespace

Status Win32PayloadIntegrity::HashFile(const std::string& path, std::uint64_t& size, Sha256Digest& digest,
                                       std::unique_ptr<HeldFile>& held) {
  UniqueFile file;
  if (const Status opened = OpenHeld(path, file); opened != kSuccess) return opened;
  if (const Status hashed = Stream(file.get(), nullptr, size, digest); hashed != kSuccess) return hashed;
  held = std::make_unique<Win32HeldFile>(std::move(file), *this);
  return kSuccess;
}

Status Win32PayloadIntegrity::HoldFile(const std::string& path, std::uint64_t& size, std::unique_ptr<HeldFile>& held) {
  UniqueFile file;
  if (const Status opened = OpenHeld(path, file); opened != kSuccess) return opened;
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file.get(), &length)) return LastErrorStatus();
  size = static_cast<std::uint64_t>(length.QuadPart);
  held = std::make_unique<Win32HeldFile>(std::move(file), *this);
  return kSuccess;
}

Status Win32PayloadIntegrity::Stream(HANDLE source, HANDLE destination, std::uint64_t& size, Sha256Digest& digest) {
  if (const Status opened = OpenCng(); opened != kSuccess) return opened;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(cng_->createHash(cng_->algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return kFunctionFailed;
  struct HashOwner {
    Cng& cng;
    BCRYPT_HASH_HANDLE handle;
    ~HashOwner() { cng.destroyHash(handle); }
  } owner{*cng_, hash};

  if (buffer_.empty()) buffer_.resize(kReadChunk);
  std::uint64_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source, buffer_.data(), kReadChunk, &read, nullptr)) return LastErrorStatus();
    if (read == 0) break;
    if (!Succeeded(cng_->hashData(hash, buffer_.data(), read, 0))) return kFunctionFailed;
    if (destination != nullptr) {
      DWORD written = 0;
      if (!::WriteFile(destination, buffer_.data(), read, &written, nullptr)) return LastErrorStatus();
      if (written != read) return kFunctionFailed;  // a disk file is written whole or the call fails
    }
    total += read;
  }
  if (!Succeeded(cng_->finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) return kFunctionFailed;
  size = total;
  return kSuccess;
}

}  // namespace platform::win32
