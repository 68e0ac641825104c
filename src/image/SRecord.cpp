#include "image/SRecord.h"

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

}  // namespace

int ParseSRecordLine(std::string_view line, RecordReaderState& state, const RecordTarget& target,
                     DialogService& dialogs) {
  if (line.empty() || line[0] != 'S') return kRecordBadStart;
  // The file reader hands over lines of three characters or more; a caller with a shorter one gets an
  // answer rather than a read past its end.
  if (line.size() < 2) return kRecordTruncated;
  const int type = static_cast<unsigned char>(line[1]) - '0';
  if (type == 0 || type == 5 || type == 7 || type == 8 || type == 9) return kRecordOk;
  if (type < 1 || type > 3) return kRecordBadType;  // S4, S6, and anything not a digit
  if (line.size() < 4) return kRecordTruncated;

  const uint8_t c = Pair(line, 2);
  uint8_t s = c;
  const int addressBytes = type + 1;  // S1: 2, S2: 3, S3: 4
  const size_t dataAt = 4 + 2 * static_cast<size_t>(addressBytes);
  // A count that does not even cover the address and the check byte cannot be a record.
  const int count = static_cast<int>(c) - 1 - addressBytes;
  if (count < 0) return kRecordTruncated;
  if (line.size() < dataAt + 2 * static_cast<size_t>(count) + 2) return kRecordTruncated;

  uint32_t address = 0;
  for (int i = 0; i < addressBytes; ++i) {
    const uint8_t b = Pair(line, 4 + 2 * static_cast<size_t>(i));
    address = address << 8 | b;
    s = static_cast<uint8_t>(s + b);
  }
  RecordReadResult& r = state.result;
  if (count > 0) {
    r.lowest = std::min(r.lowest, address);
    // A record that runs past the last address ends the range there rather than wrapping it to the bottom.
    const uint64_t last =
        std::min<uint64_t>(static_cast<uint64_t>(address) + static_cast<uint32_t>(count) - 1, 0xFFFFFFFF);
    r.highest = std::max(r.highest, static_cast<uint32_t>(last));
  }
  uint8_t data[255];
  const uint32_t total = DecodeRecordData(line.substr(dataAt), static_cast<uint32_t>(count), data);
  const RecordWindow window =
      StoreRecordData(target, address, std::span<const uint8_t>(data, static_cast<size_t>(count)));
  // Unlike HEX, S-record data outside every window still counts into the file sum and the record check.
  r.sum += total;
  s = static_cast<uint8_t>(s + total + Pair(line, dataAt + 2 * static_cast<size_t>(count)));
  if (window == RecordWindow::None) {
    dialogs.plain(Format("Unsupport Address=0x%0.8x.", address));
    return kRecordNoWindow;  // stays 21 whatever the check byte says
  }
  return s == 0xFF ? kRecordOk : kRecordChecksum;
}

RecordReadResult ReadSRecordText(std::string_view text, const RecordTarget& target, DialogService& dialogs) {
  RecordReaderState state;
  ReadRecordLines(
      text, dialogs, state.result,
      [&](std::string_view line) { return ParseSRecordLine(line, state, target, dialogs); },
      [](std::string_view) { return false; });
  return state.result;
}

RecordReadResult ReadSRecordFile(const std::filesystem::path& path, const RecordTarget& target,
                                 DialogService& dialogs) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return ReadSRecordText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), target,
                         dialogs);
}

std::string SRecordText(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last) {
  const int type = last <= 0xFFFF ? 1 : last <= 0xFFFFFF ? 2 : 3;
  const int addressBytes = type + 1;
  std::string out;
  if (last >= first) out.reserve((static_cast<size_t>(last - first) + 1) * 5 / 2 + 64);
  for (uint64_t a = first; last >= first && a <= last; a += 32) {
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(32, last - a + 1));
    const uint8_t c = static_cast<uint8_t>(count + addressBytes + 1);
    out.push_back('S');
    out.push_back(static_cast<char>('0' + type));
    AppendByte(out, c);
    uint8_t sum = c;
    for (int i = addressBytes - 1; i >= 0; --i) {
      const uint8_t b = static_cast<uint8_t>(a >> (8 * i));
      AppendByte(out, b);
      sum = static_cast<uint8_t>(sum + b);
    }
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t index = static_cast<uint32_t>(a + i) - base;
      const uint8_t b = index < buffer.size() ? buffer[index] : 0xFF;
      AppendByte(out, b);
      sum = static_cast<uint8_t>(sum + b);
    }
    AppendByte(out, static_cast<uint8_t>(~sum));
    out += "\r\n";
  }
  out += type == 1 ? "S9030000FC\r\n" : type == 2 ? "S804000000FB\r\n" : "S70500000000FA\r\n";
  return out;
}

void WriteSRecordFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, uint32_t base,
                      uint32_t first, uint32_t last) {
  WriteFileAtomically(path, SRecordText(buffer, base, first, last));
}

}  // namespace tarvel
