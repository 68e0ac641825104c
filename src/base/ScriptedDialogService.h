// A DialogService that answers from a script and records everything it was asked. Used by tests and as
// the base of tarvelctl's console service.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>
#include <string>

#include "base/DialogService.h"

namespace tarvel {

class ScriptedDialogService : public DialogService {
 public:
  struct ModalAnswer {
    std::vector<std::pair<std::string, std::string>> controls;  // control name and value, set in this order
    Button button = Button::OK;
  };

  // Answers are used in order; when none is queued, a box gets its first (default) button, a file
  // dialog is cancelled and a modal dialog is closed with OK without changes.
  void answerBox(Button b) { boxAnswers_.push_back(b); }
  void answerFile(std::optional<FileDialogAnswer> a) { fileAnswers_.push_back(std::move(a)); }
  void answerFile(std::string path, int filterIndex = 1) { answerFile(FileDialogAnswer{std::move(path), filterIndex}); }
  void answerModal(ModalAnswer a) { modalAnswers_.push_back(std::move(a)); }
  // Default answers for a given modal form, used when no queued answer is left.
  void answerModalAlways(std::string formName, ModalAnswer a) { modalDefaults_[std::move(formName)] = std::move(a); }

  Button messageBox(const MessageBox& box) override;
  std::optional<FileDialogAnswer> fileDialog(const FileDialog& dialog) override;
  Button showModal(ModalDialog& dialog) override;

  // Everything asked so far.
  const std::vector<MessageBox>& boxes() const { return boxes_; }
  const std::vector<FileDialog>& fileDialogs() const { return fileDialogs_; }
  const std::vector<std::string>& modalForms() const { return modalForms_; }
  std::vector<std::string> boxTexts() const;
  void clearRecord();
  // Answers queued but not asked for; dropped by clearAnswers().
  size_t pendingFileAnswers() const { return fileAnswers_.size(); }
  size_t pendingModalAnswers() const { return modalAnswers_.size(); }
  void clearAnswers();

  // Called with every box before it is answered (tarvelctl prints it).
  std::function<void(const MessageBox&, Button answer)> onBox;

 private:
  std::deque<Button> boxAnswers_;
  std::deque<std::optional<FileDialogAnswer>> fileAnswers_;
  std::deque<ModalAnswer> modalAnswers_;
  std::map<std::string, ModalAnswer> modalDefaults_;
  std::vector<MessageBox> boxes_;
  std::vector<FileDialog> fileDialogs_;
  std::vector<std::string> modalForms_;
};

}  // namespace tarvel
