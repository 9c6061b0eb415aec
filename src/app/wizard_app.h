// The application object: fills the release catalogue, runs the setup dialog, and ends.
#pragma once

#include "platform/machine.h"

class CWizardApp {
 public:
  CWizardApp();
  virtual ~CWizardApp();
  CWizardApp(const CWizardApp&) = delete;
  CWizardApp& operator=(const CWizardApp&) = delete;

  // Scans the machine's registry, runs the setup dialog on that machine to its end and returns false: there is no message
  // loop of the application's own, so the process ends with the dialog.
  virtual bool InitInstance(platform::Machine& machine);
};

// The one application object; constructed before theCatalog and destroyed after it.
extern CWizardApp theApp;
