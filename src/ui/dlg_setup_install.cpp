// The install button's handler: the installation engine run with the dialog as what the user sees.
#include <string>

#include "install/install_engine.h"
#include "install/install_sequence.h"
#include "records/install_texts.h"
#include "ui/dlg_setup.h"
#include "ui/setup_ids.h"

namespace {

// The controls the finished page shows and hides, in the order it does so (the release boxes follow).
struct ControlChange {
  int id;
  bool show;
};
constexpr ControlChange kFinishedPage[] = {
    {IDC_DONE_NOTE, true},          {IDC_MENU_PICTURE, true}, {IDC_COMPONENTS_LABEL, false},
    {IDC_PROGRESS, false},          {IDC_FINISH, true},       {IDC_INSTALL, false},
    {IDC_CANCEL, false},
};

// The dialog's painting held while it lives, and let go however the scope is left.
class HeldRedraw {
 public:
  explicit HeldRedraw(ui::DialogView& view) : m_view(view) { m_view.SetRedraw(false); }
  ~HeldRedraw() { m_view.SetRedraw(true); }
  HeldRedraw(const HeldRedraw&) = delete;
  HeldRedraw& operator=(const HeldRedraw&) = delete;

 private:
  ui::DialogView& m_view;
};

// The installation as the dialog shows it: the progress bar takes the band of the folder controls.
class DialogInstallView final : public install::InstallView {
 public:
  DialogInstallView(ui::DialogView& view, ui::ProgressCtrl& progress) : m_view(view), m_progress(progress) {}

  void CopyStarting() override {
    m_view.ShowControl(IDC_PATH_LABEL, false);
    m_view.ShowControl(IDC_PATH, false);
    m_view.ShowControl(IDC_BROWSE, false);
    m_view.ShowControl(IDC_PROGRESS, true);
  }
  platform::ProgressBar& Progress() override { return m_progress; }

 private:
  ui::DialogView& m_view;
  ui::ProgressCtrl& m_progress;
};

}  // namespace

void Dlg_Setup::OnInstall() {
  UpdateData(true);

  install::InstallChoices choices;
  choices.releases = m_bCheck;
  choices.typedFolder = m_strPath;
  choices.checkAcadRunning = g_bCheckAcadRunning;
  DialogInstallView installView(View(), m_progress);
  install::CInstallEngine engine(GetMachine(), Catalog(), g_nBitness, g_nVersion, m_pInstallLog);
  const install::InstallOutcome outcome = engine.Run(choices, installView);

  switch (outcome) {
    case install::InstallOutcome::kAcadRunning:
      // Warned once; a second press installs even while AutoCAD runs.
      g_bCheckAcadRunning = false;
      return;
    case install::InstallOutcome::kNewerInstalled:
    case install::InstallOutcome::kFolderRefused:
    case install::InstallOutcome::kDeclined:
    case install::InstallOutcome::kNothingChosen:
    case install::InstallOutcome::kNotProtected:
      return;  // said; the dialog stays as it was
    case install::InstallOutcome::kPayloadRejected:  // as for a missing payload
    case install::InstallOutcome::kStopped:
      // What the run had changed is undone by now: said, and the dialog ends, as with "取  消".
      (void)GetMachine().prompts.MessageBox(0, install::kRolledBackText, install::kCaption,
                                            platform::kMbOk | platform::kMbIconInformation);
      OnCancel();
      return;
    case install::InstallOutcome::kDoneWithIssues:
    case install::InstallOutcome::kDone:
      break;
  }
  m_strPath = engine.InstallFolder();

  ui::DialogView& view = View();
  {
    // Some thirty controls change: the dialog is repainted once when they all have.
    const HeldRedraw held(view);
    for (const ControlChange& change : kFinishedPage) view.ShowControl(change.id, change.show);
    for (int year = kFirstYear; year <= kLastYear; ++year) ReleaseBox(year).Show(false);
    UpdateData(false);
  }

  // "安装完成" ends up as far above the window's bottom edge as "取  消" was.
  const ui::Rect window = view.WindowRect();
  const ui::Rect finish = view.ControlRectInClient(IDC_FINISH);
  const ui::Rect cancel = view.ControlRectInClient(IDC_CANCEL);
  view.MoveWindow({window.left, window.top, window.right, window.bottom + finish.bottom - cancel.bottom}, true);
}
