// The setup dialog: release boxes, install folder and the install button, over a ui::DialogView.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "discovery/acad_catalog.h"
#include "discovery/release_years.h"
#include "records/install_log.h"
#include "platform/machine.h"
#include "ui/build_constants.h"
#include "ui/controls.h"
#include "ui/dialog.h"

// The dialog's title text for a version number major * 10000 + minor * 100 + patch: minor and
// patch always show two digits, the major part all of its own.
std::u8string FormatTitle(int version);
// The bitness note, e.g. "( 64位 AutoCAD版 )".
std::u8string FormatBitness(int bitness);

class Dlg_Setup : public ui::Dialog {
 public:
  // The catalogue must have been scanned; the machine serves the installation and the chooser.
  Dlg_Setup(CAcadCatalog& catalog, platform::Machine& machine, platform::WindowRef parent = 0);
  ~Dlg_Setup() override;

  ui::MessageMap GetMessageMap() const override;
  void DoDataExchange(ui::DataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // Reads the controls, then enables the install button exactly while some release is checked.
  void UpdateInstallButton();
  // A 32-bit edition has no releases after 2016: their boxes are hidden and unchecked.
  void ApplyBitnessRule(int bitness = g_nBitness);

  // Message handlers (see the map in dlg_setup.cpp). A handler may throw platform::InvalidArgument
  // (an empty folder text at install time): the host then shows the system's text for
  // E_INVALIDARG in a stop box, as the class library does, and the dialog carries on.
  ui::GdiHandle OnCtlColor(ui::PaintContext& dc, int controlId, ui::CtlColorKind kind);
  void OnCheckRelease();
  void OnBrowse();    // dlg_setup_browse.cpp
  void OnInstall();   // dlg_setup_install.cpp

  // The box object of a release year (m_btnCheck runs from 2026 down to 2007).
  ui::Button& ReleaseBox(int year) { return m_btnCheck[static_cast<std::size_t>(kLastYear - year)]; }
  CAcadCatalog& Catalog() { return m_catalog; }
  // Where the installation writes each step as it goes (SetUp.exe /LOG=...); none by default.
  void SetInstallLog(install::InstallLog* log) { m_pInstallLog = log; }
  platform::Machine& GetMachine() { return m_machine; }
  using ui::Dialog::View;

  ui::GdiObject m_brush;                               // background, RGB(170, 210, 150); empty before init
  std::array<ui::Button, kYearCount> m_btnCheck;       // release boxes, 2026 first, 2007 last
  std::array<std::int32_t, kYearCount> m_bCheck{};     // index year - 2007; non-zero = install for it
  std::u8string m_strTitle;                            // static 1013
  std::u8string m_strBitness;                          // static 1024
  ui::ProgressCtrl m_progress;                         // progress bar 1014
  std::string m_strPath;                               // edit 1000, ANSI (a path)

 private:
  // Created at the first paint of their control, kept until the dialog goes.
  ui::GdiObject m_fontTitle;
  ui::GdiObject m_fontBitness;
  CAcadCatalog& m_catalog;
  platform::Machine& m_machine;
  install::InstallLog* m_pInstallLog = nullptr;
};
