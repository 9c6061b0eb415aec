// RAII owners for the kernel handles the adapters open, and the handle constants Windows defines with casts.
#pragma once
#include <utility>

#include "platform/status.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// INVALID_HANDLE_VALUE and the predefined registry roots are macros built from C-style casts;
// they are produced in one translation unit so that the rest of the code stays warning-free.
HANDLE InvalidHandleValue();
HKEY LocalMachineKey();
HKEY CurrentUserKey();
HKEY UsersKey();
// True for HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and the other roots, which are not ours to close.
bool IsPredefinedKey(HKEY key);

// Whether what `file` is open on is a link (a reparse point) or a file with another name besides:
// either would let someone else decide what is read or written through it. Asked of the handle
// alone: GetFileInformationByHandle would also ask the volume for its serial number.
[[nodiscard]] Status IsLinkOrSecondName(HANDLE file, bool& linked);

// A handle closed by `Close` unless it is `Invalid`.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Traits::Invalid()));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  void reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }
  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }

 private:
  Handle handle_ = Traits::Invalid();
};

// FindFirstFileA's handle: INVALID_HANDLE_VALUE on failure, released with FindClose.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::FindClose(handle); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// CreateToolhelp32Snapshot's handle: INVALID_HANDLE_VALUE on failure, released with CloseHandle.
struct SnapshotHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueSnapshot = UniqueHandle<SnapshotHandleTraits>;

// CreateFileA's handle: INVALID_HANDLE_VALUE on failure, released with CloseHandle.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// A kernel object handle that is null on failure (a process token, say), released with CloseHandle.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// An HKEY we opened ourselves; the predefined roots are never closed.
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle key) {
    if (!IsPredefinedKey(key)) ::RegCloseKey(key);
  }
};
using UniqueHkey = UniqueHandle<RegKeyTraits>;

// GetLastError as a platform status; never kSuccess, even when the API failed without saying why.
Status LastErrorStatus();

}  // namespace platform::win32
