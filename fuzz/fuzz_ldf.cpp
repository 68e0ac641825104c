// Sectioned firmware files (.ldf): the whole file as the input. The settings a load derives must describe
// the packed records it left in the image.
#include "FuzzSupport.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "image/HdlParseLDF.h"

using namespace tarvel;
using namespace tarvel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryImage* image = new MemoryImage();
  const auto path = ScratchDir::get().write("in.ldf", std::span<const uint8_t>(data, size));
  try {
    const SectionedFirmwareResult r = LoadSectionedFirmware(path, *image);
    if (r.Settings) {
      const SectionedFirmwareSettings& s = *r.Settings;
      Check(r.DroppedBytes == 0 && r.RecordCount <= 0xFFFF, "settings for a record list that was cut");
      Check(s.FlashEnd >= r.EndPosition || r.EndPosition == 0, "the flash window ends before the records");
      Check(static_cast<uint64_t>(s.FlashSizeKB) * 1024 == uint64_t{s.FlashEnd} + 1,
            "the flash size does not match the flash window");
      Check(s.FlashUnits == static_cast<uint16_t>(s.FlashSizeKB * 4), "flash units are not four per KB");
      Check(static_cast<uint32_t>(s.EraseKey | s.ProgTiming1 << 8) == r.RecordCount,
            "the settings bytes do not carry the record count");
    } else {
      Check(!SectionedFirmwareTooLargeText(r).empty(), "no text for a file without settings");
    }
  } catch (const FileError&) {
  } catch (const ConversionError&) {
    // A data record whose header field is not hexadecimal.
  }
  return 0;
}
