// Motorola S-records: reading into the image windows (S1, S2, S3 data), and writing a flash window as
// S1, S2 or S3 records, chosen by the last address.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "base/DialogService.h"
#include "image/RecordRouting.h"

namespace tarvel {

int ParseSRecordLine(std::string_view line, RecordReaderState& state, const RecordTarget& target,
                     DialogService& dialogs);

// Reads the whole file (there is no end line); throws FileError when it cannot be read.
RecordReadResult ReadSRecordFile(const std::filesystem::path& path, const RecordTarget& target,
                                 DialogService& dialogs);
RecordReadResult ReadSRecordText(std::string_view text, const RecordTarget& target, DialogService& dialogs);

// Records of 32 data bytes (upper-case digits, CR LF) and the matching termination record.
std::string SRecordText(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last);
void WriteSRecordFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, uint32_t base,
                      uint32_t first, uint32_t last);

}  // namespace tarvel
