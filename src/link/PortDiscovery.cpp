#include "link/PortDiscovery.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <tuple>

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Format.h"
#include "link/SPCOMMA.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSectionHeader = "[Connection]";

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(line[i])) != key[i]) return false;
  }
  return true;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int ParseInteger(std::string_view text) {
  const std::string_view t = Trim(text);
  const char* first = t.data();
  if (!t.empty() && t.front() == '+') ++first;
  int value = 0;
  const auto [end, ec] = std::from_chars(first, t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) {
    throw ConversionError(Format("'%s' is not a valid integer value", t));
  }
  return value;
}

std::string PortPath(std::string_view port, const fs::path& devRoot) {
  if (port.find('/') != std::string_view::npos) return std::string(port);
  return (devRoot / port).string();
}

void Finish(PortSearchResult& r) {
  r.unitCount = static_cast<uint8_t>(std::min<size_t>(r.ports.size(), kMaxUnits));
  r.shownText = r.ports.empty() ? kNoPortText : r.ports.back();
}

// "ttyUSB10" sorts after "ttyUSB9".
std::tuple<std::string, unsigned long, std::string> NaturalKey(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && IsDigit(name[digits - 1])) --digits;
  if (digits == name.size() || name.size() - digits > 9) return {name, 0, name};
  return {name.substr(0, digits), std::stoul(name.substr(digits)), name};
}

}  // namespace

PortSearchResult ReadConnectionSettings(std::string_view text, const fs::path& devRoot) {
  PortSearchResult r;
  const auto lines = SplitLines(text);
  // The first line is never the header, unless it is the only one.
  size_t i = lines.size() == 1 ? 0 : 1;
  while (i < lines.size() && lines[i] != kSectionHeader) ++i;
  for (++i; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const size_t eq = line.find('=');
    if (StartsWithNoCase(line, "TOTDEV")) {
      // Checked, though the count of DEV lines decides unitCount.
      ParseInteger(eq == std::string_view::npos ? line : line.substr(eq + 1));
    } else if (StartsWithNoCase(line, "DEV")) {
      if (line.size() < 4 || !IsDigit(line[3]) || eq == std::string_view::npos) continue;
      int unit = line[3] - '0';
      if (line.size() > 4 && IsDigit(line[4])) unit = unit * 10 + (line[4] - '0');
      const std::string_view port = Trim(line.substr(eq + 1));
      if (unit < 1 || unit > kMaxUnits || port.empty()) continue;
      r.ports.push_back(PortPath(port, devRoot));
      r.commNames[unit - 1] = r.ports.back();
    }
  }
  Finish(r);
  return r;
}

std::vector<std::string> ListUnitPorts(const fs::path& sysfsRoot, const fs::path& devRoot) {
  std::error_code ec;
  std::map<std::string, std::string> byId;  // tty name -> its by-id name
  for (const auto& e : fs::directory_iterator(devRoot / "serial" / "by-id", ec)) {
    const fs::path target = fs::canonical(e.path(), ec);
    if (ec) continue;
    const std::string tty = target.filename().string();
    const std::string id = e.path().filename().string();
    auto [it, added] = byId.emplace(tty, id);
    if (!added && id < it->second) it->second = id;
  }

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(sysfsRoot / "class" / "tty", ec)) {
    std::error_code linkError;
    const fs::path driver = fs::canonical(e.path() / "device" / "driver", linkError);
    if (linkError) continue;
    const std::string d = driver.filename().string();
    if (d == "ftdi_sio" || d == "cp210x") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    const auto ia = byId.find(a), ib = byId.find(b);
    const bool ha = ia != byId.end(), hb = ib != byId.end();
    if (ha != hb) return ha;
    if (ha) return std::tie(ia->second, a) < std::tie(ib->second, b);
    return NaturalKey(a) < NaturalKey(b);
  });

  std::vector<std::string> ports;
  for (const auto& name : names) {
    const std::string path = (devRoot / name).string();
    if (ProbePort(path)) ports.push_back(path);
  }
  return ports;
}

PortSearchResult SearchPorts(const PortSearchPlaces& places) {
  const fs::path settings = places.programDir / kConnectionSettingsFile;
  std::error_code ec;
  if (fs::exists(settings, ec)) {
    const auto bytes = ReadWholeFile(settings);
    return ReadConnectionSettings(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                  places.devRoot);
  }
  PortSearchResult r;
  r.ports = ListUnitPorts(places.sysfsRoot, places.devRoot);
  Finish(r);
  return r;
}

}  // namespace tarvel
