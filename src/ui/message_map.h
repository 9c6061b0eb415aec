// Message maps: tables from (message, notification code, control id range) to a handler, searched in order.
#pragma once
#include <cstdint>
#include <span>

#include "ui/dialog_view.h"

namespace ui {

class Dialog;

// Message numbers as Windows gives them.
inline constexpr std::uint32_t kMsgCommand = 0x0111;   // WM_COMMAND
// One entry for every control-colour request (WM_CTLCOLORDLG, ...STATIC, ...BTN, ...EDIT and the
// rest), under the number the 16-bit WM_CTLCOLOR had: the host folds them all into it.
inline constexpr std::uint32_t kMsgCtlColor = 0x0019;

// Notification codes of WM_COMMAND.
inline constexpr std::uint32_t kBnClicked = 0;         // BN_CLICKED (also a menu or accelerator command)
inline constexpr std::uint32_t kEnChange = 0x0300;     // EN_CHANGE

// Handlers are members of the dialog class; stored as members of the base, as a class library's
// maps do, and only ever called on an object of the class whose map names them.
using CommandHandler = void (Dialog::*)();
using CtlColorHandler = GdiHandle (Dialog::*)(PaintContext& dc, int controlId, CtlColorKind kind);

struct MessageMapEntry {
  std::uint32_t message = 0;
  std::uint32_t code = 0;  // notification code (WM_COMMAND only)
  int firstId = 0;         // control id range, inclusive (WM_COMMAND only)
  int lastId = 0;
  CommandHandler onCommand = nullptr;
  CtlColorHandler onCtlColor = nullptr;

  bool Matches(std::uint32_t msg, std::uint32_t notifyCode, int id) const {
    if (msg != message) return false;
    if (msg != kMsgCommand) return true;
    return notifyCode == code && id >= firstId && id <= lastId;
  }
};

using MessageMap = std::span<const MessageMapEntry>;

// ON_CONTROL_RANGE / ON_BN_CLICKED.
template <class T>
MessageMapEntry OnCommandRange(std::uint32_t code, int firstId, int lastId, void (T::*handler)()) {
  return MessageMapEntry{kMsgCommand, code, firstId, lastId, static_cast<CommandHandler>(handler), nullptr};
}
template <class T>
MessageMapEntry OnClicked(int id, void (T::*handler)()) {
  return OnCommandRange<T>(kBnClicked, id, id, handler);
}
// ON_WM_CTLCOLOR.
template <class T>
MessageMapEntry OnCtlColorRequest(GdiHandle (T::*handler)(PaintContext&, int, CtlColorKind)) {
  return MessageMapEntry{kMsgCtlColor, 0, 0, 0, nullptr, static_cast<CtlColorHandler>(handler)};
}

}  // namespace ui
