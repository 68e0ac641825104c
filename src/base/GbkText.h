// Text conversion between the program's UTF-8 and the GBK (code page 936) of every file it writes for
// people or units. A character that cannot be converted is an error, never dropped or replaced.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvel {

class TextConversionError : public std::runtime_error {
 public:
  TextConversionError(const std::string& what, size_t offset) : std::runtime_error(what), offset_(offset) {}
  // Byte offset of the first byte that could not be converted.
  size_t offset() const { return offset_; }

 private:
  size_t offset_;
};

std::string Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

// The lenient forms, for texts that must get through whole (a name read from a file, a log written at
// exit): a character GBK has no code for, or a byte that does not start a character, becomes '?'. Sets
// *replaced when that happened and leaves it alone otherwise.
std::string Utf8ToGbkReplacing(std::string_view utf8, bool* replaced = nullptr);
std::string GbkToUtf8Replacing(std::string_view gbk, bool* replaced = nullptr);

}  // namespace tarvel
