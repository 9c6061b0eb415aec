// A dialog window for host tests: control state by id, recorded GDI objects and paint calls.
#pragma once
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/prompts.h"
#include "ui/dialog_view.h"

namespace uitest {

struct FakeControl {
  bool visible = true;
  bool enabled = true;
  int check = 0;
  // A real control holds one text; the dialog reads and writes each control in one form only:
  // ANSI data (the folder box) or its own UTF-8 texts (the headings).
  std::string text;
  std::u8string textU8;
};

struct FakeProgress final : platform::ProgressBar {
  std::vector<std::string> calls;
  void SetRange(int minimum, int maximum) override {
    calls.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
  }
  void SetStep(int step) override { calls.push_back("step " + std::to_string(step)); }
  void SetPos(int position) override { calls.push_back("pos " + std::to_string(position)); }
  void StepIt() override { calls.push_back("stepit"); }
};

// Hands out distinct handles and remembers what is alive; it outlives the dialogs under test.
class FakeGdi final : public ui::Gdi {
 public:
  bool failBrush = false;
  std::vector<ui::ColorRef> brushes;   // colours, in creation order
  std::vector<ui::FontSpec> fonts;     // in creation order
  std::set<ui::GdiHandle> alive;
  std::vector<ui::GdiHandle> deletedTwice;

  ui::GdiHandle CreateSolidBrush(ui::ColorRef color) override {
    if (failBrush) return 0;
    brushes.push_back(color);
    return Make();
  }
  ui::GdiHandle CreateFont(const ui::FontSpec& font) override {
    fonts.push_back(font);
    return Make();
  }
  void DeleteObject(ui::GdiHandle object) override {
    if (alive.erase(object) == 0) deletedTwice.push_back(object);
  }

 private:
  ui::GdiHandle Make() {
    alive.insert(++next_);
    return next_;
  }
  ui::GdiHandle next_ = 0x100;
};

// One control-colour request's device context: records the calls in order.
class FakePaint final : public ui::PaintContext {
 public:
  std::vector<std::string> calls;
  ui::ColorRef textColor = 0xFFFFFFFF;
  bool transparent = false;
  ui::GdiHandle font = 0;

  ui::GdiHandle Default() override {
    calls.push_back("default");
    return 0xDEF;
  }
  void SetTextColor(ui::ColorRef color) override {
    calls.push_back("textcolor");
    textColor = color;
  }
  void SetTransparentBackground() override {
    calls.push_back("transparent");
    transparent = true;
  }
  void SelectFont(ui::GdiHandle f) override {
    calls.push_back("font");
    font = f;
  }
};

class FakeDialogView final : public ui::DialogView {
 public:
  std::map<int, FakeControl> controls;
  ui::Rect window{100, 100, 500, 600};
  std::map<int, ui::Rect> controlRects;
  std::vector<ui::Rect> moves;
  std::vector<int> iconsSet;
  bool iconLoads = true;
  std::vector<int> endResults;
  std::map<int, FakeProgress> progress;
  std::vector<std::string> log;  // show/enable calls, "show 1000 0"
  FakeGdi& gdi;

  explicit FakeDialogView(FakeGdi& g) : gdi(g) {}

  FakeControl& At(int id) { return controls[id]; }

  void ShowControl(int id, bool show) override {
    At(id).visible = show;
    log.push_back("show " + std::to_string(id) + " " + std::to_string(show ? 1 : 0));
  }
  void EnableControl(int id, bool enable) override {
    At(id).enabled = enable;
    log.push_back("enable " + std::to_string(id) + " " + std::to_string(enable ? 1 : 0));
  }
  int GetCheck(int id) override { return At(id).check; }
  void SetCheck(int id, int state) override { At(id).check = state; }
  void GetText(int id, std::string& ansi) override { ansi = At(id).text; }
  void GetText(int id, std::u8string& text) override { text = At(id).textU8; }
  void SetText(int id, std::string_view ansi) override { At(id).text = ansi; }
  void SetText(int id, std::u8string_view text) override { At(id).textU8 = text; }
  ui::Rect WindowRect() override { return window; }
  ui::Rect ControlRectInClient(int id) override { return controlRects[id]; }
  void MoveWindow(const ui::Rect& rect, bool) override {
    moves.push_back(rect);
    window = rect;
  }
  void SetRedraw(bool on) override { log.push_back(on ? "redraw 1" : "redraw 0"); }
  bool SetSmallIcon(int iconId) override {
    if (!iconLoads) return false;
    iconsSet.push_back(iconId);
    return true;
  }
  void EndDialog(int result) override { endResults.push_back(result); }
  platform::ProgressBar& ProgressBar(int id) override { return progress[id]; }
  platform::WindowRef Window() override { return 0x5E7; }
  ui::Gdi& Gdi() override { return gdi; }
};

}  // namespace uitest
