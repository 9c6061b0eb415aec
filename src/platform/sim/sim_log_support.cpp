// Appended files over the simulated file system, the settable clock and the error texts.
#include "platform/sim/sim_log_support.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace sim {
namespace {

using platform::Status;

// The owners whose files an elevated run writes to: what it creates belongs to Administrators.
bool IsTrustedOwner(const std::string& owner) {
  return owner == platform::kSidAdministrators || owner == platform::kSidSystem;
}

class SimAppendedFile final : public platform::AppendedFile {
 public:
  SimAppendedFile(SimAppendFiles& owner, std::string ansiPath) : owner_(owner), path_(std::move(ansiPath)) {}
  Status Append(std::u8string_view text) override { return owner_.AppendTo(path_, text); }

 private:
  SimAppendFiles& owner_;
  std::string path_;
};

}  // namespace

Status SimAppendFiles::OpenForAppend(std::u8string_view path, platform::Durability durability,
                                     std::unique_ptr<platform::AppendedFile>& file, std::uint64_t& sizeBefore) {
  file.reset();
  sizeBefore = 0;
  durability_[std::u8string(path)] = durability;
  std::string ansi;
  if (!text::ToAnsi(path, ansi)) return platform::kInvalidName;
  // The interface's own lookup gives the statuses CreateFile gives: kPathNotFound for a missing
  // folder, kFileNotFound for a missing file in an existing one.
  std::uint32_t attributes = 0;
  const Status found = files_.GetAttributes(ansi, attributes);
  if (found == platform::kFileNotFound) {
    if (!files_.WriteFile(ansi, "")) return platform::kPathNotFound;
  } else if (found != platform::kSuccess) {
    return found;
  } else if ((attributes & (platform::kAttrDirectory | platform::kAttrReadOnly | platform::kAttrReparsePoint)) != 0 ||
             files_.LinkCount(ansi) > 1 || !IsTrustedOwner(files_.SecurityOf(ansi)->owner)) {
    // Opened as the file itself, never through a link; a second name or an owner who is not an
    // administrator would let someone else read, or choose, what is written.
    return platform::kAccessDenied;
  }
  sizeBefore = files_.ReadFile(ansi).value_or(std::string()).size();
  file = std::make_unique<SimAppendedFile>(*this, ansi);
  return platform::kSuccess;
}

Status SimAppendFiles::AppendTo(const std::string& ansiPath, std::u8string_view text) {
  if (!killPath_.empty() && text::ToUpper(ansiPath) == killPath_) {
    if (appendsBeforeKill_ == 0) throw Killed{};
    --appendsBeforeKill_;
  }
  if (failures_ != 0) {
    if (failures_ > 0) --failures_;
    return failure_;
  }
  ++appends_[text::ToUpper(ansiPath)];
  // An open handle keeps its file; nothing in the program deletes a file it is writing.
  std::string content = files_.ReadFile(ansiPath).value_or(std::string());
  content += text::Utf8Bytes(text);
  const std::uint32_t attributes = files_.Attributes(ansiPath).value_or(platform::kAttrArchive);
  return files_.WriteFile(ansiPath, content, attributes) ? platform::kSuccess : platform::kAccessDenied;
}

int SimAppendFiles::AppendsTo(std::u8string_view path) const {
  std::string ansi;
  if (!text::ToAnsi(path, ansi)) return 0;
  const auto found = appends_.find(text::ToUpper(ansi));
  return found == appends_.end() ? 0 : found->second;
}

Status SimAppendFiles::ReadWhole(std::u8string_view path, std::u8string& content) {
  content.clear();
  std::string ansi;
  if (!text::ToAnsi(path, ansi)) return platform::kInvalidName;
  std::uint32_t attributes = 0;
  const Status found = files_.GetAttributes(ansi, attributes);
  if (found != platform::kSuccess) return found;
  if ((attributes & platform::kAttrDirectory) != 0) return platform::kAccessDenied;
  const std::optional<std::string> bytes = files_.ReadFile(ansi);
  if (!bytes) return platform::kFileNotFound;
  if (bytes->size() > platform::kLargestTextFile) return platform::kFileTooLarge;
  content.assign(bytes->begin(), bytes->end());
  return platform::kSuccess;
}

Status SimAppendFiles::Truncate(std::u8string_view path, std::uint64_t size) {
  std::string ansi;
  if (!text::ToAnsi(path, ansi)) return platform::kInvalidName;
  // Opened for writing first, as CreateFileW does: nothing there, a folder and a read-only file refuse it.
  std::uint32_t attributes = 0;
  if (const Status st = files_.GetAttributes(ansi, attributes); st != platform::kSuccess) return st;
  if ((attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) != 0) return platform::kAccessDenied;
  std::string content = files_.ReadFile(ansi).value_or("");
  if (content.size() <= size) return platform::kSuccess;
  content.resize(static_cast<std::size_t>(size));
  return files_.WriteFile(ansi, content, attributes) ? platform::kSuccess : platform::kAccessDenied;
}

Status SimAppendFiles::Replace(std::u8string_view source, std::u8string_view destination) {
  std::string from;
  std::string to;
  if (!text::ToAnsi(source, from) || !text::ToAnsi(destination, to)) return platform::kInvalidName;
  std::uint32_t attributes = 0;
  if (const Status found = files_.GetAttributes(from, attributes); found != platform::kSuccess) return found;
  if ((attributes & platform::kAttrDirectory) != 0) return platform::kAccessDenied;
  const std::uint32_t carried = attributes;
  if (files_.GetAttributes(to, attributes) == platform::kSuccess &&
      (attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) != 0) {
    return platform::kAccessDenied;
  }
  // A rename where nothing is in the way; otherwise the content goes over the old file in one step,
  // as the real call's does: never a moment with neither.
  const Status moved = files_.MoveFile(from, to);
  if (moved != platform::kAlreadyExists && moved != platform::kFileExists) return moved;
  if (!files_.WriteFile(to, files_.ReadFile(from).value_or(std::string()), carried)) return platform::kAccessDenied;
  return files_.DeleteFile(from);
}

void SimAppendFiles::KillAfter(std::u8string_view path, int appends) {
  killPath_.clear();
  std::string ansi;
  if (text::ToAnsi(path, ansi)) killPath_ = text::ToUpper(ansi);
  appendsBeforeKill_ = appends;
}

void SimAppendFiles::FailAppends(Status status, int times) {
  failure_ = status;
  failures_ = times;
}

std::u8string SimErrorTexts::Describe(Status error) {
  static constexpr struct {
    Status code;
    const char8_t* text;
  } kTexts[] = {
      {platform::kFileNotFound, u8"系统找不到指定的文件。"},
      {platform::kPathNotFound, u8"系统找不到指定的路径。"},
      {platform::kAccessDenied, u8"拒绝访问。"},
      {platform::kInvalidHandle, u8"句柄无效。"},
      {platform::kNotEnoughMemory, u8"存储空间不足，无法处理此命令。"},
      {platform::kNoMoreFiles, u8"没有更多文件。"},
      {32, u8"另一个程序正在使用此文件，进程无法访问。"},  // ERROR_SHARING_VIOLATION
      {platform::kFileExists, u8"文件存在。"},
      {platform::kInvalidParameter, u8"参数错误。"},
      {112, u8"磁盘空间不足。"},  // ERROR_DISK_FULL
      {platform::kInvalidName, u8"文件名、目录名或卷标语法不正确。"},
      {platform::kDirNotEmpty, u8"目录不是空的。"},
      {platform::kBadPathName, u8"指定的路径无效。"},
      {platform::kAlreadyExists, u8"当文件已存在时，无法创建该文件。"},
      {platform::kFilenameTooLong, u8"文件名或扩展名太长。"},
      {platform::kFileTooLarge, u8"文件大小超出允许的限度，无法保存。"},
      {platform::kMoreData, u8"有更多数据可用。"},
      {platform::kNoMoreItems, u8"没有可用的数据了。"},
      {platform::kDirectory, u8"目录名称无效。"},
      {platform::kKeyDeleted, u8"试图在标记为删除的注册表项上进行非法操作。"},
  };
  for (const auto& entry : kTexts) {
    if (entry.code == error) return entry.text;
  }
  return {};
}

}  // namespace sim
