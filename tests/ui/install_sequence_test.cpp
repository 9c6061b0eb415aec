// The install button through a fake window on the simulated machine: the running check, the
// install folder, the sequence under its progress bar, and the finished page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "records/install_texts.h"
#include "platform/invalid_argument.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "support/fixtures.h"
#include "ui/dlg_setup.h"
#include "ui/fake_dialog_view.h"
#include "ui/setup_ids.h"

namespace {

using platform::RootKey;

constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kAcad2010 = "C:\\Program Files\\Autodesk\\AutoCAD 2010";
constexpr const char* kAcad2022 = "C:\\Program Files\\Autodesk\\AutoCAD 2022";

using support::Ansi;

// The two-release machine with the payload beside the installer and the setup dialog open on it.
class InstallSequenceTest : public ::testing::Test {
 protected:
  InstallSequenceTest() : view_(gdi_), dlg_(catalog_, sim_.machine()) {
    g_bCheckAcadRunning = true;  // as at program start
    const sim::RegFileResult loaded = support::LoadRegistryFixture(sim_, "registry/two-releases.reg");
    EXPECT_TRUE(loaded) << loaded.Describe();
    catalog_.Scan(sim_.registry());
    // Eight files: with "." and ".." the listing has ten entries.
    for (const char* name : {"VX_ZurezUvad2010.arx", "VX_ZurezUvad2021.arx", "VXCAD2010P.dll", "VXCAD2013P.dll",
                             "itextsharp.dll", "Vornex_EN.shx", "Vornex_HZ.shx", "Vornex.Ini"}) {
      EXPECT_TRUE(sim_.files().WriteFile(std::string(kData) + "\\" + name, name));
    }
    for (const char* acad : {kAcad2010, kAcad2022}) EXPECT_TRUE(sim_.files().MakeDirectories(std::string(acad) + "\\Fonts"));
    sim_.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << "unexpected box: " << text::Utf8Bytes(box.text);
    });

    // The window as the template creates it, with pixel rectangles for 1.5 pixels per dialog unit.
    for (int id : {IDC_FINISH, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) view_.At(id).visible = false;
    view_.window = {200, 100, 630, 540};
    view_.controlRects[IDC_FINISH] = {165, 321, 260, 342};
    view_.controlRects[IDC_CANCEL] = {260, 393, 335, 414};
    dlg_.AttachView(&view_);
    dlg_.OnInitDialog();
  }

  void Type(const std::string& folder) { view_.At(IDC_PATH).text = folder; }
  // Presses "安  装"; returns the window calls it made.
  std::vector<std::string> Press() {
    const std::size_t before = view_.log.size();
    EXPECT_TRUE(dlg_.RouteCommand(ui::kBnClicked, IDC_INSTALL));
    return std::vector<std::string>(view_.log.begin() + static_cast<std::ptrdiff_t>(before), view_.log.end());
  }
  const std::vector<std::string>& Progress() { return view_.progress[IDC_PROGRESS].calls; }
  bool Finished() { return view_.At(IDC_DONE_NOTE).visible && view_.At(IDC_FINISH).visible; }

  sim::SimMachine sim_;
  CAcadCatalog catalog_;
  uitest::FakeGdi gdi_;
  uitest::FakeDialogView view_;
  Dlg_Setup dlg_;
};

std::vector<std::string> FinishedPageCalls() {
  // All of it with the dialog's painting held, so that it is repainted once, not per control.
  std::vector<std::string> calls = {"redraw 0", "show 1023 1", "show 1021 1", "show 1016 0", "show 1014 0",
                                    "show 1 1",  "show 1022 0",  "show 2 0"};
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    calls.push_back("show " + std::to_string(setup::ReleaseBoxId(year)) + " 0");
  }
  calls.push_back("redraw 1");
  return calls;
}

TEST_F(InstallSequenceTest, InstallsAndShowsTheFinishedPage) {
  // 2022 is unchecked by hand: only 2010 is installed for.
  view_.At(IDC_CHECK2022).check = 0;
  const std::vector<std::string> calls = Press();

  std::vector<std::string> expected = {"show 1017 0", "show 1000 0", "show 1015 0", "show 1014 1"};
  for (const std::string& call : FinishedPageCalls()) expected.push_back(call);
  EXPECT_EQ(calls, expected);

  // Ten entries and the end of the listing, three steps of the sequence, then full.
  std::vector<std::string> progress = {"range 0 50", "step 1", "pos 0"};
  progress.insert(progress.end(), 11 + 3, "stepit");
  progress.push_back("pos 50");
  EXPECT_EQ(Progress(), progress);

  EXPECT_EQ(catalog_.m_strInstallFolder, "C:\\Vornex\\V-ZurezUvad");
  EXPECT_EQ(view_.At(IDC_PATH).text, "C:\\Vornex\\V-ZurezUvad");
  // Left, top and width kept; the bottom moves up by the distance between the two buttons' bottoms.
  EXPECT_EQ(view_.moves, (std::vector<ui::Rect>{{200, 100, 630, 468}}));
  EXPECT_TRUE(view_.endResults.empty());
  EXPECT_TRUE(sim_.prompts().Boxes().empty());

  // The payload, the registration and the support files, for the checked release only.
  EXPECT_TRUE(sim_.files().Exists("C:\\Vornex\\V-ZurezUvad\\VXCAD2013P.dll"));
  EXPECT_TRUE(sim_.files().Exists("C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini"));
  EXPECT_EQ(sim_.registry().GetString(RootKey::LocalMachine,
                                      "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX_ZurezUvad2010",
                                      "LOADER"),
            "C:\\Vornex\\V-ZurezUvad\\VX_ZurezUvad2010.ARX");
  EXPECT_FALSE(sim_.registry().KeyExists(
      RootKey::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Applications\\VX_ZurezUvad2022"));
  EXPECT_TRUE(sim_.files().Exists(std::string(kAcad2010) + "\\Fonts\\Vornex_EN.shx"));
  EXPECT_FALSE(sim_.files().Exists(std::string(kAcad2022) + "\\itextsharp.dll"));
  // Every profile trusts the folder, the unchecked release's included.
  EXPECT_EQ(sim_.registry().GetString(
                RootKey::CurrentUser,
                "Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables",
                "TRUSTEDPATHS"),
            "C:\\PROGRAM FILES\\AUTODESK\\AUTOCAD 2022\\PLUGINS\\...;C:\\USERS\\JSMITH\\DOCUMENTS\\LISP;"
            "C:\\VORNEX\\V-ZUREZUVAD");

  // "安装完成" closes the dialog with IDOK.
  EXPECT_TRUE(dlg_.RouteCommand(ui::kBnClicked, IDC_FINISH));
  EXPECT_EQ(view_.endResults, std::vector<int>{platform::kIdOk});
}

// What the registration and the support files could not do is told in one box once the bar is full,
// and the finished page follows as always.
TEST_F(InstallSequenceTest, UndoneWorkIsToldOnceBeforeTheFinishedPage) {
  ASSERT_TRUE(sim_.files().Remove(std::string(kAcad2022) + "\\Fonts"));
  sim_.registry().DenyOpen(RootKey::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804",
                           sim::Deny::WriteAccess);
  bool finishedAtTheBox = true;
  std::string progressAtTheBox;
  sim_.prompts().OnUnscripted([&](const sim::SimPrompts::Box&) {
    finishedAtTheBox = Finished();
    progressAtTheBox = Progress().empty() ? "" : Progress().back();
  });
  const std::vector<std::string> calls = Press();

  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  const sim::SimPrompts::Box& box = sim_.prompts().Boxes()[0];
  EXPECT_EQ(box.text,
            u8"安装已完成，但以下项目未能完成：\n\n"
            u8"HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\n"
            u8"C:\\Program Files\\Autodesk\\AutoCAD 2022\\Fonts\\Vornex_EN.shx\n"
            u8"C:\\Program Files\\Autodesk\\AutoCAD 2022\\Fonts\\Vornex_HZ.shx\n\n"
            u8"请关闭AutoCAD并以管理员身份重新运行安装程序。");
  EXPECT_EQ(box.caption, u8"V-软件安装");
  EXPECT_EQ(box.flags, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_EQ(box.owner, 0u);
  EXPECT_FALSE(finishedAtTheBox);
  EXPECT_EQ(progressAtTheBox, "pos 50");

  std::vector<std::string> expected = {"show 1017 0", "show 1000 0", "show 1015 0", "show 1014 1"};
  for (const std::string& call : FinishedPageCalls()) expected.push_back(call);
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(view_.moves.size(), 1u);
  EXPECT_TRUE(view_.endResults.empty());
  // The rest was done: 2022's own load keys and library, 2010's support files.
  EXPECT_TRUE(sim_.registry().KeyExists(
      RootKey::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Applications\\VX_ZurezUvad2022"));
  EXPECT_TRUE(sim_.files().Exists(std::string(kAcad2022) + "\\itextsharp.dll"));
  EXPECT_TRUE(sim_.files().Exists(std::string(kAcad2010) + "\\Fonts\\Vornex_EN.shx"));
}

TEST_F(InstallSequenceTest, WarnsOnceWhileAutoCadRuns) {
  sim_.system().SetProcesses({"explorer.exe", "ACAD.EXE", "SetUp.exe"});
  sim_.prompts().Answer(platform::kIdOk);
  EXPECT_TRUE(Press().empty());
  ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
  const sim::SimPrompts::Box& box = sim_.prompts().Boxes()[0];
  EXPECT_EQ(box.text, u8"请关闭AutoCAD后再进行安装 !");
  EXPECT_EQ(box.caption, u8"V-软件安装");
  EXPECT_EQ(box.flags, platform::kMbOk);
  EXPECT_EQ(box.owner, 0u);
  EXPECT_FALSE(sim_.files().Exists("C:\\Vornex"));
  EXPECT_TRUE(Progress().empty());

  // AutoCAD still runs at the second press: no check this time, the installation runs.
  Press();
  EXPECT_EQ(sim_.prompts().Boxes().size(), 1u);
  EXPECT_TRUE(Finished());
}

TEST_F(InstallSequenceTest, CheckStaysArmedUntilTheWarningIsShown) {
  // A refused folder text while AutoCAD is not running leaves the check for the next press.
  Type("Vornex");
  sim_.prompts().Answer(platform::kIdOk);
  Press();
  sim_.system().SetProcesses({"acad.exe"});
  sim_.prompts().Answer(platform::kIdOk);
  Type("C:\\Vornex");
  Press();
  ASSERT_EQ(sim_.prompts().Boxes().size(), 2u);
  EXPECT_EQ(sim_.prompts().Boxes()[1].text, u8"请关闭AutoCAD后再进行安装 !");
  EXPECT_FALSE(Finished());
}

// Folder texts that form a usable install folder.
struct FolderCase {
  std::string typed;
  std::string installFolder;
  std::vector<std::string> existing;  // folders an administrator made and locked down before the press
};

TEST(InstallFolder, FormedFromTheTypedText) {
  const FolderCase cases[] = {
      {"C:\\Tools\\", "C:\\Tools\\V-ZurezUvad", {}},
      {"C:\\Tools", "C:\\Tools\\V-ZurezUvad", {}},
      {"D:\\", "D:\\V-ZurezUvad", {}},
      // A bare drive names its root, as "D:\\" does: the install folder formed from it is absolute.
      {"D:", "D:\\V-ZurezUvad", {}},
      {"c:\\vornex", "c:\\vornex\\V-ZurezUvad", {}},
      // 誠 ends in the byte 0x5C, which is not a backslash to remove.
      {Ansi("C:\\软件\\誠"), Ansi("C:\\软件\\誠\\V-ZurezUvad"), {Ansi("C:\\软件")}},
      {"C:\\a.b\\c d", "C:\\a.b\\c d\\V-ZurezUvad", {"C:\\a.b"}},
  };
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(FormInstallFolder(c.typed), c.installFolder);
    sim::SimMachine sim;
    sim.files().AddDrive('D');
    for (const std::string& folder : c.existing) {
      ASSERT_TRUE(sim.files().MakeDirectories(folder));
      ASSERT_EQ(sim.files().ProtectFolder(folder), platform::kSuccess);
    }
    ASSERT_TRUE(sim.files().WriteFile(std::string(kData) + "\\itextsharp.dll", "x"));
    CAcadCatalog catalog;
    uitest::FakeGdi gdi;
    uitest::FakeDialogView view(gdi);
    Dlg_Setup dlg(catalog, sim.machine());
    dlg.AttachView(&view);
    dlg.OnInitDialog();
    g_bCheckAcadRunning = true;
    view.At(IDC_PATH).text = c.typed;
    dlg.RouteCommand(ui::kBnClicked, IDC_INSTALL);
    EXPECT_TRUE(sim.prompts().Boxes().empty());
    EXPECT_EQ(catalog.m_strInstallFolder, c.installFolder);
    EXPECT_TRUE(sim.files().Exists(c.installFolder + "\\itextsharp.dll"));
    EXPECT_EQ(view.moves.size(), 1u);
  }
}

// Folder texts refused before anything is created.
TEST_F(InstallSequenceTest, RefusesUnusableFolderTexts) {
  const std::string tooLong = "C:\\" + std::string(245, 'x');  // 260 characters with "\V-ZurezUvad"
  const struct {
    std::string typed;
    const char8_t* text;
  } cases[] = {
      {"Vornex", install::kInvalidFolderText},
      {"\\Vornex", install::kInvalidFolderText},
      {"\\\\server\\share\\Vornex", install::kInvalidFolderText},
      {"C:Vornex", install::kInvalidFolderText},
      {"1:\\Vornex", install::kInvalidFolderText},
      {"C:\\a?b", install::kInvalidFolderText},
      {"C:\\ a", install::kInvalidFolderText},
      {"C:\\a.\\b", install::kInvalidFolderText},
      {"C:\\a\\\\b", install::kInvalidFolderText},
      {"C:\\Tools\\\\", install::kInvalidFolderText},
      {Ansi("D:\\软件|旧"), install::kInvalidFolderText},
      // Half a character: "\V-ZurezUvad" would complete it, and the files would go beside C:\abc.
      {"C:\\abc\x81", install::kInvalidFolderText},
      {tooLong, install::kFolderTooLongText},
      // Valid names, but "TRUSTEDPATHS" would read C:\a;b\V-ZurezUvad as two folders.
      {"C:\\a;b", install::kSemicolonFolderText},
      {Ansi("D:\\软件;旧\\Vornex"), install::kSemicolonFolderText},
      {"C:\\Vornex;", install::kSemicolonFolderText},
  };
  ASSERT_EQ(tooLong.size() + std::string("\\V-ZurezUvad").size(), 260u);
  const std::vector<std::string> treeBefore = sim_.files().Tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    sim_.prompts().Clear();
    sim_.prompts().Answer(platform::kIdOk);
    Type(c.typed);
    EXPECT_TRUE(Press().empty());
    ASSERT_EQ(sim_.prompts().Boxes().size(), 1u);
    const sim::SimPrompts::Box& box = sim_.prompts().Boxes()[0];
    EXPECT_EQ(box.text, install::WithPath(c.text, c.typed));
    EXPECT_NE(box.text.find(text::AnsiToU8(c.typed)), std::u8string::npos);
    EXPECT_EQ(box.caption, u8"V-软件安装");
    EXPECT_EQ(box.flags, platform::kMbOk);
    EXPECT_EQ(view_.At(IDC_PATH).text, c.typed);
  }
  EXPECT_EQ(sim_.files().Tree(), treeBefore);
  EXPECT_TRUE(Progress().empty());
  EXPECT_TRUE(view_.moves.empty());
  EXPECT_TRUE(view_.endResults.empty());
  EXPECT_TRUE(catalog_.m_strInstallFolder.empty());

  // One character fewer is accepted; the file system then cannot make a folder that deep, which
  // the copy reports.
  sim_.prompts().Clear();
  sim_.prompts().Answer(platform::kIdAbort);
  sim_.prompts().Answer(platform::kIdOk);
  Type(tooLong.substr(0, tooLong.size() - 1));
  Press();
  ASSERT_EQ(sim_.prompts().Boxes().size(), 2u);
  EXPECT_EQ(sim_.prompts().Boxes()[0].flags, platform::kMbAbortRetryIgnore);
  EXPECT_EQ(view_.endResults, std::vector<int>{platform::kIdCancel});
}

TEST_F(InstallSequenceTest, EmptyFolderTextIsAnInvalidArgument) {
  Type("");
  const std::vector<std::string> treeBefore = sim_.files().Tree();
  EXPECT_THROW(dlg_.RouteCommand(ui::kBnClicked, IDC_INSTALL), platform::InvalidArgument);
  EXPECT_EQ(sim_.files().Tree(), treeBefore);
  EXPECT_TRUE(Progress().empty());
  EXPECT_TRUE(sim_.prompts().Boxes().empty());
  // The user corrects the text and presses again.
  Type("C:\\Vornex");
  Press();
  EXPECT_TRUE(Finished());
}

TEST_F(InstallSequenceTest, MissingPayloadEndsTheDialog) {
  ASSERT_TRUE(sim_.files().Remove(kData));
  sim_.prompts().Answer(platform::kIdOk);
  sim_.prompts().Answer(platform::kIdOk);
  const std::vector<std::string> calls = Press();
  EXPECT_EQ(calls, (std::vector<std::string>{"show 1017 0", "show 1000 0", "show 1015 0", "show 1014 1"}));
  EXPECT_EQ(view_.endResults, std::vector<int>{platform::kIdCancel});
  EXPECT_EQ(Progress(), (std::vector<std::string>{"range 0 50", "step 1", "pos 0"}));
  EXPECT_TRUE(catalog_.m_strInstallFolder.empty());
  EXPECT_FALSE(sim_.registry().KeyExists(
      RootKey::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX_ZurezUvad2010"));
  EXPECT_FALSE(Finished());
}

// A well-formed folder whose parent is missing: nothing can be created, and no wait would mend that,
// so the first copy's failure is named with the system's text and ends the installation at once,
// without Abort, Retry or Ignore; then the dialog says the machine was put back, and ends.
TEST_F(InstallSequenceTest, MissingParentEndsTheCopyAtOnce) {
  Type("C:\\No\\Such");
  sim_.prompts().Answer(platform::kIdOk);
  sim_.prompts().Answer(platform::kIdOk);
  Press();
  ASSERT_EQ(sim_.prompts().Boxes().size(), 2u);
  const auto& named = sim_.prompts().Boxes()[0];
  EXPECT_EQ(named.flags, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_NE(named.text.find(u8"拷贝文件 C:\\No\\Such\\V-ZurezUvad\\"), std::u8string::npos);
  EXPECT_NE(named.text.find(u8"错误 3"), std::u8string::npos);
  EXPECT_EQ(named.text.find(u8"AutoCAD"), std::u8string::npos);
  EXPECT_EQ(sim_.prompts().Boxes()[1].text, install::kRolledBackText);
  EXPECT_FALSE(sim_.files().Exists("C:\\No"));
  EXPECT_EQ(view_.endResults, std::vector<int>{platform::kIdCancel});
  EXPECT_TRUE(catalog_.m_strInstallFolder.empty());
}

}  // namespace
