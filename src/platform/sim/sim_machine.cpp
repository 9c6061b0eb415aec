// The simulated machine's process facts, message boxes and progress bar.
#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"
#include "platform/user_environment.h"
#include "platform/utf8_text.h"

namespace sim {

using platform::Status;

Status SimSystem::ModulePath(std::size_t capacity, std::string& path) {
  path.clear();
  // Windows would hand back a truncated path; nothing here may use one, so it is withheld.
  if (modulePath_.size() + 1 > capacity) return platform::kFilenameTooLong;
  path = modulePath_;
  return platform::kSuccess;
}

Status SimSystem::CurrentDirectory(std::string& path) {
  path = files_.CurrentDirectory();
  return platform::kSuccess;
}

Status SimSystem::EnvironmentVariable(const std::string& name, std::size_t capacity, std::string& value) {
  value.clear();
  const auto it = environment_.find(text::ToUpper(name));
  if (it == environment_.end()) return platform::kFileNotFound;
  if (it->second.second.size() + 1 > capacity) return platform::kMoreData;
  value = it->second.second;
  return platform::kSuccess;
}

bool SimSystem::ProcessNames(std::vector<std::string>& names) {
  names.clear();
  // A real snapshot always holds at least the idle and system processes, so an empty list
  // stands for a snapshot whose first entry cannot be read.
  if (failSnapshot_ || processes_.empty()) return false;
  names = processes_;
  return true;
}

Status SimSystem::AccountSid(std::string& sid) {
  sid = accountSid_;
  return platform::kSuccess;
}

Status SimSystem::EnvironmentVariableW(std::u8string_view name, std::u8string& value) {
  value.clear();
  if (name.empty() || name.find(u8'\0') != std::u8string_view::npos) return platform::kInvalidParameter;
  std::string ansiName;
  // Every name set here is ANSI: one without an ANSI form was never set.
  if (!text::ToAnsi(name, ansiName)) return platform::kFileNotFound;
  const auto it = environment_.find(text::ToUpper(ansiName));
  if (it == environment_.end()) return platform::kFileNotFound;
  value = text::AnsiToU8(it->second.second);
  return platform::kSuccess;
}

namespace {

// The text form LookupAccountSid would reject before looking: "S-1-" and numbers between dashes.
bool IsSidText(const std::string& sid) {
  if (sid.size() < 5 || (sid[0] != 'S' && sid[0] != 's') || sid.compare(1, 3, "-1-") != 0) return false;
  bool digit = false;
  for (std::size_t i = 4; i < sid.size(); ++i) {
    if (sid[i] == '-') {
      if (!digit) return false;
      digit = false;
    } else if (sid[i] >= '0' && sid[i] <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  return digit;
}

}  // namespace

Status SimSystem::AccountName(const std::string& sid, std::u8string& name) {
  name.clear();
  if (!IsSidText(sid)) return platform::kInvalidSid;
  const auto it = accountNames_.find(text::ToUpper(sid));
  if (it == accountNames_.end()) return platform::kNoneMapped;
  name = it->second;
  return platform::kSuccess;
}

namespace {

class SimHeldLock final : public platform::HeldLock {
 public:
  SimHeldLock(std::shared_ptr<std::set<std::u8string>> locks, std::u8string name)
      : locks_(std::move(locks)), name_(std::move(name)) {}
  ~SimHeldLock() override { locks_->erase(name_); }
  SimHeldLock(const SimHeldLock&) = delete;
  SimHeldLock& operator=(const SimHeldLock&) = delete;

 private:
  std::shared_ptr<std::set<std::u8string>> locks_;
  std::u8string name_;
};

}  // namespace

Status SimSystem::HoldMachineLock(std::u8string_view name, std::unique_ptr<platform::HeldLock>& lock) {
  lock.reset();
  // A mutex's name is compared as written; whoever asks while it is held waits in vain.
  std::u8string key(name);
  if (!locks_->insert(key).second) return platform::kAlreadyExists;
  lock = std::make_unique<SimHeldLock>(locks_, std::move(key));
  return platform::kSuccess;
}

bool SimSystem::LockHeld(std::u8string_view name) const { return locks_->count(std::u8string(name)) != 0; }

void SimSystem::SetAccountName(const std::string& sid, std::u8string name) {
  accountNames_[text::ToUpper(sid)] = std::move(name);
}

void SimSystem::SetEnvironment(const std::string& name, std::string value) {
  environment_[text::ToUpper(name)] = {name, std::move(value)};
}

void SimSystem::UnsetEnvironment(const std::string& name) { environment_.erase(text::ToUpper(name)); }

int SimPrompts::StopAnswer(std::uint32_t flags) {
  switch (flags & 0xFu) {
    case platform::kMbOk:
      return platform::kIdOk;
    case platform::kMbAbortRetryIgnore:
      return platform::kIdAbort;
    case platform::kMbYesNo:
      return platform::kIdNo;
    default:
      return platform::kIdCancel;
  }
}

int SimPrompts::MessageBox(platform::WindowRef owner, std::u8string_view text, std::u8string_view caption,
                           std::uint32_t flags) {
  Box box{owner, std::u8string(text), std::u8string(caption), flags, 0, !script_.empty()};
  if (box.scripted) {
    box.answer = script_.front();
    script_.pop_front();
  } else {
    box.answer = StopAnswer(flags);
  }
  boxes_.push_back(box);
  if (!box.scripted && onUnscripted_) onUnscripted_(box);
  return box.answer;
}

std::size_t SimPrompts::UnscriptedCount() const {
  return static_cast<std::size_t>(
      std::count_if(boxes_.begin(), boxes_.end(), [](const Box& box) { return !box.scripted; }));
}

void SimPrompts::Clear() {
  script_.clear();
  boxes_.clear();
}

void SimProgressBar::Coerce() { position_ = std::clamp(position_, minimum_, std::max(minimum_, maximum_)); }

void SimProgressBar::SetRange(int minimum, int maximum) {
  calls_.push_back(Call::SetRange);
  minimum_ = minimum;
  maximum_ = maximum;
  Coerce();
}

void SimProgressBar::SetStep(int step) {
  calls_.push_back(Call::SetStep);
  step_ = step;
}

void SimProgressBar::SetPos(int position) {
  calls_.push_back(Call::SetPos);
  position_ = position;
  Coerce();
}

void SimProgressBar::StepIt() {
  calls_.push_back(Call::StepIt);
  position_ = platform::SteppedPosition(position_, 1, step_, minimum_, maximum_);
}

std::size_t SimProgressBar::StepCount() const {
  return static_cast<std::size_t>(std::count(calls_.begin(), calls_.end(), Call::StepIt));
}

SimMachine::SimMachine()
    : system_(files_), machine_{registry_, files_, system_, prompts_, logging_.support(), integrity_} {
  files_.AddDrive('C');
  files_.MakeDirectories(kDefaultAppData);
  system_.SetEnvironment("APPDATA", kDefaultAppData);
  files_.WriteFile(kDefaultModulePath, kDefaultProgramContent);
  system_.SetModulePath(kDefaultModulePath);
  system_.SetEnvironment("SystemDrive", "C:");
  system_.SetEnvironment("SystemRoot", "C:\\Windows");
  system_.SetAccountName("S-1-5-18", u8"NT AUTHORITY\\SYSTEM");
  system_.SetAccountName("S-1-5-19", u8"NT AUTHORITY\\LOCAL SERVICE");
  system_.SetAccountName("S-1-5-20", u8"NT AUTHORITY\\NETWORK SERVICE");
  system_.SetProcesses({"[System Process]", "System", "smss.exe", "csrss.exe", "wininit.exe", "services.exe",
                        "lsass.exe", "svchost.exe", "explorer.exe", "SetUp.exe"});
}

RegFileResult SimMachine::AddUser(const SimUser& user) {
  const auto fail = [&user](const std::string& why) {
    RegFileResult result;
    result.ok = false;
    result.message = "user " + user.sid + ": " + why;
    return result;
  };
  std::u8string profile;
  if (platform::ExpandForUser(user.profileImagePath, u8"", system_, profile) != platform::kSuccess) {
    return fail("the profile path does not expand");
  }
  const std::u8string file = profile + u8"\\NTUSER.DAT";
  const std::u8string sid(user.sid.begin(), user.sid.end());
  const std::u8string entry = text::AnsiToU8(kProfileListPath) + u8"\\" + sid;
  if (!registry_.SetString(platform::RootKey::LocalMachine, entry, u8"ProfileImagePath", user.profileImagePath,
                           platform::kRegExpandSz)) {
    return fail("no ProfileList entry");
  }
  // The running account's hive is the one HKEY_CURRENT_USER shows; anyone else's gets a file.
  std::string accountSid;
  static_cast<void>(system_.AccountSid(accountSid));
  if (text::EqualsNoCase(accountSid, user.sid)) {
    if (!registry_.MountCurrentUser(sid, file)) return fail("the running account's hive is there already");
  } else if (!registry_.CreatePath(kUsers, sid)) {
    return fail("HKEY_USERS\\" + user.sid + " cannot be made");
  }
  if (!user.hive.empty()) {
    if (RegFileResult loaded = LoadReg(registry_, user.hive); !loaded) return loaded;
  }
  if (!text::EqualsNoCase(accountSid, user.sid)) {
    if (registry_.SaveKey(kUsers, sid, file) != platform::kSuccess) return fail("the hive file exists already");
    registry_.DeleteTree(kUsers, sid);
    if (user.signedIn && !registry_.MountHive(file, sid)) return fail("the hive cannot be loaded");
  }
  hiveFiles_[user.sid] = file;
  if (!user.account.empty()) system_.SetAccountName(user.sid, user.account);
  std::string ansiProfile;
  if (text::ToAnsi(profile, ansiProfile)) files_.MakeDirectories(ansiProfile);
  return {};
}

std::u8string SimMachine::HiveFileOf(const std::string& sid) const {
  const auto it = hiveFiles_.find(sid);
  return it == hiveFiles_.end() ? std::u8string() : it->second;
}

void SimMachine::FailLoad(const std::string& sid, platform::Status status) {
  registry_.FailLoadHive(HiveFileOf(sid), status);
}

}  // namespace sim
