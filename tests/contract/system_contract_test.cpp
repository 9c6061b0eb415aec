// Process facts the program reads, checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "contract/contract_env.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

class SystemContract : public ::testing::Test {
 protected:
  void SetUp() override { env_ = contract::MakeEnv(); }
  platform::SystemInfo& sys() { return env_->System(); }
  std::unique_ptr<contract::Env> env_;
};

TEST_F(SystemContract, ModulePathIsTheProgramsFileAndRespectsTheCapacity) {
  std::string path;
  ASSERT_EQ(sys().ModulePath(platform::kMaxPath + 1, path), platform::kSuccess);
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path[1], ':');
  EXPECT_EQ(Lower(path.substr(path.size() - 4)), ".exe");
  std::uint32_t attributes = 0;
  ASSERT_EQ(env_->Files().GetAttributes(path, attributes), platform::kSuccess);
  EXPECT_EQ(attributes & platform::kAttrDirectory, 0u);

  std::string exact;
  EXPECT_EQ(sys().ModulePath(path.size() + 1, exact), platform::kSuccess);
  EXPECT_EQ(exact, path);
  std::string cut;
  EXPECT_EQ(sys().ModulePath(path.size(), cut), platform::kFilenameTooLong);
}

TEST_F(SystemContract, EnvironmentVariablesByNameWithoutRegardToCase) {
  std::string appData;
  ASSERT_EQ(sys().EnvironmentVariable("APPDATA", platform::kMaxPath, appData), platform::kSuccess);
  ASSERT_FALSE(appData.empty());
  std::string lower;
  ASSERT_EQ(sys().EnvironmentVariable("appdata", platform::kMaxPath, lower), platform::kSuccess);
  EXPECT_EQ(lower, appData);

  std::string small;
  EXPECT_EQ(sys().EnvironmentVariable("APPDATA", appData.size(), small), platform::kMoreData);
  std::string fits;
  EXPECT_EQ(sys().EnvironmentVariable("APPDATA", appData.size() + 1, fits), platform::kSuccess);
  EXPECT_EQ(fits, appData);
  std::string unset;
  EXPECT_EQ(sys().EnvironmentVariable("VORNEX_CONTRACT_NEVER_SET", platform::kMaxPath, unset),
            platform::kFileNotFound);
}

TEST_F(SystemContract, CurrentDirectoryIsAnExistingFolder) {
  std::string current;
  ASSERT_EQ(sys().CurrentDirectory(current), platform::kSuccess);
  ASSERT_GE(current.size(), 3u);
  EXPECT_EQ(current.substr(1, 2), ":\\");
  std::uint32_t attributes = 0;
  ASSERT_EQ(env_->Files().GetAttributes(current, attributes), platform::kSuccess);
  EXPECT_NE(attributes & platform::kAttrDirectory, 0u);
}

TEST_F(SystemContract, ProcessListNamesTheRunningProgram) {
  std::string path;
  ASSERT_EQ(sys().ModulePath(platform::kMaxPath + 1, path), platform::kSuccess);
  const std::string self = Lower(path.substr(path.find_last_of('\\') + 1));
  std::vector<std::string> names;
  ASSERT_TRUE(sys().ProcessNames(names));
  bool found = false;
  for (const std::string& name : names) found = found || Lower(name) == self;
  EXPECT_TRUE(found) << self << " among " << names.size() << " processes";
}

// One run at a time: the machine-wide lock, asked for from another thread (a mutex lets the thread
// that owns it take it again), is refused while the first holder keeps it and free once it let go.
TEST_F(SystemContract, MachineLockRefusesASecondHolderUntilTheFirstLetsGo) {
  const std::u8string name = u8"Global\\VornexContract.Lock";
  const auto fromAnotherThread = [this, &name] {
    std::pair<platform::Status, bool> asked{platform::kSuccess, false};
    std::thread([&] {
      std::unique_ptr<platform::HeldLock> lock;
      asked = {sys().HoldMachineLock(name, lock), lock != nullptr};
    }).join();
    return asked;
  };
  std::unique_ptr<platform::HeldLock> first;
  ASSERT_EQ(sys().HoldMachineLock(name, first), platform::kSuccess);
  EXPECT_EQ(fromAnotherThread(), std::make_pair(platform::kAlreadyExists, false));
  first.reset();
  EXPECT_EQ(fromAnotherThread(), std::make_pair(platform::kSuccess, true));
}

}  // namespace
