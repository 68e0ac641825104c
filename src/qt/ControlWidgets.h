// Widgets over the model's controls (base/Controls.h), shared by the main window and the dialogs. Each
// binding shows one control and refreshes itself from it; what the user does goes to a ControlHost,
// which hands it to the model's handlers. The widgets keep no state of their own.
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "base/Controls.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QSpinBox;
class QTabWidget;

namespace tarvel {

// Where user input goes: the model sets the value (and runs its handler), then everything refreshes.
class ControlHost {
 public:
  virtual ~ControlHost() = default;
  virtual void setValue(const Control& control, const std::string& value) = 0;
  virtual void click(const Control& control) = 0;
};

class ControlBinding {
 public:
  ControlBinding(Control& control, QWidget* widget) : control_(control), widget_(widget) {}
  virtual ~ControlBinding() = default;
  ControlBinding(const ControlBinding&) = delete;
  ControlBinding& operator=(const ControlBinding&) = delete;

  // Cheap when nothing changed: every setter compares first.
  virtual void refresh();
  Control& control() const { return control_; }
  // The outermost widget (caption label and editor together, where there is a caption).
  QWidget* widget() const { return widget_; }

 protected:
  Control& control_;
  QWidget* widget_;
};

// The widget kinds. `captionAfter` puts a spin edit's caption behind it, as a unit ("ms").
std::unique_ptr<ControlBinding> BindButton(ButtonControl& c, ControlHost& host, QWidget* parent, bool toolButton = false);
std::unique_ptr<ControlBinding> BindCheckBox(CheckBox& c, ControlHost& host, QWidget* parent);
std::unique_ptr<ControlBinding> BindRadioGroup(RadioGroup& c, ControlHost& host, QWidget* parent, int columns = 1);
std::unique_ptr<ControlBinding> BindSpinEdit(SpinEdit& c, ControlHost& host, QWidget* parent, bool captionAfter = false);
// `withCaption` false when a separate label names the edit.
std::unique_ptr<ControlBinding> BindEdit(EditControl& c, ControlHost& host, QWidget* parent, bool withCaption = true);
std::unique_ptr<ControlBinding> BindLabel(LabelControl& c, QWidget* parent);
std::unique_ptr<ControlBinding> BindComboBox(ComboBoxControl& c, ControlHost& host, QWidget* parent);
std::unique_ptr<ControlBinding> BindListBox(ListBoxControl& c, ControlHost& host, QWidget* parent);
std::unique_ptr<ControlBinding> BindGauge(GaugeControl& c, QWidget* parent);
std::unique_ptr<ControlBinding> BindGroupBox(PanelControl& c, QWidget* parent);
// A page group over an existing tab widget whose tabs are the group's pages, in order.
std::unique_ptr<ControlBinding> BindPages(PageGroup& c, QTabWidget* tabs, ControlHost& host);
// Any control the dialogs may hold, by its kind; nullptr for kinds a dialog does not draw.
std::unique_ptr<ControlBinding> BindAny(Control& c, ControlHost& host, QWidget* parent);

// The colours a gauge is drawn in.
inline constexpr unsigned kGaugeBlue = 0x0000E0;
inline constexpr unsigned kGaugeRed = 0xE00000;

}  // namespace tarvel
