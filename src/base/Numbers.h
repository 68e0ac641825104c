// Integers typed by the user: decimal, or hexadecimal with a "0x" or "$" prefix, optionally signed.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvel {

// Throws ConversionError ("'%s' is not a valid integer value") unless the whole text is one integer
// that fits in 32 bits (signed, or unsigned when written in hex).
int64_t StrToInt(std::string_view text);

}  // namespace tarvel
