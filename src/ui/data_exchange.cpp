// Data exchange primitives.
#include "ui/data_exchange.h"

namespace ui {

void ExchangeControl(DataExchange& dx, int id, Control& control) { control.Attach(dx.m_view, id); }

void ExchangeCheck(DataExchange& dx, int id, std::int32_t& value) {
  if (dx.m_bSaveAndValidate) {
    value = dx.m_view.GetCheck(id);
  } else {
    dx.m_view.SetCheck(id, value);
  }
}

void ExchangeText(DataExchange& dx, int id, std::string& value, TextEncoding encoding) {
  if (dx.m_bSaveAndValidate) {
    value = dx.m_view.GetText(id, encoding);
  } else {
    dx.m_view.SetText(id, value, encoding);
  }
}

}  // namespace ui
