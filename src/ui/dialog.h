// A modal dialog's logic: template id, message routing through its map, data exchange, OK and Cancel.
// The window itself is the host's (ui/win32 in SetUp.exe, a fake view in tests).
#pragma once
#include <optional>
#include <string>

#include "platform/prompts.h"
#include "platform/system.h"
#include "ui/data_exchange.h"
#include "ui/dialog_view.h"
#include "ui/message_map.h"

namespace ui {

// The application's title, as message boxes without a caption of their own carry it: the running
// executable's file name without its extension; empty when the path cannot be read.
std::u8string ApplicationTitle(platform::SystemInfo& system);

class Dialog {
 public:
  explicit Dialog(int templateId, platform::WindowRef parent = 0);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // The derived class's map; searched before the base's own (IDOK -> OnOK, IDCANCEL -> OnCancel).
  virtual MessageMap GetMessageMap() const;
  virtual void DoDataExchange(DataExchange& dx);
  // Runs the exchange towards the controls; true lets the host put the focus on the first
  // control that takes it.
  virtual bool OnInitDialog();
  // Exchange towards the members, then close with IDOK.
  virtual void OnOK();
  // Close with IDCANCEL.
  virtual void OnCancel();

  // True: controls to members; false: members to controls. False when no window exists.
  bool UpdateData(bool saveAndValidate = true);

  int TemplateId() const { return m_nTemplateId; }
  platform::WindowRef Parent() const { return m_parent; }

  // The host's side: the view while the window exists (null detaches), and the routing of
  // WM_COMMAND and the control-colour requests through the maps.
  void AttachView(DialogView* view) { m_pView = view; }
  bool HasView() const { return m_pView != nullptr; }
  // True when a handler took the command.
  bool RouteCommand(std::uint32_t code, int id);
  // The brush a handler returned, or nothing when no handler takes the request.
  std::optional<GdiHandle> RouteCtlColor(PaintContext& dc, int controlId, CtlColorKind kind);

 protected:
  // The window; only while it exists (a programming error otherwise).
  DialogView& View() const;
  // The platform's default colour handling of the request.
  GdiHandle OnCtlColor(PaintContext& dc, int controlId, CtlColorKind kind);

 private:
  const MessageMapEntry* FindEntry(std::uint32_t message, std::uint32_t code, int id) const;

  int m_nTemplateId;
  platform::WindowRef m_parent;
  DialogView* m_pView = nullptr;
};

}  // namespace ui
