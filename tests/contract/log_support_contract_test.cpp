// What the log and the journal need from the machine, checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "contract/contract_env.h"
#include "platform/log_support.h"
#include "platform/utf8_text.h"
#ifdef SETUP_CONTRACT_WIN32
#include "platform/win32/win32_log_support.h"
#else
#include "platform/sim/sim_log_support.h"
#endif

namespace {

using platform::Status;

class LogSupportContract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = contract::MakeEnv();
    dir_ = text::FromAnsi(env_->ScratchDir());
#ifdef SETUP_CONTRACT_WIN32
    adapter_ = std::make_unique<platform::win32::Win32LogSupport>();
#else
    adapter_ = std::make_unique<sim::SimLogSupport>(dynamic_cast<sim::SimFileSystem&>(env_->Files()));
#endif
  }

  platform::AppendFiles& files() { return Support().files; }
  platform::LogSupport& Support() {
#ifdef SETUP_CONTRACT_WIN32
    return adapter_->Get();
#else
    return adapter_->support();
#endif
  }
  std::u8string At(std::u8string_view name) const { return dir_ + u8"\\" + std::u8string(name); }

  Status Open(std::u8string_view name, std::unique_ptr<platform::AppendedFile>& file, std::uint64_t& sizeBefore) {
    return files().OpenForAppend(At(name), platform::Durability::kWriteThrough, file, sizeBefore);
  }
  std::string Read(std::u8string_view name) {
    std::u8string content;
    EXPECT_EQ(files().ReadWhole(At(name), content), platform::kSuccess);
    return std::string(text::Utf8Bytes(content));
  }

  std::unique_ptr<contract::Env> env_;
  std::u8string dir_;
#ifdef SETUP_CONTRACT_WIN32
  std::unique_ptr<platform::win32::Win32LogSupport> adapter_;
#else
  std::unique_ptr<sim::SimLogSupport> adapter_;
#endif
};

TEST_F(LogSupportContract, AppendsToAFileCreatedOnFirstUseAndReadableMeanwhile) {
  std::unique_ptr<platform::AppendedFile> file;
  std::uint64_t sizeBefore = 99;
  ASSERT_EQ(Open(u8"安装日志.log", file, sizeBefore), platform::kSuccess);
  EXPECT_EQ(sizeBefore, 0u);
  ASSERT_EQ(file->Append(u8"一\r\n"), platform::kSuccess);
  ASSERT_EQ(file->Append(u8"二"), platform::kSuccess);
  EXPECT_EQ(Read(u8"安装日志.log"), "一\r\n二");
  file.reset();
  ASSERT_EQ(Open(u8"安装日志.log", file, sizeBefore), platform::kSuccess);
  EXPECT_EQ(sizeBefore, 8u);
  ASSERT_EQ(file->Append(u8"三"), platform::kSuccess);
  EXPECT_EQ(Read(u8"安装日志.log"), "一\r\n二三");
}

TEST_F(LogSupportContract, RefusesWhatIsNotAFileInAnExistingFolder) {
  std::unique_ptr<platform::AppendedFile> file;
  std::uint64_t sizeBefore = 0;
  std::u8string content;
  EXPECT_EQ(Open(u8"missing\\a.log", file, sizeBefore), platform::kPathNotFound);
  EXPECT_EQ(files().ReadWhole(At(u8"absent.log"), content), platform::kFileNotFound);
  ASSERT_EQ(env_->Files().CreateDirectory(env_->ScratchDir() + "\\folder"), platform::kSuccess);
  EXPECT_EQ(Open(u8"folder", file, sizeBefore), platform::kAccessDenied);
  EXPECT_EQ(files().ReadWhole(At(u8"folder"), content), platform::kAccessDenied);
  EXPECT_FALSE(file);
}

TEST_F(LogSupportContract, ErrorTextsAndTheClock) {
  const std::u8string denied = Support().errors.Describe(platform::kAccessDenied);
  ASSERT_FALSE(denied.empty());
  EXPECT_EQ(denied.find_first_of(u8"\r\n"), std::u8string::npos);
  EXPECT_NE(denied.back(), u8' ');
  EXPECT_TRUE(Support().errors.Describe(0x2000ABCD).empty()) << "an application's own code has no system text";

  const platform::LocalTime now = Support().clock.Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31) << now.month << "-" << now.day;
  EXPECT_TRUE(now.hour >= 0 && now.hour < 24 && now.minute >= 0 && now.minute < 60 && now.second >= 0 &&
              now.second <= 60);
}

// Something planted at the log's path before the run: a link to a file elsewhere, or a second name
// for one. Either is refused, and the file it leads to keeps what it held.
TEST_F(LogSupportContract, RefusesALinkAndAFileWithASecondName) {
  const std::string dir = env_->ScratchDir();
  const struct {
    const char* name;
    bool hardLink;
  } cases[] = {{"link.log", false}, {"second.log", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = dir + "\\target-" + c.name;
    const std::string planted = dir + "\\" + c.name;
    std::unique_ptr<platform::AppendedFile> seed;
    std::uint64_t sizeBefore = 0;
    ASSERT_EQ(Open(text::FromAnsi("target-" + std::string(c.name)), seed, sizeBefore), platform::kSuccess);
    ASSERT_EQ(seed->Append(u8"kept"), platform::kSuccess);
    seed.reset();
    const Status made = c.hardLink ? env_->MakeHardLink(target, planted) : env_->MakeFileLink(planted, target);
    std::uint32_t attributes = 0;
    if (!c.hardLink && env_->IsWine() &&
        (made != platform::kSuccess || env_->Files().GetAttributes(planted, attributes) != platform::kSuccess ||
         (attributes & platform::kAttrReparsePoint) == 0)) {
      std::printf("  note: this Wine makes no symbolic link to a file (CreateSymbolicLinkW: %u); not checked\n",
                  static_cast<unsigned>(made));
      continue;
    }
    ASSERT_EQ(made, platform::kSuccess);
    std::unique_ptr<platform::AppendedFile> file;
    EXPECT_EQ(Open(text::FromAnsi(c.name), file, sizeBefore), platform::kAccessDenied);
    EXPECT_FALSE(file);
    EXPECT_EQ(Read(text::FromAnsi("target-" + std::string(c.name))), "kept");
  }
}

// A rollback cuts the journal back to its length before the run: never longer, and a path that
// holds no file to cut says so.
TEST_F(LogSupportContract, TruncateCutsBackAndNeverLengthens) {
  struct Case {
    const char8_t* name;
    std::uint64_t size;
    Status status;
    const char* left;  // the file's content afterwards; null: no file was there
  };
  const Case cases[] = {
      {u8"cut.journal", 4, platform::kSuccess, "RUN\t"},
      {u8"past its end.journal", 4096, platform::kSuccess, "RUN\t1\r\nEND"},
      {u8"absent.journal", 0, platform::kFileNotFound, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::Utf8Bytes(c.name));
    if (c.left != nullptr) {
      std::unique_ptr<platform::AppendedFile> file;
      std::uint64_t sizeBefore = 0;
      ASSERT_EQ(Open(c.name, file, sizeBefore), platform::kSuccess);
      ASSERT_EQ(file->Append(u8"RUN\t1\r\nEND"), platform::kSuccess);
    }
    EXPECT_EQ(files().Truncate(At(c.name), c.size), c.status);
    if (c.left != nullptr) {
      EXPECT_EQ(Read(c.name), c.left);
    }
  }
  // Nothing was made where there was nothing.
  std::u8string content;
  EXPECT_EQ(files().ReadWhole(At(u8"absent.journal"), content), platform::kFileNotFound);
}

// A whole file put in another's place: the journal's rewrite relies on it taking the place in one
// step, and on a folder in the way being left as it is.
TEST_F(LogSupportContract, ReplacePutsAFileInAnothersPlace) {
  const struct {
    const char* name;
    const char8_t* destination;
    const char* before;  // what is at the destination: a file's text, "" for nothing, nullptr for a folder
    Status status;
  } cases[] = {
      {"over a file", u8"journal-a", "old", platform::kSuccess},
      {"where nothing is", u8"journal-b", "", platform::kSuccess},
      {"over a folder", u8"journal-c", nullptr, platform::kAccessDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<platform::AppendedFile> file;
    std::uint64_t sizeBefore = 0;
    const std::u8string source = std::u8string(c.destination) + u8".new";
    ASSERT_EQ(Open(source, file, sizeBefore), platform::kSuccess);
    ASSERT_EQ(file->Append(u8"new"), platform::kSuccess);
    file.reset();
    if (c.before == nullptr) {
      ASSERT_EQ(env_->Files().CreateDirectory(std::string(text::Utf8Bytes(At(c.destination)))), platform::kSuccess);
    } else if (*c.before != '\0') {
      ASSERT_EQ(Open(c.destination, file, sizeBefore), platform::kSuccess);
      ASSERT_EQ(file->Append(text::FromAnsi(c.before)), platform::kSuccess);
      file.reset();
    }
    EXPECT_EQ(files().Replace(At(source), At(c.destination)), c.status);
    std::u8string left;
    if (c.status == platform::kSuccess) {
      EXPECT_EQ(Read(c.destination), "new");
      EXPECT_EQ(files().ReadWhole(At(source), left), platform::kFileNotFound);
    } else {
      EXPECT_EQ(Read(source), "new");
    }
  }
}

}  // namespace
