// Modal questions: message boxes, file dialogs and the small modal dialogs. The desktop program shows
// real dialogs (the event loop keeps running); tarvelctl prints the box and answers from its options;
// tests script the answers and record every box, so that a test can check the exact text.
#pragma once

#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

struct Control;

enum class BoxKind { Plain, Information, Warning, Error, Confirmation };
enum class Button { None, OK, Cancel, Abort, Retry, Ignore, Yes, No };

std::string_view BoxKindName(BoxKind kind);   // "plain", "information", "warning", "error", "confirmation"
std::string_view ButtonName(Button button);   // "OK", "Cancel", ...
std::optional<Button> ButtonFromName(std::string_view name);

struct MessageBox {
  BoxKind kind = BoxKind::Plain;
  std::string text;
  std::vector<Button> buttons = {Button::OK};  // the first is the default
  std::string caption;
};

struct FileDialog {
  bool save = false;
  std::string name;         // the dialog's own name ("OpenDialog1", "SaveDialogPrj", ...)
  std::string title;
  std::string filter;       // "Description|*.ext;*.ext2|Description|*.*"
  int filterIndex = 1;      // 1-based, as the filter entries are numbered
  std::string defaultExt;   // without the dot; added to a name typed without extension
};

struct FileDialogAnswer {
  std::string path;
  int filterIndex = 1;
};

// A dialog model (address dialogs, chip selection, option-byte forms, ...). The service shows it, lets
// the user (or the script) set its controls, and reports how it was closed; the model's own OK handler
// runs inside showModal when OK is pressed.
class ModalDialog {
 public:
  virtual ~ModalDialog() = default;
  virtual std::string_view formName() const = 0;  // "TFormOfsAddr", ...
  virtual void FormShow() {}
  // Sets a control from text, as a user would (an edit's text, a check box "0"/"1", an item index).
  // False when the dialog has no such control or the value does not fit it.
  virtual bool setControl(std::string_view control, std::string_view value) = 0;
  // The OK button's handler. May throw (a value that is not a number); the dialog then stays open.
  virtual void OkClick() = 0;

  // For front ends that draw a dialog from its model alone.
  // The controls the user works with, in the order they are laid out (the closing buttons are apart).
  virtual std::vector<Control*> controls() { return {}; }
  virtual std::string dialogCaption() const { return std::string(formName()); }
  // The buttons that close the dialog, with their captions; the first is the default.
  virtual std::vector<std::pair<Button, std::string>> closeButtons() const {
    return {{Button::OK, "OK"}, {Button::Cancel, "Cancel"}};
  }
  // Runs the command of a button inside the dialog ("浏览"); false when it has none.
  virtual bool clickControl(std::string_view /*control*/) { return false; }
  // False when the last OkClick refused the values (it said why): the dialog stays open.
  virtual bool okAccepted() const { return true; }
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Returns the button that closed the box.
  virtual Button messageBox(const MessageBox& box) = 0;
  // std::nullopt when cancelled.
  virtual std::optional<FileDialogAnswer> fileDialog(const FileDialog& dialog) = 0;
  // Shows `dialog` modally: FormShow, then the user's changes, then OkClick when OK is pressed.
  // Returns Button::OK or Button::Cancel.
  virtual Button showModal(ModalDialog& dialog) = 0;

  // Shorthands for the common boxes.
  Button information(std::string text) { return box(BoxKind::Information, std::move(text)); }
  Button warning(std::string text) { return box(BoxKind::Warning, std::move(text)); }
  Button error(std::string text) { return box(BoxKind::Error, std::move(text)); }
  Button plain(std::string text) { return box(BoxKind::Plain, std::move(text)); }
  Button box(BoxKind kind, std::string text, std::vector<Button> buttons = {Button::OK}) {
    MessageBox b;
    b.kind = kind;
    b.text = std::move(text);
    b.buttons = std::move(buttons);
    return messageBox(b);
  }
};

}  // namespace tarvel
