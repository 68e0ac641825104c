// The object-file loads as the main window runs them for a selected chip: the dispatch by extension with
// the family's post-load steps (configuration bytes, used-size scan, summary), the sectioned firmware load
// of iMOTION chips, the EEP data file load and the boot-loader data load.
// Header: chip u16, kind u8, BIN offset u32, blank fill u8; the rest is the file.
#include <array>
#include <string>

#include "FuzzChips.h"
#include "FuzzSupport.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/InfoLog.h"
#include "base/ScriptedDialogService.h"
#include "chips/ObjectLoad.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

enum class Load { Main, Eep, Boot };

struct Kind {
  Load load;
  const char* name;
};

constexpr std::array<Kind, 14> kKinds = {{
    {Load::Main, "in.hex"},   {Load::Main, "in.s19"}, {Load::Main, "in.S15"}, {Load::Main, "in.mot"},
    {Load::Main, "in.elf"},   {Load::Main, "in.socprj"}, {Load::Main, "in.bin"}, {Load::Main, "in.ldf"},
    {Load::Eep, "eep.hex"},   {Load::Eep, "eep.s19"}, {Load::Eep, "eep.mot"}, {Load::Eep, "eep.bin"},
    {Load::Boot, "boot.bin"}, {Load::Main, "in.txt"},
}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryImage* image = new MemoryImage();
  Input in(data, size);
  const CatalogueChip& chip = ChipFor(in.u16());
  const Kind& kind = kKinds[in.u8() % kKinds.size()];
  ChipSettings settings = chip.settings;
  settings.BinOffset = in.u32();
  const uint8_t blank = in.u8() & 1 ? 0xFF : 0x00;
  const auto path = ScratchDir::get().write(kind.name, in.rest());

  // As the window starts a load that clears the images.
  image->OptionData = chip.optionData;
  image->BlankValue = blank;
  image->Clear(blank);
  image->ResetLoadStatistics();
  image->EepDataPresent = image->OptionDataPresent = false;

  ScriptedDialogService dialogs;
  InfoLog log([] { return std::string("00:00:00"); });
  LoadContext ctx{settings, *image, dialogs, log, {}};
  try {
    switch (kind.load) {
      case Load::Main:
        if (settings.VendorIndex == 8)
          LoadImotionFirmware(path, ctx);
        else
          LoadObjectFile(path, ctx);
        break;
      case Load::Eep: LoadEepDataFile(path, ctx); break;
      case Load::Boot: LoadBootData(path, ctx); break;
    }
  } catch (const FileError&) {
  } catch (const ConversionError&) {
  }
  return 0;
}
