// The programmer firmware file (TarvelIMOT.FWR). Header: mode u8.
//   mode 0: the rest is the file, read as it is;
//   mode 1: the same, with its length words and check value made to match the file, so that mutations
//           reach the checks of the end value and the descrambling behind them (header byte 2: the
//           length's distance below the body size);
//   mode 2: a file built from the rest as raw firmware (version text: length u8 and that many bytes, key
//           seed u32 first) must read back as exactly that firmware.
#include <stdexcept>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ops/FirmwareFile.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

constexpr size_t kCheckSize = 4;
constexpr size_t kFixedSize = kFirmwareBodyOffset + kFirmwareTrailerSize + kCheckSize;

void Put16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
  f[at] = static_cast<uint8_t>(v);
  f[at + 1] = static_cast<uint8_t>(v >> 8);
}

void CheckValid(const FirmwareFileResult& r) {
  if (!r.valid) {
    Check(!r.reason.empty(), "a file that is not valid without a reason");
    return;
  }
  const int blocks = r.blockCount();
  Check(blocks >= 1 && blocks <= kMaxFirmwareBlocks, "a valid file with a block count that cannot be sent");
  Check(static_cast<size_t>(blocks) * kFirmwareBlockImageSize <= r.image.size(), "blocks beyond the body");
  Check(r.version.size() <= kFirmwareVersionSize && (r.version.empty() || r.version[0] == 'V'),
        "a version that is not a version field");
}

void ReadAsItIs(std::span<const uint8_t> file) { CheckValid(ParseFirmwareFile(file)); }

void ReadFixedUp(Input& in) {
  const uint8_t below = in.u8();
  const std::span<const uint8_t> rest = in.rest();
  std::vector<uint8_t> f(rest.begin(), rest.end());
  if (f.size() >= kFixedSize) {
    const size_t body = (f.size() - kFixedSize) / 16 * 16;
    f.resize(kFixedSize + body);
    const uint32_t length = body == 0 ? 0 : static_cast<uint32_t>(body - below % 16);
    const uint16_t key = static_cast<uint16_t>(f[15] | f[16] << 8);
    Put16(f, 21, static_cast<uint16_t>(length >> 16) ^ key);
    Put16(f, 23, static_cast<uint16_t>(length) ^ key);
    const size_t checkAt = f.size() - kCheckSize;
    uint32_t sum = 0;
    for (size_t i = 0; i < checkAt; ++i) sum += f[i];
    Put16(f, checkAt, static_cast<uint16_t>(sum));
    Put16(f, checkAt + 2, static_cast<uint16_t>(sum >> 16));
  }
  CheckValid(ParseFirmwareFile(f));
}

void RoundTrip(Input& in) {
  RandomSource random(in.u32());
  const std::span<const uint8_t> v = in.bytes(in.u8() % 12);
  const std::string version(v.begin(), v.end());
  const std::span<const uint8_t> raw = in.rest();
  const bool goodVersion = !version.empty() && version[0] == 'V' && version.size() <= kFirmwareVersionSize &&
                           version.find('\0') == std::string::npos;
  const bool goodSize = !raw.empty() && raw.size() <= kMaxFirmwareBlocks * kFirmwareBlockDataSize;
  std::vector<uint8_t> file;
  try {
    file = BuildFirmwareFile(raw, version, random);
  } catch (const std::invalid_argument&) {
    Check(!goodVersion || !goodSize, "a good version and firmware were refused");
    return;
  }
  Check(goodVersion && goodSize, "a bad version or firmware was accepted");
  const FirmwareFileResult r = ParseFirmwareFile(file);
  Check(r.valid, "a file just built is not valid");
  Check(r.version == version, "the version read back differs");
  Check(r.image == PackFirmwareImage(raw), "the image read back differs from the firmware packed");
  Check(static_cast<size_t>(r.blockCount()) * kFirmwareBlockImageSize == r.image.size(),
        "the block count does not cover the image");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  switch (in.u8() % 3) {
    case 0: ReadAsItIs(in.rest()); break;
    case 1: ReadFixedUp(in); break;
    case 2: RoundTrip(in); break;
  }
  return 0;
}
