#include "image/RecordRouting.h"

#include <algorithm>

#include "image/Checksums.h"

namespace tarvel {

RecordWindow WindowOf(const AddressWindows& w, uint32_t address) {
  if (InWindow(address, w.FlashStart, w.FlashEnd)) return RecordWindow::Flash;
  if (InWindow(address, w.OptionStart, w.OptionEnd)) return RecordWindow::Option;
  if (InWindow(address, w.EepStart, w.EepEnd)) return RecordWindow::Eep;
  return RecordWindow::None;
}

uint32_t DecodeRecordData(std::string_view digits, uint32_t count, uint8_t* out) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) {
    out[i] = HexPairValue(digits[2 * i], digits[2 * i + 1]);
    sum += out[i];
  }
  return sum;
}

RecordWindow StoreRecordData(const RecordTarget& target, uint32_t address, std::span<const uint8_t> data) {
  const RecordWindow window = WindowOf(target.windows, address);
  std::span<uint8_t> buffer;
  uint32_t base = 0;
  switch (window) {
    case RecordWindow::Flash:
      buffer = target.buffer;
      base = target.base;
      break;
    case RecordWindow::Option:
      target.image->OptionDataPresent = true;
      buffer = target.image->OptionData;
      base = target.windows.OptionStart;
      break;
    case RecordWindow::Eep:
      target.image->EepDataPresent = true;
      buffer = target.image->EepImage;
      base = target.windows.EepStart;
      break;
    case RecordWindow::None:
      return window;
  }
  // Signed: an address below the base (an EEP file read with a base above its records) has no place in
  // the buffer and is dropped rather than wrapped around.
  const int64_t first = static_cast<int64_t>(address) - static_cast<int64_t>(base);
  const int64_t size = static_cast<int64_t>(buffer.size());
  const int64_t from = std::max<int64_t>(first, 0);
  const int64_t to = std::min<int64_t>(first + static_cast<int64_t>(data.size()), size);
  if (from < to) std::copy(data.begin() + (from - first), data.begin() + (to - first), buffer.begin() + from);
  return window;
}

}  // namespace tarvel
