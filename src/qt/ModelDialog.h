// Any dialog model (base/DialogService.h ModalDialog) drawn from its controls: radio groups, check
// boxes, edits, labels, spin edits and lists, one under the other, and its closing buttons below. What
// the user changes goes to the model's setControl, buttons inside to clickControl, OK to OkClick.
#pragma once

#include <QDialog>

#include <memory>
#include <vector>

#include "base/DialogService.h"
#include "qt/ControlWidgets.h"

class QPushButton;

namespace tarvel {

class ModelDialog : public QDialog, public ControlHost {
 public:
  // `errors` shows what the model's handlers throw (a value that is not a number).
  ModelDialog(ModalDialog& model, DialogService& errors, QWidget* parent = nullptr);
  ~ModelDialog() override;

  ModalDialog& model() { return model_; }
  void refresh();
  // The button that closes the dialog with `answer`, or nullptr.
  QPushButton* closeButton(Button answer) const;
  // How the dialog was closed: OK after an accepted OkClick, else Cancel.
  Button answer() const { return answer_; }

  void setValue(const Control& control, const std::string& value) override;
  void click(const Control& control) override;

 private:
  void guarded(const std::function<void()>& f);
  void closeWith(Button b);

  ModalDialog& model_;
  DialogService& errors_;
  std::vector<std::unique_ptr<ControlBinding>> bindings_;
  std::vector<std::pair<Button, QPushButton*>> buttons_;
  Button answer_ = Button::Cancel;
  bool closing_ = false;
};

}  // namespace tarvel
