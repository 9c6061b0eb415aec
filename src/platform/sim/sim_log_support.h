// The log's and the journal's needs on the simulated machine: appended files kept in the simulated
// file system (where a test reads them with ReadFile), a clock the test sets, and a table of the
// system's texts for the error codes the program meets.
#pragma once
#include <map>
#include <optional>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/log_support.h"
#include "platform/sim/sim_files.h"

namespace sim {

// Thrown where a simulated process is killed (SimAppendFiles::KillAfter).
struct Killed {};

// The simulated file system names entries in code page 936, so a path with a character outside it
// is refused with kInvalidName here, where Windows' wide API would take it.
class SimAppendFiles final : public platform::AppendFiles {
 public:
  explicit SimAppendFiles(SimFileSystem& files) : files_(files) {}

  platform::Status OpenForAppend(std::u8string_view path, platform::Durability durability,
                                 std::unique_ptr<platform::AppendedFile>& file, std::uint64_t& sizeBefore) override;
  platform::Status ReadWhole(std::u8string_view path, std::u8string& content) override;
  platform::Status Truncate(std::u8string_view path, std::uint64_t size) override;
  platform::Status Replace(std::u8string_view source, std::u8string_view destination) override;

  // The next `times` appends (or all of them, with kAlways) fail with `status` and add nothing,
  // as a full disk would.
  void FailAppends(platform::Status status, int times = kAlways);
  // The program is killed as it goes to append to `path` after `appends` appends there have gone
  // through: that append throws Killed, and nothing of it is written. The test catches it where the
  // process would have ended; what the program had done by then stays on the machine.
  void KillAfter(std::u8string_view path, int appends);

  // The appends that went through to files at `path`, letter case aside, since the machine was made.
  int AppendsTo(std::u8string_view path) const;

  // How the file at `path` was last opened for appending (nullopt: never).
  std::optional<platform::Durability> DurabilityOf(std::u8string_view path) const {
    const auto found = durability_.find(std::u8string(path));
    if (found == durability_.end()) return std::nullopt;
    return found->second;
  }

  // Called by the open files.
  platform::Status AppendTo(const std::string& ansiPath, std::u8string_view text);

 private:
  SimFileSystem& files_;
  std::string killPath_;  // upper-cased ANSI; empty: never
  int appendsBeforeKill_ = 0;
  platform::Status failure_ = platform::kSuccess;
  int failures_ = 0;
  std::map<std::u8string, platform::Durability> durability_;
  std::map<std::string, int> appends_;  // by upper-cased ANSI path
};

class SimClock final : public platform::Clock {
 public:
  platform::LocalTime Now() override { return now_; }
  // Time does not pass: the waits are only counted.
  void Wait(unsigned milliseconds) override { waited_ += milliseconds; }
  void Set(const platform::LocalTime& now) { now_ = now; }
  unsigned long long Waited() const { return waited_; }

 private:
  platform::LocalTime now_{2026, 12, 8, 21, 47, 59};
  unsigned long long waited_ = 0;
};

// The texts a Simplified Chinese Windows gives; empty for a code not in the table.
class SimErrorTexts final : public platform::ErrorTexts {
 public:
  std::u8string Describe(platform::Status error) override;
};

// The three over one simulated file system.
class SimLogSupport {
 public:
  explicit SimLogSupport(SimFileSystem& files) : files_(files) {}
  SimLogSupport(const SimLogSupport&) = delete;
  SimLogSupport& operator=(const SimLogSupport&) = delete;

  SimAppendFiles& files() { return files_; }
  SimClock& clock() { return clock_; }
  platform::LogSupport& support() { return support_; }

 private:
  SimAppendFiles files_;
  SimClock clock_;
  SimErrorTexts errors_;
  platform::LogSupport support_{files_, clock_, errors_};
};

}  // namespace sim
