// Control objects attached to a dialog's controls by the data exchange, and owned GDI objects.
#pragma once
#include <utility>

#include "platform/prompts.h"
#include "ui/dialog_view.h"

namespace ui {

// A control by id on a dialog view (CWnd / CButton for what the program does with them).
class Control {
 public:
  void Attach(DialogView& view, int id) {
    m_view = &view;
    m_id = id;
  }
  void Detach() { m_view = nullptr; }
  bool IsAttached() const { return m_view != nullptr; }
  int Id() const { return m_id; }
  // ShowWindow(SW_SHOWNORMAL / SW_HIDE); nothing while detached, as with a null HWND.
  void Show(bool show) {
    if (m_view != nullptr) m_view->ShowControl(m_id, show);
  }
  void Enable(bool enable) {
    if (m_view != nullptr) m_view->EnableControl(m_id, enable);
  }

 protected:
  DialogView* m_view = nullptr;
  int m_id = 0;
};

using Button = Control;

// CProgressCtrl: the progress bar's messages, forwarded to the attached control.
class ProgressCtrl final : public Control, public platform::ProgressBar {
 public:
  void SetRange(int minimum, int maximum) override {
    if (m_view != nullptr) m_view->ProgressBar(m_id).SetRange(minimum, maximum);
  }
  void SetStep(int step) override {
    if (m_view != nullptr) m_view->ProgressBar(m_id).SetStep(step);
  }
  void SetPos(int position) override {
    if (m_view != nullptr) m_view->ProgressBar(m_id).SetPos(position);
  }
  void StepIt() override {
    if (m_view != nullptr) m_view->ProgressBar(m_id).StepIt();
  }
};

// Owns one GDI object (CBrush, CFont) and deletes it in its destructor.
class GdiObject {
 public:
  GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept
      : m_gdi(std::exchange(other.m_gdi, nullptr)), m_handle(std::exchange(other.m_handle, 0)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      Reset();
      m_gdi = std::exchange(other.m_gdi, nullptr);
      m_handle = std::exchange(other.m_handle, 0);
    }
    return *this;
  }
  ~GdiObject() { Reset(); }

  // Takes ownership of `handle` (0 leaves the object empty).
  void Attach(Gdi& gdi, GdiHandle handle) {
    Reset();
    if (handle != 0) {
      m_gdi = &gdi;
      m_handle = handle;
    }
  }
  void Reset() {
    if (m_gdi != nullptr && m_handle != 0) m_gdi->DeleteObject(m_handle);
    m_gdi = nullptr;
    m_handle = 0;
  }
  GdiHandle Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != 0; }

 private:
  Gdi* m_gdi = nullptr;
  GdiHandle m_handle = 0;
};

}  // namespace ui
