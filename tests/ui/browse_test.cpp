// The setup dialog's Browse button: the chooser opens on the typed folder, an accepted folder
// reaches the folder field, anything else leaves it, and the install button is recomputed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "ui/dlg_setup.h"
#include "ui/fake_dialog_view.h"
#include "ui/path_dialog_fakes.h"
#include "ui/setup_ids.h"

namespace {

using uitest::FakeBrowserWindow;

// The setup dialog with one release found, initialised on a fake window, Browse wired to a
// scripted browser.
struct BrowseHarness {
  BrowseHarness() : view(gdi), dlg(catalog, sim.machine()) {
    catalog.m_arrLocations[YearIndex(2010)].push_back("C:\\AutoCAD 2010");
    for (int id : {IDC_FINISH, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) view.At(id).visible = false;
    dlg.AttachView(&view);
    dlg.OnInitDialog();
    ui::SetCurrentFolderBrowser(&browser);
  }
  ~BrowseHarness() { ui::SetCurrentFolderBrowser(nullptr); }

  void Browse() { ASSERT_TRUE(dlg.RouteCommand(ui::kBnClicked, IDC_BROWSE)); }

  sim::SimMachine sim;
  uitest::ScriptedBrowser browser;
  uitest::FakeGdi gdi;
  CAcadCatalog catalog;
  uitest::FakeDialogView view;
  Dlg_Setup dlg;
};

TEST(Browse, OpensOnTheTypedFolderWithItsCaptionAndTitle) {
  BrowseHarness h;
  h.view.At(IDC_PATH).text = "D:\\typed by hand";
  h.Browse();
  EXPECT_EQ(h.browser.runs, 1);
  EXPECT_EQ(h.browser.openedOn, "D:\\typed by hand");
  EXPECT_EQ(std::u8string_view(h.browser.caption), u8"请选择安装目录：");
  EXPECT_EQ(std::u8string_view(h.browser.title), u8"请选择安装目录：");
}

TEST(Browse, AcceptedFolderReachesTheField) {
  BrowseHarness h;
  h.sim.prompts().Answer(platform::kIdYes);
  h.browser.script = [](FakeBrowserWindow& w) {
    w.Type("C:\\Vornex\\Plot\\New");
    w.PressOk();
  };
  h.Browse();
  EXPECT_EQ(h.dlg.m_strPath, "C:\\Vornex\\Plot\\New");
  EXPECT_EQ(h.view.At(IDC_PATH).text, "C:\\Vornex\\Plot\\New");
  EXPECT_TRUE(h.sim.files().IsDirectory("C:\\Vornex\\Plot\\New"));
}

// Whatever ends the chooser without an accepted folder, the typed text stays.
struct KeepCase {
  const char* name;
  bool starts;
  std::vector<int> answers;
  std::function<void(FakeBrowserWindow&)> script;
};

TEST(Browse, FieldKeepsItsTextUnlessAFolderIsAccepted) {
  const std::vector<KeepCase> cases = {
      {"cancel", true, {}, [](FakeBrowserWindow& w) { w.Type("C:\\Elsewhere"); }},
      {"declined then cancel", true, {platform::kIdNo},
       [](FakeBrowserWindow& w) {
         w.Type("C:\\Missing");
         w.PressOk();
       }},
      {"invalid then cancel", true, {platform::kIdOk},
       [](FakeBrowserWindow& w) {
         w.Type("C:\\bad?");
         w.PressOk();
       }},
      {"browser cannot start", false, {}, nullptr},
  };
  for (const auto& c : cases) {
    BrowseHarness h;
    h.browser.starts = c.starts;
    h.browser.script = c.script;
    for (int answer : c.answers) h.sim.prompts().Answer(answer);
    h.view.At(IDC_PATH).text = "E:\\typed";
    h.Browse();
    EXPECT_EQ(h.dlg.m_strPath, "E:\\typed") << c.name;
    EXPECT_EQ(h.view.At(IDC_PATH).text, "E:\\typed") << c.name;
    EXPECT_EQ(h.sim.prompts().UnscriptedCount(), 0u) << c.name;
    EXPECT_FALSE(h.sim.files().Exists("C:\\Missing")) << c.name;
  }
}

// The install button follows the boxes' state as it is when the chooser closes, accepted or not.
TEST(Browse, InstallButtonIsRecomputedWhateverTheResult) {
  for (const bool accept : {true, false}) {
    BrowseHarness h;
    ASSERT_TRUE(h.view.At(IDC_INSTALL).enabled);
    h.browser.script = [accept](FakeBrowserWindow& w) {
      w.Select("C:\\Users");
      if (accept) w.PressOk();
    };
    // The box changes without its click reaching the dialog: only Browse can notice.
    h.view.At(setup::ReleaseBoxId(2010)).check = 0;
    h.Browse();
    EXPECT_FALSE(h.view.At(IDC_INSTALL).enabled) << accept;
    EXPECT_EQ(h.dlg.m_bCheck[YearIndex(2010)], 0) << accept;

    h.view.At(setup::ReleaseBoxId(2010)).check = 1;
    h.Browse();
    EXPECT_TRUE(h.view.At(IDC_INSTALL).enabled) << accept;
    EXPECT_EQ(h.view.At(IDC_PATH).text, accept ? "C:\\Users" : "C:\\Vornex");
  }
}

}  // namespace
