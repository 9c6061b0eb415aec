// The log's and the journal's needs from the Win32 API: files appended through CreateFileW and
// WriteFile, GetLocalTime, and FormatMessageW.
#pragma once
#include "platform/log_support.h"

namespace platform::win32 {

class Win32AppendFiles final : public AppendFiles {
 public:
  Status OpenForAppend(std::u8string_view path, Durability durability, std::unique_ptr<AppendedFile>& file,
                       std::uint64_t& sizeBefore) override;
  Status ReadWhole(std::u8string_view path, std::u8string& content) override;
  [[nodiscard]] Status Truncate(std::u8string_view path, std::uint64_t size) override;
  [[nodiscard]] Status Replace(std::u8string_view source, std::u8string_view destination) override;
};

class Win32Clock final : public Clock {
 public:
  LocalTime Now() override;
  void Wait(unsigned milliseconds) override;
};

// The system's text in Simplified Chinese, the log's language, where Windows has it; otherwise in
// the language Windows picks for the user.
class Win32ErrorTexts final : public ErrorTexts {
 public:
  std::u8string Describe(Status error) override;
};

class Win32LogSupport {
 public:
  Win32LogSupport() = default;
  Win32LogSupport(const Win32LogSupport&) = delete;
  Win32LogSupport& operator=(const Win32LogSupport&) = delete;

  LogSupport& Get() { return support_; }

 private:
  Win32AppendFiles files_;
  Win32Clock clock_;
  Win32ErrorTexts errors_;
  LogSupport support_{files_, clock_, errors_};
};

}  // namespace platform::win32
