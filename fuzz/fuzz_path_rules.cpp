// Fuzzes the folder chooser's path rules: the component rule, validation alone (which must never
// touch the disk) and level-by-level creation on a fresh simulated machine, which must only ever
// make folders that the typed path names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "ui/path_dialog.h"

namespace {

// Counts every call, then lets the simulated file system answer.
class CountingFiles final : public platform::FileSystem {
 public:
  explicit CountingFiles(platform::FileSystem& inner) : inner_(inner) {}
  std::size_t calls = 0;

  platform::Status FindFirst(const std::string& pattern, platform::FindEntry& first,
                             std::unique_ptr<platform::Listing>& listing) override {
    ++calls;
    return inner_.FindFirst(pattern, first, listing);
  }
  platform::Status CreateDirectory(const std::string& path) override {
    ++calls;
    return inner_.CreateDirectory(path);
  }
  platform::Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) override {
    ++calls;
    return inner_.CopyFile(source, destination, failIfExists);
  }
  platform::Status GetAttributes(const std::string& path, std::uint32_t& attributes) override {
    ++calls;
    return inner_.GetAttributes(path, attributes);
  }
  platform::Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
    ++calls;
    return inner_.SetAttributes(path, attributes);
  }
  platform::Status DeleteFile(const std::string& path) override {
    ++calls;
    return inner_.DeleteFile(path);
  }
  platform::Status RemoveDirectory(const std::string& path) override {
    ++calls;
    return inner_.RemoveDirectory(path);
  }
  platform::Status DeleteLater(const std::string& path) override {
    ++calls;
    return inner_.DeleteLater(path);
  }
  platform::Status ProtectFolder(const std::string& path) override {
    ++calls;
    return inner_.ProtectFolder(path);
  }
  platform::Status ReadSecurity(const std::string& path, platform::FileSecurity& security) override {
    ++calls;
    return inner_.ReadSecurity(path, security);
  }
  platform::Status MoveFile(const std::string& source, const std::string& destination) override {
    ++calls;
    return inner_.MoveFile(source, destination);
  }
  platform::Status CancelDeleteLater(const std::string& path) override {
    ++calls;
    return inner_.CancelDeleteLater(path);
  }
  platform::Status FlushFile(const std::string& path) override {
    ++calls;
    return inner_.FlushFile(path);
  }
  platform::Status ProtectPrivateFolder(const std::string& path) override {
    ++calls;
    return inner_.ProtectPrivateFolder(path);
  }
  platform::Status SetOwner(const std::string& path, const std::string& sid) override {
    ++calls;
    return inner_.SetOwner(path, sid);
  }

 private:
  platform::FileSystem& inner_;
};

// The folders a path names, shortest first: every prefix that ends before a '\' that is a
// character of its own, past the drive root, and the whole path.
std::set<std::string> NamedFolders(std::string_view path) {
  std::set<std::string> folders;
  for (const std::size_t start : fuzzcheck::CharStarts(path)) {
    if (start > 2 && path[start] == '\\') {
      folders.emplace(path.substr(0, start));
    }
  }
  folders.emplace(path);
  return folders;
}

// A new folder is acceptable when it is one of the folders the path names: its parents may
// differ in letter case (they existed already), its own name must be exactly as typed.
bool IsNamedBy(const std::string& created, const std::set<std::string>& named) {
  const std::size_t slash = text::ReverseFind(created, '\\');
  const std::string_view leaf = std::string_view(created).substr(slash + 1);
  return std::any_of(named.begin(), named.end(), [&](const std::string& folder) {
    if (!text::EqualsNoCase(folder, created)) return false;
    return std::string_view(folder).substr(folder.size() - leaf.size()) == leaf;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Paths past 259 characters are refused by length first; a little beyond that is enough.
  if (size > 600) return 0;
  const std::string path(reinterpret_cast<const char*>(data), size);

  // The component rule, and its agreement with the path rule under a drive root.
  const bool componentValid = CPathDialog::IsComponentValid(path);
  if (componentValid) {
    FUZZ_CHECK(!path.empty());
    // The ANSI API ends a name at its first NUL: a name holding one would make another folder.
    FUZZ_CHECK(path.find('\0') == std::string::npos);
  }
  if (!path.empty() && text::Find(path, '\\') == std::string::npos && path.size() <= 256) {
    sim::SimFileSystem untouched;
    const platform::Status rooted = CPathDialog::CreatePath(untouched, "C:\\" + path, true);
    FUZZ_CHECK((rooted == platform::kSuccess) == componentValid);
  }

  // Validation alone: a verdict on the text, without a single file-system call.
  sim::SimMachine machine;
  CountingFiles counting(machine.files());
  const platform::Status verdict = CPathDialog::CreatePath(counting, path, true);
  FUZZ_CHECK(counting.calls == 0);
  FUZZ_CHECK(verdict == platform::kSuccess || verdict == platform::kInvalidName);
  if (verdict == platform::kSuccess) {
    FUZZ_CHECK(path.size() <= 259);
    FUZZ_CHECK(path.find('\0') == std::string::npos);
    // The install folder goes one level below the chosen one: the chosen folder must stay its
    // parent, which a half character at the end (taking the '\' for its trail byte) would undo.
    if (path.size() > 3 && path.size() + 12 <= 259) {
      sim::SimFileSystem untouched;
      const std::string below = path + "\\V-ZurezUvad";
      FUZZ_CHECK(CPathDialog::CreatePath(untouched, below, true) == platform::kSuccess);
      FUZZ_CHECK(NamedFolders(below).count(path) == 1);
    }
  }

  // Creation on a fresh machine.
  const std::vector<std::string> before = machine.files().Tree();
  const platform::Status created = CPathDialog::CreatePath(machine.files(), path, false);
  const std::vector<std::string> after = machine.files().Tree();
  if (verdict != platform::kSuccess) {
    FUZZ_CHECK(created != platform::kSuccess);  // a malformed path is never ready
  } else if (created != platform::kSuccess) {
    FUZZ_CHECK(!machine.files().Exists(path));  // a failure leaves a level missing
  }
  // Ready means every level is there: a folder made or found, or (the rule counts any entry, as
  // GetFileAttributesA does) the machine's own program file named whole.
  if (created == platform::kSuccess) {
    FUZZ_CHECK(machine.files().IsDirectory(path) || (machine.files().Exists(path) && after == before));
  }

  const std::set<std::string> named = NamedFolders(path);
  const std::set<std::string> old(before.begin(), before.end());
  for (std::string entry : after) {
    if (old.count(entry) != 0) continue;
    FUZZ_CHECK(!entry.empty() && entry.back() == '\\');  // only folders are ever made
    entry.pop_back();
    FUZZ_CHECK(IsNamedBy(entry, named));
  }
  return 0;
}
