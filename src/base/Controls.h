// Controls as data: every control of the main window and the dialogs is a plain member holding its
// state. Front ends render these members and call the handlers; tests and tarvelctl do the same.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

enum class ControlKind { Button, CheckBox, RadioGroup, SpinEdit, Edit, Label, MenuItem, Page, Panel, Gauge, ComboBox };

struct Control {
  Control(std::string n, ControlKind k, std::string c = {}) : name(std::move(n)), kind(k), caption(std::move(c)) {}
  virtual ~Control() = default;
  std::string name;
  ControlKind kind;
  std::string caption;
  std::string hint;
  bool visible = true;
  bool enabled = true;
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
  SpinEdit(std::string n, std::string c, int lo, int hi, int step, int v)
      : Control(std::move(n), ControlKind::SpinEdit, std::move(c)), minValue(lo), maxValue(hi), increment(step), value(v) {}
  int minValue, maxValue, increment, value;
};

struct EditControl : Control {
  EditControl(std::string n, std::string c, std::string t, int maxLen = 0)
      : Control(std::move(n), ControlKind::Edit, std::move(c)), text(std::move(t)), maxLength(maxLen) {}
  std::string text;
  int maxLength;
  bool readOnly = false;
};

struct LabelControl : Control {
  LabelControl(std::string n, std::string c) : Control(std::move(n), ControlKind::Label, std::move(c)) {}
};

struct MenuItem : Control {
  MenuItem(std::string n, std::string c, std::string key = {})
      : Control(std::move(n), ControlKind::MenuItem, std::move(c)), shortcut(std::move(key)) {}
  std::string shortcut;
};

// A page of a page control; `tabVisible` is whether its tab shows.
struct PageControl : Control {
  PageControl(std::string n, std::string c) : Control(std::move(n), ControlKind::Page, std::move(c)) {}
  bool tabVisible = true;
};

struct StatusPanel {
  std::string text;
  int width;
};

}  // namespace tarvel
