// Identifying a unit from its reply to the discovery request.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarvel {

inline constexpr const char* kHostModelName = "Tarvel200IMOT";
inline constexpr const char* kGenericModelName = "Tarvel200XXX";

enum class Identification { NoMatch, Current, Older };

struct IdentifyResult {
  Identification result = Identification::NoMatch;
  std::string text;     // the unit's identification text (on a match)
  std::string version;  // its version token ("V1.10"), empty when it has none
};

// Checks a decoded reply against a model name. For the host's model the version token is compared with
// `firmwareVersion` (the firmware file's version, empty when there is none): a smaller token is Older.
// The generic model matches as Current. A text without a version token counts as current firmware; a
// length field that reaches beyond the reply is cut to the reply.
IdentifyResult IdentifyUnit(std::span<const uint8_t> reply, std::string_view modelName,
                            std::string_view firmwareVersion);

}  // namespace tarvel
