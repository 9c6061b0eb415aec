// A whole simulated Windows machine: registry, files, process facts, message boxes, progress bar.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/machine.h"
#include "platform/prompts.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_integrity.h"
#include "platform/sim/sim_log_support.h"
#include "platform/sim/sim_registry.h"
#include "platform/system.h"

namespace sim {

class SimSystem final : public platform::SystemInfo {
 public:
  // The current directory is the file system's, which resolves relative paths.
  explicit SimSystem(SimFileSystem& files) : files_(files) {}

  platform::Status ModulePath(std::size_t capacity, std::string& path) override;
  platform::Status CurrentDirectory(std::string& path) override;
  platform::Status EnvironmentVariable(const std::string& name, std::size_t capacity, std::string& value) override;
  bool ProcessNames(std::vector<std::string>& names) override;
  platform::Status AccountSid(std::string& sid) override;
  platform::Status EnvironmentVariableW(std::u8string_view name, std::u8string& value) override;
  platform::Status AccountName(const std::string& sid, std::u8string& name) override;
  platform::Status HoldMachineLock(std::u8string_view name, std::unique_ptr<platform::HeldLock>& lock) override;
  // Whether a lock of that name is held.
  bool LockHeld(std::u8string_view name) const;

  // The account the program runs as: by default an administrator's own account.
  static constexpr const char* kDefaultAccountSid = "S-1-5-21-3623811015-3361044348-30300820-1013";
  void SetAccountSid(std::string sid) { accountSid_ = std::move(sid); }
  // The name LookupAccountSid gives the account with that SID ("PC\Li Wei"). The well-known
  // service accounts have theirs from the start; any other SID has none until it is given one.
  void SetAccountName(const std::string& sid, std::u8string name);
  void SetModulePath(std::string path) { modulePath_ = std::move(path); }
  // Names compare without regard to case, as Windows' environment does.
  void SetEnvironment(const std::string& name, std::string value);
  void UnsetEnvironment(const std::string& name);
  void SetProcesses(std::vector<std::string> names) { processes_ = std::move(names); }
  // Makes the process snapshot fail (CreateToolhelp32Snapshot or Process32First failing).
  void FailProcessSnapshot(bool fail) { failSnapshot_ = fail; }

 private:
  SimFileSystem& files_;
  std::string modulePath_;
  std::map<std::string, std::pair<std::string, std::string>> environment_;  // upper-cased -> (name, value)
  std::vector<std::string> processes_;
  bool failSnapshot_ = false;
  std::string accountSid_ = kDefaultAccountSid;
  std::map<std::string, std::u8string> accountNames_;  // by upper-cased SID
  std::shared_ptr<std::set<std::u8string>> locks_ = std::make_shared<std::set<std::u8string>>();
};

// A user with a profile on the machine, as ProfileList and the user's own hive describe him.
struct SimUser {
  std::string sid;                 // "S-1-5-21-..."
  std::u8string account;           // as LookupAccountSid names it; empty when the account is gone
  std::u8string profileImagePath;  // as ProfileList holds it: "%SystemDrive%\Users\Li Wei"
  // .reg text applied to the hive before it goes into its file: keys under HKEY_USERS\<sid>.
  // Empty for an empty hive.
  std::string hive;
  // Signed in: the hive is loaded as HKEY_USERS\<sid> and held by the system. Otherwise it is
  // only in <profile>\NTUSER.DAT. The running account is always signed in, and its hive is
  // HKEY_CURRENT_USER.
  bool signedIn = false;
};

// Message boxes answered from a script. Every box is recorded. A box with no scripted answer
// left is recorded as unscripted and gets the answer that ends its question (OK, Abort, No or
// Cancel by its buttons), so that a forgotten answer stops a retry loop instead of spinning;
// tests check UnscriptedCount() or install a handler that fails the test.
class SimPrompts final : public platform::Prompts {
 public:
  struct Box {
    platform::WindowRef owner = 0;
    std::u8string text;
    std::u8string caption;
    std::uint32_t flags = 0;
    int answer = 0;
    bool scripted = false;
  };

  int MessageBox(platform::WindowRef owner, std::u8string_view text, std::u8string_view caption,
                 std::uint32_t flags) override;

  // Queues the answer for the next box.
  void Answer(int button) { script_.push_back(button); }
  const std::vector<Box>& Boxes() const { return boxes_; }
  std::size_t UnscriptedCount() const;
  std::size_t PendingAnswers() const { return script_.size(); }
  void OnUnscripted(std::function<void(const Box&)> handler) { onUnscripted_ = std::move(handler); }
  void Clear();

  // The answer an unscripted box gets for its button set.
  static int StopAnswer(std::uint32_t flags);

 private:
  std::deque<int> script_;
  std::vector<Box> boxes_;
  std::function<void(const Box&)> onUnscripted_;
};

// Records what a progress bar control is told and keeps its position as the control does.
class SimProgressBar final : public platform::ProgressBar {
 public:
  enum class Call { SetRange, SetStep, SetPos, StepIt };

  void SetRange(int minimum, int maximum) override;
  void SetStep(int step) override;
  void SetPos(int position) override;
  void StepIt() override;

  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  int Step() const { return step_; }
  int Position() const { return position_; }
  std::size_t StepCount() const;
  const std::vector<Call>& Calls() const { return calls_; }

 private:
  void Coerce();

  // The control's defaults: range 0-100, step 10.
  int minimum_ = 0;
  int maximum_ = 100;
  int step_ = 10;
  int position_ = 0;
  std::vector<Call> calls_;
};

// The simulated machine: a C: drive, APPDATA pointing at an existing roaming folder, the
// program at C:\Setup\SetUp.exe (its file there, as a running program's file always is), and the
// processes of a freshly started desktop with SetUp.exe among them.
class SimMachine {
 public:
  SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  SimRegistry& registry() { return registry_; }
  SimFileSystem& files() { return files_; }
  SimSystem& system() { return system_; }
  SimPrompts& prompts() { return prompts_; }
  SimProgressBar& progress() { return progress_; }
  SimLogSupport& logging() { return logging_; }
  SimPayloadIntegrity& integrity() { return integrity_; }
  platform::Machine& machine() { return machine_; }

  // Applies a .reg fixture file to the registry.
  RegFileResult LoadRegistryFixture(const std::string& path) { return LoadRegFile(registry_, path); }

  // Gives the user a ProfileList entry, a profile folder and a hive in <profile>\NTUSER.DAT
  // (the profile path expanded with the machine's environment), and the account its name.
  RegFileResult AddUser(const SimUser& user);
  // The hive file of a user added by AddUser; empty for another SID.
  std::u8string HiveFileOf(const std::string& sid) const;
  // Loading the user's hive fails with `status`: held by a service (kSharingViolation), damaged
  // (kNotRegistryFile), a roaming profile whose copy is not on this machine (kPathNotFound).
  void FailLoad(const std::string& sid, platform::Status status);

  static constexpr const char* kDefaultAppData = "C:\\Users\\User\\AppData\\Roaming";
  static constexpr const char* kDefaultModulePath = "C:\\Setup\\SetUp.exe";
  static constexpr const char* kDefaultProgramContent = "MZ SetUp.exe";
  static constexpr const char* kProfileListPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

 private:
  SimRegistry registry_;
  SimFileSystem files_;
  SimSystem system_;
  SimPrompts prompts_;
  SimProgressBar progress_;
  SimLogSupport logging_{files_};
  SimPayloadIntegrity integrity_{files_};
  platform::Machine machine_;
  std::map<std::string, std::u8string> hiveFiles_;  // by SID, as AddUser was given it
};

}  // namespace sim
