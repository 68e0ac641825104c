#include "base/GbkText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvel {
namespace {

// Code page 936 is GBK with the euro sign at 0x80.
constexpr const char* kGbkName = "CP936";

std::string Convert(std::string_view in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw TextConversionError(std::string("no converter from ") + from + " to " + to + ": " +
                                  std::strerror(errno),
                              0);
  std::string out;
  out.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  std::string failure;
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      const size_t used = out.size() - dstLeft;
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    const size_t offset = in.size() - srcLeft;
    iconv_close(cd);
    throw TextConversionError(std::string(errno == EILSEQ ? "character not representable"
                                                          : "incomplete character") +
                                  " in conversion from " + from + " to " + to + " at byte " +
                                  std::to_string(offset),
                              offset);
  }
  // Flush any shift state (none for these encodings, but the call is cheap and correct).
  if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) {
    iconv_close(cd);
    throw TextConversionError("conversion could not be completed", in.size());
  }
  out.resize(out.size() - dstLeft);
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) { return Convert(utf8, kGbkName, "UTF-8"); }
std::string GbkToUtf8(std::string_view gbk) { return Convert(gbk, "UTF-8", kGbkName); }

std::string Utf8ToGbkReplacing(std::string_view utf8, bool* replaced) {
  std::string out;
  for (;;) {
    try {
      return out + Utf8ToGbk(utf8);
    } catch (const TextConversionError& e) {
      const size_t at = std::min(e.offset(), utf8.size());
      out += Utf8ToGbk(utf8.substr(0, at));
      out += '?';
      if (replaced) *replaced = true;
      size_t next = at + 1;  // the character's lead byte and its continuation bytes
      while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) ++next;
      utf8.remove_prefix(std::min(next, utf8.size()));
    }
  }
}

std::string GbkToUtf8Replacing(std::string_view gbk, bool* replaced) {
  std::string out;
  for (;;) {
    try {
      return out + GbkToUtf8(gbk);
    } catch (const TextConversionError& e) {
      const size_t at = std::min(e.offset(), gbk.size());
      out += GbkToUtf8(gbk.substr(0, at));
      out += '?';
      if (replaced) *replaced = true;
      gbk.remove_prefix(std::min(at + 1, gbk.size()));
    }
  }
}

}  // namespace tarvel
