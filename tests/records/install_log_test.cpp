// The install log: timed UTF-8 lines in the file as each step is written, and what a lost log reports.
#include "records/install_log.h"

#include <gtest/gtest.h>

#include <string>

#include "install/install_test_support.h"
#include "platform/sim/sim_log_support.h"
#include "records/install_record.h"
#include "platform/utf8_text.h"

namespace install_test {
namespace {

constexpr const char* kLogPath = "C:\\Temp\\VornexSetup.log";
constexpr const char8_t* kLogPathUtf8 = u8"C:\\Temp\\VornexSetup.log";
const std::string kBom = "\xEF\xBB\xBF";

class InstallLogTest : public MachineTest {
 protected:
  InstallLogTest() { sim_.files().MakeDirectories("C:\\Temp"); }

  std::string Logged() { return sim_.files().ReadFile(kLogPath).value_or("<no file>"); }

  sim::SimLogSupport support_{sim_.files()};
  install::InstallLog log_{support_.support()};
};

TEST_F(InstallLogTest, WritesEachStepWithItsTimeBeforeTheNextBegins) {
  ASSERT_EQ(log_.Open(kLogPathUtf8), platform::kSuccess);
  log_.Write(u8"安装开始");
  // Already in the file: a crash now keeps it.
  std::string expected = kBom + "2026-12-08 21:47:59  安装开始\r\n";
  EXPECT_EQ(Logged(), expected);

  support_.clock().Set({2027, 1, 2, 3, 4, 5});
  log_.Write(u8"以下项目未能完成：\r\n\nC:\\A\\a.dll\nC:\\B\\b.dll\n");
  log_.WriteError(u8"拷贝文件 " + text::FromAnsi(Ansi("C:\\软件\\誠.dll")) + u8" 失败", platform::kAccessDenied);
  expected +=
      "2027-01-02 03:04:05  以下项目未能完成：\r\n"
      "                     C:\\A\\a.dll\r\n"
      "                     C:\\B\\b.dll\r\n"
      "2027-01-02 03:04:05  拷贝文件 C:\\软件\\誠.dll 失败：错误 5：拒绝访问。\r\n";
  EXPECT_EQ(Logged(), expected);

  // A later run appends, without a second byte order mark.
  install::InstallLog again(support_.support());
  ASSERT_EQ(again.Open(kLogPathUtf8), platform::kSuccess);
  again.Write(u8"再次安装");
  EXPECT_EQ(Logged(), expected + "2027-01-02 03:04:05  再次安装\r\n");
  EXPECT_EQ(log_.Failure(), platform::kSuccess);
}

TEST_F(InstallLogTest, KeepsTheFirstFailureAndGoesOn) {
  ASSERT_TRUE(sim_.files().WriteFile("C:\\Temp\\locked.log", "old", platform::kAttrReadOnly));
  const struct {
    const char8_t* path;
    platform::Status status;
  } unopenable[] = {{u8"C:\\Missing\\VornexSetup.log", platform::kPathNotFound},
                    {u8"C:\\Temp\\locked.log", platform::kAccessDenied},
                    {u8"C:\\Temp", platform::kAccessDenied}};
  for (const auto& c : unopenable) {
    install::InstallLog log(support_.support());
    EXPECT_EQ(log.Open(c.path), c.status);
    log.Write(u8"无处可写");
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Failure(), c.status);
  }
  EXPECT_FALSE(sim_.files().Exists("C:\\Missing"));
  EXPECT_EQ(sim_.files().ReadFile("C:\\Temp\\locked.log"), "old");

  constexpr platform::Status kDiskFull = 112;
  ASSERT_EQ(log_.Open(kLogPathUtf8), platform::kSuccess);
  support_.files().FailAppends(kDiskFull, 1);
  log_.Write(u8"丢失");
  log_.Write(u8"保留");
  EXPECT_EQ(log_.Failure(), kDiskFull);
  EXPECT_EQ(Logged(), kBom + "2026-12-08 21:47:59  保留\r\n");
}

TEST(DescribeError, GivesTheCodeAndTheSystemsText) {
  sim::SimErrorTexts texts;
  const struct {
    platform::Status error;
    const char8_t* expected;
  } cases[] = {
      {platform::kAccessDenied, u8"错误 5：拒绝访问。"},
      {32, u8"错误 32：另一个程序正在使用此文件，进程无法访问。"},
      {1234, u8"错误 1234"},
      {static_cast<platform::Status>(0x80070005u), u8"错误 2147942405"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text::Utf8Bytes(install::DescribeError(texts, c.error)), text::Utf8Bytes(c.expected)) << c.error;
  }
}

// A value from someone's hive, written to the log, stays one entry of it: its line breaks and other
// control characters are escaped, so it cannot add a line that reads as the installer's own.
TEST_F(InstallLogTest, TextFromOutsideCannotAddLinesOfItsOwn) {
  ASSERT_EQ(log_.Open(kLogPathUtf8), platform::kSuccess);
  install::InstallRecord record(&log_, nullptr);
  record.TrustedPathsChanged(u8"S-1-5-21-1-2-3-1001", u8"HKEY_USERS\\S-1-5-21-1-2-3-1001", u8"Variables",
                             u8"D:\\a\r\n2026-12-08 21:47:59  安装已完成。", u8"D:\\a;C:\\V\x1B[2J", u8"C:\\V", false);
  log_.Write(u8"保留用户已有的设置文件 C:\\a\rb\tc\x7F");
  EXPECT_EQ(Logged(), kBom +
                          "2026-12-08 21:47:59  TRUSTEDPATHS HKEY_USERS\\S-1-5-21-1-2-3-1001\\Variables\r\n"
                          "                     原值：D:\\a\\x0D\\x0A2026-12-08 21:47:59  安装已完成。\r\n"
                          "                     新值：D:\\a;C:\\V\\x1B[2J\r\n"
                          "2026-12-08 21:47:59  保留用户已有的设置文件 C:\\a\\x0Db\\x09c\\x7F\r\n");
}

}  // namespace
}  // namespace install_test
