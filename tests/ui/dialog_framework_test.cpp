// The dialog framework: map search order, id ranges, data exchange directions, control objects.
#include "ui/dialog.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ui/fake_dialog_view.h"

namespace {

using uitest::FakeDialogView;
using uitest::FakeGdi;

// A dialog whose map takes 10..12 and claims IDOK for itself, and which exchanges two members.
class ProbeDialog : public ui::Dialog {
 public:
  ProbeDialog() : ui::Dialog(77) {}
  ui::MessageMap GetMessageMap() const override {
    static const std::array<ui::MessageMapEntry, 3> kMap = {
        ui::OnCommandRange<ProbeDialog>(ui::kBnClicked, 10, 12, &ProbeDialog::OnRange),
        ui::OnCommandRange<ProbeDialog>(ui::kBnClicked, 11, 11, &ProbeDialog::OnShadowed),
        ui::OnClicked<ProbeDialog>(platform::kIdOk, &ProbeDialog::OnOwnOk),
    };
    return kMap;
  }
  void DoDataExchange(ui::DataExchange& dx) override {
    ui::ExchangeCheck(dx, 5, m_nCheck);
    ui::ExchangeText(dx, 6, m_strText);
    ui::ExchangeText(dx, 8, m_strLabel);
    ui::ExchangeControl(dx, 7, m_progress);
  }
  void OnRange() { calls.push_back("range"); }
  void OnShadowed() { calls.push_back("shadowed"); }
  void OnOwnOk() { calls.push_back("own ok"); }

  std::vector<std::string> calls;
  std::int32_t m_nCheck = 1;
  std::string m_strText = "members";    // ANSI
  std::u8string m_strLabel = u8"标题";  // the program's own text
  ui::ProgressCtrl m_progress;
};

TEST(DialogFramework, CommandsGoToTheFirstMatchingEntry) {
  struct Case {
    std::uint32_t code;
    int id;
    bool handled;
    const char* call;  // nullptr: no handler of the probe ran
    int endResult;     // 0: the dialog did not end
  };
  for (const Case& c : {Case{ui::kBnClicked, 9, false, nullptr, 0}, Case{ui::kBnClicked, 10, true, "range", 0},
                        Case{ui::kBnClicked, 11, true, "range", 0}, Case{ui::kBnClicked, 12, true, "range", 0},
                        Case{ui::kBnClicked, 13, false, nullptr, 0}, Case{ui::kEnChange, 10, false, nullptr, 0},
                        Case{ui::kBnClicked, platform::kIdOk, true, "own ok", 0},
                        Case{ui::kBnClicked, platform::kIdCancel, true, nullptr, platform::kIdCancel}}) {
    FakeGdi gdi;
    FakeDialogView view(gdi);
    ProbeDialog dlg;
    dlg.AttachView(&view);
    SCOPED_TRACE(c.id);
    EXPECT_EQ(dlg.RouteCommand(c.code, c.id), c.handled);
    EXPECT_EQ(dlg.calls, c.call ? std::vector<std::string>{c.call} : std::vector<std::string>{});
    EXPECT_EQ(view.endResults, c.endResult ? std::vector<int>{c.endResult} : std::vector<int>{});
  }
}

TEST(DialogFramework, WithoutAColourEntryTheDefaultPaints) {
  FakeGdi gdi;
  FakeDialogView view(gdi);
  ProbeDialog dlg;
  dlg.AttachView(&view);
  uitest::FakePaint dc;
  EXPECT_FALSE(dlg.RouteCtlColor(dc, 5, ui::CtlColorKind::Static).has_value());
  EXPECT_TRUE(dc.calls.empty());
}

TEST(DialogFramework, DataExchangeRunsBothWays) {
  FakeGdi gdi;
  FakeDialogView view(gdi);
  ProbeDialog dlg;
  EXPECT_FALSE(dlg.UpdateData(true));  // no window yet: nothing to exchange with
  dlg.AttachView(&view);
  EXPECT_TRUE(dlg.OnInitDialog());
  EXPECT_EQ(view.At(5).check, 1);
  EXPECT_EQ(view.At(6).text, "members");
  EXPECT_EQ(view.At(8).textU8, u8"标题");

  view.At(5).check = 0;
  view.At(6).text = "typed";
  view.At(8).textU8 = u8"新标题";
  EXPECT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_nCheck, 0);
  EXPECT_EQ(dlg.m_strText, "typed");
  EXPECT_EQ(dlg.m_strLabel, u8"新标题");
}

TEST(DialogFramework, ProgressControlSpeaksToItsBarOnceAttached) {
  FakeGdi gdi;
  FakeDialogView view(gdi);
  ProbeDialog dlg;
  dlg.m_progress.StepIt();  // not attached: a no-op, as on a null window
  dlg.AttachView(&view);
  dlg.OnInitDialog();
  dlg.m_progress.SetRange(0, 50);
  dlg.m_progress.SetStep(1);
  dlg.m_progress.SetPos(0);
  dlg.m_progress.StepIt();
  EXPECT_EQ(view.progress[7].calls, (std::vector<std::string>{"range 0 50", "step 1", "pos 0", "stepit"}));
  EXPECT_EQ(view.progress.size(), 1u);
}

}  // namespace
