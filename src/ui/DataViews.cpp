#include "ui/DataViews.h"

#include "base/Format.h"

namespace tarvel {

void DataView::ShowLinear(std::span<const uint8_t> bytes, uint32_t firstAddress, uint64_t offset, int rows) {
  layout_ = Layout::Linear;
  bytes_ = bytes;
  firstAddress_ = firstAddress;
  offset_ = offset;
  rows_ = rows < 0 ? 0 : rows;
  ++generation_;
}

void DataView::ShowKf32Blocks(std::span<const uint8_t> optionData) {
  layout_ = Layout::Kf32Blocks;
  bytes_ = optionData;
  rows_ = 6;
  ++generation_;
}

ViewRow DataView::Header() {
  ViewRow h;
  for (int i = 0; i < 16; ++i) h[static_cast<size_t>(i) + 1] = Format("  %x", i);
  return h;
}

ViewRow DataView::Row(int r) const {
  ViewRow row;
  uint32_t address;
  uint64_t at;
  if (layout_ == Layout::Kf32Blocks) {
    const int k = r / 2, j = r % 2;
    address = 0x0C001000u + static_cast<uint32_t>(k * 1024 + j * 16);
    at = static_cast<uint64_t>(k * 32 + j * 16);
  } else {
    address = firstAddress_ + static_cast<uint32_t>(r) * 16;
    at = offset_ + static_cast<uint64_t>(r) * 16;
  }
  row[0] = Format("0x%0.8x", address);
  std::string text;
  for (int i = 0; i < 16; ++i) {
    const uint64_t index = at + static_cast<uint64_t>(i);
    if (index >= bytes_.size()) continue;
    const uint8_t b = bytes_[index];
    row[static_cast<size_t>(i) + 1] = Format("%0.2x", b);
    text.push_back(b < 32 || b > 127 ? '.' : static_cast<char>(b));
  }
  row[17] = text;
  return row;
}

}  // namespace tarvel
