// The simulated machine's process facts, message boxes and progress bar.
#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

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

int SimPrompts::MessageBox(platform::WindowRef owner, const std::string& textUtf8, const std::string& captionUtf8,
                           std::uint32_t flags) {
  Box box{owner, textUtf8, captionUtf8, flags, 0, !script_.empty()};
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
    : system_(files_), machine_{registry_, files_, system_, prompts_, logging_.support()} {
  files_.AddDrive('C');
  files_.MakeDirectories(kDefaultAppData);
  system_.SetEnvironment("APPDATA", kDefaultAppData);
  files_.WriteFile(kDefaultModulePath, kDefaultProgramContent);
  system_.SetModulePath(kDefaultModulePath);
  system_.SetProcesses({"[System Process]", "System", "smss.exe", "csrss.exe", "wininit.exe", "services.exe",
                        "lsass.exe", "svchost.exe", "explorer.exe", "SetUp.exe"});
}

}  // namespace sim
