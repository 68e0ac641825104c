// The two settings files of the program directory. Header: which u8 (even: ConfigKqn.ini, the port list;
// odd: GenLogX.cfg, the log settings); the rest is the file.
#include "FuzzSupport.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/ScriptedDialogService.h"
#include "link/PortDiscovery.h"
#include "project/ConfigLog.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

void Connection(std::string_view text) {
  ScratchDir& dir = ScratchDir::get();
  dir.write(kConnectionSettingsFile, text);
  PortSearchPlaces places;
  places.programDir = dir.path();
  places.sysfsRoot = dir.path() / "no-sysfs";
  places.devRoot = "/dev";
  try {
    const PortSearchResult r = SearchPorts(places);
    Check(r.unitCount <= kMaxUnits && r.unitCount == std::min<size_t>(r.ports.size(), kMaxUnits),
          "the unit count is not the number of ports listed, at most ten");
    Check(r.shownText == (r.ports.empty() ? std::string(kNoPortText) : r.ports.back()), "the shown port text");
    for (const auto& name : r.commNames)
      if (name) Check(!name->empty(), "an empty port name for a channel");
  } catch (const ConversionError&) {
    // TOTDEV is not an integer: the search is abandoned.
  }
}

struct LogSettings {
  bool on;
  int creation, mode;
  std::string name;
  bool operator==(const LogSettings&) const = default;
};

LogSettings Of(const TLogCfgForm& f) {
  // The mode and the name are stored only for a customer-named log.
  const bool customer = f.RadioGrpCreat.itemIndex == 1;
  return {f.CheckBoxLog.checked, f.RadioGrpCreat.itemIndex, customer ? f.RadioGrpMod.itemIndex : 0,
          customer ? f.EditLogName.text : std::string()};
}

void LogConfig(std::string_view text) {
  ScratchDir& dir = ScratchDir::get();
  dir.write(kLogSettingsFile, text);
  ScriptedDialogService dialogs;
  TLogCfgForm read(dialogs, dir.path());
  read.ReadLogSettings();
  // What the dialog writes back when it closes must read back the same.
  read.WriteLogSettings();
  TLogCfgForm again(dialogs, dir.path());
  again.ReadLogSettings();
  Check(Of(read) == Of(again), "the log settings written do not read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  if (in.u8() % 2 == 0)
    Connection(in.restText());
  else
    LogConfig(in.restText());
  return 0;
}
