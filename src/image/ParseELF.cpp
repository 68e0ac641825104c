#include "image/ParseELF.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/Format.h"

namespace tarvel {
namespace {

constexpr std::string_view kHeaderErrorFormat = "File Error,Code=%d!";
constexpr std::string_view kNot32BitLittleEndianText = " Only 32-bit little-endian ELF files can be loaded.";
constexpr std::string_view kBadProgramHeaderTableText =
    " The program header table is malformed or too large.";
constexpr std::string_view kParsingSegmentText = "Parse Main Flash Data from ELF...";
constexpr std::string_view kTruncatedFormat = "Read beyond end of file \"%s\" (%s)";

constexpr size_t kMinHeaderBytes = 51;
constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfDataLittleEndian = 1;
constexpr uint32_t kMaxProgramHeaders = 64;
constexpr uint32_t kProgramHeaderBufferSize = 4096;
constexpr uint32_t kProgramHeaderFieldsSize = 32;  // the eight u32 fields we read of each entry
constexpr uint32_t kPtLoad = 1;

uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct ProgramHeader {
  uint32_t type, offset, paddr, filesz, memsz;
};

ProgramHeader ReadProgramHeader(std::span<const uint8_t> entry) {
  return {U32(entry, 0), U32(entry, 4), U32(entry, 12), U32(entry, 16), U32(entry, 20)};
}

}  // namespace

ElfLoadResult LoadElfFile(const std::filesystem::path& path, MemoryImage& image, uint32_t imageOffset,
                          DialogService& dialogs, InfoLog& log) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  auto headerError = [&](int code, std::string_view detail = {}) {
    dialogs.plain(Format(kHeaderErrorFormat, code) + std::string(detail));
    return ElfLoadResult{code};
  };
  if (file.size() < kMinHeaderBytes) return headerError(kElfShortHeader);
  if (file[0] != 0x7F) return headerError(kElfBadMagicByte);
  if (file[1] != 'E' || file[2] != 'L' || file[3] != 'F') return headerError(kElfBadMagicName);
  // Other layouts would be misread field by field into a plausible-looking but wrong image.
  if (file[4] != kElfClass32 || file[5] != kElfDataLittleEndian)
    return headerError(kElfNot32BitLittleEndian, kNot32BitLittleEndianText);

  const uint32_t phoff = U32(file, 28);
  const uint32_t phentsize = U16(file, 42);
  const uint32_t phnum = U16(file, 44);
  if (phnum > kMaxProgramHeaders ||
      (phnum > 0 && (phentsize < kProgramHeaderFieldsSize || phnum * phentsize > kProgramHeaderBufferSize)))
    return headerError(kElfBadProgramHeaderTable, kBadProgramHeaderTableText);
  // 64-bit sums: an offset near 4 GiB must not wrap around to the start of the file.
  if (uint64_t{phoff} + uint64_t{phnum} * phentsize > file.size())
    throw FileError(Format(kTruncatedFormat, path.string(), "program header table"));

  bool loaded = false;
  uint64_t lowest = UINT64_MAX;
  uint64_t highest = 0;
  for (uint32_t k = 0; k < phnum; ++k) {
    const ProgramHeader ph = ReadProgramHeader(
        std::span<const uint8_t>(file).subspan(phoff + k * phentsize, kProgramHeaderFieldsSize));
    // Only file-backed bytes of loadable segments are flash contents: the rest of p_memsz is zero-filled
    // at run time, and other segment types describe bytes that a PT_LOAD already covers (or none).
    const uint32_t count = std::min(ph.filesz, ph.memsz);
    if (ph.type != kPtLoad || count == 0) continue;
    log.MainMessage(kParsingSegmentText);
    if (uint64_t{ph.offset} + count > file.size())
      throw FileError(Format(kTruncatedFormat, path.string(), Format("segment %d", k)));
    const uint64_t first = uint64_t{ph.paddr} + imageOffset;
    if (first < kFlashImageSize) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kFlashImageSize - first));
      std::copy_n(file.begin() + ph.offset, n, image.FlashImage.begin() + static_cast<ptrdiff_t>(first));
    }
    lowest = std::min(lowest, uint64_t{ph.paddr});
    highest = std::max(highest, uint64_t{ph.paddr} + count - 1);
    loaded = true;
  }
  // The address range this file delivered, whatever the order of its segments.
  if (loaded) {
    image.LowestLoadedAddress = static_cast<uint32_t>(lowest);
    image.HighestLoadedAddress = static_cast<uint32_t>(std::min<uint64_t>(highest, 0xFFFFFFFF));
  }
  return {};
}

}  // namespace tarvel
