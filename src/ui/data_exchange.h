// Data exchange between a dialog's members and its controls, in either direction (DoDataExchange).
#pragma once
#include <cstdint>
#include <string>

#include "ui/controls.h"
#include "ui/dialog_view.h"

namespace ui {

class DataExchange {
 public:
  DataExchange(DialogView& view, bool saveAndValidate) : m_view(view), m_bSaveAndValidate(saveAndValidate) {}
  DialogView& m_view;
  // True: controls to members; false: members to controls.
  const bool m_bSaveAndValidate;
};

// Attaches a control object to the control with this id (both directions).
void ExchangeControl(DataExchange& dx, int id, Control& control);
// A check box's state and an int: 1 checked, 0 unchecked.
void ExchangeCheck(DataExchange& dx, int id, std::int32_t& value);
// A control's text and a string, ANSI data or the program's own UTF-8 text, taken as it is:
// nothing is checked.
void ExchangeText(DataExchange& dx, int id, std::string& ansi);
void ExchangeText(DataExchange& dx, int id, std::u8string& text);

}  // namespace ui
