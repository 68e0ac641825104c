// Intel HEX: reading into the image windows, and writing a flash window in the 16-bit or 32-bit form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "base/DialogService.h"
#include "image/RecordRouting.h"

namespace tarvel {

// Parses one line and stores its data. Shows "Unsupport Address=0x%0.8x." for data in no window.
int ParseHexLine(std::string_view line, RecordReaderState& state, const RecordTarget& target,
                 DialogService& dialogs);

// Reads a whole HEX file (throws FileError when it cannot be read). The read ends at the physical end of
// the file or at an end line ":00000001FF" / ":00FFFF0101".
RecordReadResult ReadHexFile(const std::filesystem::path& path, const RecordTarget& target,
                             DialogService& dialogs);
RecordReadResult ReadHexText(std::string_view text, const RecordTarget& target, DialogService& dialogs);

// The HEX text of buffer[first - base .. last - base] for addresses first..last: records of 16 bytes
// when last < 0x10000, else records of 32 bytes with extended linear address records. CR LF line ends.
std::string HexText(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last);
void WriteHexFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, uint32_t base,
                  uint32_t first, uint32_t last);

}  // namespace tarvel
