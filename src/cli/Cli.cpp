#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string_view>

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "base/Files.h"
#include "base/LoopWait.h"
#include "base/PollEventLoop.h"
#include "base/Format.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "chips/ChipSettings.h"
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
    "  save-eep FILE         save the EEP data as binary\n"
    "  set CONTROL=VALUE     set a main-window control as a user would and run its handler\n"
    "  state [CONTROL ...]   control states (value, caption, visible, enabled) as JSON\n"
    "  view flash|eep|option [FIRST[:COUNT]]   rows of a data view as the grid shows them\n"
    "  show-option-data      the \"Show Option Data\" menu command\n"
    "  find                  search the units (as \"查找并连接设备\") and wait for their answers\n"
    "  download, auto, blank-check, erase, program, verify, write-option, write-eep\n"
    "                        run the command on every connected unit and wait until all are idle\n"
    "  read-flash, read-eep, read-option, read-checksum, read-info, read-range ADDR LEN\n"
    "                        the Read menu, on unit 1\n"
    "  offline               hand the units over to off-line programming\n"
    "  project-save FILE, project-load FILE   save or load the whole set-up (.pmw)\n"
    "  set-option-bytes CONTROL=VALUE ...   the chip family's option dialog: set its controls (item\n"
    "                        index, or text for passwords) and press OK\n"
    "  upgrade               \"Do Firmware Upgrade\" on every unit found, then wait\n"
    "  unattended PROJECT [OFF]   the program's command-line mode: find the units, load the project,\n"
    "                        download it into every unit (with OFF: leave them in host mode, write\n"
    "                        ResDW.Txt and end); must be the only action\n"
    "  wait SECONDS          keep the loop running (units programming on their own report meanwhile)\n"
    "options:\n"
    "  --dir DIR             program directory (settings, log and result files); default: the\n"
    "                        directory of tarvelctl\n"
    "  --json                listing actions print JSON (panel lines then go to stderr)\n"
    "  --answer BUTTON       answer every message box with OK, Abort, Yes, No or Cancel\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Action {
  std::vector<std::string> words;  // name and operands
  std::optional<std::string> offset;
};

struct Options {
  std::optional<std::string> dir;
  bool json = false;
  std::optional<Button> answer;
  std::vector<Action> actions;
};

// How many operands each action takes; -1 for a variable count (the operands that follow, up to the
// next action name or option).
int OperandCount(std::string_view action) {
  static const std::pair<std::string_view, int> kActions[] = {
      {"chips", 0},    {"chip", 1},     {"select", 1}, {"load", 1},  {"load-more", 1},        {"load-eep", 1},
      {"load-bsl", 1}, {"save", 1},     {"save-eep", 1}, {"set", 1}, {"state", -1}, {"view", -1},
      {"show-option-data", 0}, {"find", 0}, {"download", 0}, {"auto", 0}, {"blank-check", 0}, {"erase", 0},
      {"program", 0}, {"verify", 0}, {"write-option", 0}, {"write-eep", 0}, {"offline", 0}, {"wait", 1},
      {"read-flash", 0}, {"read-eep", 0}, {"read-option", 0}, {"read-checksum", 0}, {"read-info", 0},
      {"read-range", 2}, {"project-save", 1}, {"project-load", 1}, {"unattended", -1},
      {"set-option-bytes", -1}, {"upgrade", 0},
  };
  for (const auto& [name, n] : kActions)
    if (name == action) return n;
  return -2;
}

bool IsActionName(std::string_view word) { return OperandCount(word) != -2; }

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
      if (n == -2) throw UsageError("unknown action \"" + a + "\"");
      Action action{{a}, std::nullopt};
      if (n >= 0) {
        for (int k = 0; k < n; ++k) {
          if (i + 1 >= args.size() || args[i + 1].starts_with("--"))
            throw UsageError("action " + a + " needs " + std::to_string(n) + " operand(s)");
          action.words.push_back(args[++i]);
        }
      } else {
        while (i + 1 < args.size() && !args[i + 1].starts_with("--") && !IsActionName(args[i + 1]))
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
    out << Format("%-2d %-6s %3d  %-16s  %8d  %9d  0x%0.8x-0x%0.8x\n", e.chip.VendorIndex, e.list->family,
                  e.chip.ListIndex, e.chip.ChipName, d.settings.FlashSizeKB, d.settings.EepSize, d.settings.FlashStart,
                  d.settings.FlashEnd);
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
  out << Format("  %-17s %s\n", "OptionData[0..63]", LowerHex(std::span<const uint8_t>(d.optionData.data(), 64)));
  out << Format("  %-17s %s\n", "SizeText", FlashSizeText(d.settings));
}

// ---- the window's state -------------------------------------------------------------------------------

std::string_view KindName(ControlKind k) {
  switch (k) {
    case ControlKind::Button: return "button";
    case ControlKind::CheckBox: return "checkbox";
    case ControlKind::RadioGroup: return "radiogroup";
    case ControlKind::SpinEdit: return "spinedit";
    case ControlKind::Edit: return "edit";
    case ControlKind::Label: return "label";
    case ControlKind::MenuItem: return "menuitem";
    case ControlKind::Page: return "page";
    case ControlKind::Panel: return "panel";
    case ControlKind::Gauge: return "gauge";
    case ControlKind::ComboBox: return "combobox";
    case ControlKind::ListBox: return "listbox";
  }
  return "control";
}

nlohmann::ordered_json ControlJson(Control& c) {
  nlohmann::ordered_json j;
  j["kind"] = std::string(KindName(c.kind));
  if (auto* b = dynamic_cast<CheckBox*>(&c)) j["value"] = b->checked;
  if (auto* r = dynamic_cast<RadioGroup*>(&c)) {
    j["value"] = r->itemIndex;
    j["items"] = r->items;
  }
  if (auto* s = dynamic_cast<SpinEdit*>(&c)) {
    j["value"] = s->value;
    j["min"] = s->minValue;
    j["max"] = s->maxValue;
  }
  if (auto* e = dynamic_cast<EditControl*>(&c)) j["value"] = e->text;
  if (auto* l = dynamic_cast<LabelControl*>(&c)) j["value"] = l->text;
  if (auto* g = dynamic_cast<PageGroup*>(&c)) j["value"] = g->activePage;
  if (auto* cb = dynamic_cast<ComboBoxControl*>(&c)) {
    j["value"] = cb->text;
    j["items"] = cb->items;
  }
  if (auto* g = dynamic_cast<GaugeControl*>(&c)) {
    j["value"] = g->progress;
    j["max"] = g->maxValue;
    j["top"] = g->top;
  }
  if (auto* m = dynamic_cast<MenuItem*>(&c); m && !m->shortcut.empty()) j["shortcut"] = m->shortcut;
  j["caption"] = c.caption;
  if (!c.hint.empty()) j["hint"] = c.hint;
  j["visible"] = c.visible;
  j["enabled"] = c.enabled;
  j["usable"] = Usable(c);
  return j;
}

void PrintState(TGenMFrmZPN& w, const std::vector<std::string>& names, std::ostream& out) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  if (names.empty()) {
    for (Control* c : w.Controls()) j[c->name] = ControlJson(*c);
    nlohmann::ordered_json panels = nlohmann::ordered_json::array();
    for (const StatusPanel& p : w.StatusBar1) panels.push_back(p.text);
    j["StatusBar1"] = panels;
  }
  for (const std::string& n : names) {
    if (n == "StatusBar1") {
      nlohmann::ordered_json panels = nlohmann::ordered_json::array();
      for (const StatusPanel& p : w.StatusBar1) panels.push_back(p.text);
      j[n] = panels;
      continue;
    }
    Control* c = w.FindControl(n);
    if (!c) throw UsageError("state: no control named " + n);
    j[n] = ControlJson(*c);
  }
  out << j.dump(2) << '\n';
}

void PrintView(const Options& o, TGenMFrmZPN& w, const std::vector<std::string>& operands, std::ostream& out) {
  if (operands.empty() || operands.size() > 2) throw UsageError("view takes flash, eep or option and an optional FIRST[:COUNT]");
  const DataView* view = operands[0] == "flash"    ? &w.HexViewer
                         : operands[0] == "eep"    ? &w.EEPDataView
                         : operands[0] == "option" ? &w.CfgDataView
                                                   : nullptr;
  if (!view) throw UsageError("view: \"" + operands[0] + "\" is not flash, eep or option");
  int first = 0, count = view->rowCount();
  if (operands.size() == 2) {
    const std::string& r = operands[1];
    const size_t colon = r.find(':');
    auto number = [&](std::string_view t) {
      int v = -1;
      auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
      if (ec != std::errc() || p != t.data() + t.size() || v < 0) throw UsageError("view: bad row range \"" + r + "\"");
      return v;
    };
    first = number(std::string_view(r).substr(0, colon));
    count = colon == std::string::npos ? view->rowCount() - first : number(std::string_view(r).substr(colon + 1));
  }
  const int last = std::min(view->rowCount(), first + std::max(count, 0));
  if (o.json) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (int r = first; r < last; ++r) {
      const ViewRow row = view->Row(r);
      rows.push_back(std::vector<std::string>(row.begin(), row.end()));
    }
    out << rows.dump(2) << '\n';
    return;
  }
  for (int r = first; r < last; ++r) {
    const ViewRow row = view->Row(r);
    std::string line = row[0];
    for (int i = 1; i <= 16; ++i) line += " " + (row[static_cast<size_t>(i)].empty() ? std::string("  ") : row[static_cast<size_t>(i)]);
    line += "  " + row[17];
    out << line << '\n';
  }
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

// Keeps the loop running until `done` holds or `limit` passes, with one progress line per unit on a
// terminal meanwhile.
// Set by SIGTERM and SIGINT: the run ends as the window closes (ports first, then the log).
std::atomic<int> gStopSignal{0};

void OnStopSignal(int signal) { gStopSignal = signal; }

class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

bool RunLoopUntil(EventLoop& loop, TGenMFrmZPN& w, std::function<bool()> done, std::chrono::milliseconds limit,
                  std::ostream& err, bool terminal) {
  int checks = 0;
  const bool finished = RunLoopUntil(loop, [&] { return gStopSignal != 0 || done(); }, limit, [&] {
    if (!terminal || ++checks % 25 != 0) return;
    std::string line = "\r";
    for (int i = 0; i < w.Ops.unitCount && i < kChannelCount; ++i) {
      const GaugeState& g = w.Gauges[static_cast<size_t>(i)];
      const int64_t pct = g.maxValue > 0 ? std::min<int64_t>(100, g.progress * 100 / g.maxValue) : 0;
      line += Format("C%d %3d%%%s  ", i + 1, pct, g.colour == GaugeColour::Red ? "!" : " ");
    }
    err << line << std::flush;
  });
  if (terminal) err << "\n";
  if (gStopSignal != 0) throw Interrupted();
  return finished;
}

int SaveFilterIndex(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".BIN") return 1;
  if (ext == ".HEX") return 2;
  if (ext == ".S19" || ext == ".MOT") return 3;
  throw UsageError("save " + path + ": the extension must be .bin, .hex, .s19 or .mot");
}

struct RunContext {
  EventLoop& loop;
  std::ostream& err;
  bool terminal;
  ConsoleDialogService& dialogs;
  bool unitFailure = false;
};

// The units' part of a command: waits until every unit it started is idle again, and notes failures.
void RunUnits(TGenMFrmZPN& w, RunContext& run, const std::function<bool()>& start) {
  if (!start()) throw UsageError("the command did not run (see the message above)");
  // Error boxes while the units work are their results (a verify difference, ...): a unit failure, told
  // by its red gauge, not an error of the command line.
  const bool errorBefore = run.dialogs.errorShown;
  RunLoopUntil(run.loop, w, [&] { return !w.Ops.AnyBusy(); }, std::chrono::hours(24), run.err, run.terminal);
  run.dialogs.errorShown = errorBefore;
  // A red gauge after the command: that unit failed.
  for (int i = 0; i < w.Ops.unitCount && i < kChannelCount; ++i)
    if (w.Gauges[static_cast<size_t>(i)].colour == GaugeColour::Red) run.unitFailure = true;
}

void RunWindowAction(const Options& o, const Action& action, TGenMFrmZPN& window, ConsoleDialogService& dialogs,
                     std::ostream& out, RunContext& run) {
  const std::string& name = action.words[0];
  const std::string operand = action.words.size() > 1 ? action.words[1] : std::string();
  if (name == "select") {
    const CatalogueEntry e = ResolveChip(operand);
    // The chip dialog, with the selector set to the entry's vendor and list, as a script would.
    ScriptedDialogService::ModalAnswer answer;
    answer.controls = {{"RadioGrpSelMF", std::to_string(e.chip.VendorIndex)},
                       {"RadioGrpKFX", e.list->subList == "KF32xx" ? "1" : "0"},
                       {"ListBoxCP", std::to_string(e.chip.ListIndex)}};
    dialogs.answerModal(answer);
    window.DevButtonClick();
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
  } else if (name == "set") {
    const size_t eq = operand.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("set takes CONTROL=VALUE, not \"" + operand + "\"");
    try {
      window.SetControl(operand.substr(0, eq), operand.substr(eq + 1));
    } catch (const std::invalid_argument& e) {
      throw UsageError(std::string("set: ") + e.what());
    }
  } else if (name == "state") {
    PrintState(window, std::vector<std::string>(action.words.begin() + 1, action.words.end()), out);
  } else if (name == "view") {
    PrintView(o, window, std::vector<std::string>(action.words.begin() + 1, action.words.end()), out);
  } else if (name == "show-option-data") {
    window.ShowOptionData1Click();
  } else if (name == "find") {
    window.Loop.setTimerEnabled(window.Timer2, false);
    window.SearchPending = false;
    window.BitBtnFindDevClick();
    // The requests go out over a few hundred milliseconds; units answer within a second.
    RunLoopUntil(run.loop, window, [&] { return !window.Ops.searching() && window.Ops.foundCount >= window.Ops.unitCount; },
                 std::chrono::milliseconds(300 + 100 * window.Ops.unitCount + 1500), run.err, false);
    if (window.Ops.foundCount < window.Ops.unitCount) run.unitFailure = true;
  } else if (name == "set-option-bytes") {
    ScriptedDialogService::ModalAnswer answer;
    for (size_t i = 1; i < action.words.size(); ++i) {
      const std::string& w = action.words[i];
      const size_t eq = w.find('=');
      if (eq == std::string::npos || eq == 0) throw UsageError("set-option-bytes takes CONTROL=VALUE, not \"" + w + "\"");
      answer.controls.emplace_back(w.substr(0, eq), w.substr(eq + 1));
    }
    if (!window.Chip.ChipSelected) throw UsageError("set-option-bytes: no chip selected");
    dialogs.answerModal(answer);
    try {
      window.BtnOptionCfgClick();
    } catch (const std::invalid_argument& e) {
      dialogs.clearAnswers();
      throw UsageError(std::string("set-option-bytes: ") + e.what());
    }
    if (dialogs.pendingModalAnswers() > 0) {
      dialogs.clearAnswers();
      throw UsageError("set-option-bytes: this chip family has no option-byte dialog");
    }
  } else if (name == "upgrade") {
    RunUnits(window, run, [&] {
      window.DoFirmwareUpgrade1Click();
      return true;
    });
  } else if (name == "project-save") {
    dialogs.answerFile(operand);
    window.SavetoProjectFile1Click();
  } else if (name == "project-load") {
    dialogs.answerFile(operand);
    window.LoadFromProjectFile1Click();
  } else if (name == "unattended") {
    // Started like the window with a project on its command line: the 100 ms timer finds the units,
    // loads the project and downloads it. With OFF the window closes itself when all are done.
    RunLoopUntil(run.loop, window,
                 [&] {
                   // Closed by itself (OFF, all downloaded), or the search is over and no unit is busy:
                   // the downloads ended, or the project could not be loaded.
                   return window.Closed ||
                          (!window.Loop.timerEnabled(window.Timer2) && !window.Ops.AnyBusy() && !window.SearchPending);
                 },
                 std::chrono::seconds(120), run.err, run.terminal);
    if (window.Ops.downloadCount == 0 || window.Ops.downloadCount < window.Ops.foundCount) run.unitFailure = true;
  } else if (name == "offline") {
    window.StartOfflineProgrm1Click();
    RunLoopUntil(run.loop, window, [] { return false; }, std::chrono::milliseconds(100), run.err, false);
  } else if (name == "wait") {
    double seconds = 0;
    try {
      seconds = std::stod(operand);
    } catch (const std::exception&) {
      throw UsageError("wait takes a number of seconds, not \"" + operand + "\"");
    }
    if (seconds < 0) throw UsageError("wait takes a number of seconds, not \"" + operand + "\"");
    RunLoopUntil(run.loop, window, [] { return false; }, std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000)),
                 run.err, run.terminal);
  } else {
    static const std::pair<std::string_view, UnitCommand> kUnitActions[] = {
        {"download", UnitCommand::Download}, {"auto", UnitCommand::AutoProgram},   {"blank-check", UnitCommand::BlankCheck},
        {"erase", UnitCommand::Erase},       {"program", UnitCommand::Program},    {"verify", UnitCommand::Verify},
        {"write-option", UnitCommand::WriteOption}, {"write-eep", UnitCommand::WriteEep},
    };
    for (const auto& [actionName, unitCommand] : kUnitActions) {
      // A named copy: lambdas cannot capture structured bindings with every compiler we build with.
      const UnitCommand command = unitCommand;
      if (name == actionName) RunUnits(window, run, [&] { return window.RunUnitCommand(command); });
    }
    static const std::pair<std::string_view, ChipRead> kReadActions[] = {
        {"read-flash", ChipRead::MainMemory},  {"read-eep", ChipRead::EepMemory},
        {"read-option", ChipRead::OptionSetting}, {"read-checksum", ChipRead::CheckSum},
        {"read-info", ChipRead::ChipInformation}, {"read-range", ChipRead::SpecificAddress},
    };
    for (const auto& [actionName, readCommand] : kReadActions) {
      if (name != actionName) continue;
      const ChipRead command = readCommand;
      if (command == ChipRead::SpecificAddress)
        dialogs.answerModal({{{"EditAddr", action.words[1]}, {"SpinEditRD", action.words[2]}}, Button::OK});
      RunUnits(window, run, [&] { return window.RunReadCommand(command); });
      if (dialogs.pendingModalAnswers() > 0) dialogs.clearAnswers();
    }
  }
  // A command that refused to run (no chip selected, ...) never asked for its file: it did not happen.
  if (dialogs.pendingFileAnswers() > 0) {
    dialogs.clearAnswers();
    throw UsageError(name + " " + operand + ": the command did not run (see the message above)");
  }
}

// One line per unit that took part: its last result and its counts.
void PrintUnitSummary(TGenMFrmZPN& w, std::ostream& err) {
  bool any = false;
  for (int i = 0; i < w.Ops.unitCount && i < kChannelCount; ++i) any = any || w.Ops.channel(i).connected;
  if (!any) return;
  err << "units:\n";
  for (int i = 0; i < w.Ops.unitCount && i < kChannelCount; ++i) {
    const ProgrammerChannel& c = w.Ops.channel(i);
    const GaugeState& g = w.Gauges[static_cast<size_t>(i)];
    const bool red = g.colour == GaugeColour::Red;
    const char* result = !c.connected ? (red ? "failed, gone" : "not connected") : c.busy ? "busy" : red ? "failed" : "ok";
    err << Format("  C%d %-14s OK=%d NG=%d  %s\n", i + 1, result, c.okCount, c.ngCount, c.port->CommName());
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
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
  const std::filesystem::path dir = o.dir ? std::filesystem::path(*o.dir) : ExecutableDirectory();
  if (!std::filesystem::is_directory(dir)) {
    err << "tarvelctl: --dir " << dir.string() << " is not a directory\n";
    return kExitUsage;
  }
  gStopSignal = 0;
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  struct sigaction oldTerm {}, oldInt {};
  sigaction(SIGTERM, &stop, &oldTerm);
  sigaction(SIGINT, &stop, &oldInt);
  ConsoleDialogService dialogs(err, o.answer);
  PollEventLoop loop;
  TGenMFrmZPN window(loop, dialogs, dir);
  RunContext run{loop, err, ::isatty(STDERR_FILENO) != 0, dialogs};
  // With --json, stdout carries only JSON; the panel's lines go to stderr.
  std::ostream& panel = o.json ? err : out;
  window.Log.setListener([&panel](const std::string& line) { panel << line << '\n'; });
  int status = kExitOk;
  try {
    // "unattended" starts the window with its project on the command line.
    std::vector<std::string> commandLine;
    for (const Action& action : o.actions) {
      if (action.words[0] != "unattended") continue;
      if (o.actions.size() != 1) throw UsageError("unattended must be the only action");
      if (action.words.size() < 2 || action.words.size() > 3) throw UsageError("unattended takes PROJECT [OFF]");
      commandLine.assign(action.words.begin() + 1, action.words.end());
    }
    window.FormShow(commandLine);
    for (const Action& action : o.actions) {
      if (gStopSignal != 0) throw Interrupted();
      if (action.words[0] == "chips")
        PrintCatalogue(o, out);
      else if (action.words[0] == "chip")
        PrintChip(o, action.words[1], out);
      else
        RunWindowAction(o, action, window, dialogs, out, run);
    }
  } catch (const UsageError& e) {
    err << "tarvelctl: " << e.what() << '\n';
    status = kExitUsage;
  } catch (const Interrupted&) {
    err << "tarvelctl: stopped by signal " << gStopSignal << '\n';
    status = 128 + gStopSignal;
  } catch (const std::exception& e) {
    // What the window shows in its default error box.
    dialogs.error(e.what());
    status = kExitUsage;
  }
  // Closing the window model as the window closes: the log file is written as configured.
  window.Log.setListener(nullptr);
  window.Close();
  if (!window.LogCfgForm.lastWriteError.empty()) {
    err << "tarvelctl: the log was not written: " << window.LogCfgForm.lastWriteError << '\n';
    if (status == kExitOk) status = kExitUsage;
  }
  if (status == kExitOk && dialogs.errorShown) status = kExitUsage;
  if (status == kExitOk && run.unitFailure) status = kExitUnitFailure;
  PrintUnitSummary(window, err);
  sigaction(SIGTERM, &oldTerm, nullptr);
  sigaction(SIGINT, &oldInt, nullptr);
  return status;
}

}  // namespace tarvel
