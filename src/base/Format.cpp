#include "base/Format.h"

#include <cstddef>

namespace tarvel {
namespace {

struct Spec {
  bool leftJustify = false;
  int width = -1;
  int precision = -1;
  char type = 0;
};

std::string Digits(uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}

// Two's complement of a negative value in the width of its original type (at least 32 bits, as the
// original integer arguments were).
uint64_t AsUnsigned(const FormatArg& a) {
  if (a.kind == FormatArg::Kind::Unsigned || a.s >= 0) return a.u;
  const int bits = a.bits < 32 ? 32 : a.bits;
  if (bits >= 64) return static_cast<uint64_t>(a.s);
  return static_cast<uint64_t>(a.s) & ((uint64_t{1} << bits) - 1);
}

std::string Render(const Spec& spec, const FormatArg& a) {
  std::string body;
  switch (spec.type) {
    case 'd': {
      if (a.kind == FormatArg::Kind::Text) throw FormatError("format %d given a text argument");
      const bool negative = a.kind == FormatArg::Kind::Signed && a.s < 0;
      const uint64_t magnitude =
          negative ? static_cast<uint64_t>(0) - static_cast<uint64_t>(a.s) : static_cast<uint64_t>(a.u);
      body = Digits(magnitude, 10, false);
      if (spec.precision > 0 && static_cast<int>(body.size()) < spec.precision)
        body.insert(0, static_cast<size_t>(spec.precision) - body.size(), '0');
      if (negative) body.insert(body.begin(), '-');
      break;
    }
    case 'u':
    case 'x':
    case 'X': {
      if (a.kind == FormatArg::Kind::Text) throw FormatError("integer format given a text argument");
      body = Digits(AsUnsigned(a), spec.type == 'u' ? 10 : 16, true);
      if (spec.precision > 0 && static_cast<int>(body.size()) < spec.precision)
        body.insert(0, static_cast<size_t>(spec.precision) - body.size(), '0');
      break;
    }
    case 's': {
      if (a.kind != FormatArg::Kind::Text) throw FormatError("format %s given an integer argument");
      body = std::string(a.text);
      if (spec.precision >= 0 && static_cast<int>(body.size()) > spec.precision)
        body.resize(static_cast<size_t>(spec.precision));
      break;
    }
    default:
      throw FormatError(std::string("unsupported format type '") + spec.type + "'");
  }
  if (spec.width > 0 && static_cast<int>(body.size()) < spec.width) {
    const size_t pad = static_cast<size_t>(spec.width) - body.size();
    if (spec.leftJustify)
      body.append(pad, ' ');
    else
      body.insert(0, pad, ' ');
  }
  return body;
}

}  // namespace

std::string FormatArgs(std::string_view format, const std::vector<FormatArg>& args) {
  std::string out;
  out.reserve(format.size() + 16);
  size_t next = 0;
  auto takeArg = [&]() -> const FormatArg& {
    if (next >= args.size())
      throw FormatError("too few arguments for format \"" + std::string(format) + "\"");
    return args[next++];
  };
  auto takeCount = [&]() -> int {
    const FormatArg& a = takeArg();
    if (a.kind == FormatArg::Kind::Text) throw FormatError("'*' given a text argument");
    return static_cast<int>(a.s);
  };

  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (++i >= format.size()) throw FormatError("format ends after '%'");
    if (format[i] == '%') {
      out.push_back('%');
      continue;
    }
    Spec spec;
    if (format[i] == '-') {
      spec.leftJustify = true;
      ++i;
    }
    auto readNumber = [&]() -> int {
      if (i < format.size() && format[i] == '*') {
        ++i;
        return takeCount();
      }
      int n = 0;
      bool any = false;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        n = n * 10 + (format[i] - '0');
        if (n > 4096) throw FormatError("format width or precision too large");
        any = true;
        ++i;
      }
      return any ? n : -1;
    };
    spec.width = readNumber();
    if (i < format.size() && format[i] == '.') {
      ++i;
      spec.precision = readNumber();
      if (spec.precision < 0) spec.precision = 0;
    }
    if (i >= format.size()) throw FormatError("format ends inside a conversion");
    spec.type = format[i];
    out += Render(spec, takeArg());
  }
  if (next != args.size())
    throw FormatError("too many arguments for format \"" + std::string(format) + "\"");
  return out;
}

}  // namespace tarvel
