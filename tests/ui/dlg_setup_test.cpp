// The setup dialog's logic through a fake window: releases offered, install button, texts, colours.
#include "ui/dlg_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <set>
#include <string>

#include "ui/fake_dialog_view.h"
#include "ui/untouched_machine.h"
#include "ui/setup_ids.h"

namespace {

using uitest::FakeDialogView;
using uitest::FakeGdi;
using uitest::FakePaint;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

CAcadCatalog CatalogWith(const std::vector<int>& years) {
  CAcadCatalog catalog;
  for (int year : years) catalog.m_arrLocations[YearIndex(year)].push_back("C:\\AutoCAD " + std::to_string(year));
  return catalog;
}

// A dialog with its window as the template creates it, initialised.
struct Harness {
  explicit Harness(const std::vector<int>& years) : catalog(CatalogWith(years)), view(gdi), dlg(catalog, machine) {
    for (int id : {IDC_FINISH, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) view.At(id).visible = false;
    view.At(IDC_TITLE).textU8 = u8"Vornex批打印软件";
    view.At(IDC_BITNESS).textU8 = u8"(%d位版本)";
    dlg.AttachView(&view);
    initResult = dlg.OnInitDialog();
  }
  bool Click(int id) {
    // An auto check box toggles before its parent hears of the click.
    if (std::find(setup::kReleaseBoxIds.begin(), setup::kReleaseBoxIds.end(), id) != setup::kReleaseBoxIds.end()) {
      view.At(id).check = view.At(id).check != 0 ? 0 : 1;
    }
    return dlg.RouteCommand(ui::kBnClicked, id);
  }
  bool InstallEnabled() { return view.At(IDC_INSTALL).enabled; }

  FakeGdi gdi;
  CAcadCatalog catalog;
  uitest::UntouchedMachine untouched;
  platform::Machine& machine = untouched.machine;
  FakeDialogView view;
  Dlg_Setup dlg;
  bool initResult = false;
};

TEST(DlgSetup, ConstructionDefaults) {
  FakeGdi gdi;
  CAcadCatalog catalog;
  uitest::UntouchedMachine untouched;
  Dlg_Setup dlg(catalog, untouched.machine);
  EXPECT_EQ(dlg.TemplateId(), 141);
  EXPECT_EQ(dlg.Parent(), 0u);
  EXPECT_TRUE(std::all_of(dlg.m_bCheck.begin(), dlg.m_bCheck.end(), [](int c) { return c == 1; }));
  EXPECT_TRUE(dlg.m_strTitle.empty());
  EXPECT_TRUE(dlg.m_strBitness.empty());
  EXPECT_EQ(dlg.m_strPath, "C:\\Vornex");
  EXPECT_FALSE(dlg.m_brush);
}

// Which releases the dialog offers for the catalogue's findings.
struct OfferCase {
  const char* name;
  std::vector<int> found;
};

class OfferedReleases : public ::testing::TestWithParam<OfferCase> {};

TEST_P(OfferedReleases, OnlyFoundReleasesAreEnabledAndChecked) {
  const std::set<int> found(GetParam().found.begin(), GetParam().found.end());
  Harness h(GetParam().found);
  EXPECT_TRUE(h.initResult);
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    const bool isFound = found.count(year) != 0;
    const uitest::FakeControl& box = h.view.At(setup::ReleaseBoxId(year));
    SCOPED_TRACE(year);
    EXPECT_EQ(box.enabled, isFound);
    EXPECT_EQ(box.check, isFound ? 1 : 0);
    EXPECT_TRUE(box.visible);
    EXPECT_EQ(h.dlg.m_bCheck[YearIndex(year)], isFound ? 1 : 0);
  }
  EXPECT_EQ(h.InstallEnabled(), !found.empty());
  // Browse, Cancel and the folder field are never touched by the catalogue.
  for (int id : {IDC_BROWSE, IDC_CANCEL, IDC_PATH}) {
    EXPECT_TRUE(h.view.At(id).enabled && h.view.At(id).visible) << id;
  }
  EXPECT_EQ(h.view.At(IDC_PATH).text, "C:\\Vornex");
  EXPECT_EQ(h.view.At(IDC_TITLE).textU8, u8"批打印软件 V2025.04.28");
  EXPECT_EQ(h.view.At(IDC_BITNESS).textU8, u8"( 64位 AutoCAD版 )");
  EXPECT_EQ(h.view.iconsSet, std::vector<int>{IDI_SETUP});
  EXPECT_EQ(h.gdi.brushes, std::vector<ui::ColorRef>{ui::Rgb(170, 210, 150)});
  EXPECT_TRUE(h.view.endResults.empty());
}

INSTANTIATE_TEST_SUITE_P(Catalogues, OfferedReleases,
                         ::testing::Values(OfferCase{"None", {}}, OfferCase{"Only2010And2022", {2010, 2022}},
                                           OfferCase{"Only2011", {2011}}, OfferCase{"FirstAndLast", {2007, 2026}},
                                           OfferCase{"All", {2007, 2008, 2009, 2010, 2011, 2012, 2013,
                                                             2014, 2015, 2016, 2017, 2018, 2019, 2020,
                                                             2021, 2022, 2023, 2024, 2025, 2026}}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DlgSetup, Only2010And2022UseTheirOutOfOrderIds) {
  Harness h({2010, 2022});
  std::vector<int> enabled;
  for (const auto& [id, control] : h.view.controls) {
    if (control.enabled && control.check == 1) enabled.push_back(id);
  }
  EXPECT_EQ(enabled, (std::vector<int>{1027, 1038}));
}

// Clicking boxes on and off: the install button follows whether anything is checked.
TEST(DlgSetup, InstallButtonFollowsTheLastCheckedBox) {
  struct Step {
    int clicked;
    bool installEnabled;
  };
  Harness h({2010, 2022});
  for (const Step& step : {Step{1027, true}, Step{1038, false}, Step{1027, true}, Step{1027, false},
                           Step{1038, true}, Step{1027, true}}) {
    SCOPED_TRACE(step.clicked);
    EXPECT_TRUE(h.Click(step.clicked));
    EXPECT_EQ(h.InstallEnabled(), step.installEnabled);
    EXPECT_EQ(h.dlg.m_bCheck[YearIndex(2010)], h.view.At(1027).check);
    EXPECT_EQ(h.dlg.m_bCheck[YearIndex(2022)], h.view.At(1038).check);
  }
}

TEST(DlgSetup, EveryReleaseBoxReachesTheCheckHandler) {
  // All found, all checked: unchecking any single box leaves 19 and the button on; unchecking all
  // turns it off, which only happens when each click reached the handler.
  Harness h({2007, 2008, 2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018, 2019, 2020, 2021, 2022,
             2023, 2024, 2025, 2026});
  for (std::size_t i = 0; i < setup::kReleaseBoxIds.size(); ++i) {
    const int id = setup::kReleaseBoxIds[i];
    EXPECT_TRUE(h.Click(id)) << id;
    EXPECT_EQ(h.dlg.m_bCheck[i], 0) << id;
    EXPECT_EQ(h.InstallEnabled(), i + 1 < setup::kReleaseBoxIds.size()) << id;
  }
}

TEST(DlgSetup, MessageMapRoutesEachCommandToItsHandler) {
  Harness h({2010});
  const ui::MessageMap map = h.dlg.GetMessageMap();
  auto handlerFor = [&](std::uint32_t code, int id) -> ui::CommandHandler {
    for (const ui::MessageMapEntry& e : map) {
      if (e.Matches(ui::kMsgCommand, code, id)) return e.onCommand;
    }
    return nullptr;
  };
  const auto onCheck = static_cast<ui::CommandHandler>(&Dlg_Setup::OnCheckRelease);
  for (int id : setup::kReleaseBoxIds) EXPECT_EQ(handlerFor(ui::kBnClicked, id), onCheck) << id;
  EXPECT_EQ(handlerFor(ui::kBnClicked, IDC_BROWSE), static_cast<ui::CommandHandler>(&Dlg_Setup::OnBrowse));
  EXPECT_EQ(handlerFor(ui::kBnClicked, IDC_INSTALL), static_cast<ui::CommandHandler>(&Dlg_Setup::OnInstall));
  // Ids between and around the release runs, and other notifications, are not release clicks.
  for (int id : {IDC_PATH, IDC_TITLE, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE, IDC_BITNESS, 1017, 1043}) {
    EXPECT_EQ(handlerFor(ui::kBnClicked, id), nullptr) << id;
  }
  EXPECT_EQ(handlerFor(ui::kEnChange, IDC_CHECK2010), nullptr);
  EXPECT_EQ(handlerFor(ui::kEnChange, IDC_PATH), nullptr);
  // The colour request is the first entry, for every control.
  ASSERT_FALSE(map.empty());
  EXPECT_EQ(map[0].message, ui::kMsgCtlColor);
}

TEST(DlgSetup, TitleShowsTwoDigitMinorAndPatch) {
  struct Case {
    int version;
    const char8_t* title;
  };
  for (const Case& c : {Case{20250428, u8"批打印软件 V2025.04.28"}, Case{20250105, u8"批打印软件 V2025.01.05"},
                        Case{20251231, u8"批打印软件 V2025.12.31"}, Case{1234560910, u8"批打印软件 V123456.09.10"},
                        Case{10000, u8"批打印软件 V1.00.00"}, Case{20259999, u8"批打印软件 V2025.99.99"}}) {
    EXPECT_EQ(FormatTitle(c.version), c.title) << c.version;
  }
}

TEST(DlgSetup, BitnessNote) {
  EXPECT_EQ(FormatBitness(64), u8"( 64位 AutoCAD版 )");
  EXPECT_EQ(FormatBitness(32), u8"( 32位 AutoCAD版 )");
  EXPECT_EQ(FormatBitness(g_nBitness), u8"( 64位 AutoCAD版 )");
}

TEST(DlgSetup, ThirtyTwoBitEditionDropsReleasesAfter2016) {
  struct Case {
    std::vector<int> found;
    bool installEnabled;
  };
  for (const Case& c : {Case{{2016, 2017, 2026}, true}, Case{{2022}, false}}) {
    Harness h(c.found);
    h.dlg.ApplyBitnessRule(32);
    h.dlg.UpdateData(false);
    h.dlg.UpdateInstallButton();
    for (int year = kFirstYear; year <= kLastYear; ++year) {
      const uitest::FakeControl& box = h.view.At(setup::ReleaseBoxId(year));
      const bool dropped = year > 2016;
      const bool found = std::find(c.found.begin(), c.found.end(), year) != c.found.end();
      SCOPED_TRACE(year);
      EXPECT_EQ(box.visible, !dropped);
      EXPECT_EQ(h.dlg.m_bCheck[YearIndex(year)], found && !dropped ? 1 : 0);
      EXPECT_EQ(box.check, found && !dropped ? 1 : 0);
    }
    EXPECT_EQ(h.InstallEnabled(), c.installEnabled);
  }
}

TEST(DlgSetup, SixtyFourBitEditionKeepsEveryRelease) {
  Harness h({2026});
  h.view.log.clear();
  h.dlg.ApplyBitnessRule(64);
  EXPECT_TRUE(h.view.log.empty());
  EXPECT_EQ(h.dlg.m_bCheck[YearIndex(2026)], 1);
}

TEST(DlgSetup, TypedFolderTextIsTakenUnchanged) {
  // ANSI bytes as typed: code page 936 text whose trail byte is 0x5C, blanks, a trailing
  // backslash, nothing at all, and more than MAX_PATH characters.
  const std::string typed936 = "D:\\\xB9\x5C\xC4\xDC \\";
  for (const std::string& typed :
       {typed936, std::string(" C:\\a b\\ "), std::string(), std::string("relative"), std::string(300, 'x')}) {
    Harness h({2010});
    h.view.At(IDC_PATH).text = typed;
    h.Click(IDC_CHECK2010);  // any exchange towards the members
    EXPECT_EQ(h.dlg.m_strPath, typed);
  }
}

TEST(DlgSetup, EnterAndEscCloseWithoutInstalling) {
  struct Case {
    int command;
    int result;
  };
  for (const Case& c : {Case{kIdOk, kIdOk}, Case{kIdCancel, kIdCancel}}) {
    Harness h({2010, 2022});
    h.view.At(IDC_PATH).text = "E:\\typed";
    h.view.log.clear();
    EXPECT_TRUE(h.dlg.RouteCommand(ui::kBnClicked, c.command));
    EXPECT_EQ(h.view.endResults, std::vector<int>{c.result});
    // No control was shown, hidden or disabled, and no progress made: nothing was installed.
    EXPECT_TRUE(h.view.log.empty());
    EXPECT_TRUE(h.view.progress.empty());
    EXPECT_FALSE(h.view.At(IDC_FINISH).visible);
    // OK reads the controls first, as its base behaviour does; Cancel does not.
    EXPECT_EQ(h.dlg.m_strPath, c.command == kIdOk ? "E:\\typed" : "C:\\Vornex");
  }
}

// Colour decisions per control: text colour, background mode, heading font, and our brush always.
TEST(DlgSetup, ControlColours) {
  struct Case {
    int id;
    ui::CtlColorKind kind;
    bool transparent;
    ui::ColorRef textColor;
    int fontHeight;  // 0: no font selected
    int fontWeight;
  };
  const ui::ColorRef black = ui::Rgb(0, 0, 0);
  const ui::ColorRef heading = ui::Rgb(10, 70, 40);
  Harness h({2010});
  for (const Case& c : {Case{0, ui::CtlColorKind::Dialog, true, black, 0, 0},
                        Case{IDC_PATH, ui::CtlColorKind::Edit, false, black, 0, 0},
                        Case{IDC_TITLE, ui::CtlColorKind::Static, true, heading, 14, 600},
                        Case{IDC_BITNESS, ui::CtlColorKind::Static, true, heading, 13, 400},
                        Case{IDC_CHECK2010, ui::CtlColorKind::Button, true, black, 0, 0},
                        Case{IDC_COMPONENTS_LABEL, ui::CtlColorKind::Static, true, black, 0, 0},
                        Case{IDC_INSTALL, ui::CtlColorKind::Button, true, black, 0, 0},
                        Case{-1, ui::CtlColorKind::Static, true, black, 0, 0}}) {
    SCOPED_TRACE(c.id);
    FakePaint dc;
    const std::optional<ui::GdiHandle> brush = h.dlg.RouteCtlColor(dc, c.id, c.kind);
    ASSERT_TRUE(brush.has_value());
    EXPECT_EQ(*brush, h.dlg.m_brush.Get());
    EXPECT_NE(*brush, 0u);
    ASSERT_FALSE(dc.calls.empty());
    EXPECT_EQ(dc.calls.front(), "default");
    EXPECT_EQ(dc.transparent, c.transparent);
    EXPECT_EQ(dc.textColor, c.textColor);
    if (c.fontHeight == 0) {
      EXPECT_EQ(dc.font, 0u);
      continue;
    }
    ASSERT_NE(dc.font, 0u);
    const auto it = std::find_if(h.gdi.fonts.begin(), h.gdi.fonts.end(),
                                 [&](const ui::FontSpec& f) { return f.height == c.fontHeight; });
    ASSERT_NE(it, h.gdi.fonts.end());
    ui::FontSpec expected;
    expected.height = c.fontHeight;
    expected.weight = c.fontWeight;
    expected.face = u8"宋体";
    EXPECT_EQ(*it, expected);
  }
}

TEST(DlgSetup, HeadingFontsAreMadeOnceAndReleasedWithTheDialog) {
  FakeGdi gdi;
  {
    CAcadCatalog catalog = CatalogWith({2010});
    uitest::UntouchedMachine untouched;
    FakeDialogView view(gdi);
    Dlg_Setup dlg(catalog, untouched.machine);
    dlg.AttachView(&view);
    dlg.OnInitDialog();
    std::set<ui::GdiHandle> selected;
    for (int round = 0; round < 3; ++round) {
      for (int id : {IDC_TITLE, IDC_BITNESS, IDC_PATH}) {
        FakePaint dc;
        dlg.RouteCtlColor(dc, id, ui::CtlColorKind::Static);
        if (dc.font != 0) selected.insert(dc.font);
      }
    }
    EXPECT_EQ(gdi.fonts.size(), 2u);
    EXPECT_EQ(selected.size(), 2u);
    EXPECT_EQ(gdi.alive.size(), 3u);  // the brush and the two fonts, all still valid
    dlg.AttachView(nullptr);
  }
  EXPECT_TRUE(gdi.alive.empty());
  EXPECT_TRUE(gdi.deletedTwice.empty());
}

TEST(DlgSetup, WithoutABrushTheDefaultBackgroundIsPainted) {
  FakeGdi gdi;
  gdi.failBrush = true;
  CAcadCatalog catalog = CatalogWith({2010});
  uitest::UntouchedMachine untouched;
  FakeDialogView view(gdi);
  Dlg_Setup dlg(catalog, untouched.machine);
  dlg.AttachView(&view);
  view.iconLoads = false;
  EXPECT_TRUE(dlg.OnInitDialog());
  FakePaint dc;
  EXPECT_EQ(dlg.RouteCtlColor(dc, IDC_TITLE, ui::CtlColorKind::Static), std::optional<ui::GdiHandle>(0));
  EXPECT_TRUE(view.iconsSet.empty());
  EXPECT_TRUE(view.At(IDC_INSTALL).enabled);
}

}  // namespace
