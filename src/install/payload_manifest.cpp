// The payload manifest: reading it and checking the payload's files against it.
#include "install/payload_manifest.h"

#include <algorithm>
#include <cstddef>

#include "install/payload.h"
#include "platform/file_queries.h"
#include "platform/path_limits.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "records/install_texts.h"

namespace install {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseLine(std::string_view line, ManifestEntry& entry) {
  constexpr std::size_t kHexDigits = 64;
  if (line.size() < kHexDigits + 4 || line[kHexDigits] != ' ') return false;
  for (std::size_t i = 0; i < entry.digest.size(); ++i) {
    const int high = HexValue(line[2 * i]);
    const int low = HexValue(line[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    entry.digest[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  std::size_t at = kHexDigits + 1;
  std::uint64_t size = 0;
  const std::size_t digitsFrom = at;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    if (at - digitsFrom >= 19) return false;  // beyond any file the payload holds, and beyond 64 bits
    size = size * 10 + static_cast<std::uint64_t>(line[at] - '0');
  }
  if (at == digitsFrom || at >= line.size() || line[at] != ' ') return false;
  const std::string_view name = line.substr(at + 1);
  // A plain name: the check and the copy join it to the payload folder, and nothing may reach out of it.
  if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:*?\"<>|") != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return false;
  }
  entry.size = size;
  entry.name.assign(name.begin(), name.end());
  return true;
}

std::string Hex(const platform::Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t byte : digest) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

// The message naming a payload file: its path when the code page can hold the name, the name alone when not.
std::u8string NamingText(std::u8string_view pattern, const std::string& folder, const std::u8string& name) {
  std::u8string out(pattern);
  const std::size_t at = out.find(u8"{}");
  if (at != std::u8string::npos) out.replace(at, 2, text::AnsiToU8(folder) + u8"\\" + name);
  return out;
}

std::u8string SizeFault(std::uint64_t size, std::uint64_t listed) {
  return u8"大小为 " + text::Decimal(size) + u8" 字节，清单中为 " + text::Decimal(listed) + u8" 字节";
}

std::u8string DigestFault(const platform::Sha256Digest& digest, const platform::Sha256Digest& listed) {
  return u8"SHA-256 为 " + text::AnsiToU8(Hex(digest)) + u8"，清单中为 " + text::AnsiToU8(Hex(listed));
}

}  // namespace

bool ParseManifest(std::string_view text, std::vector<ManifestEntry>& entries) {
  entries.clear();
  std::vector<std::u8string> seen;
  bool header = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (header) {
      if (line != kManifestHeader) return false;
      header = false;
      continue;
    }
    if (line.empty()) continue;
    ManifestEntry entry;
    if (!ParseLine(line, entry)) return false;
    // Names compare as the file system compares them, without regard to letter case.
    std::u8string upper = text::ToUpperUtf8(entry.name);
    if (std::find(seen.begin(), seen.end(), upper) != seen.end()) return false;
    seen.push_back(std::move(upper));
    entries.push_back(std::move(entry));
  }
  return !header;
}

CheckedPayload::Result CheckedPayload::Check(platform::Machine& machine, InstallRecord& record) {
  m_bManifest = false;
  m_listed.clear();
  m_pending.clear();
  m_held.clear();
  m_entries.clear();
  std::string manifest;
  const platform::Status found = machine.integrity.Manifest(manifest);
  if (found == platform::kFileNotFound) {
    record.Note(u8"本SetUp.exe不带安装文件清单（开发版或演示版），安装文件未校验。");
    return Result::kNoManifest;
  }
  if (found != platform::kSuccess || !ParseManifest(manifest, m_entries)) {
    record.Note(u8"安装文件清单无法读取。");
    machine.prompts.MessageBox(0, kManifestDamagedText, kCaption, platform::kMbOk);
    return Result::kRejected;
  }
  m_bManifest = true;

  std::string& folder = m_strFolder;
  if (!FindPayloadFolder(folder, machine)) {
    record.Note(u8"未找到安装文件夹：" + text::AnsiToU8(folder));
    return Result::kRejected;
  }

  for (const ManifestEntry& entry : m_entries) {
    std::string name;
    std::u8string fault;
    std::uint64_t size = 0;
    platform::Sha256Digest digest{};
    std::unique_ptr<platform::HeldFile> held;
    std::string path = folder;
    // The payload copy's own files are hashed as they are copied: read once, not twice.
    const bool converted = text::Utf8ToAnsi(text::Utf8Bytes(entry.name), name);
    const bool byCopy = converted && PayloadCopyTakes(name);
    if (!converted) {
      fault = u8"文件名无法用本系统的代码页表示";
    } else if (!FitsMaxPath(path.append("\\").append(name))) {
      fault = u8"路径过长";
    } else if (const platform::Status opened = byCopy ? machine.integrity.HoldFile(path, size, held)
                                                      : machine.integrity.HashFile(path, size, digest, held);
               opened == platform::kFileNotFound || opened == platform::kPathNotFound) {
      fault = u8"文件不存在";
    } else if (opened != platform::kSuccess) {
      fault = u8"无法读取：" + DescribeError(machine.logging.errors, opened);
    } else if (size != entry.size) {
      fault = SizeFault(size, entry.size);
    } else if (!byCopy && digest != entry.digest) {
      fault = DigestFault(digest, entry.digest);
    }
    if (!fault.empty()) {
      m_held.clear();
      m_pending.clear();
      Reject(machine, &record, entry.name, fault);
      return Result::kRejected;
    }
    m_listed.push_back(text::ToUpper(name));
    if (byCopy) m_pending.push_back({m_listed.back(), &entry, held.get()});
    m_held.push_back(std::move(held));
  }
  record.Note(u8"安装文件与清单一致：" + text::Decimal(m_entries.size()) + u8" 个文件。");
  if (!m_pending.empty()) record.Note(u8"其中 " + text::Decimal(m_pending.size()) + u8" 个文件的内容在拷贝时校验。");

  // What else lies in the payload folder is named and left where it is.
  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  if (ListFolder(folder, entry, listing, machine)) {
    do {
      if ((entry.attributes & platform::kAttrDirectory) != 0 || MayInstall(entry.name)) continue;
      record.Note(u8"清单中没有的文件，不安装：" + text::AnsiToU8(folder + "\\" + entry.name));
    } while (listing->Next(entry));
  }
  return Result::kIntact;
}

bool CheckedPayload::MayInstall(std::string_view ansiName) const {
  if (!m_bManifest) return true;
  const std::string upper = text::ToUpper(ansiName);
  return std::find(m_listed.begin(), m_listed.end(), upper) != m_listed.end();
}

bool CheckedPayload::Verified(std::string_view ansiName) const {
  if (!MayInstall(ansiName)) return false;
  const std::size_t at = PendingAt(ansiName);
  return at == m_pending.size() || m_pending[at].verified;
}

std::size_t CheckedPayload::PendingAt(std::string_view ansiName) const {
  if (m_pending.empty()) return 0;
  const std::string upper = text::ToUpper(ansiName);
  const auto found = std::find_if(m_pending.begin(), m_pending.end(),
                                  [&upper](const PendingFile& pending) { return pending.upper == upper; });
  return static_cast<std::size_t>(found - m_pending.begin());
}

platform::Status CheckedPayload::CopyChecked(std::string_view ansiName, const std::string& destination, bool& differs,
                                             platform::Machine& machine, InstallRecord* record) {
  differs = false;
  const std::size_t at = PendingAt(ansiName);
  if (at == m_pending.size()) return platform::kFileNotFound;
  PendingFile* pending = &m_pending[at];
  pending->verified = false;
  std::uint64_t size = 0;
  platform::Sha256Digest digest{};
  const platform::Status copied = pending->held->CopyTo(destination, size, digest);
  if (copied != platform::kSuccess) return copied;
  const ManifestEntry& entry = *pending->entry;
  if (size == entry.size && digest == entry.digest) {
    pending->verified = true;
    return platform::kSuccess;
  }
  differs = true;
  Reject(machine, record, entry.name, size != entry.size ? SizeFault(size, entry.size) : DigestFault(digest, entry.digest));
  return platform::kSuccess;
}

void CheckedPayload::Reject(platform::Machine& machine, InstallRecord* record, const std::u8string& name,
                            const std::u8string& fault) const {
  if (record != nullptr) record->Note(u8"安装文件与清单不符：" + text::AnsiToU8(m_strFolder) + u8"\\" + name + u8"：" + fault);
  machine.prompts.MessageBox(0, NamingText(kPayloadAlteredText, m_strFolder, name), kCaption, platform::kMbOk);
}

}  // namespace install
