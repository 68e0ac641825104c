#include "chips/OptionFields.h"

#include <charconv>

#include "base/Format.h"

namespace tarvel {

int DecodeField(const BitField& f, std::span<const uint8_t> bytes) {
  if (f.byte >= bytes.size()) return 0;
  return (bytes[f.byte] >> f.shift) & f.mask();
}

void EncodeField(const BitField& f, int item, std::span<uint8_t> bytes) {
  if (f.byte >= bytes.size()) return;
  const uint8_t bits = static_cast<uint8_t>(f.mask() << f.shift);
  const uint8_t value = static_cast<uint8_t>((static_cast<unsigned>(item) & f.mask()) << f.shift);
  bytes[f.byte] = static_cast<uint8_t>((bytes[f.byte] & ~bits) | value);
}

void SelectListItem(ComboBoxControl& list, int item) {
  list.itemIndex = item;
  list.text = item >= 0 && static_cast<size_t>(item) < list.items.size() ? list.items[static_cast<size_t>(item)] : "";
}

int ListItemFromText(const std::vector<std::string>& items, std::string_view value) {
  int n = -1;
  const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (ec != std::errc() || p != value.data() + value.size()) {
    n = -1;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == value) n = static_cast<int>(i);
  }
  if (n < 0 || static_cast<size_t>(n) >= items.size() || items[static_cast<size_t>(n)].empty()) return -1;
  return n;
}

BitFieldForm::BitFieldForm(std::string c, std::span<const BitField> layout, std::string okName, std::string cancelName)
    : OptionDialog(std::move(c)), OkButton(std::move(okName), "OK"), CancelButton(std::move(cancelName), "Cancel"),
      layout_(layout) {
  Lists.reserve(layout.size());
  for (const BitField& f : layout) {
    ComboBoxControl& list = Lists.emplace_back(std::string(f.control), std::string(f.caption), std::string());
    list.items.assign(f.items.begin(), f.items.end());
    SelectListItem(list, 0);
  }
}

ComboBoxControl* BitFieldForm::list(std::string_view name) {
  for (ComboBoxControl& l : Lists)
    if (l.name == name) return &l;
  return nullptr;
}

const ComboBoxControl* BitFieldForm::list(std::string_view name) const {
  return const_cast<BitFieldForm*>(this)->list(name);
}

int BitFieldForm::itemOf(std::string_view name) const {
  const ComboBoxControl* l = list(name);
  return l ? l->itemIndex : -1;
}

bool BitFieldForm::setControl(std::string_view control, std::string_view value) {
  for (size_t i = 0; i < Lists.size(); ++i) {
    if (Lists[i].name != control) continue;
    const int item = ListItemFromText(Lists[i].items, value);
    if (item < 0) return false;
    const bool changed = item != Lists[i].itemIndex;
    SelectListItem(Lists[i], item);
    if (changed) ListChange(layout_[i]);
    return true;
  }
  return false;
}

std::vector<Control*> OptionDialog::controls() {
  std::vector<Control*> all = Controls();
  const auto buttons = okCancel();
  std::erase_if(all, [&](const Control* c) { return c == buttons.first || c == buttons.second; });
  return all;
}

std::vector<std::pair<Button, std::string>> OptionDialog::closeButtons() const {
  const auto [ok, cancel] = okCancel();
  return {{Button::OK, ok->caption}, {Button::Cancel, cancel->caption}};
}

std::vector<Control*> BitFieldForm::Controls() {
  std::vector<Control*> all;
  for (ComboBoxControl& l : Lists) all.push_back(&l);
  all.push_back(&OkButton);
  all.push_back(&CancelButton);
  return all;
}

void BitFieldForm::decodeLists(std::span<const uint8_t> bytes) {
  for (size_t i = 0; i < Lists.size(); ++i) SelectListItem(Lists[i], DecodeField(layout_[i], bytes));
}

void BitFieldForm::encodeLists(std::span<uint8_t> bytes) const {
  for (size_t i = 0; i < Lists.size(); ++i) EncodeField(layout_[i], Lists[i].itemIndex, bytes);
}

bool OptionReplyComplete(int channel, std::span<const uint8_t> payload, size_t need, InfoLog& log) {
  if (payload.size() >= need) return true;
  log.MainMessage(Format("Read Chip %d Option Byte : %d bytes read, %d expected.", channel + 1, payload.size(), need));
  return false;
}

}  // namespace tarvel
