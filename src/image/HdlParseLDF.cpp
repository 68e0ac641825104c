#include "image/HdlParseLDF.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Format.h"

namespace tarvel {
namespace {

constexpr std::string_view kParametersBegin = "%:Parameters Data Section Begin";
constexpr std::string_view kScriptBegin = "%:Script Data Section Begin";
constexpr std::string_view kSectionEnds[] = {
    "%:Parameters Data Section End",
    "%:Script Data Section End",
    "%:Firmware Data Section End",
};
constexpr uint8_t kParametersMarker[] = {0xF5, 0x00, 0xC6};
constexpr uint8_t kScriptMarker[] = {0xF6, 0x00, 0x00};
constexpr uint8_t kRecordTag = 0xA0;

constexpr std::string_view kNotAnIntegerFormat = "'%s' is not a valid integer value";
constexpr std::string_view kTooLargeFormat =
    "Firmware file too large: its records need 0x%0.8x bytes, the flash image holds 0x%0.8x!";
constexpr std::string_view kTooManyRecordsFormat =
    "Firmware file has %d records, at most 65535 are possible!";

constexpr uint64_t kSlotSize = 16;
constexpr uint64_t kPageSize = 4096;
constexpr size_t kMaxDataTokensWithoutCount = 256;
constexpr uint32_t kMaxRecordCount = 0xFFFF;

constexpr std::string_view kSeparators = " \t,";

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while ((i = line.find_first_not_of(kSeparators, i)) != std::string_view::npos) {
    const size_t end = std::min(line.find_first_of(kSeparators, i), line.size());
    tokens.push_back(line.substr(i, end - i));
    i = end;
  }
  return tokens;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A header field: hexadecimal without prefix, as a 32-bit number, kept to 8 bits.
uint8_t HeaderByte(const std::vector<std::string_view>& tokens, size_t i) {
  const std::string_view token = i < tokens.size() ? tokens[i] : std::string_view{};
  uint64_t value = 0;
  bool ok = !token.empty();
  for (char c : token) {
    const int d = HexDigit(c);
    if (d < 0 || (value = value * 16 + static_cast<unsigned>(d)) > 0xFFFFFFFF) {
      ok = false;
      break;
    }
  }
  if (!ok) throw ConversionError(Format(kNotAnIntegerFormat, "0x" + std::string(token)));
  return static_cast<uint8_t>(value);
}

// A data byte: one or two hex digits; a non-digit first character counts as 0, a non-digit second
// character ends the number.
uint8_t DataByte(std::string_view token) {
  const int high = HexDigit(token[0]);
  int value = high < 0 ? 0 : high;
  if (token.size() >= 2 && HexDigit(token[1]) >= 0) value = value * 16 + HexDigit(token[1]);
  return static_cast<uint8_t>(value);
}

bool IsSectionEnd(std::string_view line) {
  for (std::string_view end : kSectionEnds)
    if (line == end) return true;
  return false;
}

// Writes at a running position; bytes beyond the image are counted, not stored.
struct RecordWriter {
  MemoryImage& image;
  uint64_t pos = 0;
  uint64_t dropped = 0;

  void put(uint8_t b) {
    if (pos < kFlashImageSize)
      image.FlashImage[pos] = b;
    else
      ++dropped;
    ++pos;
  }
};

SectionedFirmwareSettings SettingsFor(uint64_t endPosition, uint32_t recordCount) {
  SectionedFirmwareSettings s;
  s.FlashStart = 0;
  s.FlashEnd = static_cast<uint32_t>(endPosition | 0x3FF);
  s.FlashSizeKB = static_cast<uint16_t>((uint64_t{s.FlashEnd} + 1) / 1024);
  s.FlashUnits = static_cast<uint16_t>(s.FlashSizeKB * 4);
  s.EraseKey = s.ProgTiming2 = static_cast<uint8_t>(recordCount);
  s.ProgTiming1 = s.TopReservedWords = static_cast<uint8_t>(recordCount >> 8);
  return s;
}

}  // namespace

SectionedFirmwareResult LoadSectionedFirmware(const std::filesystem::path& path, MemoryImage& image) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  RecordWriter out{image};
  uint32_t records = 0;
  bool inSection = false;

  size_t lineStart = 0;
  while (lineStart < text.size()) {
    const size_t eol = std::min(text.find('\n', lineStart), text.size());
    std::string_view line = text.substr(lineStart, eol - lineStart);
    lineStart = eol + 1;
    // CR LF and LF alike; trailing blanks would otherwise turn a section line into a comment.
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.remove_suffix(1);
    if (line.empty()) continue;

    if (IsSectionEnd(line)) {
      inSection = false;
      continue;
    }
    if (line == kParametersBegin || line == kScriptBegin) {
      if (inSection) continue;
      const uint64_t slot = out.pos;
      for (uint8_t b : line == kParametersBegin ? kParametersMarker : kScriptMarker) out.put(b);
      out.pos = slot + kSlotSize;
      inSection = true;
      ++records;
      continue;
    }
    if (line.front() == '%' || line.front() == '#') continue;

    const std::vector<std::string_view> tokens = Tokens(line);
    if (tokens.empty() || (tokens[0] != "A0" && tokens[0] != "a0")) continue;
    ++records;
    const uint8_t b1 = HeaderByte(tokens, 1);
    const uint8_t b2 = HeaderByte(tokens, 2);
    const uint8_t b3 = HeaderByte(tokens, 3);
    const uint8_t n = HeaderByte(tokens, 4);
    // The data must not start so late in a 4 KB page that it runs past the page end (header not counted).
    if (out.pos % kPageSize + n > kPageSize) out.pos = (out.pos + kPageSize) & ~(kPageSize - 1);
    for (uint8_t b : {kRecordTag, b1, b2, b3, n}) out.put(b);
    const size_t wanted = n != 0 ? n : kMaxDataTokensWithoutCount;
    for (size_t i = 5; i < tokens.size() && i < 5 + wanted; ++i) out.put(DataByte(tokens[i]));
    // The next slot strictly beyond the last byte written, as the packed format has it: a record that
    // ends exactly on a slot boundary is followed by an empty slot.
    out.pos = (out.pos + kSlotSize) & ~(kSlotSize - 1);
  }

  SectionedFirmwareResult result;
  result.RecordCount = records;
  result.EndPosition = out.pos;
  result.DroppedBytes = out.dropped;
  if (out.dropped == 0 && records <= kMaxRecordCount) result.Settings = SettingsFor(out.pos, records);
  return result;
}

std::string SectionedFirmwareTooLargeText(const SectionedFirmwareResult& result) {
  if (result.RecordCount > kMaxRecordCount) return Format(kTooManyRecordsFormat, result.RecordCount);
  return Format(kTooLargeFormat, result.EndPosition, static_cast<uint64_t>(kFlashImageSize));
}

}  // namespace tarvel
