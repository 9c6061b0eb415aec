// The folder chooser's logic.
#include "ui/path_dialog.h"

#include <cstdlib>

#include "platform/folder_rules.h"
#include "platform/text.h"
#include "ui/dialog.h"

namespace {

constexpr std::u8string_view kInvalidFormat = u8"The folder:\n\n%s\n\nis invalid. Please reenter.";
constexpr std::u8string_view kNotCreatedFormat = u8"The folder:\n\n%s\n\ncan not be created. Please double check.";
constexpr std::u8string_view kCreateQuestionFormat =
    u8"The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?";

bool Exists(platform::FileSystem& files, const std::string& path) {
  std::uint32_t attributes = 0;
  return files.GetAttributes(path, attributes) == platform::kSuccess;
}

// The message with the path in place of %s; the path is ANSI data.
std::u8string FolderMessage(std::u8string_view format, std::string_view path) {
  const std::size_t at = format.find(u8"%s");
  std::u8string message(format.substr(0, at));
  message += text::AnsiToU8(path);
  message += format.substr(at + 2);
  return message;
}

int ShowFolderMessage(platform::Machine& machine, platform::WindowRef owner, std::u8string_view format,
                      std::string_view path, std::uint32_t flags) {
  return machine.prompts.MessageBox(owner, FolderMessage(format, path), ui::ApplicationTitle(machine.system), flags);
}

void ReportFailure(platform::Machine& machine, platform::WindowRef owner, std::u8string_view format,
                   std::string_view path) {
  ShowFolderMessage(machine, owner, format, path, platform::kMbOk | platform::kMbIconExclamation);
}

}  // namespace

namespace ui {
namespace {
FolderBrowser* g_browser = nullptr;
}

FolderBrowser& CurrentFolderBrowser() {
  if (g_browser == nullptr) std::abort();
  return *g_browser;
}

void SetCurrentFolderBrowser(FolderBrowser* browser) { g_browser = browser; }

}  // namespace ui

CPathDialog::CPathDialog(platform::Machine& machine, ui::FolderBrowser& browser, const char8_t* pszCaption,
                         const char8_t* pszTitle, const char* pszStartFolder, platform::WindowRef parent)
    : m_pszWindowCaption(pszCaption),
      m_pszStartFolder(pszStartFolder),
      m_pszTitle(pszTitle),
      m_pOwnerWnd(parent),
      m_machine(machine),
      m_browser(browser) {}

int CPathDialog::DoModal() {
  m_bAccepted = 0;
  if (!m_browser.Run(*this)) return kNotAccepted;
  return m_bAccepted != 0 ? kAccepted : kNotAccepted;
}

bool CPathDialog::IsComponentValid(std::string_view name) { return platform::IsFolderNameValid(name); }

platform::Status CPathDialog::CreatePath(platform::FileSystem& files, std::string_view path, bool validateOnly) {
  return platform::CreateFolderPath(files, path, validateOnly);
}

platform::Status CPathDialog::EnsureFolderExists(platform::Machine& machine, std::string_view path,
                                                 platform::WindowRef owner) {
  if (const platform::Status form = CreatePath(machine.files, path, true); form != platform::kSuccess) {
    ReportFailure(machine, owner, kInvalidFormat, path);
    return form;
  }
  if (Exists(machine.files, std::string(path))) return platform::kSuccess;

  const int answer = ShowFolderMessage(machine, owner, kCreateQuestionFormat, path,
                                       platform::kMbYesNo | platform::kMbIconQuestion);
  if (answer != platform::kIdYes) return platform::kCancelled;

  // The form passed above, so what fails now is a level that could not be created, whatever the
  // system's reason (an invalid name among them).
  if (const platform::Status created = CreatePath(machine.files, path, false); created != platform::kSuccess) {
    ReportFailure(machine, owner, kNotCreatedFormat, path);
    return created;
  }
  return platform::kSuccess;
}

std::string CPathDialog::InitialSelection() const {
  if (m_pszStartFolder != nullptr) return m_pszStartFolder;
  platform::Machine& machine = m_machine;
  std::string current;
  // No current directory to offer: the browser keeps its own first selection.
  if (machine.system.CurrentDirectory(current) != platform::kSuccess) return std::string();
  return current;
}

void CPathDialog::OnSelChanged(ui::BrowserView& view, const std::string& fsPath) {
  // Only paths on a drive letter can be chosen from the tree: virtual folders and shares
  // without a letter leave the box empty and OK disabled.
  const bool onDrive = fsPath.size() >= 2 && fsPath[1] == ':';
  const std::string shown = onDrive ? fsPath : std::string();
  view.EnableOk(onDrive);
  view.SetStatusText(shown);
  view.SetPathText(shown);
}

void CPathDialog::OnPathTextChanged(ui::BrowserView& view) {
  m_szChosenPath = view.PathText();
  // Typing overrides the tree's verdict either way.
  view.EnableOk(!m_szChosenPath.empty());
}

void CPathDialog::OnOK(ui::BrowserView& view) {
  m_szChosenPath = view.PathText();
  platform::Machine& machine = m_machine;
  if (EnsureFolderExists(machine, m_szChosenPath, view.MessageBoxOwner()) != platform::kSuccess) {
    view.FocusPathEdit();
    return;
  }
  m_bAccepted = 1;
  view.EndBrowser(kAccepted);
}
