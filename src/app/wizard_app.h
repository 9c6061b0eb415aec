// The application object: fills the release catalogue, runs the setup dialog, and ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/install_log.h"
#include "platform/machine.h"

// What the command line may set for the dialog: the folder it shows, the releases ticked at first
// (of those found), and a log of the installation.
struct DialogPresets {
  std::optional<std::string> folder;         // ANSI
  std::optional<std::vector<int>> releases;
  install::InstallLog* log = nullptr;
};

class CWizardApp {
 public:
  CWizardApp();
  virtual ~CWizardApp();
  CWizardApp(const CWizardApp&) = delete;
  CWizardApp& operator=(const CWizardApp&) = delete;

  // Scans the machine's registry, runs the setup dialog on that machine to its end and returns false: there is no message
  // loop of the application's own, so the process ends with the dialog.
  virtual bool InitInstance(platform::Machine& machine, const DialogPresets& presets = {});
};

// The one application object; constructed before theCatalog and destroyed after it.
extern CWizardApp theApp;
