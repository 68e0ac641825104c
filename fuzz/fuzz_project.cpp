// Our own project files (.pmw). Header: mode u8; the rest is the file.
//   mode bit 0: the check value is set to the sum the file's layout asks for, so that mutations reach the
//               code behind the check (the file is read as the program reads it either way);
//   mode bit 1: a file that reads back without error is loaded by the main window, started afresh, as
//               the project command does, and its views are shown.
#include "FuzzSupport.h"
#include "FuzzWindow.h"
#include "base/Files.h"
#include "project/HdlPrjRdWtRT.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

// Offsets of the file layout (the writer in HdlPrjRdWtRT.cpp is the reference).
constexpr size_t kFlashCountAt = 258;
constexpr size_t kFlashBlockAt = 3434;  // the MFM tag's end: the flash block's first key
constexpr size_t kTagSize = 3;

uint32_t Get32(const std::vector<uint8_t>& f, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(f[at + i]) << (8 * i);
  return v;
}

uint64_t Scrambled(uint64_t n) { return 1 + n + n / 1024; }

// The offset of the check value, when the file is long enough to hold it.
std::optional<size_t> CheckValueOffset(const std::vector<uint8_t>& f) {
  if (f.size() < kFlashBlockAt) return std::nullopt;
  const uint64_t eepCountAt = kFlashBlockAt + Scrambled(Get32(f, kFlashCountAt)) + kTagSize;
  if (eepCountAt + 2 > f.size()) return std::nullopt;
  const uint16_t eepCount = static_cast<uint16_t>(f[eepCountAt] | f[eepCountAt + 1] << 8);
  const uint64_t at = eepCountAt + 2 + (eepCount > 0 ? Scrambled(eepCount) : 0);
  if (at + 4 > f.size()) return std::nullopt;
  return static_cast<size_t>(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.u8();
  const std::span<const uint8_t> rest = in.rest();
  std::vector<uint8_t> file(rest.begin(), rest.end());
  if (mode & 1) {
    if (const auto at = CheckValueOffset(file)) {
      uint32_t sum = 0;
      for (size_t i = 0; i < *at; ++i) sum += file[i];
      for (size_t i = 0; i < 4; ++i) file[*at + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
  }

  int result = -1;
  try {
    const ProjectLoad load = ParseProject(file, "fuzz.pmw");
    result = load.Result;
    Check(load.Data.Flash.size() <= kFlashImageSize && load.Data.Eep.size() <= 0xFFFF,
          "a project load holds more data than the images take");
  } catch (const FileError&) {
    return 0;  // the file ends early
  }
  if (result != kProjectOk || !(mode & 2)) return 0;

  const auto path = ScratchDir::get().write("in.pmw", file);
  Window& win = Window::shared();
  win.reset();
  Check(win.w.LoadProjectFile(path) == kProjectOk, "the window failed a file the reader accepted");
  win.showViews();
  return 0;
}
