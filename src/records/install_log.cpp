// The install log's lines.
#include "records/install_log.h"

#include <cstdint>
#include <string>

namespace install {
namespace {

constexpr std::u8string_view kByteOrderMark = u8"\uFEFF";
constexpr std::u8string_view kLineEnd = u8"\r\n";
// Two spaces after the time; continuation lines start in the same column as the text.
constexpr std::u8string_view kAfterTime = u8"  ";
constexpr std::size_t kTimestampWidth = 19;

std::u8string Digits(int value, std::size_t width) {
  const std::string number = std::to_string(value);
  std::u8string padded(number.size() < width ? width - number.size() : 0, u8'0');
  padded.append(number.begin(), number.end());
  return padded;
}

}  // namespace

std::u8string EscapeControls(std::u8string_view data) {
  static constexpr char8_t kHex[] = u8"0123456789ABCDEF";
  std::u8string escaped;
  escaped.reserve(data.size());
  for (const char8_t c : data) {
    if (c >= 0x20 && c != 0x7F) {
      escaped += c;
      continue;
    }
    escaped += u8"\\x";
    escaped += kHex[c >> 4];
    escaped += kHex[c & 0xF];
  }
  return escaped;
}

std::u8string FormatTimestamp(const platform::LocalTime& time) {
  return Digits(time.year, 4) + u8"-" + Digits(time.month, 2) + u8"-" + Digits(time.day, 2) + u8" " +
         Digits(time.hour, 2) + u8":" + Digits(time.minute, 2) + u8":" + Digits(time.second, 2);
}

std::u8string FormatFileStamp(const platform::LocalTime& time) {
  return Digits(time.year, 4) + Digits(time.month, 2) + Digits(time.day, 2) + u8"-" + Digits(time.hour, 2) +
         Digits(time.minute, 2) + Digits(time.second, 2);
}

std::u8string DescribeError(platform::ErrorTexts& texts, platform::Status error) {
  // Codes are DWORDs; the few above 0x7FFFFFFF (HRESULTs) read as they are documented, unsigned.
  const std::string number = std::to_string(static_cast<std::uint32_t>(error));
  std::u8string described = u8"错误 " + std::u8string(number.begin(), number.end());
  const std::u8string words = texts.Describe(error);
  if (!words.empty()) described += u8"：" + words;
  return described;
}

platform::Status InstallLog::Open(std::u8string_view path) {
  m_file.reset();
  std::uint64_t sizeBefore = 0;
  const platform::Status opened = m_machine.files.OpenForAppend(path, platform::Durability::kToSystem, m_file, sizeBefore);
  if (opened != platform::kSuccess) {
    Fail(opened);
    return opened;
  }
  if (sizeBefore == 0) {
    if (const platform::Status written = m_file->Append(kByteOrderMark); written != platform::kSuccess) {
      Fail(written);
      return written;
    }
  }
  return platform::kSuccess;
}

void InstallLog::Write(std::u8string_view textUtf8) {
  if (!m_file) return;
  std::u8string entry = FormatTimestamp(m_machine.clock.Now());
  entry += kAfterTime;
  bool first = true;
  // One call for the whole entry, so that a crash cannot part a step from its time.
  for (std::size_t start = 0; start <= textUtf8.size();) {
    std::size_t end = textUtf8.find(u8'\n', start);
    if (end == std::u8string_view::npos) end = textUtf8.size();
    std::u8string_view line = textUtf8.substr(start, end - start);
    if (!line.empty() && line.back() == u8'\r') line.remove_suffix(1);
    if (first || !line.empty()) {
      if (!first) entry += std::u8string(kTimestampWidth + kAfterTime.size(), u8' ');
      entry += EscapeControls(line);
      entry += kLineEnd;
    }
    first = false;
    start = end + 1;
  }
  if (const platform::Status written = m_file->Append(entry); written != platform::kSuccess) Fail(written);
}

void InstallLog::WriteError(std::u8string_view textUtf8, platform::Status error) {
  Write(std::u8string(textUtf8) + u8"：" + DescribeError(m_machine.errors, error));
}

void InstallLog::Fail(platform::Status status) {
  if (m_failure == platform::kSuccess) m_failure = status;
}

}  // namespace install
