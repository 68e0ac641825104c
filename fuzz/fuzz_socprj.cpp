// SoC project files: the whole file as the input.
#include "FuzzSupport.h"
#include "base/Files.h"
#include "base/InfoLog.h"
#include "base/ScriptedDialogService.h"
#include "image/ParseSocPRJ.h"

using namespace tarvel;
using namespace tarvel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryImage* image = new MemoryImage();
  const std::span<const uint8_t> file(data, size);
  const auto path = ScratchDir::get().write("in.socprj", file);

  ScriptedDialogService dialogs;
  InfoLog log([] { return std::string("00:00:00"); });
  image->FileByteSum = 0;
  uint32_t fileSum = 0;
  for (uint8_t b : file) fileSum += b;
  try {
    const SocProjectResult r = LoadSocProject(path, *image, dialogs, log);
    Check(r.Code == 0 || r.Code == kSocProjectWrongFormat, "an unknown result code");
    if (r.Code == 0) Check(dialogs.boxes().empty(), "a file read whole showed a box");
  } catch (const FileError&) {
    // The file ends early: every byte was read on the way.
    Check(image->FileByteSum == fileSum, "a truncated file's byte sum is not the sum of all its bytes");
  }
  return 0;
}
