// ELF files as main-flash files. Header: image offset u32; the rest is the file.
#include "FuzzSupport.h"
#include "base/Files.h"
#include "base/InfoLog.h"
#include "base/ScriptedDialogService.h"
#include "image/ParseELF.h"

using namespace tarvel;
using namespace tarvel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryImage* image = new MemoryImage();
  Input in(data, size);
  const uint32_t imageOffset = in.u32();
  const auto path = ScratchDir::get().write("in.elf", in.rest());

  ScriptedDialogService dialogs;
  InfoLog log([] { return std::string("00:00:00"); });
  image->LowestLoadedAddress = 0xFFFFFFFF;
  image->HighestLoadedAddress = 0;
  try {
    const ElfLoadResult r = LoadElfFile(path, *image, imageOffset, dialogs, log);
    Check(r.Code >= 0 && r.Code <= kElfBadProgramHeaderTable, "an unknown result code");
    Check((r.Code == 0) == dialogs.boxes().empty(), "a header error without its box, or a box without one");
    if (r.Code != 0)
      Check(image->LowestLoadedAddress == 0xFFFFFFFF && image->HighestLoadedAddress == 0,
            "a file with a header error changed the load statistics");
  } catch (const FileError&) {
    // A file that ends inside its program header table or a segment.
  }
  if (image->LowestLoadedAddress != 0xFFFFFFFF)
    Check(image->LowestLoadedAddress <= image->HighestLoadedAddress, "the lowest address lies above the highest");
  return 0;
}
