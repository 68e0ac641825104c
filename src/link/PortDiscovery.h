// The list of serial ports to try, one per unit in channel order, and unitCount.
//
// With "ConfigKqn.ini" in the program directory the list comes from its [Connection] section:
//   DEVk=PORT   k = 1..10; PORT is a device path taken verbatim (a bare name such as ttyUSB0 is in /dev);
//               the line's order, not k, decides the channel; k names the channel whose CommName is set
//   TOTDEV=n    must be an integer, but unitCount is the number of DEV lines listed (at most 10)
// Keys are read case-insensitively; the first line is never examined; "[Connection]" is searched from the
// second line and compared exactly; later section headers do not end the section; other lines, and DEV
// lines without a unit number 1..10, a "=" or a port, are ignored.
//
// Without the file: the ttys whose driver is ftdi_sio or cp210x, each listed only if it can be opened
// exclusively now. Ports with a /dev/serial/by-id name come first, in the order of those names (stable
// across re-plugging); the rest follow in the natural order of their tty names.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

constexpr const char* kConnectionSettingsFile = "ConfigKqn.ini";
// ComboBoxCOM's text before any search, and after one that found nothing.
constexpr const char* kPortPromptText = "请选择通讯口......";
constexpr const char* kNoPortText = "无可用的串口";
constexpr int kMaxUnits = 10;

struct PortSearchResult {
  std::vector<std::string> ports;  // ComboBoxCOM's items, channel order; may be longer than unitCount
  uint8_t unitCount = 0;           // 0..10
  std::string shownText;           // ComboBoxCOM's text: the last item, or kNoPortText
  // The CommName each DEV line gives its channel (a repeated k: the later line wins).
  std::array<std::optional<std::string>, kMaxUnits> commNames;
};

struct PortSearchPlaces {
  std::filesystem::path programDir;
  std::filesystem::path sysfsRoot = "/sys";
  std::filesystem::path devRoot = "/dev";
};

// The port search. Throws ConversionError for a TOTDEV value that is not an integer and FileError for a
// settings file that cannot be read; the search is then abandoned.
PortSearchResult SearchPorts(const PortSearchPlaces& places);

// Its two halves, for callers and tests that have the text or want the scan alone.
PortSearchResult ReadConnectionSettings(std::string_view text, const std::filesystem::path& devRoot = "/dev");
std::vector<std::string> ListUnitPorts(const std::filesystem::path& sysfsRoot,
                                       const std::filesystem::path& devRoot);

}  // namespace tarvel
