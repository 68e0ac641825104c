// printf-style formatting with the program's own rules.
//
// The message and file formats of this program ("0x%0.8x", "%0.2x", "0%d/0x%0.2x", "%d KB,EEP=%dB.")
// follow the Pascal-style Format of the original tool chain, which differs from C printf:
//   - %x prints upper-case digits ("0x%0.8x" of 0xfff0 reads "0x0000FFF0");
//   - a width pads with spaces only; zero padding comes from the precision ("%0.4x" -> four digits);
//   - for %s the precision is the maximum number of characters.
// Supported: %d %u %x %X %s %%, an optional '-' (left-justify), width and precision, each of which may be
// '*' (taken from the next integer argument). A mismatch between the format and the arguments throws
// FormatError: formats are fixed texts of the program, so a mismatch is a programming fault.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tarvel {

class FormatError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

struct FormatArg {
  enum class Kind { Signed, Unsigned, Text };
  Kind kind;
  int64_t s = 0;
  uint64_t u = 0;
  std::string_view text;
  // Width in bits of the original value: %x of a negative value prints its two's complement in this width.
  int bits = 64;

  template <class T>
    requires std::is_integral_v<T> && (!std::is_same_v<T, bool>) && (!std::is_same_v<T, char>)
  FormatArg(T v)  // NOLINT(google-explicit-constructor)
      : kind(std::is_signed_v<T> ? Kind::Signed : Kind::Unsigned),
        s(static_cast<int64_t>(v)),
        u(static_cast<uint64_t>(v)),
        bits(static_cast<int>(sizeof(T) * 8)) {}
  FormatArg(bool v) : kind(Kind::Unsigned), s(v), u(v), bits(8) {}  // NOLINT
  FormatArg(const char* t) : kind(Kind::Text), text(t) {}            // NOLINT
  FormatArg(std::string_view t) : kind(Kind::Text), text(t) {}       // NOLINT
  FormatArg(const std::string& t) : kind(Kind::Text), text(t) {}     // NOLINT
};

std::string FormatArgs(std::string_view format, const std::vector<FormatArg>& args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args) {
  return FormatArgs(format, std::vector<FormatArg>{FormatArg(args)...});
}

}  // namespace tarvel
