// The folder chooser on the simulated machine: form rules, creation, messages, and the browser's
// OK / text-changed / selection decisions through a fake browser window.
#include "ui/path_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "ui/path_dialog_fakes.h"

namespace {

using uitest::FakeBrowserWindow;
using uitest::ScriptedBrowser;

// Code page 936: both trail bytes are 0x5C, the backslash.
const std::string kCheng = "\xD5\x5C";  // 誠
const std::string kYun = "\xDF\x5C";    // 運
// A character whose trail byte is '|' (0x7C).
const std::string kPipeTrail = "\x81\x7C";

std::string LongPath(std::size_t length) { return "C:\\" + std::string(length - 3, 'a'); }

constexpr platform::Status kReady = platform::kSuccess;
constexpr platform::Status kInvalid = platform::kInvalidName;
constexpr platform::Status kDeclined = platform::kCancelled;

std::u8string InvalidMessage(std::u8string_view path) {
  return u8"The folder:\n\n" + std::u8string(path) + u8"\n\nis invalid. Please reenter.";
}
std::u8string NotCreatedMessage(std::u8string_view path) {
  return u8"The folder:\n\n" + std::u8string(path) + u8"\n\ncan not be created. Please double check.";
}
std::u8string QuestionMessage(std::u8string_view path) {
  return u8"The folder:\n\n" + std::u8string(path) + u8"\n\ndoes not exist. Do you want the folder to be created?";
}

// ---- Form rules -------------------------------------------------------------------------------

struct FormCase {
  const char* name;
  std::string path;
  platform::Status expected;
};

class PathForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(PathForm, ValidateOnly) {
  sim::SimMachine sim;
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), GetParam().path, true), GetParam().expected);
  // Checking the form creates nothing.
  EXPECT_FALSE(sim.files().Exists("C:\\a"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathForm,
    ::testing::Values(
        FormCase{"DotsAndBlanksInside", "C:\\a.b\\c d", kReady}, FormCase{"LowerCaseDrive", "c:\\lower", kReady},
        FormCase{"DriveRoot", "C:\\", kReady}, FormCase{"MissingDriveRoot", "Q:\\", kReady},
        FormCase{"TabInside", "C:\\a\tb", kReady}, FormCase{"OtherControlCharacter", "C:\\a\x01z", kReady},
        FormCase{"DoubleByteTrailBackslashAtEnd", "C:\\" + kCheng, kReady},
        FormCase{"DoubleByteTrailBackslashBetween", "C:\\" + kCheng + "\\" + kYun, kReady},
        FormCase{"DoubleByteInsideName", "C:\\a" + kCheng + "b\\c", kReady},
        FormCase{"DoubleByteTrailPipe", "C:\\a" + kPipeTrail, kReady},
        FormCase{"Longest259", LongPath(259), kReady}, FormCase{"TooLong260", LongPath(260), kInvalid},
        FormCase{"FarTooLong", LongPath(600), kInvalid},
        FormCase{"Empty", "", kInvalid}, FormCase{"DriveOnly", "C:", kInvalid},
        FormCase{"DriveRelative", "C:abc", kInvalid}, FormCase{"Relative", "Vornex\\sub", kInvalid},
        FormCase{"RootRelative", "\\Vornex", kInvalid}, FormCase{"Network", "\\\\server\\share", kInvalid},
        FormCase{"DigitDrive", "1:\\a", kInvalid}, FormCase{"ForwardSlashRoot", "C:/a", kInvalid},
        FormCase{"TrailingBackslash", "C:\\a\\b\\", kInvalid},
        FormCase{"DoubleByteThenTrailingBackslash", "C:\\" + kCheng + "\\", kInvalid},
        FormCase{"EmptyComponent", "C:\\a\\\\b", kInvalid}, FormCase{"BackslashAfterRoot", "C:\\\\a", kInvalid},
        FormCase{"LeadingBlank", "C:\\ a", kInvalid}, FormCase{"TrailingBlank", "C:\\a \\b", kInvalid},
        FormCase{"LeadingDot", "C:\\.x", kInvalid}, FormCase{"TrailingDot", "C:\\a.\\b", kInvalid},
        FormCase{"LeadingTab", "C:\\\ta", kInvalid}, FormCase{"Dot", "C:\\.\\a", kInvalid},
        FormCase{"DotDot", "C:\\a\\..", kInvalid}, FormCase{"QuestionMark", "C:\\a?b", kInvalid},
        FormCase{"Quote", "C:\\a\"b", kInvalid}, FormCase{"Star", "C:\\a*b", kInvalid},
        FormCase{"Slash", "C:\\a/b", kInvalid}, FormCase{"Colon", "C:\\a:b", kInvalid},
        FormCase{"Less", "C:\\a<b", kInvalid}, FormCase{"Greater", "C:\\a>b", kInvalid},
        FormCase{"Pipe", "C:\\a|b", kInvalid}, FormCase{"EmbeddedNul", std::string("C:\\a\0b", 6), kInvalid},
        // Windows' device names, at any level, in any case, with an extension: the path names the device.
        FormCase{"DeviceCon", "C:\\CON", kInvalid}, FormCase{"DeviceNulInside", "C:\\a\\nul\\b", kInvalid},
        FormCase{"DeviceComWithExtension", "C:\\Com1.txt", kInvalid},
        FormCase{"DeviceLptLast", "C:\\a\\LPT9", kInvalid}, FormCase{"DeviceAuxBlankExtension", "C:\\aux .x", kInvalid},
        FormCase{"DevicePrnTwoExtensions", "C:\\prn.tar.gz", kInvalid},
        FormCase{"DeviceNameLonger", "C:\\CONSOLE\\COM10", kReady}, FormCase{"DeviceNameAsExtension", "C:\\a.con", kReady}),
    [](const ::testing::TestParamInfo<FormCase>& param) { return std::string(param.param.name); });

// ---- Creation ---------------------------------------------------------------------------------

TEST(PathCreation, CreatesEveryMissingLevel) {
  sim::SimMachine sim;
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\One\\Two\\Three", false), kReady);
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One"));
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One\\Two"));
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One\\Two\\Three"));
  // Existing levels are fine, and the case of what exists is kept.
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "c:\\ONE\\two\\Four", false), kReady);
  EXPECT_EQ(sim.files().StoredName("C:\\one"), "One");
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One\\Two\\Four"));
}

TEST(PathCreation, LevelsMadeBeforeAFailureStay) {
  sim::SimMachine sim;
  sim.files().FailOn(sim::FileOp::CreateDirectory, "C:\\One\\Two", platform::kAccessDenied);
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\One\\Two\\Three", false), platform::kAccessDenied);
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One"));
  EXPECT_FALSE(sim.files().Exists("C:\\One\\Two"));
}

TEST(PathCreation, InvalidLaterComponentKeepsEarlierLevels) {
  sim::SimMachine sim;
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\One\\Two\\bad?", false), kInvalid);
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One\\Two"));
  EXPECT_EQ(sim.files().Tree("C:\\One"), std::vector<std::string>{"C:\\One\\Two\\"});
}

TEST(PathCreation, DriveRoots) {
  sim::SimMachine sim;
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\", false), kReady);
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "c:\\", false), kReady);
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "Q:\\", false), platform::kPathNotFound);
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "Q:\\Vornex", false), platform::kPathNotFound);
  sim.files().AddDrive('Q');
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "Q:\\", false), kReady);
}

TEST(PathCreation, DoubleByteNamesAreCreatedWhole) {
  sim::SimMachine sim;
  const std::string path = "C:\\" + kCheng + "\\" + kYun;
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), path, false), kReady);
  EXPECT_EQ(sim.files().Tree("C:\\" + kCheng), std::vector<std::string>{path + "\\"});
  EXPECT_TRUE(sim.files().IsDirectory("C:\\" + kCheng));
  // No level named by a lone lead byte.
  EXPECT_FALSE(sim.files().Exists("C:\\\xD5"));
  EXPECT_FALSE(sim.files().Exists("C:\\" + kCheng + "\\\xDF"));
}

TEST(PathCreation, ExistingFileCountsAsThere) {
  sim::SimMachine sim;
  ASSERT_TRUE(sim.files().WriteFile("C:\\Data\\notes.txt", "x"));
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\Data\\notes.txt", false), kReady);
  // A folder cannot be made under a file.
  EXPECT_EQ(CPathDialog::CreatePath(sim.files(), "C:\\Data\\notes.txt\\sub", false), platform::kPathNotFound);
}

// ---- EnsureFolderExists: questions and messages -----------------------------------------------

struct Chooser : ::testing::Test {
  sim::SimMachine sim;
  ScriptedBrowser browser;
  const std::vector<sim::SimPrompts::Box>& Boxes() { return sim.prompts().Boxes(); }
};

using EnsureFolder = Chooser;

TEST_F(EnsureFolder, ExistingFolderOrFileAsksNothing) {
  ASSERT_TRUE(sim.files().WriteFile("C:\\Data\\notes.txt", "x"));
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\Data", 0), kReady);
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\Data\\notes.txt", 0), kReady);
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\", 0), kReady);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(EnsureFolder, InvalidPathIsReportedWithoutAQuestion) {
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\a?b", 0x77), kInvalid);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, InvalidMessage(u8"C:\\a?b"));
  EXPECT_EQ(Boxes()[0].caption, u8"SetUp");
  EXPECT_EQ(Boxes()[0].flags, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_EQ(Boxes()[0].owner, 0x77u);
}

TEST_F(EnsureFolder, YesCreatesEveryLevel) {
  sim.prompts().Answer(platform::kIdYes);
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\One\\Two\\Three", 0x77), kReady);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, QuestionMessage(u8"C:\\One\\Two\\Three"));
  EXPECT_EQ(Boxes()[0].flags, platform::kMbYesNo | platform::kMbIconQuestion);
  EXPECT_EQ(Boxes()[0].caption, u8"SetUp");
  EXPECT_TRUE(sim.files().IsDirectory("C:\\One\\Two\\Three"));
}

TEST_F(EnsureFolder, NoCreatesNothing) {
  sim.prompts().Answer(platform::kIdNo);
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\One\\Two\\Three", 0), kDeclined);
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_FALSE(sim.files().Exists("C:\\One"));
}

TEST_F(EnsureFolder, MissingDriveCannotBeCreated) {
  sim.prompts().Answer(platform::kIdYes);
  sim.prompts().Answer(platform::kIdOk);
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "Q:\\Vornex", 0), platform::kPathNotFound);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, QuestionMessage(u8"Q:\\Vornex"));
  EXPECT_EQ(Boxes()[1].text, NotCreatedMessage(u8"Q:\\Vornex"));
  EXPECT_EQ(Boxes()[1].flags, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_EQ(sim.prompts().UnscriptedCount(), 0u);
}

// The system's reason comes back; whatever it is, a well-formed path that could not be made is
// "not created", even when the system calls the name invalid.
TEST_F(EnsureFolder, FailedLevelIsReportedAndEarlierLevelsStay) {
  for (const platform::Status reason : {platform::kAccessDenied, platform::kInvalidName}) {
    sim::SimMachine fresh;
    fresh.files().FailOn(sim::FileOp::CreateDirectory, "C:\\One\\Two", reason);
    fresh.prompts().Answer(platform::kIdYes);
    EXPECT_EQ(CPathDialog::EnsureFolderExists(fresh.machine(), "C:\\One\\Two\\Three", 0), reason);
    ASSERT_EQ(fresh.prompts().Boxes().size(), 2u);
    EXPECT_EQ(fresh.prompts().Boxes()[1].text, NotCreatedMessage(u8"C:\\One\\Two\\Three"));
    EXPECT_TRUE(fresh.files().IsDirectory("C:\\One"));
  }
}

TEST_F(EnsureFolder, PathInMessageIsConvertedFromTheAnsiCodePage) {
  EXPECT_EQ(CPathDialog::EnsureFolderExists(sim.machine(), "C:\\" + kCheng + "?", 0), kInvalid);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, InvalidMessage(u8"C:\\誠?"));
}

struct TitleCase {
  std::string modulePath;  // ANSI
  std::u8string caption;
};

TEST_F(EnsureFolder, CaptionIsTheExecutableNameWithoutExtension) {
  const std::vector<TitleCase> cases = {
      {"C:\\Setup\\SetUp.exe", u8"SetUp"},
      {"D:\\Tools\\\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2.v2.exe", u8"安装程序.v2"},
      {"C:\\x\\" + kCheng + ".exe", u8"誠"},  // the name's trail byte is no separator
      {"C:\\" + std::string(300, 'd') + "\\Long.exe", u8"Long"},  // longer than MAX_PATH
      {"C:\\NoExtension", u8"NoExtension"},
  };
  for (const auto& c : cases) {
    sim.prompts().Clear();
    sim.system().SetModulePath(c.modulePath);
    CPathDialog::EnsureFolderExists(sim.machine(), "C:\\a?", 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, c.caption) << c.modulePath;
  }
}

// ---- The browser's decisions ------------------------------------------------------------------

using BrowserDecisions = Chooser;

struct SelectionCase {
  std::string fsPath;
  bool ok;
  std::string shown;
};

TEST_F(BrowserDecisions, SelectionOnADriveLetterEnablesOk) {
  const std::vector<SelectionCase> cases = {
      {"C:\\Users", true, "C:\\Users"},
      {"C:\\", true, "C:\\"},
      {"d:\\" + kCheng, true, "d:\\" + kCheng},
      {"", false, ""},                            // a virtual folder: no file-system path
      {"\\\\server\\share\\x", false, ""},        // a share without a drive letter
  };
  for (const auto& c : cases) {
    CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", nullptr);
    FakeBrowserWindow window(chooser);
    window.edit = "typed before";
    window.okEnabled = !c.ok;
    window.Select(c.fsPath);
    EXPECT_EQ(window.okEnabled, c.ok) << c.fsPath;
    EXPECT_EQ(window.status, c.shown) << c.fsPath;
    EXPECT_EQ(window.edit, c.shown) << c.fsPath;
    EXPECT_EQ(chooser.GetChosenPath(), c.shown) << c.fsPath;
  }
}

TEST_F(BrowserDecisions, TypingOverridesTheTreesVerdict) {
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", nullptr);
  FakeBrowserWindow window(chooser);
  window.Select("\\\\server\\share");
  ASSERT_FALSE(window.okEnabled);
  window.Type("x");
  EXPECT_TRUE(window.okEnabled);
  window.Select("C:\\Users");
  window.Type("");
  EXPECT_FALSE(window.okEnabled);
  EXPECT_EQ(chooser.GetChosenPath(), "");
}

TEST_F(BrowserDecisions, OverLongTextIsKeptWholeAndRefused) {
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", nullptr);
  FakeBrowserWindow window(chooser);
  const std::string typed = LongPath(300);
  window.Type(typed);
  EXPECT_EQ(chooser.GetChosenPath(), typed);
  EXPECT_TRUE(window.okEnabled);
  window.PressOk();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, InvalidMessage(text::AnsiToU8(typed)));
  EXPECT_EQ(Boxes()[0].owner, FakeBrowserWindow::kWindow);
  EXPECT_FALSE(window.Ended());
  EXPECT_EQ(window.focusCount, 1);
  EXPECT_FALSE(sim.files().Exists(LongPath(259)));
}

struct OkCase {
  const char* name;
  std::string typed;
  std::vector<int> answers;
  bool ends;
  std::size_t boxes;
  const char* mustExist;  // after OK, or null
  const char* mustNotExist;
};

TEST_F(BrowserDecisions, OkValidatesAsksAndCreates) {
  const std::vector<OkCase> cases = {
      {"existing", "C:\\Users", {}, true, 0, "C:\\Users", nullptr},
      {"root", "C:\\", {}, true, 0, nullptr, nullptr},
      {"missing yes", "C:\\A\\B\\C", {platform::kIdYes}, true, 1, "C:\\A\\B\\C", nullptr},
      {"missing no", "C:\\A\\B\\C", {platform::kIdNo}, false, 1, nullptr, "C:\\A"},
      {"invalid", "C:\\A\\", {platform::kIdOk}, false, 1, nullptr, "C:\\A"},
      {"relative", "A\\B", {platform::kIdOk}, false, 1, nullptr, nullptr},
      {"no drive", "Q:\\A", {platform::kIdYes, platform::kIdOk}, false, 2, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    sim::SimMachine fresh;
    CPathDialog chooser(fresh.machine(), browser, u8"c", u8"t", nullptr);
    FakeBrowserWindow window(chooser);
    for (int answer : c.answers) fresh.prompts().Answer(answer);
    window.Type(c.typed);
    window.PressOk();
    EXPECT_EQ(window.Ended(), c.ends) << c.name;
    if (c.ends) {
      EXPECT_EQ(window.endCodes, std::vector<int>{1}) << c.name;
      EXPECT_EQ(window.focusCount, 0) << c.name;
    } else {
      EXPECT_EQ(window.focusCount, 1) << c.name;
    }
    EXPECT_EQ(fresh.prompts().Boxes().size(), c.boxes) << c.name;
    EXPECT_EQ(fresh.prompts().UnscriptedCount(), 0u) << c.name;
    if (c.mustExist != nullptr) {
      EXPECT_TRUE(fresh.files().IsDirectory(c.mustExist)) << c.name;
    }
    if (c.mustNotExist != nullptr) {
      EXPECT_FALSE(fresh.files().Exists(c.mustNotExist)) << c.name;
    }
  }
}

// ---- DoModal ----------------------------------------------------------------------------------

using ChooserRun = Chooser;

TEST_F(ChooserRun, BrowserThatCannotStartGivesMinusOne) {
  browser.starts = false;
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", "C:\\Users");
  EXPECT_EQ(chooser.DoModal(), CPathDialog::kNotAccepted);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ChooserRun, CancelGivesMinusOneNotIdCancel) {
  browser.script = [](FakeBrowserWindow& w) { w.Type("C:\\Users"); };  // then Cancel
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", "C:\\Users");
  EXPECT_EQ(chooser.DoModal(), -1);
  EXPECT_EQ(browser.runs, 1);
}

TEST_F(ChooserRun, MissingFolderCreatedAfterOneYes) {
  sim.prompts().Answer(platform::kIdYes);
  browser.script = [](FakeBrowserWindow& w) {
    w.Select("C:\\Users");
    w.Type("C:\\Vornex\\Plot\\Tools");
    w.PressOk();
  };
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", "C:\\Users");
  EXPECT_EQ(chooser.DoModal(), 1);
  EXPECT_EQ(chooser.GetChosenPath(), "C:\\Vornex\\Plot\\Tools");
  EXPECT_TRUE(sim.files().IsDirectory("C:\\Vornex\\Plot\\Tools"));
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(ChooserRun, BrowserStaysOpenAfterRefusalsUntilAPathIsAccepted) {
  sim.prompts().Answer(platform::kIdNo);
  browser.script = [](FakeBrowserWindow& w) {
    w.Type("C:\\bad?");
    w.PressOk();
    w.Type("C:\\Later");
    w.PressOk();  // No
    w.Select("C:\\Users");
    w.PressOk();
    EXPECT_EQ(w.focusCount, 2);
    EXPECT_EQ(w.endCodes, std::vector<int>{1});
  };
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", nullptr);
  EXPECT_EQ(chooser.DoModal(), 1);
  EXPECT_EQ(chooser.GetChosenPath(), "C:\\Users");
  EXPECT_FALSE(sim.files().Exists("C:\\Later"));
}

TEST_F(ChooserRun, EachRunStartsUnaccepted) {
  CPathDialog chooser(sim.machine(), browser, u8"c", u8"t", nullptr);
  browser.script = [](FakeBrowserWindow& w) {
    w.Type("C:\\Users");
    w.PressOk();
  };
  EXPECT_EQ(chooser.DoModal(), 1);
  browser.script = [](FakeBrowserWindow& w) { w.Type("C:\\Other"); };
  EXPECT_EQ(chooser.DoModal(), -1);
}

TEST_F(ChooserRun, OpensOnTheStartFolderOrTheCurrentDirectory) {
  ASSERT_TRUE(sim.files().MakeDirectories("C:\\Work"));
  ASSERT_TRUE(sim.files().SetCurrentDirectory("C:\\Work"));
  CPathDialog withStart(sim.machine(), browser, u8"caption", u8"title", "D:\\typed");
  withStart.DoModal();
  EXPECT_EQ(browser.openedOn, "D:\\typed");
  EXPECT_EQ(std::u8string_view(browser.caption), u8"caption");
  EXPECT_EQ(std::u8string_view(browser.title), u8"title");
  CPathDialog withoutStart(sim.machine(), browser, nullptr, u8"title", nullptr);
  withoutStart.DoModal();
  EXPECT_EQ(browser.openedOn, "C:\\Work");
  EXPECT_EQ(browser.caption, nullptr);
}

}  // namespace
