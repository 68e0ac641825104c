// Controls as data: every control of the main window and the dialogs is a plain member holding its
// state. Front ends render these members and call the handlers; tests and tarvelctl do the same.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

enum class ControlKind { Button, CheckBox, RadioGroup, SpinEdit, Edit, Label, MenuItem, Page, Panel, Gauge, ComboBox, ListBox };

struct Control {
  Control(std::string n, ControlKind k, std::string c = {}) : name(std::move(n)), kind(k), caption(std::move(c)) {}
  virtual ~Control() = default;
  std::string name;
  ControlKind kind;
  std::string caption;
  std::string hint;
  bool visible = true;
  bool enabled = true;
  // The group, page or menu the control sits in: it can only be used when they can.
  Control* parent = nullptr;
  // Geometry in pixels where the program fixes it (-1: the front end's choice).
  int left = -1, top = -1, width = -1, height = -1;
};

struct ButtonControl : Control {
  explicit ButtonControl(std::string n, std::string c = {}, std::string h = {})
      : Control(std::move(n), ControlKind::Button, std::move(c)) {
    hint = std::move(h);
  }
};

struct CheckBox : Control {
  CheckBox(std::string n, std::string c, bool on = false)
      : Control(std::move(n), ControlKind::CheckBox, std::move(c)), checked(on) {}
  bool checked;
};

struct RadioGroup : Control {
  RadioGroup(std::string n, std::string c, std::vector<std::string> it, int index)
      : Control(std::move(n), ControlKind::RadioGroup, std::move(c)), items(std::move(it)), itemIndex(index) {}
  std::vector<std::string> items;
  int itemIndex;
};

struct SpinEdit : Control {
  SpinEdit(std::string n, std::string c, int64_t lo, int64_t hi, int64_t step, int64_t v)
      : Control(std::move(n), ControlKind::SpinEdit, std::move(c)), minValue(lo), maxValue(hi), increment(step), value(v) {}
  int64_t minValue, maxValue, increment, value;
  int maxDigits = 0;  // 0: no limit
  int64_t clamp(int64_t v) const { return v < minValue ? minValue : v > maxValue ? maxValue : v; }
};

// An edit field; `caption` is its label.
struct EditControl : Control {
  EditControl(std::string n, std::string c, std::string t, int maxLen = 0)
      : Control(std::move(n), ControlKind::Edit, std::move(c)), text(std::move(t)), maxLength(maxLen) {}
  std::string text;
  int maxLength;  // in characters; 0: no limit
  bool readOnly = false;
};

// A label; `caption` is its fixed prompt (may be empty) and `text` what the program writes into it.
struct LabelControl : Control {
  LabelControl(std::string n, std::string c, std::string t = {})
      : Control(std::move(n), ControlKind::Label, std::move(c)), text(std::move(t)) {}
  std::string text;
};

struct MenuItem : Control {
  MenuItem(std::string n, std::string c, std::string key = {})
      : Control(std::move(n), ControlKind::MenuItem, std::move(c)), shortcut(std::move(key)) {}
  std::string shortcut;
};

// A page of a page control; `visible` is whether its tab shows.
struct PageControl : Control {
  PageControl(std::string n, std::string c) : Control(std::move(n), ControlKind::Page, std::move(c)) {}
};

// A group of pages (or the pages of a view); `activePage` indexes `pages`.
struct PageGroup : Control {
  PageGroup(std::string n, std::vector<PageControl*> p, int active)
      : Control(std::move(n), ControlKind::Panel), pages(std::move(p)), activePage(active) {}
  std::vector<PageControl*> pages;
  int activePage;
};

struct PanelControl : Control {
  PanelControl(std::string n, std::string c) : Control(std::move(n), ControlKind::Panel, std::move(c)) {}
};

struct ComboBoxControl : Control {
  ComboBoxControl(std::string n, std::string c, std::string t)
      : Control(std::move(n), ControlKind::ComboBox, std::move(c)), text(std::move(t)) {}
  std::vector<std::string> items;
  int itemIndex = -1;
  std::string text;
};

struct ListBoxControl : Control {
  explicit ListBoxControl(std::string n) : Control(std::move(n), ControlKind::ListBox) {}
  std::vector<std::string> items;
  int itemIndex = -1;
};

// Blue while running and after success, red after a failure.
enum class GaugeColour { Blue, Red };

// What a progress bar shows; the operations of each unit write it, front ends draw it.
struct GaugeState {
  int64_t progress = 0;
  int64_t maxValue = 100;
  GaugeColour colour = GaugeColour::Blue;
};

struct GaugeControl : Control, GaugeState {
  explicit GaugeControl(std::string n) : Control(std::move(n), ControlKind::Gauge) {}
};

// Visible and enabled, and so is every group, page and menu around it.
inline bool Usable(const Control& c) {
  for (const Control* p = &c; p != nullptr; p = p->parent)
    if (!p->visible || !p->enabled) return false;
  return true;
}

struct StatusPanel {
  std::string text;
  int width;
};

}  // namespace tarvel

namespace tarvel {

// A change to a window control by name, computed by a subsystem and applied by the window model (lower
// layers never hold the window's controls).
struct ControlChange {
  enum class Property { Visible, Enabled, Checked, ItemIndex, Caption, Text, Value, ActivePage };
  std::string control;
  Property property;
  int64_t number = 0;
  std::string text;
};

inline ControlChange Show(std::string c, bool on = true) { return {std::move(c), ControlChange::Property::Visible, on, {}}; }
inline ControlChange Hide(std::string c) { return Show(std::move(c), false); }
inline ControlChange Enable(std::string c, bool on = true) { return {std::move(c), ControlChange::Property::Enabled, on, {}}; }
inline ControlChange Check(std::string c, bool on) { return {std::move(c), ControlChange::Property::Checked, on, {}}; }
inline ControlChange SelectItem(std::string c, int i) { return {std::move(c), ControlChange::Property::ItemIndex, i, {}}; }
inline ControlChange SetCaption(std::string c, std::string t) {
  return {std::move(c), ControlChange::Property::Caption, 0, std::move(t)};
}
inline ControlChange SetText(std::string c, std::string t) { return {std::move(c), ControlChange::Property::Text, 0, std::move(t)}; }
inline ControlChange SetValue(std::string c, int64_t v) { return {std::move(c), ControlChange::Property::Value, v, {}}; }
inline ControlChange ShowPage(std::string group, int page) {
  return {std::move(group), ControlChange::Property::ActivePage, page, {}};
}

}  // namespace tarvel
