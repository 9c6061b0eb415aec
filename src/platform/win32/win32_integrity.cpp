// Payload manifest and digests: FindResourceW on our own module; CreateFileA, ReadFile and CNG's SHA-256.
#include "platform/win32/win32_integrity.h"

#include <bcrypt.h>

#include "platform/win32/win32_handles.h"

namespace platform::win32 {
namespace {

// Large reads keep the number of calls (and Wine's server round trips) low; one buffer for all files.
constexpr DWORD kReadChunk = 1u << 20;

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

class Win32HeldFile final : public HeldFile {
 public:
  explicit Win32HeldFile(UniqueFile file) : file_(std::move(file)) {}

 private:
  UniqueFile file_;
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

Status Win32PayloadIntegrity::HashFile(const std::string& path, std::uint64_t& size, Sha256Digest& digest,
                                       std::unique_ptr<HeldFile>& held) {
  if (path.find('\0') != std::string::npos) return kInvalidName;
  if (const Status opened = OpenCng(); opened != kSuccess) return opened;
  // Shared for reading only: from here until `held` goes, nobody can change, rename or delete the
  // file, and the copy reads what was hashed.
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return LastErrorStatus();

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
    if (!::ReadFile(file.get(), buffer_.data(), kReadChunk, &read, nullptr)) return LastErrorStatus();
    if (read == 0) break;
    if (!Succeeded(cng_->hashData(hash, buffer_.data(), read, 0))) return kFunctionFailed;
    total += read;
  }
  if (!Succeeded(cng_->finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) return kFunctionFailed;
  size = total;
  held = std::make_unique<Win32HeldFile>(std::move(file));
  return kSuccess;
}

}  // namespace platform::win32
