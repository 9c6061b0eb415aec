// The setup dialog: construction, initialisation, the install button's state, colours and fonts.
#include "ui/dlg_setup.h"

#include <algorithm>
#include <array>

#include "uninstall/uninstall_entry.h"
#include "platform/utf8_text.h"
#include "ui/setup_ids.h"

namespace {

ui::FontSpec HeadingFont(int height, int weight) {
  ui::FontSpec font;
  font.height = height;
  font.weight = weight;
  font.face = setup::kHeadingFace;
  return font;
}

}  // namespace

std::u8string FormatTitle(int version) { return std::u8string(setup::kTitlePrefix) + install::VersionText(version); }

std::u8string FormatBitness(int bitness) {
  std::u8string note(setup::kBitnessFormat);
  const std::size_t at = note.find(u8"%d");
  note.replace(at, 2, text::Decimal(bitness));
  return note;
}

Dlg_Setup::Dlg_Setup(CAcadCatalog& catalog, platform::Machine& machine, platform::WindowRef parent)
    : ui::Dialog(IDD_SETUP, parent), m_strPath(setup::kDefaultPath), m_catalog(catalog), m_machine(machine) {
  m_bCheck.fill(1);
}

Dlg_Setup::~Dlg_Setup() = default;

ui::MessageMap Dlg_Setup::GetMessageMap() const {
  static const std::array<ui::MessageMapEntry, 5> kMap = {
      ui::OnCtlColorRequest<Dlg_Setup>(&Dlg_Setup::OnCtlColor),
      ui::OnCommandRange<Dlg_Setup>(ui::kBnClicked, IDC_CHECK_RUN1_FIRST, IDC_CHECK_RUN1_LAST,
                                    &Dlg_Setup::OnCheckRelease),
      ui::OnCommandRange<Dlg_Setup>(ui::kBnClicked, IDC_CHECK_RUN2_FIRST, IDC_CHECK_RUN2_LAST,
                                    &Dlg_Setup::OnCheckRelease),
      ui::OnClicked<Dlg_Setup>(IDC_BROWSE, &Dlg_Setup::OnBrowse),
      ui::OnClicked<Dlg_Setup>(IDC_INSTALL, &Dlg_Setup::OnInstall),
  };
  return kMap;
}

void Dlg_Setup::DoDataExchange(ui::DataExchange& dx) {
  for (int year = kLastYear; year >= kFirstYear; --year) ui::ExchangeControl(dx, setup::ReleaseBoxId(year), ReleaseBox(year));
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    ui::ExchangeCheck(dx, setup::ReleaseBoxId(year), m_bCheck[YearIndex(year)]);
  }
  ui::ExchangeText(dx, IDC_TITLE, m_strTitle);
  ui::ExchangeText(dx, IDC_BITNESS, m_strBitness);
  ui::ExchangeControl(dx, IDC_PROGRESS, m_progress);
  ui::ExchangeText(dx, IDC_PATH, m_strPath);
}

bool Dlg_Setup::OnInitDialog() {
  ui::Dialog::OnInitDialog();

  ui::DialogView& view = View();
  m_brush.Attach(view.Gdi(), view.Gdi().CreateSolidBrush(setup::kBackgroundColor));

  m_strTitle = FormatTitle(g_nVersion);
  m_strBitness = FormatBitness(g_nBitness);

  view.SetSmallIcon(IDI_SETUP);

  // Only the releases found on this machine can be chosen; the others stay off for the whole run.
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (m_catalog.m_arrLocations[YearIndex(year)].empty()) {
      ReleaseBox(year).Enable(false);
      m_bCheck[YearIndex(year)] = 0;
    }
  }
  ApplyBitnessRule();

  UpdateData(false);
  UpdateInstallButton();
  return true;
}

void Dlg_Setup::ApplyBitnessRule(int bitness) {
  if (bitness != 32) return;
  for (int year = setup::kLastYearFor32Bit + 1; year <= kLastYear; ++year) {
    ReleaseBox(year).Show(false);
    m_bCheck[YearIndex(year)] = 0;
  }
}

void Dlg_Setup::UpdateInstallButton() {
  UpdateData(true);
  const bool anyChecked = std::any_of(m_bCheck.begin(), m_bCheck.end(), [](std::int32_t c) { return c != 0; });
  View().EnableControl(IDC_INSTALL, anyChecked);
}

void Dlg_Setup::OnCheckRelease() { UpdateInstallButton(); }

ui::GdiHandle Dlg_Setup::OnCtlColor(ui::PaintContext& dc, int controlId, ui::CtlColorKind kind) {
  // The default handling sets the platform's colours first (the edit's opaque text background
  // among them); its brush gives way to ours.
  ui::Dialog::OnCtlColor(dc, controlId, kind);

  dc.SetTextColor(setup::kTextColor);
  if (controlId != IDC_PATH) dc.SetTransparentBackground();

  ui::GdiObject* font = nullptr;
  ui::FontSpec wanted;
  if (controlId == IDC_TITLE) {
    font = &m_fontTitle;
    wanted = HeadingFont(setup::kTitleFontHeight, setup::kTitleFontWeight);
  } else if (controlId == IDC_BITNESS) {
    font = &m_fontBitness;
    wanted = HeadingFont(setup::kBitnessFontHeight, setup::kBitnessFontWeight);
  }
  if (font != nullptr) {
    // One font per heading for the dialog's life: the control may paint with it at any time.
    if (!*font) font->Attach(View().Gdi(), View().Gdi().CreateFont(wanted));
    if (*font) dc.SelectFont(font->Get());
    dc.SetTextColor(setup::kHeadingColor);
  }
  return m_brush.Get();
}

void Dlg_Setup::OnOK() { ui::Dialog::OnOK(); }

void Dlg_Setup::OnCancel() { ui::Dialog::OnCancel(); }
