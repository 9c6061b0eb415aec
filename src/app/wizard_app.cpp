// The application object and its start-up hook.
#include "app/wizard_app.h"

#include "discovery/acad_catalog.h"
#include "ui/dlg_setup.h"
#include "ui/win32/modal_dialog.h"

// theApp is built before and destroyed after theCatalog, which lives in another translation unit;
// a priority ahead of every unprioritised static object makes that order hold whatever the link
// order. MSVC's equivalent is the library initialisation segment.
#if defined(_MSC_VER)
#pragma init_seg(lib)
CWizardApp theApp;
#else
CWizardApp theApp [[gnu::init_priority(101)]];
#endif

CWizardApp::CWizardApp() = default;

CWizardApp::~CWizardApp() = default;

bool CWizardApp::InitInstance(platform::Machine& machine) {
  // No ActiveX control is hosted by the dialog, so nothing stands in for the class library's
  // control-container support here.

  // Before any window: the scan decides which releases the dialog offers.
  theCatalog.Scan(machine.registry);

  {
    Dlg_Setup dlg(theCatalog, machine);
    // The result (OK, Cancel or failure to create the window) changes nothing: the program ends.
    ui::win32::RunModal(dlg);
  }
  return false;
}
