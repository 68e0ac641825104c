#include "ops/FirmwareFile.h"

#include <algorithm>
#include <stdexcept>

#include "base/Files.h"
#include "base/Format.h"

namespace tarvel {
namespace {

constexpr size_t kVersionOffset = 7;
constexpr size_t kKeyWordOffset = 15;
constexpr size_t kEndLowOffset = 17;
constexpr size_t kEndHighOffset = 19;
constexpr size_t kLengthHighOffset = 21;
constexpr size_t kLengthLowOffset = 23;
constexpr size_t kKeyTableOffset = 25;
static_assert(kKeyTableOffset + kFirmwareKeyTableSize == kFirmwareBodyOffset);
constexpr size_t kCheckSize = 4;
constexpr size_t kBodyGranule = 16;
constexpr size_t kKeyWordCycle = 2048;
constexpr uint32_t kFirstBlockEnd = 4096;
constexpr uint32_t kBlockEndStep = 1024;
constexpr size_t kMinimumFileSize = kFirmwareBodyOffset + kFirmwareTrailerSize + kCheckSize;
constexpr size_t kMaxFirmwareData = kMaxFirmwareBlocks * kFirmwareBlockDataSize;

uint16_t GetWord(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t ByteSum(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return sum;
}

// Exclusive or undoes itself, so the same pass scrambles and descrambles.
void ApplyKeyTable(std::span<uint8_t> body, std::span<const uint8_t> table) {
  size_t w = 0;
  for (size_t g = 0; g + 4 <= body.size(); g += 4) {
    const uint8_t k0 = 2 * w < table.size() ? table[2 * w] : 0;
    const uint8_t k1 = 2 * w + 1 < table.size() ? table[2 * w + 1] : 0;
    body[g] ^= k0;
    body[g + 1] ^= k1;
    body[g + 2] ^= k0;
    body[g + 3] ^= k1;
    w = (w + 2) % kKeyWordCycle;
  }
}

FirmwareFileResult Invalid(std::string reason) {
  FirmwareFileResult r;
  r.reason = std::move(reason);
  return r;
}

}  // namespace

int64_t FirmwareBlockCount(uint32_t endValue) {
  // Division truncating toward zero, as the host computes it.
  return (static_cast<int64_t>(endValue) - kFirstBlockEnd) / kBlockEndStep + 1;
}

int FirmwareFileResult::blockCount() const {
  return valid ? static_cast<int>(FirmwareBlockCount(endValue)) : 0;
}

FirmwareFileResult ParseFirmwareFile(std::span<const uint8_t> file) {
  if (file.size() < kMinimumFileSize) {
    return Invalid(Format("The firmware file is too short: %d bytes, at least %d are needed.", file.size(),
                          kMinimumFileSize));
  }
  for (size_t i = 0; i < kFirmwareMarker.size(); ++i) {
    if (file[i] != (static_cast<uint8_t>(kFirmwareMarker[i]) ^ kFirmwareMarkerMask)) {
      return Invalid("The file does not start with the firmware file marker.");
    }
  }
  const uint16_t key = GetWord(file, kKeyWordOffset);
  const uint32_t endValue = static_cast<uint32_t>(GetWord(file, kEndLowOffset) ^ key) |
                            static_cast<uint32_t>(GetWord(file, kEndHighOffset) ^ key) << 16;
  const uint32_t length = static_cast<uint32_t>(GetWord(file, kLengthLowOffset) ^ key) |
                          static_cast<uint32_t>(GetWord(file, kLengthHighOffset) ^ key) << 16;
  // 64-bit sizes: a crafted length near 4 GiB must not wrap around.
  const uint64_t bodySize = (uint64_t{length} + kBodyGranule - 1) / kBodyGranule * kBodyGranule;
  const uint64_t expected = kFirmwareBodyOffset + bodySize + kFirmwareTrailerSize + kCheckSize;
  if (file.size() < expected) {
    return Invalid(Format("The firmware file ends after %d bytes; its body length of %d bytes needs %d.",
                          file.size(), length, expected));
  }
  if (file.size() > expected) {
    return Invalid(Format("The firmware file has %d bytes after its check value.", file.size() - expected));
  }
  const size_t checkOffset = static_cast<size_t>(expected) - kCheckSize;
  const uint32_t stored = static_cast<uint32_t>(GetWord(file, checkOffset)) |
                          static_cast<uint32_t>(GetWord(file, checkOffset + 2)) << 16;
  const uint32_t sum = ByteSum(file.first(checkOffset));
  if (stored != sum) {
    return Invalid(
        Format("The firmware file's check value 0x%0.8x does not match its byte sum 0x%0.8x.", stored, sum));
  }
  const int64_t blocks = FirmwareBlockCount(endValue);
  if (blocks < 1 || blocks > kMaxFirmwareBlocks) {
    return Invalid(Format("The firmware file's end value %d gives %d blocks; 1 to %d can be sent.", endValue,
                          blocks, kMaxFirmwareBlocks));
  }
  // Every block sent must come from the body, never from beyond it.
  const uint64_t needed = static_cast<uint64_t>(blocks) * kFirmwareBlockImageSize;
  if (needed > bodySize) {
    return Invalid(
        Format("The firmware file's end value asks for %d blocks (%d bytes) but its body holds %d.", blocks,
               needed, bodySize));
  }

  FirmwareFileResult r;
  r.valid = true;
  r.endValue = endValue;
  if (file[kVersionOffset] == 'V') {
    const auto field = file.subspan(kVersionOffset, kFirmwareVersionSize);
    r.version.assign(field.begin(), field.end());
    // The units' versions are compared byte by byte with a shorter one counting as zeros, so dropping
    // the padding changes no comparison.
    r.version.erase(r.version.find_last_not_of('\0') + 1);
  }
  const auto body = file.subspan(kFirmwareBodyOffset, static_cast<size_t>(bodySize));
  r.image.assign(body.begin(), body.end());
  ApplyKeyTable(r.image, file.subspan(kKeyTableOffset, kFirmwareKeyTableSize));
  return r;
}

FirmwareFileResult ReadFirmwareFile(const std::filesystem::path& path) {
  return ParseFirmwareFile(ReadWholeFile(path));
}

std::vector<uint8_t> PackFirmwareImage(std::span<const uint8_t> rawFirmware) {
  if (rawFirmware.empty()) throw std::invalid_argument("The firmware image is empty.");
  if (rawFirmware.size() > kMaxFirmwareData) {
    throw std::invalid_argument(Format("The firmware image has %d bytes; a firmware file holds at most %d.",
                                       rawFirmware.size(), kMaxFirmwareData));
  }
  const size_t blocks = (rawFirmware.size() + kFirmwareBlockDataSize - 1) / kFirmwareBlockDataSize;
  std::vector<uint8_t> image(blocks * kFirmwareBlockImageSize, 0);
  for (size_t i = 0; i < rawFirmware.size(); ++i) image[i / 3 * 4 + i % 3] = rawFirmware[i];
  return image;
}

std::vector<uint8_t> BuildFirmwareFile(std::span<const uint8_t> rawFirmware, std::string_view version,
                                       RandomSource& random) {
  if (version.empty() || version[0] != 'V' || version.size() > kFirmwareVersionSize ||
      version.find('\0') != std::string_view::npos) {
    throw std::invalid_argument(
        Format("The version \"%s\" does not start with 'V' or has more than 8 characters.", version));
  }
  const std::vector<uint8_t> image = PackFirmwareImage(rawFirmware);
  const uint32_t blocks = static_cast<uint32_t>(image.size() / kFirmwareBlockImageSize);
  const uint32_t endValue = kFirstBlockEnd + kBlockEndStep * (blocks - 1);
  const uint32_t length = static_cast<uint32_t>(image.size());  // whole blocks, so a multiple of 16

  std::vector<uint8_t> file(kFirmwareBodyOffset + image.size() + kFirmwareTrailerSize + kCheckSize, 0);
  for (size_t i = 0; i < kFirmwareMarker.size(); ++i) {
    file[i] = static_cast<uint8_t>(kFirmwareMarker[i]) ^ kFirmwareMarkerMask;
  }
  std::copy(version.begin(), version.end(), file.begin() + kVersionOffset);
  const uint16_t key = random.word16();
  PutWord(file, kKeyWordOffset, key);
  PutWord(file, kEndLowOffset, static_cast<uint16_t>(endValue) ^ key);
  PutWord(file, kEndHighOffset, static_cast<uint16_t>(endValue >> 16) ^ key);
  PutWord(file, kLengthHighOffset, static_cast<uint16_t>(length >> 16) ^ key);
  PutWord(file, kLengthLowOffset, static_cast<uint16_t>(length) ^ key);

  const auto table = std::span(file).subspan(kKeyTableOffset, kFirmwareKeyTableSize);
  random.fill(table);
  const auto body = std::span(file).subspan(kFirmwareBodyOffset, image.size());
  std::copy(image.begin(), image.end(), body.begin());
  ApplyKeyTable(body, table);
  const size_t trailerOffset = kFirmwareBodyOffset + image.size();
  random.fill(std::span(file).subspan(trailerOffset, kFirmwareTrailerSize));

  const size_t checkOffset = trailerOffset + kFirmwareTrailerSize;
  const uint32_t sum = ByteSum(std::span(file).first(checkOffset));
  PutWord(file, checkOffset, static_cast<uint16_t>(sum));
  PutWord(file, checkOffset + 2, static_cast<uint16_t>(sum >> 16));
  return file;
}

void WriteFirmwareFile(const std::filesystem::path& path, std::span<const uint8_t> rawFirmware,
                       std::string_view version, RandomSource& random) {
  WriteFileAtomically(path, BuildFirmwareFile(rawFirmware, version, random));
}

}  // namespace tarvel
