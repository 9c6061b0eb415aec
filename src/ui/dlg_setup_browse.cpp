// The Browse button's handler: the folder chooser opened on the folder field's text.
#include "ui/dlg_setup.h"
#include "ui/path_dialog.h"

namespace {

// Caption and title of the chooser: "choose the install folder".
constexpr const char8_t* kChooserText = u8"请选择安装目录：";

}  // namespace

void Dlg_Setup::OnBrowse() {
  // Whatever the user typed into the field is where the chooser opens.
  UpdateData(true);
  CPathDialog chooser(GetMachine(), ui::CurrentFolderBrowser(), kChooserText, kChooserText, m_strPath.c_str());
  if (chooser.DoModal() == CPathDialog::kAccepted) {
    m_strPath = chooser.GetChosenPath();
    UpdateData(false);
  }
  UpdateInstallButton();
}
