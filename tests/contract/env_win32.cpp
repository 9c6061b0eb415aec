// The contract tests' environment on Windows and under Wine: the Win32 adapters, a scratch key
// under HKEY_CURRENT_USER and a scratch folder under the temp folder, both removed afterwards.
#ifdef SETUP_CONTRACT_WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "contract/contract_env.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_api.h"

namespace contract {
namespace {

using platform::win32::CurrentUserKey;
using platform::win32::UniqueFindHandle;
using platform::win32::UniqueHkey;

constexpr const char* kScratchRoot = "Software\\VornexContractTest";

// Unique across the tests of one run and across runs that share a prefix.
std::string UniqueName() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// RegDeleteKeyA refuses a key that still has sub-keys, so the tree goes deepest first.
// The depth bound stops a runaway walk; the registry allows 512 levels.
bool DeleteKeyTree(HKEY parent, const std::string& name, int depth) {
  if (depth > 600) return false;
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS) return false;
  UniqueHkey key(raw);
  // Sized from the key itself: Wine accepts names longer than Windows' 255 characters.
  DWORD longest = 0;
  ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
  const DWORD capacity = std::max<DWORD>(longest, platform::kMaxKeyNameChars) + 1;
  DWORD index = 0;  // stays 0 while children go away; moves past a child that would not
  for (;;) {
    std::string child(capacity, '\0');
    DWORD length = capacity;
    const LSTATUS st = ::RegEnumKeyExA(key.get(), index, child.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (st != ERROR_SUCCESS) break;
    child.resize(length);
    if (!DeleteKeyTree(key.get(), child, depth + 1)) ++index;
  }
  key.reset();
  return ::RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

// Removes a folder and everything in it; read-only entries are made writable first.
void RemoveFolderTree(const std::string& folder, int depth) {
  if (depth > 100) return;
  WIN32_FIND_DATAA data{};
  UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveFolderTree(path, depth + 1);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find.get(), &data));
  }
  find.reset();
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(folder.c_str());
}

std::string TempFolder() {
  const DWORD size = ::GetTempPathA(0, nullptr);
  std::string path(size, '\0');
  const DWORD length = ::GetTempPathA(size, path.data());
  if (length == 0 || length >= size) return "C:\\";
  path.resize(length);
  return path;  // ends in a backslash
}

class Win32Env final : public Env {
 public:
  Win32Env() {
    const std::string unique = UniqueName();
    scratchKey_ = std::string(kScratchRoot) + "\\" + unique;
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(CurrentUserKey(), scratchKey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, &raw, nullptr) == ERROR_SUCCESS) {
      UniqueHkey created(raw);
    } else {
      ADD_FAILURE() << "cannot create the scratch key HKCU\\" << scratchKey_;
    }
    scratchDir_ = TempFolder() + "vxc-" + unique;
    if (!::CreateDirectoryA(scratchDir_.c_str(), nullptr)) {
      ADD_FAILURE() << "cannot create the scratch folder " << scratchDir_ << " (error " << ::GetLastError() << ")";
    }
  }

  ~Win32Env() override {
    DeleteKeyTree(CurrentUserKey(), scratchKey_, 0);
    ::RegDeleteKeyA(CurrentUserKey(), kScratchRoot);  // refused while another test still has a key there
    RemoveFolderTree(scratchDir_, 0);
  }

  platform::Registry& Registry() override { return registry_; }
  platform::FileSystem& Files() override { return files_; }
  platform::SystemInfo& System() override { return system_; }
  std::string ScratchKey() override { return scratchKey_; }
  std::string ScratchDir() override { return scratchDir_; }
  bool IsWine() override { return WineVersion() != nullptr; }

  static const char* WineVersion() {
    // The documented way to ask Wine for its version: a plain C function exported by its ntdll.
    using WineGetVersion = const char* (*)();
    const auto getVersion =
        platform::win32::FindProc<WineGetVersion>(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return getVersion != nullptr ? getVersion() : nullptr;
  }

 private:
  platform::win32::Win32Registry registry_;
  platform::win32::Win32FileSystem files_;
  platform::win32::Win32SystemInfo system_;
  std::string scratchKey_;
  std::string scratchDir_;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<Win32Env>(); }

}  // namespace contract

int main(int argc, char** argv) {
  const char* wine = contract::Win32Env::WineVersion();
  std::printf("contract_tests: ANSI code page %u, OEM code page %u, %s%s\n", ::GetACP(), ::GetOEMCP(),
              wine != nullptr ? "Wine " : "Windows", wine != nullptr ? wine : "");
  std::fflush(stdout);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#endif  // SETUP_CONTRACT_WIN32
