// The target address windows that route object-file data into the image buffers. All bounds are
// inclusive; a window whose end lies below its start holds nothing.
#pragma once

#include <cstdint>

namespace tarvel {

struct AddressWindows {
  uint32_t FlashStart = 0;
  uint32_t FlashEnd = 0;
  uint32_t OptionStart = 0;
  uint32_t OptionEnd = 0;
  uint32_t EepStart = 0;
  uint32_t EepEnd = 0;
};

inline bool InWindow(uint32_t a, uint32_t first, uint32_t last) { return first <= a && a <= last; }

}  // namespace tarvel
