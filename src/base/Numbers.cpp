#include "base/Numbers.h"

#include <string>

#include "base/Errors.h"

namespace tarvel {

int64_t StrToInt(std::string_view text) {
  auto fail = [&]() -> int64_t { throw ConversionError("'" + std::string(text) + "' is not a valid integer value"); };
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  bool negative = false;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  unsigned base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  } else if (t.size() > 1 && t[0] == '$') {
    base = 16;
    t.remove_prefix(1);
  }
  if (t.empty()) return fail();
  uint64_t v = 0;
  for (char c : t) {
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = static_cast<unsigned>(c - 'A' + 10);
    else
      return fail();
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return fail();
  }
  // Positive decimal numbers may use all 32 bits, as serial numbers shown in decimal do.
  const uint64_t limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
  if (v > limit) return fail();
  return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

}  // namespace tarvel
