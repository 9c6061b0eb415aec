// The journal: records that read back as written whatever their paths hold, a reader that survives a
// power cut, and a writer that appends run after run and backs up each original once.
#include "records/journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "platform/sim/sim_log_support.h"
#include "platform/utf8_text.h"

namespace install_test {
namespace {

using install::JournalRecord;
using platform::RootKey;

constexpr const char8_t* kFolder = u8"C:\\Vornex\\V-ZurezUvad";
constexpr const char* kJournal = "C:\\Vornex\\V-ZurezUvad\\VornexSetup.journal";
constexpr const char8_t* kProfile =
    u8"Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables";
constexpr const char8_t* kPc3 = u8"C:\\Program Files\\Autodesk\\AutoCAD 2008\\Drv\\Vornex.hdi";

std::string Bytes(std::u8string_view text) { return std::string(text::Utf8Bytes(text)); }

TEST(JournalLine, RecordsReadBackAsWritten) {
  const struct {
    JournalRecord record;
    const char8_t* line;
  } cases[] = {
      {install::RunStarted{u8"2026-12-08 21:47:59", u8"2025.04.28"}, u8"RUN\t2026-12-08 21:47:59\t2025.04.28"},
      {install::FileCopied{u8"C:\\Vornex\\V-ZurezUvad\\批打印.arx", 123456},
       u8"FILE\tC:\\Vornex\\V-ZurezUvad\\批打印.arx\t123456"},
      {install::FileCopied{u8"D:\\도구 모음\\한글.dll", 0}, u8"FILE\tD:\\도구 모음\\한글.dll\t0"},
      {install::FileCopied{u8"C:\\50%\\a\tb\nc\r\x7F.dll", 18446744073709551615u},
       u8"FILE\tC:\\50%25\\a%09b%0Ac%0D%7F.dll\t18446744073709551615"},
      {install::KeyWritten{RootKey::LocalMachine,
                           u8"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX"},
       u8"KEY\tHKEY_LOCAL_MACHINE\tSOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX"},
      // Lines of the journal's first version, without the data.
      {install::ValueWritten{RootKey::CurrentUser, u8"Software\\Vornex", u8"", platform::kRegSz, std::nullopt},
       u8"VALUE\tHKEY_CURRENT_USER\tSoftware\\Vornex\t\tREG_SZ"},
      {install::ValueWritten{RootKey::LocalMachine, u8"S\\V", u8"LOADCTRLS", platform::kRegDword, std::nullopt},
       u8"VALUE\tHKEY_LOCAL_MACHINE\tS\\V\tLOADCTRLS\tREG_DWORD"},
      {install::ValueWritten{RootKey::LocalMachine, u8"S\\V", u8"名\t称", 0x20000, std::nullopt},
       u8"VALUE\tHKEY_LOCAL_MACHINE\tS\\V\t名%09称\t131072"},
      {install::ValueWritten{RootKey::LocalMachine, u8"S\\V", u8"LOADER", platform::kRegSz, u8"C:\\批\t.arx"},
       u8"VALUE\tHKEY_LOCAL_MACHINE\tS\\V\tLOADER\tREG_SZ\tC:\\批%09.arx"},
      {install::ValueWritten{RootKey::LocalMachine, u8"S\\V", u8"DisplayName", platform::kRegSz, u8""},
       u8"VALUE\tHKEY_LOCAL_MACHINE\tS\\V\tDisplayName\tREG_SZ\t"},
      {install::FolderCreated{u8"D:\\CAD 工具"}, u8"FOLDER\tD:\\CAD 工具"},
      {install::TrustedPathAdded{std::nullopt, kProfile, u8"C:\\Vornex\\V-ZurezUvad", false},
       u8"TRUSTED\tHKCU\tSoftware\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables\t"
       u8"C:\\Vornex\\V-ZurezUvad"},
      {install::TrustedPathAdded{u8"S-1-5-21-1-2-3-1001", u8"P\\Variables", u8"D:\\CAD 工具\\V-ZurezUvad\\...", true},
       u8"TRUSTED\tS-1-5-21-1-2-3-1001\tP\\Variables\tD:\\CAD 工具\\V-ZurezUvad\\...\tNEW"},
      {install::SupportFilePlaced{u8"C:\\AutoCAD 2010\\Fonts\\Vornex_EN.shx", 4096, u8"AF63DC4C8601EC8C"},
       u8"SUPPORT\tC:\\AutoCAD 2010\\Fonts\\Vornex_EN.shx\t4096\tAF63DC4C8601EC8C"},
      {install::SupportFilePlaced{u8"C:\\AutoCAD 2010\\Fonts\\Vornex_HZ.shx", 4096, u8""},
       u8"SUPPORT\tC:\\AutoCAD 2010\\Fonts\\Vornex_HZ.shx\t4096\t"},
      {install::OriginalBackedUp{kPc3, u8"C:\\Vornex\\V-ZurezUvad\\Backup\\1\\Vornex.hdi"},
       u8"BACKUP\tC:\\Program Files\\Autodesk\\AutoCAD "
       u8"2008\\Drv\\Vornex.hdi\tC:\\Vornex\\V-ZurezUvad\\Backup\\1\\Vornex.hdi"},
      {install::UnknownRecord{u8"SHORTCUT", {u8"C:\\Users\\Public\\Desktop\\V.lnk", u8"100%"}},
       u8"SHORTCUT\tC:\\Users\\Public\\Desktop\\V.lnk\t100%25"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Bytes(c.line));
    EXPECT_EQ(Bytes(install::FormatJournalLine(c.record)), Bytes(c.line) + "\r\n");
    const std::optional<JournalRecord> parsed = install::ParseJournalLine(c.line);
    EXPECT_TRUE(parsed && *parsed == c.record);
  }
}

TEST(ContentDigest, IsFnv1a64InHex) {
  EXPECT_EQ(Bytes(install::ContentDigest(u8"")), "CBF29CE484222325");
  EXPECT_EQ(Bytes(install::ContentDigest(u8"a")), "AF63DC4C8601EC8C");
  EXPECT_EQ(Bytes(install::ContentDigest(u8"foobar")), "85944171F73967E8");
}

TEST(ParseJournal, KeepsWholeRecordsAndCountsDamage) {
  using namespace std::string_literals;  // the text holds NULs
  const std::u8string text =
      u8"\uFEFF# 安装记录\r\n"
      u8"RUN\t2026-12-08 21:47:59\t2025.04.28\r\n"
      u8"FILE\tC:\\a\t12\r\n"
      u8"FILE\tC:\\too-few\r\n"
      u8"FILE\tC:\\bad-size\t1x\r\n"
      u8"KEY\tHKEY_USERS\tS-1-5-18\\Software\r\n"
      u8"VALUE\tHKEY_CURRENT_USER\tS\tN\tREG_TEXT\r\n"
      u8"FILE\tC:\\lone%\t1\r\n"
      u8"FILE\tC:\\short%4\t1\n"
      u8"\tno kind\r\n"
      u8"SUPPORT\tC:\\f\t7\tD\tadded by a later version\n"
      u8"SUPPORT\tC:\\g\t8\n"
      u8"\r\n"
      u8"FILE\tC:\\torn\0\0\0\t1\r\n"
      u8"REGISTER\tx\r\n"
      u8"FILE\tC:\\cut\t12"s;
  const install::JournalContents contents = install::ParseJournal(text);
  const std::vector<JournalRecord> expected = {
      install::RunStarted{u8"2026-12-08 21:47:59", u8"2025.04.28"}, install::FileCopied{u8"C:\\a", 12},
      install::SupportFilePlaced{u8"C:\\f", 7, u8"D"}, install::SupportFilePlaced{u8"C:\\g", 8, u8""},
      install::UnknownRecord{u8"REGISTER", {u8"x"}}};
  EXPECT_TRUE(contents.records == expected);
  EXPECT_EQ(contents.damagedLines, 9u);
}

class JournalWriterTest : public MachineTest {
 protected:
  JournalWriterTest() { sim_.files().MakeDirectories("C:\\Vornex\\V-ZurezUvad"); }

  install::JournalContents Read() {
    install::JournalContents contents;
    EXPECT_EQ(install::ReadJournal(support_.files(), kFolder, contents), platform::kSuccess);
    return contents;
  }

  sim::SimLogSupport support_{sim_.files()};
};

TEST_F(JournalWriterTest, AppendsRunAfterRunAndNumbersTheBackupsOn) {
  // Each RUN keeps the journal's length before it, which a rollback of that run cuts it back to.
  const install::RunStarted first{u8"2026-12-08 21:47:59", u8"2025.04.28", 0};
  const install::OriginalBackedUp backup{kPc3, u8"C:\\Vornex\\V-ZurezUvad\\Backup\\1\\Vornex.hdi"};
  {
    install::JournalWriter journal(support_.support());
    ASSERT_EQ(journal.Start(kFolder, u8"2025.04.28"), platform::kSuccess);
    EXPECT_EQ(journal.Record(install::FileCopied{u8"C:\\Vornex\\V-ZurezUvad\\批打印.arx", 10}), platform::kSuccess);
    EXPECT_TRUE(journal.History(kPc3).backups.empty());
    EXPECT_EQ(Bytes(journal.BackupPathFor(kPc3)), Bytes(backup.backup));
    EXPECT_EQ(journal.Record(backup), platform::kSuccess);
    // On the disk while the writer is still open: an interrupted run leaves a true record.
    EXPECT_EQ(Read().records.size(), 3u);
    EXPECT_EQ(journal.History(u8"c:\\program files\\autodesk\\autocad 2008\\drv\\VORNEX.HDI").backups,
              std::vector<std::u8string>{backup.backup});
  }
  support_.clock().Set({2027, 3, 1, 8, 0, 0});
  const std::uint64_t lengthBefore = sim_.files().ReadFile(kJournal).value_or("").size();
  install::JournalWriter again(support_.support());
  ASSERT_EQ(again.Start(kFolder, u8"2025.05.01"), platform::kSuccess);
  EXPECT_EQ(again.History(kPc3).backups.size(), 1u);
  // Whether a file is kept again is the caller's to tell from the files themselves (an update of
  // AutoCAD's may be there now): a second copy of one original is recorded, and numbered on, past
  // a number `skip` says is taken.
  const install::OriginalBackedUp update{kPc3, u8"C:\\Vornex\\V-ZurezUvad\\Backup\\3\\Vornex.hdi"};
  EXPECT_EQ(Bytes(again.BackupPathFor(kPc3, 1)), Bytes(update.backup));
  EXPECT_EQ(again.Record(update), platform::kSuccess);
  const install::OriginalBackedUp other{u8"C:\\AutoCAD 2010\\Fonts\\txt.shx",
                                        u8"C:\\Vornex\\V-ZurezUvad\\Backup\\3\\txt.shx"};
  EXPECT_EQ(Bytes(again.BackupPathFor(other.original)), Bytes(other.backup));
  EXPECT_EQ(again.Record(other), platform::kSuccess);
  EXPECT_EQ(again.History(kPc3).backups, (std::vector<std::u8string>{backup.backup, update.backup}));

  const install::JournalContents contents = Read();
  const std::vector<JournalRecord> expected = {first, install::FileCopied{u8"C:\\Vornex\\V-ZurezUvad\\批打印.arx", 10},
                                               backup, install::RunStarted{u8"2027-03-01 08:00:00", u8"2025.05.01", lengthBefore},
                                               update, other};
  EXPECT_TRUE(contents.records == expected);
  EXPECT_EQ(contents.damagedLines, 0u);
  const std::string file = sim_.files().ReadFile(kJournal).value_or("");
  EXPECT_EQ(file.rfind("\xEF\xBB\xBF# ", 0), 0u) << "one byte order mark and note, at the start";
  EXPECT_EQ(file.find("\n#"), std::string::npos);
}

TEST_F(JournalWriterTest, EndsALineCutShortSoThatItCannotPassForARecord) {
  // The size was being written when the power went: "123" reached the disk as "12".
  const std::string torn = "RUN\t2026-12-08 21:47:59\t1\r\nFILE\tC:\\x\t12";
  ASSERT_TRUE(sim_.files().WriteFile(kJournal, torn));
  install::JournalWriter journal(support_.support());
  ASSERT_EQ(journal.Start(kFolder, u8"2"), platform::kSuccess);
  const install::JournalContents contents = Read();
  const std::vector<JournalRecord> expected = {install::RunStarted{u8"2026-12-08 21:47:59", u8"1"},
                                               install::RunStarted{u8"2026-12-08 21:47:59", u8"2", torn.size()}};
  EXPECT_TRUE(contents.records == expected);
  EXPECT_EQ(contents.damagedLines, 1u);
}

TEST_F(JournalWriterTest, ReportsWhatWasNotRecorded) {
  install::JournalWriter journal(support_.support());
  EXPECT_EQ(journal.Record(install::FileCopied{u8"C:\\a", 1}), platform::kInvalidHandle);
  EXPECT_EQ(journal.Start(u8"C:\\Missing\\V-ZurezUvad", u8"1"), platform::kPathNotFound);
  ASSERT_EQ(journal.Start(kFolder, u8"1"), platform::kSuccess);
  support_.files().FailAppends(112, 1);
  EXPECT_EQ(journal.Record(install::OriginalBackedUp{kPc3, u8"C:\\b"}), 112);
  EXPECT_TRUE(journal.History(kPc3).backups.empty()) << "a backup the journal lacks must be made again";
}

}  // namespace
}  // namespace install_test
