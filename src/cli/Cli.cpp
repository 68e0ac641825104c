#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <iomanip>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>

#include "base/Format.h"
#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "chips/ChipSettings.h"
#include "base/ScriptedDialogService.h"
#include "chips/ObjectLoad.h"
#include "image/MemoryImage.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

constexpr const char* kUsage =
    "usage: tarvelctl [--dir DIR] [--json] [--answer BUTTON] ACTION [ACTION ...]\n"
    "actions:\n"
    "  chips                 list the chip catalogue (--json: every entry with its derived settings)\n"
    "  chip NAME             the derived settings of the first catalogue entry of that name\n"
    "  chip V:LIST:I         the same for entry I of vendor V's list (LIST: KF8xxx or KF32xx for\n"
    "                        vendor 5, empty otherwise), e.g. chip 5:KF32xx:48, chip 8::1\n"
    "  select NAME|V:LIST:I  confirm a chip, as the chip dialog's OK\n"
    "  load FILE [--offset ADDR]   load an object file, clearing the images (--offset: BIN file address)\n"
    "  load-more FILE [--offset ADDR]  load another file into the current images\n"
    "  load-eep FILE         load an EEP data file\n"
    "  load-bsl FILE         load boot-loader data\n"
    "  save FILE             save the flash window: .bin, .hex, .s19 or .mot\n"
    "  save-eep FILE         save the EEP data as binary\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Action {
  std::vector<std::string> words;  // name and operands
  std::optional<std::string> offset;
};

struct Options {
  std::string dir;
  bool json = false;
  std::optional<Button> answer;
  std::vector<Action> actions;
};

// How many operands each action takes.
int OperandCount(std::string_view action) {
  static const std::pair<std::string_view, int> kActions[] = {
      {"chips", 0},     {"chip", 1},     {"select", 1}, {"load", 1},      {"load-more", 1},
      {"load-eep", 1},  {"load-bsl", 1}, {"save", 1},   {"save-eep", 1},
  };
  for (const auto& [name, n] : kActions)
    if (name == action) return n;
  return -1;
}

Options ParseArgs(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
      return args[++i];
    };
    if (a == "--json") {
      o.json = true;
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--answer") {
      const std::string& name = value();
      static const std::array<std::string_view, 5> kButtons = {"OK", "Abort", "Yes", "No", "Cancel"};
      if (std::find(kButtons.begin(), kButtons.end(), name) == kButtons.end())
        throw UsageError("--answer takes OK, Abort, Yes, No or Cancel, not \"" + name + "\"");
      o.answer = ButtonFromName(name);
    } else if (a == "--offset") {
      const std::string& v = value();
      if (o.actions.empty() || (o.actions.back().words[0] != "load" && o.actions.back().words[0] != "load-more"))
        throw UsageError("--offset belongs to a load or load-more action");
      o.actions.back().offset = v;
    } else if (a.starts_with("--")) {
      throw UsageError("unknown option " + a);
    } else {
      const int n = OperandCount(a);
      if (n < 0) throw UsageError("unknown action \"" + a + "\"");
      Action action{{a}, std::nullopt};
      for (int k = 0; k < n; ++k) {
        if (i + 1 >= args.size() || args[i + 1].starts_with("--"))
          throw UsageError("action " + a + " needs " + std::to_string(n) + " operand(s)");
        action.words.push_back(args[++i]);
      }
      o.actions.push_back(std::move(action));
    }
  }
  if (o.actions.empty()) throw UsageError("no action given");
  return o;
}

// A catalogue entry with the settings it derives on a freshly started program.
struct DerivedEntry {
  CatalogueEntry entry;
  ChipSettings settings;
  std::array<uint8_t, kOptionDataSize> optionData;
};

DerivedEntry Derive(const CatalogueEntry& e) {
  DerivedEntry d{e, StartupChipSettings(), {}};
  d.optionData.fill(0xFF);  // the option data of a freshly started program
  SelectChip(d.settings, d.optionData, e.chip);
  return d;
}

std::string LowerHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

nlohmann::ordered_json ToJson(const DerivedEntry& d) {
  nlohmann::ordered_json j;
  j["VendorIndex"] = d.entry.chip.VendorIndex;
  j["List"] = std::string(d.entry.list->subList);
  j["ListIndex"] = d.entry.chip.ListIndex;
  j["ChipName"] = d.entry.chip.ChipName;
  for (const SettingsField& f : SettingsFields(d.settings)) j[f.name] = f.value;
  j["OptionData64"] = LowerHex(std::span<const uint8_t>(d.optionData.data(), 64));
  j["SizeText"] = FlashSizeText(d.settings);
  return j;
}

CatalogueEntry ResolveChip(const std::string& spec) {
  // V:LIST:I names one entry; anything else is a chip name.
  const size_t c1 = spec.find(':');
  if (c1 == std::string::npos) {
    auto e = FindChipByName(spec);
    if (!e) throw UsageError("\"" + spec + "\" is not in the chip catalogue (see: tarvelctl chips)");
    return *e;
  }
  const size_t c2 = spec.find(':', c1 + 1);
  if (c2 == std::string::npos) throw UsageError("chip \"" + spec + "\": expected V:LIST:I");
  auto number = [&](std::string_view text, const char* what) {
    int v = -1;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || text.empty())
      throw UsageError("chip \"" + spec + "\": " + what + " is not a number");
    return v;
  };
  const std::string_view sv(spec);
  const int vendor = number(sv.substr(0, c1), "the vendor");
  const std::string_view list = sv.substr(c1 + 1, c2 - c1 - 1);
  const int index = number(sv.substr(c2 + 1), "the list index");
  if (vendor < 0 || vendor >= kVendorCount)
    throw UsageError("chip \"" + spec + "\": vendor must be 0.." + std::to_string(kVendorCount - 1));
  auto e = FindChipByIndex(static_cast<uint8_t>(vendor), list, index);
  if (!e) {
    if (vendor == 5 && list != "KF8xxx" && list != "KF32xx")
      throw UsageError("chip \"" + spec + "\": vendor 5 has the lists KF8xxx and KF32xx");
    if (vendor != 5 && !list.empty())
      throw UsageError("chip \"" + spec + "\": only vendor 5 has named lists; leave LIST empty");
    throw UsageError("chip \"" + spec + "\": no entry " + std::to_string(index) + " in that list");
  }
  return *e;
}

void PrintCatalogue(const Options& o, std::ostream& out) {
  const std::vector<CatalogueEntry> entries = AllCatalogueEntries();
  if (o.json) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const CatalogueEntry& e : entries) all.push_back(ToJson(Derive(e)));
    out << all.dump(2) << '\n';
    return;
  }
  out << "V  List   Idx  Chip              Flash KB  EEP bytes  Flash window\n";
  for (const CatalogueEntry& e : entries) {
    const DerivedEntry d = Derive(e);
    out << Format("%-2d %-6s %3d  %-16s  %8d  %9d  0x%0.8x-0x%0.8x\n", e.chip.VendorIndex,
                  e.list->family, e.chip.ListIndex, e.chip.ChipName, d.settings.FlashSizeKB,
                  d.settings.EepSize, d.settings.FlashStart, d.settings.FlashEnd);
  }
  out << entries.size() << " entries\n";
}

void PrintChip(const Options& o, const std::string& spec, std::ostream& out) {
  const DerivedEntry d = Derive(ResolveChip(spec));
  if (o.json) {
    out << ToJson(d).dump(2) << '\n';
    return;
  }
  out << Format("%s: vendor %d (%s), %s list, entry %d\n", d.entry.chip.ChipName, d.entry.chip.VendorIndex,
                VendorLabel(d.entry.chip.VendorIndex), d.entry.list->family, d.entry.chip.ListIndex);
  for (const SettingsField& f : SettingsFields(d.settings))
    out << Format("  %-17s %10d  0x%0.8x\n", f.name, f.value, f.value);
  out << Format("  %-17s %s\n", "OptionData[0..63]",
                LowerHex(std::span<const uint8_t>(d.optionData.data(), 64)));
  out << Format("  %-17s %s\n", "SizeText", FlashSizeText(d.settings));
}


// The dialog service of a run without a window: boxes go to stderr as "[box:KIND] text" and are answered
// with the default button or with --answer; file dialogs and modal dialogs are answered by the action.
class ConsoleDialogService : public ScriptedDialogService {
 public:
  ConsoleDialogService(std::ostream& err, std::optional<Button> answer) : answer_(answer) {
    onBox = [this, &err](const MessageBox& box, Button) {
      err << "[box:" << BoxKindName(box.kind) << "] " << box.text << '\n';
      if (box.kind == BoxKind::Error) errorShown = true;
    };
  }
  Button messageBox(const MessageBox& box) override {
    if (answer_) answerBox(*answer_);
    return ScriptedDialogService::messageBox(box);
  }
  bool errorShown = false;

 private:
  std::optional<Button> answer_;
};

int SaveFilterIndex(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".BIN") return 1;
  if (ext == ".HEX") return 2;
  if (ext == ".S19" || ext == ".MOT") return 3;
  throw UsageError("save " + path + ": the extension must be .bin, .hex, .s19 or .mot");
}

void RunWindowAction(const Action& action, TGenMFrmZPN& window, ConsoleDialogService& dialogs) {
  const std::string& name = action.words[0];
  const std::string operand = action.words.size() > 1 ? action.words[1] : std::string();
  if (name == "select") {
    window.ConfirmChip(ResolveChip(operand).chip);
  } else if (name == "load" || name == "load-more") {
    dialogs.answerFile(operand);
    if (action.offset) dialogs.answerModal({{{"EditOfsAddr", *action.offset}}, Button::OK});
    if (name == "load")
      window.SpdBtnOpenClick();
    else
      window.SpdBtnLoadMoreClick();
  } else if (name == "load-eep") {
    dialogs.answerFile(operand);
    window.LoadEepDataFile1Click();
  } else if (name == "load-bsl") {
    dialogs.answerFile(operand);
    window.BitBtnLdBSLClick();
  } else if (name == "save") {
    const int filter = SaveFilterIndex(operand);
    if (!window.ObjectFileLoaded) throw UsageError("save: no object file has been loaded");
    dialogs.answerFile(operand, filter);
    window.SaveFile1Click();
  } else if (name == "save-eep") {
    dialogs.answerFile(operand);
    window.SaveEepDatatoFile1Click();
  }
  // A command that refused to run (no chip selected, ...) never asked for its file: it did not happen.
  if (dialogs.pendingFileAnswers() > 0) {
    dialogs.clearAnswers();
    throw UsageError(name + " " + operand + ": the command did not run (see the message above)");
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return kExitOk;
  }
  Options o;
  try {
    o = ParseArgs(args);
  } catch (const UsageError& e) {
    err << "tarvelctl: " << e.what() << '\n' << kUsage;
    return kExitUsage;
  }
  ConsoleDialogService dialogs(err, o.answer);
  TGenMFrmZPN window(dialogs);
  window.Log.setListener([&out](const std::string& line) { out << line << '\n'; });
  for (const Action& action : o.actions) {
    try {
      if (action.words[0] == "chips")
        PrintCatalogue(o, out);
      else if (action.words[0] == "chip")
        PrintChip(o, action.words[1], out);
      else
        RunWindowAction(action, window, dialogs);
    } catch (const UsageError& e) {
      err << "tarvelctl: " << e.what() << '\n';
      return kExitUsage;
    } catch (const std::exception& e) {
      // What the window shows in its default error box.
      dialogs.error(e.what());
      return kExitUsage;
    }
  }
  return dialogs.errorShown ? kExitUsage : kExitOk;
}

}  // namespace tarvel
