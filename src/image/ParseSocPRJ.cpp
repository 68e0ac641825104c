#include "image/ParseSocPRJ.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/Format.h"
#include "base/GbkText.h"

namespace tarvel {
namespace {

constexpr std::string_view kSignature = "[SOC_Project]";  // stored as two-byte characters
constexpr std::string_view kWrongFormatText = "文件格式不对，请确认！";
constexpr std::string_view kTruncatedFormat = "Read beyond end of file \"%s\" (%s)";

constexpr size_t kSignatureSize = 26;
constexpr size_t kAfterSignatureSkip = 6;
constexpr size_t kChipInfoSize = 160;
constexpr size_t kDescriptorSize = 28;
constexpr size_t kAfterDescriptorsSkip = 441;
constexpr size_t kIntermediateSize = 117;
constexpr size_t kIntermediateFallbackSizeAt = 37;
constexpr size_t kAfterIntermediateSkip = 4;
constexpr size_t kAreaCEepIndex = 32768;

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Sequential reading in which every byte taken counts towards the file's byte sum.
class SummingReader {
 public:
  SummingReader(const std::vector<uint8_t>& file, const std::filesystem::path& path, uint32_t& sum)
      : file_(file), path_(path), sum_(sum) {}

  size_t remaining() const { return file_.size() - pos_; }

  // The next `count` bytes; throws FileError when the file ends first (after summing the rest).
  std::span<const uint8_t> take(size_t count, std::string_view what) {
    std::span<const uint8_t> got = takeUpTo(count);
    if (got.size() < count) throw FileError(Format(kTruncatedFormat, path_.string(), what));
    return got;
  }

  // The next `count` bytes into dest[at ...]; bytes beyond dest are read and summed but not stored.
  void takeInto(uint64_t count, std::span<uint8_t> dest, size_t at, std::string_view what) {
    const std::span<const uint8_t> got = takeUpTo(count);
    if (at < dest.size()) std::copy_n(got.begin(), std::min(got.size(), dest.size() - at), dest.begin() + at);
    if (got.size() < count) throw FileError(Format(kTruncatedFormat, path_.string(), what));
  }

 private:
  std::span<const uint8_t> takeUpTo(uint64_t count) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, remaining()));
    const std::span<const uint8_t> got(file_.data() + pos_, n);
    for (uint8_t b : got) sum_ += b;
    pos_ += n;
    return got;
  }

  const std::vector<uint8_t>& file_;
  const std::filesystem::path& path_;
  uint32_t& sum_;
  size_t pos_ = 0;
};

// A zero-terminated name field in the vendor tool's code page; shown even when it holds bytes that are
// not valid GBK.
std::string NameField(std::span<const uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), 0);
  const std::string raw(field.begin(), end);
  try {
    return GbkToUtf8(raw);
  } catch (const TextConversionError&) {
    std::string shown;
    for (char c : raw) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    return shown;
  }
}

struct ChipInfo {
  std::string name, nickName;
  std::array<uint8_t, 4> programCode{};
  std::array<uint32_t, 4> optionValue{}, optionAddress{};
  uint32_t optionCrc = 0, projectCrc = 0;
};

ChipInfo ReadChipInfo(std::span<const uint8_t> b) {
  ChipInfo c;
  c.name = NameField(b.subspan(0, 16));
  c.nickName = NameField(b.subspan(16, 8));
  std::copy_n(b.begin() + 32, 4, c.programCode.begin());
  for (size_t i = 0; i < 4; ++i) {
    c.optionValue[i] = U32(b, 48 + 4 * i);
    c.optionAddress[i] = U32(b, 68 + 4 * i);
  }
  c.optionCrc = U32(b, 88);
  c.projectCrc = U32(b, 112);
  return c;
}

struct ApromDescriptor {
  uint8_t progMode, progArea, eraseType;
  uint32_t areaSize, baseAddress, fileSize, fileOffset;
};

ApromDescriptor ReadApromDescriptor(std::span<const uint8_t> b) {
  return {b[1], b[2], b[3], U32(b, 4), U32(b, 8), U32(b, 12), U32(b, 16)};
}

void WriteSummary(InfoLog& log, const ChipInfo& chip, const ApromDescriptor& aprom) {
  log.Line();
  log.Line("> SOC Project File Basic Information :");
  log.Line("     Chip Name is :" + chip.name);
  log.Line("     Chip Nick Name is :" + chip.nickName);
  std::string code = "     Chip Program Code is : ";
  for (uint8_t b : chip.programCode) code += Format("%0.2x, ", b);
  log.Line(code);
  for (size_t i = 0; i < 4; ++i)
    log.Line(Format("     Chip Option Address(0x%0.8x) Value is %0.8x.", chip.optionAddress[i],
                    chip.optionValue[i]));
  log.Line("     Chip Opt CRC Data is : " + Format("%0.8x, ", chip.optionCrc));
  log.Line("     Chip Project CRC Data is : " + Format("%0.8x, ", chip.projectCrc));
  log.Line();
  log.Line("> Chip APROM Basic Information :");
  log.Line(Format("     Chip APROM Prog Mode = %0.2x.", aprom.progMode));
  log.Line(Format("     Chip APROM Prog Area = %0.2x.", aprom.progArea));
  static constexpr std::string_view kEraseTypeLines[] = {
      "     Chip APROM Erase Type = No Erase(0)!",
      "     Chip APROM Erase Type = Sector Erase(1)!",
      "     Chip APROM Erase Type = Chip Erase(2)!",
  };
  if (aprom.eraseType < std::size(kEraseTypeLines)) log.Line(kEraseTypeLines[aprom.eraseType]);
  log.Line(Format("     Chip APROM Program Area Size(Byte)  = 0x%0.8x.", aprom.areaSize));
  log.Line(Format("     Chip APROM Program Base Address     = 0x%0.8x.", aprom.baseAddress));
  log.Line(Format("     Chip APROM Program File Size(Byte)  = 0x%0.8x.", aprom.fileSize));
  log.Line(Format("     Chip APROM Prog File Offset Address = 0x%0.8x.", aprom.fileOffset));
}

}  // namespace

SocProjectResult LoadSocProject(const std::filesystem::path& path, MemoryImage& image, DialogService& dialogs,
                                InfoLog& log) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  image.LowestLoadedAddress = 0;
  image.HighestLoadedAddress = 0;
  SummingReader in(file, path, image.FileByteSum);

  // A file too short to hold the signature is not a project file either.
  const bool longEnough = in.remaining() >= kSignatureSize;
  const std::span<const uint8_t> signature = in.take(std::min(kSignatureSize, in.remaining()), "signature");
  bool matches = longEnough;
  for (size_t i = 0; matches && i < kSignature.size(); ++i)
    matches = signature[2 * i] == static_cast<uint8_t>(kSignature[i]);
  if (!matches) {
    dialogs.plain(std::string(kWrongFormatText));
    return {kSocProjectWrongFormat, false};
  }

  in.take(kAfterSignatureSkip, "header");
  const ChipInfo chip = ReadChipInfo(in.take(kChipInfoSize, "chip information"));
  const ApromDescriptor aprom = ReadApromDescriptor(in.take(kDescriptorSize, "APROM descriptor"));
  const uint32_t areaBSize = U32(in.take(kDescriptorSize, "descriptor B"), 12);
  const uint32_t areaCSize = U32(in.take(kDescriptorSize, "descriptor C"), 12);
  in.take(kDescriptorSize, "descriptor D");
  in.take(kAfterDescriptorsSkip, "header");

  in.takeInto(aprom.fileSize, image.FlashImage, 0, "APROM data");
  if (aprom.fileSize > 0) image.HighestLoadedAddress = aprom.fileSize - 1;

  const uint32_t fallbackB = U32(in.take(kIntermediateSize, "area B header"), kIntermediateFallbackSizeAt);
  in.take(kAfterIntermediateSkip, "area B header");
  in.takeInto(areaBSize != 0 ? areaBSize : fallbackB, image.EepImage, 0, "area B data");

  const uint32_t fallbackC = U32(in.take(kIntermediateSize, "area C header"), kIntermediateFallbackSizeAt);
  in.take(kAfterIntermediateSkip, "area C header");
  if (areaCSize != 0)
    in.takeInto(areaCSize, image.EepImage, kAreaCEepIndex, "area C data");
  else
    in.takeInto(fallbackC, image.EepImage, 0, "area C data");

  SocProjectResult result;
  for (size_t i = 0; i < 4; ++i) {
    if (chip.optionAddress[i] == 0) continue;
    image.OptionData[chip.optionAddress[i] & 0xFF] = static_cast<uint8_t>(chip.optionValue[i]);
    result.OptionChanged = true;
  }
  WriteSummary(log, chip, aprom);
  return result;
}

}  // namespace tarvel
