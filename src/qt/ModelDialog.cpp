#include "qt/ModelDialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/QtText.h"

namespace tarvel {

ModelDialog::ModelDialog(ModalDialog& model, DialogService& errors, QWidget* parent)
    : QDialog(parent), model_(model), errors_(errors) {
  setObjectName(Qs(model.formName()));
  setWindowTitle(Qs(model.dialogCaption()));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  for (Control* c : model.controls()) {
    std::unique_ptr<ControlBinding> b = BindAny(*c, *this, this);
    if (!b) continue;
    if (auto* list = qobject_cast<QListWidget*>(b->widget())) {
      list->setMinimumSize(260, 260);
      // A double click picks the entry and confirms, as the default button would.
      connect(list, &QListWidget::itemDoubleClicked, this, [this] { closeWith(Button::OK); });
    }
    // Room for an address or a line of data without scrolling inside the field.
    if (dynamic_cast<EditControl*>(c))
      if (auto* line = findChild<QLineEdit*>(Qs(c->name))) line->setMinimumWidth(200);
    layout->addWidget(b->widget());
    bindings_.push_back(std::move(b));
  }
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  bool first = true;
  for (const auto& [answer, caption] : model.closeButtons()) {
    auto* button = new QPushButton(Qs(caption), this);
    button->setObjectName(Qs("Button" + std::string(ButtonName(answer))));
    button->setDefault(first);
    first = false;
    const Button a = answer;
    connect(button, &QPushButton::clicked, this, [this, a] { closeWith(a); });
    row->addWidget(button);
    buttons_.emplace_back(answer, button);
  }
  layout->addLayout(row);
  refresh();
}

ModelDialog::~ModelDialog() {
  // Widgets that go away must not talk to the model any more.
  closing_ = true;
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete w;
}

void ModelDialog::refresh() {
  for (auto& b : bindings_) b->refresh();
}

QPushButton* ModelDialog::closeButton(Button answer) const {
  for (const auto& [a, b] : buttons_)
    if (a == answer) return b;
  return nullptr;
}

void ModelDialog::guarded(const std::function<void()>& f) {
  if (closing_) return;
  try {
    f();
  } catch (const std::exception& e) {
    errors_.error(e.what());
  }
  refresh();
}

void ModelDialog::setValue(const Control& control, const std::string& value) {
  guarded([&] { model_.setControl(control.name, value); });  // a value it refuses is shown back as it was
}

void ModelDialog::click(const Control& control) {
  guarded([&] { model_.clickControl(control.name); });
}

void ModelDialog::closeWith(Button b) {
  if (closing_) return;
  if (b != Button::OK) {
    answer_ = Button::Cancel;
    reject();
    return;
  }
  bool ok = false;
  guarded([&] {
    model_.OkClick();  // throws for a value that is not a number: the dialog stays open
    ok = model_.okAccepted();
  });
  if (!ok) return;
  answer_ = Button::OK;
  accept();
}

}  // namespace tarvel
