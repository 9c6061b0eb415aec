// The install button's handler and the installation sequence.
#include <stdexcept>
#include <string>

#include "discovery/acad_running.h"
#include "install/folder_safety.h"
#include "install/install_sequence.h"
#include "install/install_texts.h"
#include "install/path_limits.h"
#include "install/payload.h"
#include "install/registration.h"
#include "install/support_files.h"
#include "platform/machine.h"
#include "platform/status.h"
#include "platform/text.h"
#include "ui/dlg_setup.h"
#include "ui/path_dialog.h"
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

// The access list of the install folder, or of the chosen folder this installation created, could
// not be set; {} is the folder.
constexpr const char* kProtectFailedText =
    "无法设置安装文件夹 {} 的访问权限 !\n\n"
    "AutoCAD会以每位用户的身份加载此文件夹中的程序，普通用户不应能修改它们，因此安装已停止。\n\n"
    "请选择NTFS磁盘上的其他安装路径后重新安装。";

// Locks a folder down before anything is copied into it (see FileSystem::ProtectFolder): the
// install folder always, and the chosen folder when this installation made it. A folder created
// under a drive root by an elevated process lets every signed-in user rename it and change what is
// in it, and AutoCAD loads the add-on from the install folder, from a trusted path, for every user,
// administrators included: so when the list cannot be set, the installation stops here with a
// message, rather than go on with a warning few users could judge. Where the folder is not there
// at all (its parent missing, say), nothing can be copied into it either, and the payload copy
// reports that as it always has.
bool ProtectFolder(platform::Machine& machine, const std::string& folder) {
  const platform::Status status = machine.files.ProtectFolder(folder);
  if (status == platform::kSuccess || status == platform::kFileNotFound || status == platform::kPathNotFound) {
    return true;
  }
  const std::string text = install::WithPath(kProtectFailedText, folder) + "\n\n错误代码：" + std::to_string(status);
  machine.prompts.MessageBox(0, text, install::kCaption, platform::kMbOk);
  return false;
}

// Why the folder text cannot be installed to, or null; `named` is set to the path the message
// names. Everything here is checked before anything is created. The install folder must be a full
// path on a drive letter with valid names that the file API can take, as the folder chooser
// demands. It must also hold no ';': "TRUSTEDPATHS" would split it into other folders, one of them
// perhaps a folder that any user can create (D:\a of D:\a;b), and add it again at every install.
// The chosen folder is held to the same rules on its own: a text ending in half a double-byte
// character forms a valid install folder once the backslash after it has become its trail byte,
// and the files would go to a folder beside the one created. Neither folder may be a junction, a
// symbolic link or a mount point, which would send the protected list and the files elsewhere.
const char* Refusal(platform::FileSystem& files, const std::string& typed, const std::string& chosen,
                    const std::string& installFolder, std::string& named) {
  named = typed;
  if (!FitsMaxPath(installFolder)) return install::kFolderTooLongText;
  if (CPathDialog::CreatePath(files, installFolder, true) != CPathDialog::kFolderReady) {
    return install::kInvalidFolderText;
  }
  if (text::Find(installFolder, ';') != std::string::npos) return install::kSemicolonFolderText;
  if (CPathDialog::CreatePath(files, chosen, true) != CPathDialog::kFolderReady) return install::kInvalidFolderText;
  for (const std::string* folder : {&chosen, &installFolder}) {
    if (install::IsReparsePoint(files, *folder)) {
      named = *folder;
      return install::kReparseFolderText;
    }
  }
  return nullptr;
}

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

}  // namespace

void Dlg_Setup::OnInstall() {
  platform::Machine& machine = GetMachine();

  if (g_bCheckAcadRunning && IsAcadRunning(machine.system)) {
    machine.prompts.MessageBox(0, install::kAcadRunningText, install::kCaption, platform::kMbOk);
    g_bCheckAcadRunning = false;
    return;
  }

  UpdateData(true);

  // An empty text is the string class's invalid argument: the dialog framework shows its error
  // box for it, and the dialog stays as it is.
  if (m_strPath.empty()) throw std::invalid_argument("the install folder text is empty");

  const std::string chosen = ChosenFolderPath(m_strPath);
  const std::string installFolder = FormInstallFolder(m_strPath);
  std::string named;
  if (const char* refusal = Refusal(machine.files, m_strPath, chosen, installFolder, named)) {
    machine.prompts.MessageBox(0, install::WithPath(refusal, named), install::kCaption, platform::kMbOk);
    return;
  }

  // Whoever could rename a folder on the way to the install folder could put a folder of their own
  // in its place, holding a module of their own; AutoCAD would load it for whoever starts it. The
  // user may know better (a machine with one user, say), so this is a question, No by default.
  const std::string replaceable = install::FindReplaceableFolder(machine, chosen);
  if (!replaceable.empty() &&
      machine.prompts.MessageBox(0, install::WithPath(install::kReplaceableFolderText, replaceable), install::kCaption,
                                 platform::kMbYesNo | platform::kMbIconExclamation | platform::kMbDefButton2) !=
          platform::kIdYes) {
    return;
  }

  // One level each; a failure (a missing parent, say) shows up as the payload copy's failures. A
  // chosen folder made here is protected like the install folder: made by an elevated process
  // under a drive root, it would otherwise be open to every signed-in user. One that was there
  // already keeps what it has: it may hold the user's other files.
  if (machine.files.CreateDirectory(chosen) == platform::kSuccess && !ProtectFolder(machine, chosen)) return;
  machine.files.CreateDirectory(installFolder);
  if (!ProtectFolder(machine, installFolder)) return;
  m_strPath = installFolder;

  if (!DoInstall()) return;

  // The installation ran to its end; what it could not do is said before the page says "done".
  if (!m_issues.Empty()) {
    machine.prompts.MessageBox(0, install::IncompleteInstallText(m_issues.Items()), install::kCaption,
                               platform::kMbOk | platform::kMbIconExclamation);
  }

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

bool Dlg_Setup::DoInstall() {
  platform::Machine& machine = GetMachine();
  ui::DialogView& view = View();

  // The progress bar takes the band of the folder controls.
  view.ShowControl(IDC_PATH_LABEL, false);
  view.ShowControl(IDC_PATH, false);
  view.ShowControl(IDC_BROWSE, false);
  view.ShowControl(IDC_PROGRESS, true);
  m_progress.SetRange(kProgressMinimum, kProgressMaximum);
  m_progress.SetStep(kProgressStep);
  m_progress.SetPos(kProgressMinimum);

  CPayloadCopier copier(m_strPath, m_progress, machine);
  if (!copier.CopyPayload()) {
    // What was copied stays; nothing is registered.
    OnCancel();
    return false;
  }
  m_progress.StepIt();

  m_catalog.m_strInstallFolder = ChosenFolder(m_strPath);
  m_issues = {};
  RegisterWithAcad(m_catalog, m_bCheck, g_nBitness, machine, &m_issues);
  m_progress.StepIt();

  DeploySupportFiles(m_catalog, m_bCheck, machine, &m_issues);
  m_progress.StepIt();
  m_progress.SetPos(kProgressMaximum);
  return true;
}
