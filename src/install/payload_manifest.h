// The payload manifest: what the release's SetUp.exe carries about each file of Data\ (name, size, SHA-256), and the check of the payload against it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "platform/payload_integrity.h"
#include "records/install_record.h"

namespace install {

// The manifest's first line; scripts/package.sh writes the same.
inline constexpr std::string_view kManifestHeader = "Vornex payload manifest 1";

struct ManifestEntry {
  std::u8string name;  // a plain file name, UTF-8
  std::uint64_t size = 0;
  platform::Sha256Digest digest{};
};

// The header line, then one line per file: 64 hexadecimal digits of the SHA-256, a space, the size
// in bytes, a space, the name (to the end of the line). False for anything else, a name with a path
// in it, or a name given twice: a manifest we cannot read whole protects nothing.
[[nodiscard]] bool ParseManifest(std::string_view text, std::vector<ManifestEntry>& entries);

// The payload as checked before the installation changes anything: every listed file there, at its
// listed size, and the SHA-256 of those the payload copy does not take. The files it takes are read
// once, by their copy, which hashes what it reads (CopyChecked): a difference found there stops the
// run, and its rollback leaves the machine as it was. The files stay held open (see
// platform::HeldFile) for as long as this object lives, so that what the installation copies and
// places is what was checked.
class CheckedPayload {
 public:
  enum class Result {
    kNoManifest,  // a development or demo build: every file of the payload is installed, as ever
    kIntact,      // every file the manifest lists is there as listed; only those are installed
    kRejected,    // missing, different or unreadable (said and logged): nothing may be changed
  };

  // Shows its own message when the payload is rejected; writes what it found to `record`'s log.
  [[nodiscard]] Result Check(platform::Machine& machine, InstallRecord& record);

  // Whether a file of the payload may be installed: any without a manifest, the listed ones with one.
  bool MayInstall(std::string_view ansiName) const;
  // Whether its content is known to be the listed one by now: false for a file still to be checked
  // by its copy, or whose copy did not finish. Placed elsewhere only then.
  bool Verified(std::string_view ansiName) const;

  // Whether the file's content is checked by its copy, with CopyChecked.
  bool ChecksWhileCopying(std::string_view ansiName) const { return PendingAt(ansiName) < m_pending.size(); }
  // Copies such a file to `destination`, hashing what it reads. Not kSuccess: the copy failed (and
  // left nothing). kSuccess with `differs`: what was read is not what the manifest lists; the copy
  // is there, the message shown and the file named in `record`'s log.
  [[nodiscard]] platform::Status CopyChecked(std::string_view ansiName, const std::string& destination, bool& differs,
                                             platform::Machine& machine, InstallRecord* record);

 private:
  struct PendingFile {
    std::string upper;  // upper-cased ANSI name
    const ManifestEntry* entry;
    platform::HeldFile* held;
    bool verified = false;
  };
  // Where the file is among those its copy checks; m_pending.size() when it is not one of them.
  std::size_t PendingAt(std::string_view ansiName) const;
  // Says and logs that a payload file differs from the manifest, naming it.
  void Reject(platform::Machine& machine, InstallRecord* record, const std::u8string& name,
              const std::u8string& fault) const;

  bool m_bManifest = false;
  std::string m_strFolder;
  std::vector<ManifestEntry> m_entries;
  std::vector<std::string> m_listed;  // upper-cased ANSI names
  std::vector<std::unique_ptr<platform::HeldFile>> m_held;
  std::vector<PendingFile> m_pending;
};

}  // namespace install
