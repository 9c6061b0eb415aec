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

namespace {

template <class Text>
void Exchange(DataExchange& dx, int id, Text& value) {
  if (dx.m_bSaveAndValidate) {
    dx.m_view.GetText(id, value);
  } else {
    dx.m_view.SetText(id, value);
  }
}

}  // namespace

void ExchangeText(DataExchange& dx, int id, std::string& ansi) { Exchange(dx, id, ansi); }

void ExchangeText(DataExchange& dx, int id, std::u8string& text) { Exchange(dx, id, text); }

}  // namespace ui
