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
  m_held.clear();
  std::string manifest;
  const platform::Status found = machine.integrity.Manifest(manifest);
  if (found == platform::kFileNotFound) {
    record.Note(u8"本SetUp.exe不带安装文件清单（开发版或演示版），安装文件未校验。");
    return Result::kNoManifest;
  }
  std::vector<ManifestEntry> entries;
  if (found != platform::kSuccess || !ParseManifest(manifest, entries)) {
    record.Note(u8"安装文件清单无法读取。");
    machine.prompts.MessageBox(0, kManifestDamagedText, kCaption, platform::kMbOk);
    return Result::kRejected;
  }
  m_bManifest = true;

  std::string folder;
  if (!FindPayloadFolder(folder, machine)) {
    record.Note(u8"未找到安装文件夹：" + text::AnsiToU8(folder));
    return Result::kRejected;
  }

  for (const ManifestEntry& entry : entries) {
    std::string name;
    std::u8string fault;
    std::uint64_t size = 0;
    platform::Sha256Digest digest{};
    std::unique_ptr<platform::HeldFile> held;
    std::string path = folder;
    if (!text::Utf8ToAnsi(text::Utf8Bytes(entry.name), name)) {
      fault = u8"文件名无法用本系统的代码页表示";
    } else if (!FitsMaxPath(path.append("\\").append(name))) {
      fault = u8"路径过长";
    } else if (const platform::Status hashed = machine.integrity.HashFile(path, size, digest, held);
               hashed == platform::kFileNotFound || hashed == platform::kPathNotFound) {
      fault = u8"文件不存在";
    } else if (hashed != platform::kSuccess) {
      fault = u8"无法读取：" + DescribeError(machine.logging.errors, hashed);
    } else if (size != entry.size) {
      fault = u8"大小为 " + text::Decimal(size) + u8" 字节，清单中为 " + text::Decimal(entry.size) + u8" 字节";
    } else if (digest != entry.digest) {
      fault = u8"SHA-256 为 " + text::AnsiToU8(Hex(digest)) + u8"，清单中为 " + text::AnsiToU8(Hex(entry.digest));
    }
    if (!fault.empty()) {
      m_held.clear();
      record.Note(u8"安装文件与清单不符：" + text::AnsiToU8(folder) + u8"\\" + entry.name + u8"：" + fault);
      machine.prompts.MessageBox(0, NamingText(kPayloadAlteredText, folder, entry.name), kCaption, platform::kMbOk);
      return Result::kRejected;
    }
    m_listed.push_back(text::ToUpper(name));
    m_held.push_back(std::move(held));
  }
  record.Note(u8"安装文件与清单一致：" + text::Decimal(entries.size()) + u8" 个文件。");

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

}  // namespace install
