#include "link/DeviceDiscovery.h"

#include <algorithm>

namespace tarvel {

IdentifyResult IdentifyUnit(std::span<const uint8_t> reply, std::string_view modelName,
                            std::string_view firmwareVersion) {
  IdentifyResult r;
  if (reply.size() < 8 || reply[0] != 0xA3 || reply[1] != 0xA5 || reply[2] != 0x35) return r;
  const size_t length = static_cast<size_t>(reply[6] | reply[7] << 8);
  if (length == 0) return r;
  // The text is L + 1 bytes from offset 28; a unit that claims more than it sent gets what it sent.
  std::string text;
  for (size_t i = 28; i < 28 + length + 1 && i < reply.size(); ++i) {
    const uint8_t b = reply[i];
    if (b < 0x20 || b >= 0x80) break;  // such a byte ends the text
    text.push_back(static_cast<char>(b));
  }
  if (text.size() < modelName.size() || text.compare(0, modelName.size(), modelName) != 0) return r;
  r.text = text;
  r.result = Identification::Current;
  if (modelName != kHostModelName) return r;
  // The version token: from the first "V" after a blank to the next blank or comma, at most 8 characters.
  const size_t v = text.find(" V");
  if (v == std::string::npos) return r;
  size_t end = v + 1;
  while (end < text.size() && text[end] != ' ' && text[end] != ',' && end - (v + 1) < 8) ++end;
  r.version = text.substr(v + 1, end - (v + 1));
  // Byte by byte over the token's length; a firmware version that is shorter counts as zero bytes.
  if (!firmwareVersion.empty()) {
    for (size_t i = 0; i < r.version.size(); ++i) {
      const uint8_t mine = static_cast<uint8_t>(r.version[i]);
      const uint8_t file = i < firmwareVersion.size() ? static_cast<uint8_t>(firmwareVersion[i]) : 0;
      if (mine != file) {
        if (mine < file) r.result = Identification::Older;
        break;
      }
    }
  }
  return r;
}

}  // namespace tarvel
