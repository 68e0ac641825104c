// Integers typed by the user: decimal, or hexadecimal with a "0x" or "$" prefix, optionally signed.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvel {

// Throws ConversionError ("'%s' is not a valid integer value") unless the whole text is one integer
// that fits in 32 bits: -2147483648 .. 4294967295 (negative ones signed, the others unsigned).
int64_t StrToInt(std::string_view text);

}  // namespace tarvel
