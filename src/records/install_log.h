// The install log: one UTF-8 line per step with the local time, written as the installation goes.
//
// The log is in Chinese, like everything else the installer says: its reader is the administrator
// who deployed it, and error codes come with the system's own text ("错误 5：拒绝访问。"), which a
// Windows without Chinese gives in its own language. The number is always there to look up.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/log_support.h"
#include "platform/status.h"

namespace install {

// "2026-12-08 21:47:59".
std::u8string FormatTimestamp(const platform::LocalTime& time);
// "20261208-214759", for a file's name.
std::u8string FormatFileStamp(const platform::LocalTime& time);

// Text read from the registry or a file, fit for one line of the log: every control character
// (line breaks included) as "\xNN", so that a value someone wrote cannot add lines of its own.
std::u8string EscapeControls(std::u8string_view data);

// "错误 5：拒绝访问。", or "错误 1234" when the system has no text for the code.
std::u8string DescribeError(platform::ErrorTexts& texts, platform::Status error);

class InstallLog {
 public:
  explicit InstallLog(platform::LogSupport& machine) : m_machine(machine) {}

  // Opens the log for appending (a new file starts with the UTF-8 byte order mark, which Notepad
  // before Windows 10 needs to read it as UTF-8). Until a log is open, lines go nowhere: the dialog
  // without /LOG keeps none.
  platform::Status Open(std::u8string_view path);
  bool IsOpen() const { return m_file != nullptr; }

  // "2026-12-08 21:47:59  <text>" and a line end (CRLF, for Notepad), in the file when this
  // returns. A text of several lines keeps its later lines under the first, indented past the time;
  // any other control character in it is escaped as EscapeControls does.
  void Write(std::u8string_view textUtf8);
  // ANSI text (a path from the ANSI API) must be converted first (text::FromAnsi): a line of
  // code page 936 bytes would read as garbage in a UTF-8 file.
  void Write(std::string_view) = delete;
  void Write(const char*) = delete;
  // "<text>：错误 5：拒绝访问。"
  void WriteError(std::u8string_view textUtf8, platform::Status error);

  // The first failure to open or to write, kSuccess while there has been none. Writing goes on after
  // a failure (a full disk may get room again); the caller decides what a lost log means.
  platform::Status Failure() const { return m_failure; }

 private:
  void Fail(platform::Status status);

  platform::LogSupport& m_machine;
  std::unique_ptr<platform::AppendedFile> m_file;
  platform::Status m_failure = platform::kSuccess;
};

}  // namespace install
