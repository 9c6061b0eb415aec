// The dialog base: routing and the base behaviour of OK and Cancel.
#include "ui/dialog.h"

#include <array>
#include <cstdlib>

#include "platform/text.h"

namespace ui {

std::u8string ApplicationTitle(platform::SystemInfo& system) {
  std::string modulePath;
  if (system.ModulePath(platform::kLongestPathChars, modulePath) != platform::kSuccess) return std::u8string();
  const std::size_t slash = text::ReverseFind(modulePath, '\\');
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  const std::size_t dot = text::ReverseFind(name, '.');
  if (dot != std::string::npos) name.erase(dot);
  return text::AnsiToU8(name);
}

namespace {

constexpr int kIdOk = platform::kIdOk;
constexpr int kIdCancel = platform::kIdCancel;

// Enter and Esc (and the close box) arrive as these commands from the dialog manager.
const std::array<MessageMapEntry, 2> kBaseMap = {
    OnClicked<Dialog>(kIdOk, &Dialog::OnOK),
    OnClicked<Dialog>(kIdCancel, &Dialog::OnCancel),
};

}  // namespace

Dialog::Dialog(int templateId, platform::WindowRef parent) : m_nTemplateId(templateId), m_parent(parent) {}

Dialog::~Dialog() = default;

MessageMap Dialog::GetMessageMap() const { return {}; }

void Dialog::DoDataExchange(DataExchange&) {}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void Dialog::OnOK() {
  UpdateData(true);
  View().EndDialog(kIdOk);
}

void Dialog::OnCancel() { View().EndDialog(kIdCancel); }

bool Dialog::UpdateData(bool saveAndValidate) {
  if (m_pView == nullptr) return false;
  DataExchange dx(*m_pView, saveAndValidate);
  DoDataExchange(dx);
  return true;
}

DialogView& Dialog::View() const {
  // A handler runs only while its window exists; anything else is a wiring fault.
  if (m_pView == nullptr) std::abort();
  return *m_pView;
}

GdiHandle Dialog::OnCtlColor(PaintContext& dc, int, CtlColorKind) { return dc.Default(); }

const MessageMapEntry* Dialog::FindEntry(std::uint32_t message, std::uint32_t code, int id) const {
  for (const MessageMapEntry& entry : GetMessageMap()) {
    if (entry.Matches(message, code, id)) return &entry;
  }
  for (const MessageMapEntry& entry : kBaseMap) {
    if (entry.Matches(message, code, id)) return &entry;
  }
  return nullptr;
}

bool Dialog::RouteCommand(std::uint32_t code, int id) {
  const MessageMapEntry* entry = FindEntry(kMsgCommand, code, id);
  if (entry == nullptr || entry->onCommand == nullptr) return false;
  (this->*(entry->onCommand))();
  return true;
}

std::optional<GdiHandle> Dialog::RouteCtlColor(PaintContext& dc, int controlId, CtlColorKind kind) {
  const MessageMapEntry* entry = FindEntry(kMsgCtlColor, 0, controlId);
  if (entry == nullptr || entry->onCtlColor == nullptr) return std::nullopt;
  return (this->*(entry->onCtlColor))(dc, controlId, kind);
}

}  // namespace ui
