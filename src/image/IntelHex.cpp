#include "image/IntelHex.h"

#include <algorithm>

#include "base/Files.h"
#include "base/Format.h"
#include "image/Checksums.h"

namespace tarvel {
namespace {

uint8_t Pair(std::string_view line, size_t at) { return HexPairValue(line[at], line[at + 1]); }

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendByte(std::string& out, uint8_t b) {
  out.push_back(kDigits[b >> 4]);
  out.push_back(kDigits[b & 15]);
}

// One record: ':' count address type data checksum, CR LF.
void AppendRecord(std::string& out, uint8_t type, uint16_t address, std::span<const uint8_t> data) {
  uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
  out.push_back(':');
  AppendByte(out, static_cast<uint8_t>(data.size()));
  AppendByte(out, static_cast<uint8_t>(address >> 8));
  AppendByte(out, static_cast<uint8_t>(address));
  AppendByte(out, type);
  for (uint8_t b : data) {
    AppendByte(out, b);
    sum = static_cast<uint8_t>(sum + b);
  }
  AppendByte(out, static_cast<uint8_t>(-sum));
  out += "\r\n";
}

uint8_t ByteAt(std::span<const uint8_t> buffer, uint32_t base, uint32_t address) {
  const uint32_t index = address - base;
  return index < buffer.size() ? buffer[index] : 0xFF;
}

}  // namespace

int ParseHexLine(std::string_view line, RecordReaderState& state, const RecordTarget& target,
                 DialogService& dialogs) {
  if (line.empty() || line[0] != ':') return kRecordBadStart;
  if (line.size() < 9) return kRecordTruncated;
  const uint8_t n = Pair(line, 1);
  const uint8_t high = Pair(line, 3);
  const uint8_t low = Pair(line, 5);
  const uint8_t type = Pair(line, 7);
  uint8_t s = static_cast<uint8_t>(n + high + low + type);
  if (n == 0) return kRecordOk;

  if (type == 0x02 || type == 0x04) {
    if (high != 0 || low != 0) return kRecordBadExtAddress;
    if (line.size() < 15) return kRecordTruncated;
    const uint8_t v1 = Pair(line, 9);
    const uint8_t v2 = Pair(line, 11);
    const uint32_t v = static_cast<uint32_t>(v1) << 8 | v2;
    // Each base stays until the next record of its own type: both apply to later data.
    if (type == 0x02)
      state.segmentBase = v * 16;
    else
      state.linearBase = v * 65536;
    s = static_cast<uint8_t>(s + v1 + v2 + Pair(line, 13));
    return s == 0 ? kRecordOk : kRecordChecksum;
  }
  if (type == 0x01 || type == 0x03 || type == 0x05) return kRecordOk;
  if (type != 0x00) return kRecordUnknownType;

  // The whole record, data and checksum, must be on the line before anything is stored.
  if (line.size() < 9 + 2 * static_cast<size_t>(n) + 2) return kRecordTruncated;
  const uint32_t a = state.linearBase + state.segmentBase + (static_cast<uint32_t>(high) << 8 | low);
  RecordReadResult& r = state.result;
  uint8_t data[255];
  const uint32_t dataSum = DecodeRecordData(line.substr(9), n, data);
  const RecordWindow window = StoreRecordData(target, a, std::span<const uint8_t>(data, n));
  if (window == RecordWindow::None) {
    dialogs.plain(Format("Unsupport Address=0x%0.8x.", a));
    return kRecordNoWindow;  // stays 21 whatever the check byte says
  }
  if (window == RecordWindow::Flash) {
    r.lowest = std::min(r.lowest, a);
    // A record that runs past the last address ends the range there rather than wrapping it to the bottom.
    const uint64_t last = std::min<uint64_t>(static_cast<uint64_t>(a) + n - 1, 0xFFFFFFFF);
    r.highest = std::max(r.highest, static_cast<uint32_t>(last));
  }
  r.sum += dataSum;
  s = static_cast<uint8_t>(s + dataSum + Pair(line, 9 + 2 * static_cast<size_t>(n)));
  return s == 0 ? kRecordOk : kRecordChecksum;
}

RecordReadResult ReadHexText(std::string_view text, const RecordTarget& target, DialogService& dialogs) {
  RecordReaderState state;
  ReadRecordLines(
      text, dialogs, state.result, [&](std::string_view line) { return ParseHexLine(line, state, target, dialogs); },
      [](std::string_view line) { return line == ":00000001FF" || line == ":00FFFF0101"; });
  return state.result;
}

RecordReadResult ReadHexFile(const std::filesystem::path& path, const RecordTarget& target,
                             DialogService& dialogs) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return ReadHexText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), target, dialogs);
}

std::string HexText(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last) {
  std::string out;
  if (last >= first) out.reserve((static_cast<size_t>(last - first) + 1) * 11 / 4 + 64);
  uint8_t data[32];
  if (last < 0x10000) {
    for (uint64_t a = first; a <= last && last >= first; a += 16) {
      const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(16, last - a + 1));
      for (uint32_t i = 0; i < count; ++i) data[i] = ByteAt(buffer, base, static_cast<uint32_t>(a + i));
      AppendRecord(out, 0x00, static_cast<uint16_t>(a), std::span<const uint8_t>(data, count));
    }
  } else if (last >= first) {
    uint16_t upper = static_cast<uint16_t>(first >> 16);
    const uint8_t ext[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
    AppendRecord(out, 0x04, 0, ext);
    uint32_t count = 0;
    uint32_t recordStart = first;
    for (uint64_t a = first; a <= last; ++a) {
      if (count == 0) recordStart = static_cast<uint32_t>(a);
      data[count++] = ByteAt(buffer, base, static_cast<uint32_t>(a));
      const bool pageEnd = (a & 0xFFFF) == 0xFFFF;
      if (count == 32 || pageEnd || a == last) {
        AppendRecord(out, 0x00, static_cast<uint16_t>(recordStart), std::span<const uint8_t>(data, count));
        count = 0;
        // A new 64 KB page gets its extended address record, but not after the very last byte.
        if (pageEnd && a != last) {
          ++upper;
          const uint8_t next[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
          AppendRecord(out, 0x04, 0, next);
        }
      }
    }
  }
  out += ":00000001FF\r\n";
  return out;
}

void WriteHexFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, uint32_t base,
                  uint32_t first, uint32_t last) {
  WriteFileAtomically(path, HexText(buffer, base, first, last));
}

}  // namespace tarvel
