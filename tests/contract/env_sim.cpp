// The contract tests' environment on the host: a fresh simulated machine per test.
#ifdef SETUP_CONTRACT_SIM

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "contract/contract_env.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace contract {
namespace {

constexpr const char* kScratchKey = "Software\\VornexContractTest\\case";
constexpr const char* kScratchDir = "C:\\Users\\User\\AppData\\Local\\Temp\\contract";
constexpr const char* kProgram = "C:\\Tests\\contract_tests_sim.exe";
constexpr const char* kProfile = "C:\\Users\\User";

class SimEnv final : public Env {
 public:
  SimEnv() {
    machine_.registry().CreatePath(platform::RootKey::CurrentUser, kScratchKey);
    machine_.files().MakeDirectories(kScratchDir);
    // The program's own file exists, as it does on Windows, and serves as a copy source.
    machine_.files().WriteFile(kProgram, std::string(4096, 'M'));
    machine_.files().SetCurrentDirectory("C:\\Tests");
    machine_.system().SetModulePath(kProgram);
    machine_.system().SetEnvironment("SystemRoot", "C:\\Windows");
    machine_.system().SetProcesses({"[System Process]", "System", "explorer.exe", "contract_tests_sim.exe"});
    // The running account signed in with its profile, as on any machine that runs a program.
    machine_.system().SetEnvironment("USERPROFILE", kProfile);
    machine_.system().SetEnvironment("USERNAME", "User");
    const sim::RegFileResult added = machine_.AddUser(
        {sim::SimSystem::kDefaultAccountSid, u8"PC\\User", u8"%SystemDrive%\\Users\\User", "", true});
    EXPECT_TRUE(added) << added.Describe();
  }

  // Every test must have closed what it opened: the simulation counts what Windows would leak.
  ~SimEnv() override {
    EXPECT_EQ(machine_.registry().OpenHandleCount(), 0u) << "registry handles left open";
    EXPECT_EQ(machine_.registry().BadCloseCount(), 0u) << "registry handles closed twice or never opened";
    EXPECT_EQ(machine_.files().OpenListingCount(), 0u) << "listings left open";
    EXPECT_EQ(machine_.registry().LoadedHiveCount(), 0u) << "hives left loaded";
  }

  platform::Registry& Registry() override { return machine_.registry(); }
  platform::FileSystem& Files() override { return machine_.files(); }
  platform::PayloadIntegrity& Integrity() override { return machine_.integrity(); }
  platform::Status WriteBytes(const std::string& path, std::string_view bytes) override {
    return machine_.files().WriteFile(path, std::string(bytes)) ? platform::kSuccess : platform::kPathNotFound;
  }
  platform::SystemInfo& System() override { return machine_.system(); }
  std::string ScratchKey() override { return kScratchKey; }
  platform::Status CreateLink(const std::string& path, const std::string& targetPath) override {
    using platform::RootKey;
    const bool made = machine_.registry().CreateLink(RootKey::CurrentUser, path, RootKey::CurrentUser, targetPath);
    return made ? platform::kSuccess : platform::kAlreadyExists;
  }
  platform::Status SaveHive(const std::string& path, const std::u8string& file) override {
    return machine_.registry().SaveKey(platform::RootKey::CurrentUser, text::AnsiToU8(path), file);
  }
  // Nothing in the simulation needs privileges, so none is ever enabled.
  int EnabledHivePrivileges() override { return 0; }
  std::u8string UniqueHiveName(std::u8string_view prefix) override {
    return std::u8string(prefix) + u8"case" + text::AnsiToU8(std::to_string(++hives_));
  }
  std::string ScratchDir() override { return kScratchDir; }
  bool IsWine() override { return false; }
  platform::Status MakeFileLink(const std::string& path, const std::string&) override {
    return machine_.files().MakeFileLink(path) ? platform::kSuccess : platform::kAlreadyExists;
  }
  platform::Status MakeHardLink(const std::string& existing, const std::string& path) override {
    return machine_.files().MakeHardLink(existing, path) ? platform::kSuccess : platform::kAlreadyExists;
  }

 private:
  sim::SimMachine machine_;
  int hives_ = 0;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<SimEnv>(); }

}  // namespace contract

#endif  // SETUP_CONTRACT_SIM
