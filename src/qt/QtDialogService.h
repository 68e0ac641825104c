// The desktop program's DialogService: real message boxes, file dialogs and modal dialogs drawn from
// their models. Each runs modally in a nested Qt loop, so the units' replies and the timers go on.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "base/DialogService.h"

class QFileDialog;
class QMessageBox;

namespace tarvel {

class ModelDialog;

class QtDialogService : public DialogService {
 public:
  Button messageBox(const MessageBox& box) override;
  std::optional<FileDialogAnswer> fileDialog(const FileDialog& dialog) override;
  Button showModal(ModalDialog& dialog) override;

  // Dialogs open over the active window, or over this one when none is active.
  void setMainWidget(QWidget* w) { main_ = w; }

  // For tests: called once a dialog is up and running its loop, to look at it, fill it in and close it
  // as a user would. Without a hook the user answers.
  std::function<void(QMessageBox&, const MessageBox&)> onBoxShown;
  std::function<void(QFileDialog&, const FileDialog&)> onFileDialogShown;
  std::function<void(ModelDialog&)> onModalShown;

 private:
  QWidget* parentWidget() const;

  QPointer<QWidget> main_;
  QString lastDirectory_;
};

}  // namespace tarvel
