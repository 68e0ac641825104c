#include "qt/QtDialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "qt/FileFilters.h"
#include "qt/ModelDialog.h"
#include "qt/QtText.h"

namespace tarvel {
namespace {

QMessageBox::StandardButton ToQt(Button b) {
  switch (b) {
    case Button::OK: return QMessageBox::Ok;
    case Button::Cancel: return QMessageBox::Cancel;
    case Button::Abort: return QMessageBox::Abort;
    case Button::Retry: return QMessageBox::Retry;
    case Button::Ignore: return QMessageBox::Ignore;
    case Button::Yes: return QMessageBox::Yes;
    case Button::No: return QMessageBox::No;
    case Button::None: break;
  }
  return QMessageBox::NoButton;
}

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Confirmation: return QMessageBox::Question;
    case BoxKind::Plain: break;
  }
  return QMessageBox::NoIcon;
}

// Runs `hook` on `dialog` once its modal loop has started.
template <typename Dialog, typename Hook, typename... Args>
void AfterShown(Dialog& dialog, const Hook& hook, Args&... args) {
  if (!hook) return;
  QTimer::singleShot(0, &dialog, [&dialog, &hook, &args...] { hook(dialog, args...); });
}

}  // namespace

QWidget* QtDialogService::parentWidget() const {
  if (QWidget* active = QApplication::activeModalWidget()) return active;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return main_;
}

Button QtDialogService::messageBox(const MessageBox& b) {
  const QString title = b.caption.empty() ? QApplication::applicationName() : Qs(b.caption);
  QMessageBox box(IconOf(b.kind), title, Qs(b.text), QMessageBox::NoButton, parentWidget());
  box.setTextFormat(Qt::PlainText);
  std::vector<Button> buttons = b.buttons.empty() ? std::vector<Button>{Button::OK} : b.buttons;
  for (Button button : buttons) box.addButton(ToQt(button));
  box.setDefaultButton(ToQt(buttons.front()));
  AfterShown(box, onBoxShown, b);
  box.exec();
  // Closed without a button (Escape, the window's close box): the escape button, else the default.
  QAbstractButton* clicked = box.clickedButton();
  for (Button button : buttons)
    if (clicked && clicked == box.button(ToQt(button))) return button;
  for (Button button : {Button::Cancel, Button::No, Button::Abort})
    if (std::find(buttons.begin(), buttons.end(), button) != buttons.end()) return button;
  return buttons.front();
}

std::optional<FileDialogAnswer> QtDialogService::fileDialog(const FileDialog& d) {
  QFileDialog dialog(parentWidget(), Qs(d.title), lastDirectory_);
  dialog.setObjectName(Qs(d.name));
  // Qt's own dialog, the same on every desktop (and under test).
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(d.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(d.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!d.defaultExt.empty()) dialog.setDefaultSuffix(Qs(d.defaultExt));
  const QStringList filters = QtNameFilters(d.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (d.filterIndex >= 1 && d.filterIndex <= filters.size()) dialog.selectNameFilter(filters[d.filterIndex - 1]);
  }
  AfterShown(dialog, onFileDialogShown, d);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  FileDialogAnswer answer;
  answer.path = Us(dialog.selectedFiles().front());
  const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
  answer.filterIndex = index >= 0 ? static_cast<int>(index) + 1 : 1;
  lastDirectory_ = QFileInfo(dialog.selectedFiles().front()).absolutePath();
  return answer;
}

Button QtDialogService::showModal(ModalDialog& model) {
  model.FormShow();
  ModelDialog dialog(model, *this, parentWidget());
  if (onModalShown) QTimer::singleShot(0, &dialog, [this, &dialog] { onModalShown(dialog); });
  dialog.exec();
  return dialog.answer();
}

}  // namespace tarvel
