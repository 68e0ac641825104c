#include "base/ScriptedDialogService.h"

#include <algorithm>
#include <stdexcept>

namespace tarvel {

std::string_view BoxKindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::Plain: return "plain";
    case BoxKind::Information: return "information";
    case BoxKind::Warning: return "warning";
    case BoxKind::Error: return "error";
    case BoxKind::Confirmation: return "confirmation";
  }
  return "plain";
}

namespace {
constexpr std::pair<Button, std::string_view> kButtonNames[] = {
    {Button::OK, "OK"},         {Button::Cancel, "Cancel"}, {Button::Abort, "Abort"}, {Button::Retry, "Retry"},
    {Button::Ignore, "Ignore"}, {Button::Yes, "Yes"},       {Button::No, "No"},
};
}  // namespace

std::string_view ButtonName(Button button) {
  for (const auto& [b, name] : kButtonNames)
    if (b == button) return name;
  return "None";
}

std::optional<Button> ButtonFromName(std::string_view name) {
  for (const auto& [b, n] : kButtonNames)
    if (n == name) return b;
  return std::nullopt;
}

Button ScriptedDialogService::messageBox(const MessageBox& box) {
  boxes_.push_back(box);
  Button answer = box.buttons.empty() ? Button::OK : box.buttons.front();
  if (!boxAnswers_.empty()) {
    const Button wanted = boxAnswers_.front();
    boxAnswers_.pop_front();
    // An answer the box does not offer falls back to the default button, as a real box would not let
    // the user press it either.
    if (std::find(box.buttons.begin(), box.buttons.end(), wanted) != box.buttons.end()) answer = wanted;
  }
  if (onBox) onBox(box, answer);
  return answer;
}

std::optional<FileDialogAnswer> ScriptedDialogService::fileDialog(const FileDialog& dialog) {
  fileDialogs_.push_back(dialog);
  if (fileAnswers_.empty()) return std::nullopt;
  auto a = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  return a;
}

Button ScriptedDialogService::showModal(ModalDialog& dialog) {
  modalForms_.emplace_back(dialog.formName());
  ModalAnswer a;
  if (!modalAnswers_.empty()) {
    a = std::move(modalAnswers_.front());
    modalAnswers_.pop_front();
  } else if (auto it = modalDefaults_.find(std::string(dialog.formName())); it != modalDefaults_.end()) {
    a = it->second;
  }
  dialog.FormShow();
  for (const auto& [control, value] : a.controls)
    if (!dialog.setControl(control, value))
      throw std::invalid_argument(std::string(dialog.formName()) + " has no control " + control +
                                  " that takes \"" + value + "\"");
  if (a.button != Button::OK) return Button::Cancel;
  dialog.OkClick();
  return Button::OK;
}

std::vector<std::string> ScriptedDialogService::boxTexts() const {
  std::vector<std::string> texts;
  for (const MessageBox& b : boxes_) texts.push_back(b.text);
  return texts;
}

void ScriptedDialogService::clearAnswers() {
  boxAnswers_.clear();
  fileAnswers_.clear();
  modalAnswers_.clear();
}

void ScriptedDialogService::clearRecord() {
  boxes_.clear();
  fileDialogs_.clear();
  modalForms_.clear();
}

}  // namespace tarvel
