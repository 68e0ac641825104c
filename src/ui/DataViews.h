// The three hexadecimal views (main flash, EEP data, option data) as models. Rows are computed from the
// images when a front end asks for them, so a 2 MiB image never becomes 131,201 rows of strings.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tarvel {

inline constexpr int kViewColumns = 18;
inline constexpr int kViewRowHeight = 20;
// Column widths: the address column, the 16 byte columns, the text column.
inline constexpr int kViewAddressWidth = 70;
inline constexpr int kViewEepAddressWidth = 73;
inline constexpr int kViewByteWidth = 25;
inline constexpr int kViewTextWidth = 130;

using ViewRow = std::array<std::string, kViewColumns>;

class DataView {
 public:
  enum class Layout {
    Linear,      // row r: address first + 16 r, bytes offset + 16 r ..
    Kf32Blocks,  // three blocks of two rows: addresses 0x0C001000 + 1024 k + 16 j, bytes 32 k + 16 j ..
  };

  // Back to the header row only.
  void Clear() {
    rows_ = 0;
    ++generation_;
  }
  void ShowLinear(std::span<const uint8_t> bytes, uint32_t firstAddress, uint64_t offset, int rows);
  void ShowKf32Blocks(std::span<const uint8_t> optionData);

  int rowCount() const { return rows_; }  // data rows; the header row comes on top
  Layout layout() const { return layout_; }
  static ViewRow Header();
  // Row r (0-based, below the header) as the grid shows it. Bytes outside the buffer show empty.
  ViewRow Row(int r) const;
  // Grows with every Clear and Show, so that a front end can tell cheaply that it must redraw.
  uint64_t generation() const { return generation_; }

 private:
  std::span<const uint8_t> bytes_;
  uint32_t firstAddress_ = 0;
  uint64_t offset_ = 0;
  int rows_ = 0;
  Layout layout_ = Layout::Linear;
  uint64_t generation_ = 0;
};

}  // namespace tarvel
