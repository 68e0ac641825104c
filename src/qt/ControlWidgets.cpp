#include "qt/ControlWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <climits>

#include "qt/QtText.h"

namespace tarvel {
namespace {

void SetText(QLabel* l, const QString& t) {
  if (l->text() != t) l->setText(t);
}
void SetText(QAbstractButton* b, const QString& t) {
  if (b->text() != t) b->setText(t);
}

int ToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// A caption label beside an editor, both shown and hidden together.
QWidget* Row(QWidget* parent, const std::string& caption, QWidget* editor, bool captionAfter = false) {
  if (caption.empty()) return editor;
  auto* row = new QWidget(parent);
  row->setObjectName(editor->objectName() + "_row");
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(Qs(caption), row);
  editor->setParent(row);
  if (captionAfter) {
    layout->addWidget(editor);
    layout->addWidget(label);
    layout->addStretch(1);
  } else {
    layout->addWidget(label);
    layout->addWidget(editor, 1);
  }
  return row;
}

class ButtonBinding : public ControlBinding {
 public:
  ButtonBinding(ButtonControl& c, QAbstractButton* b, ControlHost& host) : ControlBinding(c, b), button_(b) {
    QObject::connect(b, &QAbstractButton::clicked, b, [&host, &c] { host.click(c); });
  }
  void refresh() override {
    ControlBinding::refresh();
    SetText(button_, Qs(control_.caption));
  }

 private:
  QAbstractButton* button_;
};

class CheckBinding : public ControlBinding {
 public:
  CheckBinding(CheckBox& c, QCheckBox* b, ControlHost& host) : ControlBinding(c, b), box_(b), check_(c) {
    QObject::connect(b, &QCheckBox::clicked, b, [&host, &c](bool on) { host.setValue(c, on ? "1" : "0"); });
  }
  void refresh() override {
    ControlBinding::refresh();
    SetText(box_, Qs(control_.caption));
    if (box_->isChecked() != check_.checked) box_->setChecked(check_.checked);
  }

 private:
  QCheckBox* box_;
  CheckBox& check_;
};

class RadioBinding : public ControlBinding {
 public:
  RadioBinding(RadioGroup& c, QGroupBox* box, ControlHost& host, int columns)
      : ControlBinding(c, box), box_(box), radio_(c), columns_(std::max(1, columns)) {
    group_ = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(8, 2, 8, 2);
    grid->setVerticalSpacing(2);
    QObject::connect(group_, &QButtonGroup::idClicked, box, [&host, &c](int id) { host.setValue(c, std::to_string(id)); });
  }
  void refresh() override {
    ControlBinding::refresh();
    if (box_->title() != Qs(control_.caption)) box_->setTitle(Qs(control_.caption));
    const QList<QAbstractButton*> buttons = group_->buttons();
    bool same = buttons.size() == static_cast<qsizetype>(radio_.items.size());
    for (qsizetype i = 0; same && i < buttons.size(); ++i)
      same = group_->button(static_cast<int>(i))->text() == Qs(radio_.items[static_cast<size_t>(i)]);
    if (!same) rebuild();
    QAbstractButton* wanted = group_->button(radio_.itemIndex);
    if (wanted && !wanted->isChecked()) wanted->setChecked(true);
    if (!wanted && group_->checkedButton()) {
      group_->setExclusive(false);
      group_->checkedButton()->setChecked(false);
      group_->setExclusive(true);
    }
  }

 private:
  void rebuild() {
    for (QAbstractButton* b : group_->buttons()) {
      group_->removeButton(b);
      delete b;
    }
    auto* grid = static_cast<QGridLayout*>(box_->layout());
    const int count = static_cast<int>(radio_.items.size());
    const int rows = (count + columns_ - 1) / columns_;
    for (int i = 0; i < count; ++i) {
      auto* b = new QRadioButton(Qs(radio_.items[static_cast<size_t>(i)]), box_);
      b->setObjectName(Qs(control_.name + "_" + std::to_string(i)));
      group_->addButton(b, i);
      grid->addWidget(b, rows > 0 ? i % rows : 0, rows > 0 ? i / rows : 0);
      b->show();  // a child added to a group already on screen is not shown by itself
    }
  }

  QGroupBox* box_;
  RadioGroup& radio_;
  int columns_;
  QButtonGroup* group_;
};

class SpinBinding : public ControlBinding {
 public:
  SpinBinding(SpinEdit& c, QWidget* outer, QSpinBox* spin, ControlHost& host)
      : ControlBinding(c, outer), spin_(spin), edit_(c) {
    // Values go to the model when typing ends, not at every digit (a partly typed number is out of range).
    spin->setKeyboardTracking(false);
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [&host, &c](int v) { host.setValue(c, std::to_string(v)); });
  }
  void refresh() override {
    ControlBinding::refresh();
    QSignalBlocker block(spin_);
    if (spin_->minimum() != ToInt(edit_.minValue) || spin_->maximum() != ToInt(edit_.maxValue))
      spin_->setRange(ToInt(edit_.minValue), ToInt(edit_.maxValue));
    if (spin_->singleStep() != ToInt(edit_.increment)) spin_->setSingleStep(ToInt(edit_.increment));
    if (spin_->value() != ToInt(edit_.value)) spin_->setValue(ToInt(edit_.value));
  }

 private:
  QSpinBox* spin_;
  SpinEdit& edit_;
};

class EditBinding : public ControlBinding {
 public:
  EditBinding(EditControl& c, QWidget* outer, QLineEdit* line, ControlHost& host)
      : ControlBinding(c, outer), line_(line), edit_(c) {
    QObject::connect(line, &QLineEdit::textEdited, line, [&host, &c](const QString& t) { host.setValue(c, Us(t)); });
  }
  void refresh() override {
    ControlBinding::refresh();
    if (line_->isReadOnly() != edit_.readOnly) line_->setReadOnly(edit_.readOnly);
    const int maxLength = edit_.maxLength > 0 ? edit_.maxLength : 32767;
    if (line_->maxLength() != maxLength) line_->setMaxLength(maxLength);
    const QString text = Qs(edit_.text);
    if (line_->text() != text) {
      // The model may rewrite what is typed (upper case): keep the caret where it was.
      const int at = line_->cursorPosition();
      line_->setText(text);
      line_->setCursorPosition(std::min<int>(at, static_cast<int>(text.size())));
    }
  }

 private:
  QLineEdit* line_;
  EditControl& edit_;
};

class LabelBinding : public ControlBinding {
 public:
  LabelBinding(LabelControl& c, QLabel* l) : ControlBinding(c, l), label_(l), text_(c) {}
  void refresh() override {
    ControlBinding::refresh();
    SetText(label_, Qs(control_.caption + text_.text));
  }

 private:
  QLabel* label_;
  LabelControl& text_;
};

class ComboBinding : public ControlBinding {
 public:
  ComboBinding(ComboBoxControl& c, QWidget* outer, QComboBox* combo, ControlHost& host)
      : ControlBinding(c, outer), combo_(combo), list_(c) {
    QObject::connect(combo, &QComboBox::activated, combo, [&host, &c](int i) { host.setValue(c, std::to_string(i)); });
  }
  void refresh() override {
    ControlBinding::refresh();
    QSignalBlocker block(combo_);
    bool same = combo_->count() == static_cast<int>(list_.items.size());
    for (int i = 0; same && i < combo_->count(); ++i) same = combo_->itemText(i) == Qs(list_.items[static_cast<size_t>(i)]);
    if (!same) {
      combo_->clear();
      for (const std::string& item : list_.items) combo_->addItem(Qs(item));
    }
    // With nothing chosen the box shows the control's text.
    if (combo_->placeholderText() != Qs(list_.text)) combo_->setPlaceholderText(Qs(list_.text));
    const int index = list_.itemIndex < combo_->count() ? list_.itemIndex : -1;
    if (combo_->currentIndex() != index) combo_->setCurrentIndex(index);
  }

 private:
  QComboBox* combo_;
  ComboBoxControl& list_;
};

class ListBinding : public ControlBinding {
 public:
  ListBinding(ListBoxControl& c, QListWidget* list, ControlHost& host) : ControlBinding(c, list), list_(list), box_(c) {
    QObject::connect(list, &QListWidget::currentRowChanged, list, [&host, &c](int row) {
      if (row >= 0) host.setValue(c, std::to_string(row));
    });
  }
  void refresh() override {
    ControlBinding::refresh();
    QSignalBlocker block(list_);
    bool same = list_->count() == static_cast<int>(box_.items.size());
    for (int i = 0; same && i < list_->count(); ++i) same = list_->item(i)->text() == Qs(box_.items[static_cast<size_t>(i)]);
    if (!same) {
      list_->clear();
      for (const std::string& item : box_.items) list_->addItem(Qs(item));
    }
    if (list_->currentRow() != box_.itemIndex) {
      list_->setCurrentRow(box_.itemIndex);
      if (QListWidgetItem* item = list_->currentItem()) list_->scrollToItem(item);
    }
  }

 private:
  QListWidget* list_;
  ListBoxControl& box_;
};

class GaugeBinding : public ControlBinding {
 public:
  GaugeBinding(GaugeControl& c, QProgressBar* bar) : ControlBinding(c, bar), bar_(bar), gauge_(c) {
    bar->setTextVisible(true);
    bar->setAlignment(Qt::AlignCenter);
    bar->setFormat("%p%");
  }
  void refresh() override {
    ControlBinding::refresh();
    const int maximum = std::max(1, ToInt(gauge_.maxValue));
    if (bar_->maximum() != maximum) bar_->setRange(0, maximum);
    const int value = std::clamp(ToInt(gauge_.progress), 0, maximum);
    if (bar_->value() != value) bar_->setValue(value);
    const bool red = gauge_.colour == GaugeColour::Red;
    const char* name = red ? "red" : "blue";
    if (bar_->property("gaugeColour").toString() != name) {
      bar_->setProperty("gaugeColour", name);
      // The style draws the bar in the highlight colour and the text over it in the highlighted-text one.
      QPalette p = bar_->palette();
      p.setColor(QPalette::Highlight, QColor::fromRgb(red ? kGaugeRed : kGaugeBlue));
      p.setColor(QPalette::HighlightedText, Qt::white);
      p.setColor(QPalette::Text, Qt::black);
      bar_->setPalette(p);
    }
  }

 private:
  QProgressBar* bar_;
  GaugeControl& gauge_;
};

class GroupBinding : public ControlBinding {
 public:
  GroupBinding(PanelControl& c, QGroupBox* box) : ControlBinding(c, box), box_(box) {}
  void refresh() override {
    ControlBinding::refresh();
    if (box_->title() != Qs(control_.caption)) box_->setTitle(Qs(control_.caption));
  }

 private:
  QGroupBox* box_;
};

class PagesBinding : public ControlBinding {
 public:
  PagesBinding(PageGroup& c, QTabWidget* tabs, ControlHost& host) : ControlBinding(c, tabs), tabs_(tabs), group_(c) {
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [&host, &c](int i) {
      if (i >= 0 && i != c.activePage) host.setValue(c, std::to_string(i));
    });
  }
  void refresh() override {
    ControlBinding::refresh();
    // Hiding the current tab moves Qt to another one; only the user's choice goes to the model.
    QSignalBlocker block(tabs_);
    for (int i = 0; i < tabs_->count() && i < static_cast<int>(group_.pages.size()); ++i) {
      const PageControl& page = *group_.pages[static_cast<size_t>(i)];
      if (tabs_->isTabVisible(i) != page.visible) tabs_->setTabVisible(i, page.visible);
      if (tabs_->isTabEnabled(i) != page.enabled) tabs_->setTabEnabled(i, page.enabled);
      if (tabs_->tabText(i) != Qs(page.caption)) tabs_->setTabText(i, Qs(page.caption));
    }
    const int active = group_.activePage;
    if (active >= 0 && active < tabs_->count() && tabs_->isTabVisible(active) && tabs_->currentIndex() != active)
      tabs_->setCurrentIndex(active);
  }

 private:
  QTabWidget* tabs_;
  PageGroup& group_;
};

}  // namespace

void ControlBinding::refresh() {
  if (widget_->isHidden() == control_.visible) widget_->setHidden(!control_.visible);
  // Only the control's own flag: a disabled group disables its children by itself.
  if (widget_->testAttribute(Qt::WA_ForceDisabled) == control_.enabled) widget_->setEnabled(control_.enabled);
  const QString hint = Qs(control_.hint);
  if (widget_->toolTip() != hint) widget_->setToolTip(hint);
}

std::unique_ptr<ControlBinding> BindButton(ButtonControl& c, ControlHost& host, QWidget* parent, bool toolButton) {
  QAbstractButton* b = toolButton ? static_cast<QAbstractButton*>(new QToolButton(parent)) : new QPushButton(parent);
  b->setObjectName(Qs(c.name));
  return std::make_unique<ButtonBinding>(c, b, host);
}

std::unique_ptr<ControlBinding> BindCheckBox(CheckBox& c, ControlHost& host, QWidget* parent) {
  auto* b = new QCheckBox(parent);
  b->setObjectName(Qs(c.name));
  return std::make_unique<CheckBinding>(c, b, host);
}

std::unique_ptr<ControlBinding> BindRadioGroup(RadioGroup& c, ControlHost& host, QWidget* parent, int columns) {
  auto* box = new QGroupBox(parent);
  box->setObjectName(Qs(c.name));
  return std::make_unique<RadioBinding>(c, box, host, columns);
}

std::unique_ptr<ControlBinding> BindSpinEdit(SpinEdit& c, ControlHost& host, QWidget* parent, bool captionAfter) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(Qs(c.name));
  QWidget* outer = Row(parent, c.caption, spin, captionAfter);
  return std::make_unique<SpinBinding>(c, outer, spin, host);
}

std::unique_ptr<ControlBinding> BindEdit(EditControl& c, ControlHost& host, QWidget* parent, bool withCaption) {
  auto* line = new QLineEdit(parent);
  line->setObjectName(Qs(c.name));
  QWidget* outer = Row(parent, withCaption ? c.caption : std::string(), line);
  return std::make_unique<EditBinding>(c, outer, line, host);
}

std::unique_ptr<ControlBinding> BindLabel(LabelControl& c, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setObjectName(Qs(c.name));
  return std::make_unique<LabelBinding>(c, l);
}

std::unique_ptr<ControlBinding> BindComboBox(ComboBoxControl& c, ControlHost& host, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(Qs(c.name));
  QWidget* outer = Row(parent, c.caption, combo);
  return std::make_unique<ComboBinding>(c, outer, combo, host);
}

std::unique_ptr<ControlBinding> BindListBox(ListBoxControl& c, ControlHost& host, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(Qs(c.name));
  return std::make_unique<ListBinding>(c, list, host);
}

std::unique_ptr<ControlBinding> BindGauge(GaugeControl& c, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(Qs(c.name));
  return std::make_unique<GaugeBinding>(c, bar);
}

std::unique_ptr<ControlBinding> BindGroupBox(PanelControl& c, QWidget* parent) {
  auto* box = new QGroupBox(parent);
  box->setObjectName(Qs(c.name));
  return std::make_unique<GroupBinding>(c, box);
}

std::unique_ptr<ControlBinding> BindPages(PageGroup& c, QTabWidget* tabs, ControlHost& host) {
  tabs->setObjectName(Qs(c.name));
  return std::make_unique<PagesBinding>(c, tabs, host);
}

std::unique_ptr<ControlBinding> BindAny(Control& c, ControlHost& host, QWidget* parent) {
  if (auto* b = dynamic_cast<ButtonControl*>(&c)) return BindButton(*b, host, parent);
  if (auto* b = dynamic_cast<CheckBox*>(&c)) return BindCheckBox(*b, host, parent);
  if (auto* r = dynamic_cast<RadioGroup*>(&c)) return BindRadioGroup(*r, host, parent, r->items.size() > 4 ? 3 : 1);
  if (auto* s = dynamic_cast<SpinEdit*>(&c)) return BindSpinEdit(*s, host, parent);
  if (auto* e = dynamic_cast<EditControl*>(&c)) return BindEdit(*e, host, parent);
  if (auto* l = dynamic_cast<LabelControl*>(&c)) return BindLabel(*l, parent);
  if (auto* cb = dynamic_cast<ComboBoxControl*>(&c)) return BindComboBox(*cb, host, parent);
  if (auto* lb = dynamic_cast<ListBoxControl*>(&c)) return BindListBox(*lb, host, parent);
  if (auto* g = dynamic_cast<GaugeControl*>(&c)) return BindGauge(*g, parent);
  if (auto* p = dynamic_cast<PanelControl*>(&c)) return BindGroupBox(*p, parent);
  return nullptr;
}

}  // namespace tarvel
