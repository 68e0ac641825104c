// Option-byte dialogs as data: each drop-down list of a family's dialog edits one bit field of a few
// bytes, and item n of the list stores the value n in that field. One decoder and one encoder serve every
// family; what differs between the families (when OptionChanged is set, value tables, complements,
// passwords) stays in the family's own dialog.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Controls.h"
#include "base/DialogService.h"
#include "base/InfoLog.h"

namespace tarvel {

struct BitField {
  std::string_view control;  // "ComBoxLVRS"
  std::string_view caption;  // the list's label or panel caption
  uint16_t byte;             // index into the bytes the dialog edits
  uint8_t shift;
  uint8_t width;
  std::span<const std::string_view> items;  // item n stores n

  constexpr uint8_t mask() const { return static_cast<uint8_t>((1u << width) - 1u); }
};

// The item a field's bits select.
int DecodeField(const BitField& f, std::span<const uint8_t> bytes);
// Replaces the field's bits with `item`. Only the field's own bits change, whatever `item` is.
void EncodeField(const BitField& f, int item, std::span<uint8_t> bytes);

// Selects an item of a drop-down list and shows its text.
void SelectListItem(ComboBoxControl& list, int item);

// Parses a value for a list: an item index or an item's exact text. Empty items (left-overs at the end of
// some lists) cannot be chosen: they stand for no setting, and storing their index would spill into the
// neighbouring field. -1 when the value names no item that can be chosen.
int ListItemFromText(const std::vector<std::string>& items, std::string_view value);

// A family's option-byte dialog. OptionChanged says whether the option bytes are to be programmed; each
// family sets it in its own way.
class OptionDialog : public ModalDialog {
 public:
  bool OptionChanged = false;

  // Every control in layout order, the OK and Cancel buttons last.
  virtual std::vector<Control*> Controls() = 0;

  // For front ends: the controls without the closing buttons, which closeButtons() names.
  std::vector<Control*> controls() override;
  std::string dialogCaption() const override { return caption; }
  std::vector<std::pair<Button, std::string>> closeButtons() const override;

  std::string caption;

 protected:
  explicit OptionDialog(std::string c = {}) : caption(std::move(c)) {}
  // The two closing buttons of the family's form.
  virtual std::pair<const ButtonControl*, const ButtonControl*> okCancel() const = 0;
};

// The common part of the dialogs whose lists are bit fields: one ComboBoxControl per layout entry, built
// from the layout in its order, and OK/Cancel buttons.
class BitFieldForm : public OptionDialog {
 public:
  BitFieldForm(std::string caption, std::span<const BitField> layout, std::string okName, std::string cancelName);

  ComboBoxControl* list(std::string_view name);
  const ComboBoxControl* list(std::string_view name) const;
  // The item a list shows; -1 for a name the dialog does not have.
  int itemOf(std::string_view name) const;

  // Sets a list of the layout by item index or item text; families with further controls extend it.
  bool setControl(std::string_view control, std::string_view value) override;

  std::vector<Control*> Controls() override;

  std::vector<ComboBoxControl> Lists;
  ButtonControl OkButton;
  ButtonControl CancelButton;

 protected:
  // Called after the user picked a different item in one of the layout's lists.
  virtual void ListChange(const BitField&) {}
  void decodeLists(std::span<const uint8_t> bytes);
  void encodeLists(std::span<uint8_t> bytes) const;

  std::span<const BitField> layout_;

 private:
  std::pair<const ButtonControl*, const ButtonControl*> okCancel() const override { return {&OkButton, &CancelButton}; }
};

// The reports of option bytes read back from a unit need a reply of a family's own length. A shorter reply
// is said so in one line instead of being printed as bytes it does not hold; false then.
bool OptionReplyComplete(int channel, std::span<const uint8_t> payload, size_t need, InfoLog& log);

}  // namespace tarvel
