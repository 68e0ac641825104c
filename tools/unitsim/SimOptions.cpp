#include "unitsim/SimOptions.h"

#include <cmath>
#include <functional>
#include <string_view>

#include "base/Errors.h"
#include "base/Numbers.h"
#include "link/LinkPacket.h"

namespace tarvel::unitsim {

const char* const kUsageText =
    "usage: tarvel-unitsim --units N --dir DIR [options]\n"
    "  --model [K:]TEXT          model name (Tarvel200IMOT; Tarvel200XXX is the generic model)\n"
    "  --version [K:]TEXT        firmware version token (V1.10)\n"
    "  --upgrade-to [K:]TEXT     version reported after a firmware upgrade (V1.10)\n"
    "  --insert-every SECONDS    chip insertion interval in standalone mode (1)\n"
    "  --cycles K                insertions per standalone session, 0 for no limit (0)\n"
    "  --fail-cycle [U:]C:CODE   standalone cycle C ends with failure CODE (on unit U only)\n"
    "  --silent K                unit K never answers\n"
    "  --silent-after K:N        unit K answers N requests, then nothing\n"
    "  --bad-check K             unit K's replies carry a wrong check word\n"
    "  --garbage K               noise between unit K's frames, frames split at random points\n"
    "  --status K:CMD[/SUB]:CODE unit K answers command CMD (sub-command SUB) with status CODE\n"
    "  --protected K             unit K's chips arrive read-protected\n"
    "  --not-blank K             unit K's chips arrive with data in the flash\n"
    "  --verify-corrupt K:ADDR   the programmed byte at chip address ADDR of unit K reads back wrong\n"
    "  --hangup-after K:N        unit K answers N requests, then is unplugged\n"
    "  --wire-speed              every byte costs 11 us in either direction (1,000,000 baud, 8N2)\n"
    "  --log FILE                one JSON line per request received\n"
    "  --stats FILE              at exit, the bytes each unit received and sent, as JSON\n";

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

uint32_t Number(std::string_view text, const std::string& option, uint32_t max = 0xFFFFFFFFu) {
  int64_t v = 0;
  try {
    v = StrToInt(text);
  } catch (const ConversionError&) {
    throw UsageError(option + ": '" + std::string(text) + "' is not a number");
  }
  if (v < 0 || static_cast<uint64_t>(v) > max) {
    throw UsageError(option + ": " + std::string(text) + " is out of range");
  }
  return static_cast<uint32_t>(v);
}

struct NamedCommand {
  const char* name;
  uint8_t code;
};
constexpr NamedCommand kCommandNames[] = {
    {"DownloadConfig", LinkCommand::DownloadConfig},
    {"DownloadFlashBlock", LinkCommand::DownloadFlashBlock},
    {"DownloadEepBlock", LinkCommand::DownloadEepBlock},
    {"ChipCommand", LinkCommand::ChipCommand},
    {"ProgramFlashBlock", LinkCommand::ProgramFlashBlock},
    {"ProgramEepBlock", LinkCommand::ProgramEepBlock},
    {"ReadFlashBlock", LinkCommand::ReadFlashBlock},
    {"ReadEepBlock", LinkCommand::ReadEepBlock},
    {"RestartUnit", LinkCommand::RestartUnit},
    {"FirmwareBlock", LinkCommand::FirmwareBlock},
    {"FirmwareDone", LinkCommand::FirmwareDone},
};

uint8_t CommandCode(std::string_view text, const std::string& option) {
  if (const auto code = CommandByName(text)) return *code;
  return static_cast<uint8_t>(Number(text, option, 0xFF));
}

}  // namespace

const char* CommandName(uint8_t code) {
  for (const auto& c : kCommandNames) {
    if (code == c.code) return c.name;
  }
  return nullptr;
}

std::optional<uint8_t> CommandByName(std::string_view name) {
  for (const auto& c : kCommandNames) {
    if (name == c.name) return c.code;
  }
  return std::nullopt;
}

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

SimOptions ParseSimArguments(const std::vector<std::string>& args) {
  SimOptions o;
  bool wireSpeed = false;
  uint32_t insertEveryMs = 1000;
  uint32_t cycles = 0;
  // Per-unit settings are applied once the unit count is known.
  std::vector<std::function<void(std::vector<UnitSettings>&)>> perUnit;

  auto unitIndex = [&](std::string_view text, const std::string& option) {
    const uint32_t k = Number(text, option, kMaxSimUnits);
    if (k < 1) throw UsageError(option + ": units are numbered from 1");
    return static_cast<size_t>(k - 1);
  };
  // "K:VALUE" names one unit; a bare VALUE applies to all.
  auto forUnits = [&](std::string_view text, const std::string& option,
                      std::function<void(UnitSettings&, std::string_view)> apply) {
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos && AllDigits(text.substr(0, colon))) {
      const size_t k = unitIndex(text.substr(0, colon), option);
      const std::string value(text.substr(colon + 1));
      perUnit.push_back([=](std::vector<UnitSettings>& u) {
        if (k >= u.size()) throw UsageError(option + ": there is no unit " + std::to_string(k + 1));
        apply(u[k], value);
      });
    } else {
      const std::string value(text);
      perUnit.push_back([=](std::vector<UnitSettings>& u) {
        for (auto& s : u) apply(s, value);
      });
    }
  };
  // "K", "K:N" or "K:A:B" for one unit; `form` says which.
  auto oneUnit = [&](std::string_view text, const std::string& option, std::string_view form,
                     std::function<void(UnitSettings&, const std::vector<std::string_view>&)> apply) {
    const std::vector<std::string_view> parts = Split(text, ':');
    if (parts.size() != Split(form, ':').size()) throw UsageError(option + ": expected " + std::string(form));
    const size_t k = unitIndex(parts[0], option);
    const std::vector<std::string> rest(parts.begin() + 1, parts.end());
    perUnit.push_back([=](std::vector<UnitSettings>& u) {
      if (k >= u.size()) throw UsageError(option + ": there is no unit " + std::to_string(k + 1));
      const std::vector<std::string_view> views(rest.begin(), rest.end());
      apply(u[k], views);
    });
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&]() -> std::string_view {
      if (i + 1 >= args.size()) throw UsageError(opt + " needs a value");
      return args[++i];
    };
    if (opt == "--units") {
      o.units = static_cast<int>(Number(value(), opt, kMaxSimUnits));
      if (o.units < 1) throw UsageError("--units: 1 to 10 units");
    } else if (opt == "--dir") {
      o.dir = std::string(value());
    } else if (opt == "--log") {
      o.logFile = std::string(value());
    } else if (opt == "--stats") {
      o.statsFile = std::string(value());
    } else if (opt == "--wire-speed") {
      wireSpeed = true;
    } else if (opt == "--model") {
      forUnits(value(), opt, [](UnitSettings& s, std::string_view v) { s.model = v; });
    } else if (opt == "--version") {
      forUnits(value(), opt, [](UnitSettings& s, std::string_view v) { s.version = v; });
    } else if (opt == "--upgrade-to") {
      forUnits(value(), opt, [](UnitSettings& s, std::string_view v) { s.upgradeTo = v; });
    } else if (opt == "--insert-every") {
      const std::string text(value());
      double seconds = 0;
      size_t used = 0;
      try {
        seconds = std::stod(text, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != text.size() || !(seconds >= 0.01) || seconds > 86400) {
        throw UsageError(opt + ": seconds from 0.01 to 86400");
      }
      insertEveryMs = static_cast<uint32_t>(std::lround(seconds * 1000));
    } else if (opt == "--cycles") {
      cycles = Number(value(), opt);
    } else if (opt == "--fail-cycle") {
      const std::vector<std::string_view> parts = Split(value(), ':');
      if (parts.size() != 2 && parts.size() != 3) throw UsageError(opt + ": expected [U:]C:CODE");
      const uint32_t cycle = Number(parts[parts.size() - 2], opt);
      const uint8_t code = static_cast<uint8_t>(Number(parts.back(), opt, 0xFF));
      if (cycle < 1) throw UsageError(opt + ": cycles are numbered from 1");
      if (code == kStatusAck) throw UsageError(opt + ": 6 is the success code");
      if (parts.size() == 3) {
        oneUnit(parts[0], opt, "U", [=](UnitSettings& s, auto&) { s.failCycles[cycle] = code; });
      } else {
        perUnit.push_back([=](std::vector<UnitSettings>& u) {
          for (auto& s : u) s.failCycles[cycle] = code;
        });
      }
    } else if (opt == "--silent") {
      oneUnit(value(), opt, "K", [](UnitSettings& s, auto&) { s.silent = true; });
    } else if (opt == "--silent-after") {
      oneUnit(value(), opt, "K:N", [opt](UnitSettings& s, auto& r) { s.silentAfter = Number(r[0], opt); });
    } else if (opt == "--hangup-after") {
      oneUnit(value(), opt, "K:N", [opt](UnitSettings& s, auto& r) { s.hangupAfter = Number(r[0], opt); });
    } else if (opt == "--bad-check") {
      oneUnit(value(), opt, "K", [](UnitSettings& s, auto&) { s.badCheck = true; });
    } else if (opt == "--garbage") {
      oneUnit(value(), opt, "K", [](UnitSettings& s, auto&) { s.garbage = true; });
    } else if (opt == "--protected") {
      oneUnit(value(), opt, "K", [](UnitSettings& s, auto&) { s.protectedChip = true; });
    } else if (opt == "--not-blank") {
      oneUnit(value(), opt, "K", [](UnitSettings& s, auto&) { s.notBlank = true; });
    } else if (opt == "--verify-corrupt") {
      oneUnit(value(), opt, "K:ADDR",
              [opt](UnitSettings& s, auto& r) { s.verifyCorruptAddress = Number(r[0], opt); });
    } else if (opt == "--status") {
      oneUnit(value(), opt, "K:CMD:CODE", [opt](UnitSettings& s, auto& r) {
        StatusOverride so;
        const std::vector<std::string_view> cmd = Split(r[0], '/');
        if (cmd.size() > 2) throw UsageError(opt + ": expected K:CMD[/SUB]:CODE");
        so.command = CommandCode(cmd[0], opt);
        if (cmd.size() == 2) so.subCommand = static_cast<uint16_t>(Number(cmd[1], opt, 0xFFFF));
        so.code = static_cast<uint8_t>(Number(r[1], opt, 0xFF));
        s.statusOverrides.push_back(so);
      });
    } else if (opt == "--help" || opt == "-h") {
      throw UsageError("");
    } else {
      throw UsageError("unknown option " + opt);
    }
  }
  if (o.units < 1) throw UsageError("--units N is required");
  if (o.dir.empty()) throw UsageError("--dir DIR is required");

  o.unit.resize(static_cast<size_t>(o.units));
  for (size_t k = 0; k < o.unit.size(); ++k) {
    o.unit[k].number = static_cast<int>(k + 1);
    o.unit[k].wireSpeed = wireSpeed;
    o.unit[k].insertEveryMs = insertEveryMs;
    o.unit[k].cycles = cycles;
  }
  for (const auto& apply : perUnit) apply(o.unit);
  return o;
}

}  // namespace tarvel::unitsim
