// Payload deployment on the simulated machine: the lookup, the flat copy, its messages and progress.
#include "install/payload.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "records/install_texts.h"

namespace install_test {
namespace {

using sim::FileOp;

constexpr const char* kSetup = "C:\\Setup";
constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kSettingsFolder = "C:\\Users\\User\\AppData\\Roaming\\Vornex";
constexpr const char8_t* kMissingText =
    u8"未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";

std::u8string CopyFailedText(std::u8string_view destination) {
  return u8"拷贝文件 " + std::u8string(destination) +
         u8" 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}

class PayloadTest : public MachineTest {
 protected:
  PayloadTest() {
    files().MakeDirectories("C:\\Vornex");
    sim_.progress().SetRange(0, 50);
    sim_.progress().SetStep(1);
  }

  sim::SimFileSystem& files() { return sim_.files(); }

  // A payload as shipped, in `folder`.
  void WritePayload(const std::string& folder) {
    for (const char* name : {"VX_ZurezUvad2010.arx", "VXCAD2010P.dll", "itextsharp.dll", "Vornex_EN.shx",
                             "Vornex_HZ.shx", "Vornex.prt5", "Vornex.Ini"}) {
      ASSERT_TRUE(files().WriteFile(folder + "\\" + name, std::string("new ") + name));
    }
  }

  bool Copy(const std::string& target = kInstallFolder) {
    CPayloadCopier copier(target, sim_.progress(), sim_.machine());
    const bool result = copier.CopyPayload();
    EXPECT_EQ(files().OpenListingCount(), 0u);
    return result;
  }

  std::vector<std::string> Installed(const std::string& folder = kInstallFolder) { return files().Tree(folder); }
};

TEST_F(PayloadTest, DataLayoutCopiesFilesButNotSubFolders) {
  WritePayload(kData);
  ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\Sub\\inner.txt", "x"));
  ASSERT_TRUE(Copy());

  const std::string dir = std::string(kInstallFolder) + "\\";
  EXPECT_EQ(Installed(), (std::vector<std::string>{dir + "itextsharp.dll", dir + "VXCAD2010P.dll",
                                                   dir + "VX_ZurezUvad2010.arx"}));
  EXPECT_EQ(files().ReadFile(dir + "VXCAD2010P.dll"), "new VXCAD2010P.dll");
  EXPECT_EQ(files().ReadFile(std::string(kSettingsFolder) + "\\Vornex.Ini"), "new Vornex.Ini");
  // ".", "..", seven files and one folder: ten entries, and one step for the end of the listing.
  EXPECT_EQ(sim_.progress().StepCount(), 11u);
}

TEST_F(PayloadTest, FlatLayoutLeavesTheInstallerOut) {
  WritePayload(kSetup);
  ASSERT_TRUE(files().WriteFile(std::string(kSetup) + "\\setup.EXE", "installer"));
  ASSERT_TRUE(Copy());
  const std::string dir = std::string(kInstallFolder) + "\\";
  EXPECT_EQ(Installed(), (std::vector<std::string>{dir + "itextsharp.dll", dir + "VXCAD2010P.dll",
                                                   dir + "VX_ZurezUvad2010.arx"}));
  // ".", "..", seven files and the installer, plus the end.
  EXPECT_EQ(sim_.progress().StepCount(), 11u);
}

struct LookupCase {
  const char* label;
  std::string modulePath;
  std::vector<std::string> files;    // created as files
  std::vector<std::string> folders;  // created as folders
  bool found;
  std::string folder;  // what the lookup leaves behind
};

TEST_F(MachineTest, PayloadLookup) {
  const std::string cheng = Ansi("誠");  // D5 5C: its trail byte is the backslash code
  const std::string deep = "C:\\" + std::string(246, 'd');  // "\Data" still fits, "\SetUp.exe" does not matter
  const LookupCase cases[] = {
      {"Data folder", "C:\\Setup\\SetUp.exe", {}, {"C:\\Setup\\Data"}, true, "C:\\Setup\\Data"},
      {"Data folder wins over the marker", "C:\\Setup\\SetUp.exe", {"C:\\Setup\\VX_ZurezUvad2010.arx"},
       {"C:\\Setup\\Data"}, true, "C:\\Setup\\Data"},
      {"flat layout", "C:\\Setup\\SetUp.exe", {"C:\\Setup\\vx_zurezuvad2010.ARX"}, {}, true, "C:\\Setup"},
      {"a file named Data is no payload folder", "C:\\Setup\\SetUp.exe",
       {"C:\\Setup\\Data", "C:\\Setup\\VX_ZurezUvad2010.arx"}, {}, true, "C:\\Setup"},
      {"a folder named like the marker is no flat layout", "C:\\Setup\\SetUp.exe", {},
       {"C:\\Setup\\VX_ZurezUvad2010.arx"}, false, "C:\\Setup\\VX_ZurezUvad2010.arx"},
      {"nothing", "C:\\Setup\\SetUp.exe", {}, {}, false, "C:\\Setup\\VX_ZurezUvad2010.arx"},
      {"installer named with a trail byte 0x5C", "C:\\Setup\\" + cheng + "SetUp.exe", {},
       {"C:\\Setup\\Data"}, true, "C:\\Setup\\Data"},
      {"program path beyond 260 characters", deep + "\\SetUp-2025.04.28-x64.exe", {}, {deep + "\\Data"},
       true, deep + "\\Data"},
      {"payload beyond the file API's reach", deep + "dddddddddd\\SetUp.exe", {}, {}, false,
       deep + "dddddddddd\\VX_ZurezUvad2010.arx"},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.label);
    sim::SimMachine machine;
    machine.system().SetModulePath(c.modulePath);
    for (const std::string& f : c.files) ASSERT_TRUE(machine.files().WriteFile(f, "x"));
    for (const std::string& d : c.folders) ASSERT_TRUE(machine.files().MakeDirectories(d));
    std::string folder = "junk";
    EXPECT_EQ(FindPayloadFolder(folder, machine.machine()), c.found);
    EXPECT_EQ(folder, c.folder);
    if (c.found) {
      EXPECT_TRUE(machine.prompts().Boxes().empty());
    } else {
      ASSERT_EQ(machine.prompts().Boxes().size(), 1u);
      const sim::SimPrompts::Box& box = machine.prompts().Boxes()[0];
      EXPECT_EQ(box.text, kMissingText);
      EXPECT_EQ(box.caption, u8"V-软件安装");
      EXPECT_EQ(box.flags, platform::kMbOk);
      EXPECT_EQ(box.owner, 0u);
    }
  }
}

TEST_F(PayloadTest, MissingPayloadCopiesNothing) {
  sim_.prompts().Answer(platform::kIdOk);
  EXPECT_FALSE(Copy());
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].text, kMissingText);
  EXPECT_FALSE(files().Exists(kInstallFolder));
  EXPECT_EQ(sim_.progress().StepCount(), 0u);
}

TEST_F(PayloadTest, EmptyPayloadFolder) {
  ASSERT_TRUE(files().MakeDirectories(kData));
  ASSERT_TRUE(Copy());
  EXPECT_TRUE(files().IsDirectory(kInstallFolder));
  EXPECT_TRUE(Installed().empty());
  EXPECT_EQ(sim_.progress().StepCount(), 3u);
}

TEST_F(PayloadTest, EveryEntryOfALongListingIsCopied) {
  for (int i = 0; i < 148; ++i) {
    ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\part" + std::to_string(1000 + i) + ".dat", "p"));
  }
  ASSERT_TRUE(Copy());
  EXPECT_EQ(Installed().size(), 148u);
  EXPECT_TRUE(files().Exists(std::string(kInstallFolder) + "\\part1147.dat"));
  // 150 entries and the end of the listing; the bar has gone round, 0..50 at one a step.
  EXPECT_EQ(sim_.progress().StepCount(), 151u);
  EXPECT_EQ(sim_.progress().Maximum(), 50);
}

TEST_F(PayloadTest, SettingsFileGoesUnderAppDataWhateverItsCase) {
  ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\vornex.ini", "new settings"));
  ASSERT_TRUE(files().WriteFile(std::string(kSettingsFolder) + "\\Vornex.Ini", "old settings",
                                platform::kAttrReadOnly));
  ASSERT_TRUE(Copy());
  EXPECT_EQ(files().ReadFile(std::string(kSettingsFolder) + "\\Vornex.Ini"), "new settings");
  EXPECT_EQ(files().Attributes(std::string(kSettingsFolder) + "\\Vornex.Ini").value_or(0) & platform::kAttrReadOnly,
            0u);
  EXPECT_FALSE(files().Exists(std::string(kInstallFolder) + "\\vornex.ini"));

  // The "Vornex" folder is made when missing.
  sim::SimMachine fresh;
  fresh.system().SetEnvironment("APPDATA", "C:\\Profiles\\" + Ansi("张伟"));
  ASSERT_TRUE(fresh.files().MakeDirectories("C:\\Profiles\\" + Ansi("张伟")));
  ASSERT_TRUE(fresh.files().WriteFile(std::string(kData) + "\\Vornex.Ini", "s"));
  CPayloadCopier copier(kInstallFolder, fresh.progress(), fresh.machine());
  EXPECT_TRUE(copier.CopyPayload());
  EXPECT_EQ(fresh.files().ReadFile("C:\\Profiles\\" + Ansi("张伟") + "\\Vornex\\Vornex.Ini"), "s");
}

TEST_F(PayloadTest, ReadOnlyFilesAreReplacedAndMarksRemoved) {
  WritePayload(kData);
  const std::string source = std::string(kData) + "\\VXCAD2010P.dll";
  const std::string skipped = std::string(kData) + "\\Vornex_EN.shx";
  const std::string target = std::string(kInstallFolder) + "\\VXCAD2010P.dll";
  ASSERT_TRUE(files().WriteFile(source, "new", platform::kAttrReadOnly | platform::kAttrArchive));
  ASSERT_TRUE(files().AddStream(source, "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"));
  ASSERT_TRUE(files().WriteFile(skipped, "font", platform::kAttrReadOnly));
  ASSERT_TRUE(files().AddStream(skipped, "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"));
  ASSERT_TRUE(files().WriteFile(target, "old", platform::kAttrReadOnly));

  ASSERT_TRUE(Copy());
  EXPECT_EQ(files().ReadFile(target), "new");
  EXPECT_EQ(files().Attributes(target), platform::kAttrArchive);
  EXPECT_FALSE(files().HasStream(target, "Zone.Identifier"));
  // The payload's own file lost its bit and mark; a file the copy passes over kept both.
  EXPECT_EQ(files().Attributes(source), platform::kAttrArchive);
  EXPECT_FALSE(files().HasStream(source, "Zone.Identifier"));
  EXPECT_EQ(files().Attributes(skipped).value_or(0) & platform::kAttrReadOnly, platform::kAttrReadOnly);
  EXPECT_TRUE(files().HasStream(skipped, "Zone.Identifier"));
}

// A copy that fails: the answers given, and what the copy does with them.
struct FailureCase {
  const char* label;
  int failures;              // the copy of VXCAD2010P.dll fails this many times (-1: always)
  std::vector<int> answers;  // to the boxes, in order
  bool result;
  bool fileCopied;
  bool laterFileCopied;  // VX_ZurezUvad2010.arx comes after it in the listing
};

TEST_F(PayloadTest, AbortRetryIgnore) {
  const FailureCase cases[] = {
      {"retry once", 1, {platform::kIdRetry}, true, true, true},
      {"retry twice", 2, {platform::kIdRetry, platform::kIdRetry}, true, true, true},
      {"any other answer retries", 1, {platform::kIdOk}, true, true, true},
      {"retry, then ignore", sim::kAlways, {platform::kIdRetry, platform::kIdIgnore}, true, false, true},
      {"abort", sim::kAlways, {platform::kIdAbort}, false, false, false},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.label);
    sim::SimMachine machine;
    machine.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << text::Utf8Bytes(box.text);
    });
    ASSERT_TRUE(machine.files().MakeDirectories("C:\\Vornex"));
    for (const char* name : {"itextsharp.dll", "VXCAD2010P.dll", "VX_ZurezUvad2010.arx"}) {
      ASSERT_TRUE(machine.files().WriteFile(std::string(kData) + "\\" + name, name));
    }
    const std::string target = std::string(kInstallFolder) + "\\VXCAD2010P.dll";
    machine.files().FailOn(FileOp::Copy, target, platform::kAccessDenied, c.failures);
    for (const int answer : c.answers) machine.prompts().Answer(answer);

    CPayloadCopier copier(std::string(kInstallFolder) + "\\", machine.progress(), machine.machine());
    EXPECT_EQ(copier.CopyPayload(), c.result);
    EXPECT_EQ(machine.prompts().PendingAnswers(), 0u);
    ASSERT_EQ(machine.prompts().Boxes().size(), c.answers.size());
    for (const sim::SimPrompts::Box& box : machine.prompts().Boxes()) {
      EXPECT_EQ(box.text, CopyFailedText(Unicode(target)));
      EXPECT_EQ(box.caption, u8"V-软件安装");
      EXPECT_EQ(box.flags, platform::kMbAbortRetryIgnore);
      EXPECT_EQ(box.owner, 0u);
    }
    EXPECT_TRUE(machine.files().Exists(std::string(kInstallFolder) + "\\itextsharp.dll"));
    EXPECT_EQ(machine.files().Exists(target), c.fileCopied);
    EXPECT_EQ(machine.files().Exists(std::string(kInstallFolder) + "\\VX_ZurezUvad2010.arx"), c.laterFileCopied);
  }
}

TEST_F(PayloadTest, CopyFailureNamesAChineseDestination) {
  ASSERT_TRUE(files().MakeDirectories(Ansi("C:\\软件")));
  ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\itextsharp.dll", "x"));
  const std::string target = Ansi("C:\\软件\\V-ZurezUvad");
  files().FailOn(FileOp::Copy, target + "\\itextsharp.dll", platform::kAccessDenied, 1);
  sim_.prompts().Answer(platform::kIdIgnore);
  ASSERT_TRUE(Copy(target));
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].text, CopyFailedText(u8"C:\\软件\\V-ZurezUvad\\itextsharp.dll"));
}

// A destination beyond 259 characters is never handed to the file API cut short; the user is
// told which file and why, and can skip it or stop.
TEST_F(PayloadTest, OverlongDestinationIsReportedNotCut) {
  const std::string target = "C:\\Vornex\\" + std::string(225, 'v');  // creatable: under 248 characters
  const std::string longName = "VX_ZurezUvad2010-with-a-long-name.arx";   // pushes the path past 259
  ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\" + longName, "x"));
  ASSERT_TRUE(files().WriteFile(std::string(kData) + "\\zz.dll", "y"));
  sim_.prompts().Answer(platform::kIdIgnore);
  ASSERT_TRUE(Copy(target));
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].text, install::WithPath(install::kPathTooLongText, target + "\\" + longName));
  EXPECT_EQ(sim_.prompts().Boxes()[0].flags, platform::kMbAbortRetryIgnore);
  EXPECT_EQ(Installed(target), (std::vector<std::string>{target + "\\zz.dll"}));

  sim::SimMachine aborted;
  ASSERT_TRUE(aborted.files().WriteFile(std::string(kData) + "\\" + longName, "x"));
  aborted.prompts().Answer(platform::kIdAbort);
  CPayloadCopier copier(target, aborted.progress(), aborted.machine());
  EXPECT_FALSE(copier.CopyPayload());
}

TEST_F(PayloadTest, SettingsFileWithoutAPlaceUnderAppData) {
  WritePayload(kData);
  // Unset: told so, then skipped on Ignore; the rest is copied.
  sim_.system().UnsetEnvironment("APPDATA");
  sim_.prompts().Answer(platform::kIdIgnore);
  ASSERT_TRUE(Copy());
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].text, install::WithPath(install::kNoAppDataText, "Vornex.Ini"));
  EXPECT_FALSE(files().Exists("C:\\Vornex\\Vornex.Ini"));
  EXPECT_TRUE(files().Exists(std::string(kInstallFolder) + "\\VXCAD2010P.dll"));

  // Too long for the file API: named in full, never cut.
  sim::SimMachine deep;
  const std::string appData = "C:\\" + std::string(245, 'a');
  ASSERT_TRUE(deep.files().MakeDirectories(appData));
  deep.system().SetEnvironment("APPDATA", appData);
  ASSERT_TRUE(deep.files().WriteFile(std::string(kData) + "\\Vornex.Ini", "s"));
  deep.prompts().Answer(platform::kIdAbort);
  CPayloadCopier copier(kInstallFolder, deep.progress(), deep.machine());
  EXPECT_FALSE(copier.CopyPayload());
  ASSERT_EQ(deep.prompts().Boxes().size(), 1u);
  EXPECT_EQ(deep.prompts().Boxes()[0].text,
            install::WithPath(install::kPathTooLongText, appData + "\\Vornex\\Vornex.Ini"));
}

TEST_F(PayloadTest, UnreadablePayloadFolderEndsTheCopy) {
  // "\Data" fits the file API, the listing pattern "\Data\*.*" does not.
  const std::string setup = "C:\\" + std::string(250, 's');
  sim_.system().SetModulePath(setup + "\\SetUp.exe");
  ASSERT_TRUE(files().MakeDirectories(setup + "\\Data"));
  sim_.prompts().Answer(platform::kIdOk);
  EXPECT_FALSE(Copy());
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].text, install::WithPath(install::kPayloadUnreadableText, setup + "\\Data"));
}

TEST_F(MachineTest, PathHelpers) {
  sim::SimFileSystem& files = sim_.files();
  ASSERT_TRUE(files.WriteFile("C:\\a\\file.txt", "x", platform::kAttrReadOnly | platform::kAttrHidden));
  ASSERT_TRUE(files.WriteFile("C:\\a\\plain.txt", "x", platform::kAttrArchive));
  ASSERT_TRUE(files.AddStream("C:\\a\\plain.txt", "Zone.Identifier", "ZoneId=3"));
  platform::Machine& m = sim_.machine();

  EXPECT_EQ(GetPathKind("C:\\a", m), kPathFolder);
  EXPECT_EQ(GetPathKind("C:\\a\\FILE.TXT", m), kPathFile);
  EXPECT_EQ(GetPathKind("C:\\a\\none", m), kPathNone);
  EXPECT_EQ(GetPathKind("C:\\a\\" + std::string(260, 'x'), m), kPathNone);

  ClearReadOnly("C:\\a\\file.txt", m);
  EXPECT_EQ(files.Attributes("C:\\a\\file.txt"), platform::kAttrHidden);
  ClearReadOnly("C:\\a\\plain.txt", m);
  EXPECT_EQ(files.Attributes("C:\\a\\plain.txt"), platform::kAttrArchive);
  ClearReadOnly("C:\\a\\none", m);

  EXPECT_TRUE(RemoveZoneMark("C:\\a\\plain.txt", m));
  EXPECT_FALSE(files.HasStream("C:\\a\\plain.txt", "Zone.Identifier"));
  EXPECT_FALSE(RemoveZoneMark("C:\\a\\plain.txt", m));
  EXPECT_EQ(files.ReadFile("C:\\a\\plain.txt"), "x");
}

}  // namespace
}  // namespace install_test
