// ELF executables as main-flash files: the contents of the loadable segments go to FlashImage at their
// physical (load) addresses, exactly what `objcopy -O binary` would give for them.
#pragma once

#include <cstdint>
#include <filesystem>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "image/MemoryImage.h"

namespace tarvel {

// Header error codes, shown as "File Error,Code=%d!". Nothing is loaded after any of them.
inline constexpr int kElfShortHeader = 1;            // fewer than 51 header bytes
inline constexpr int kElfBadMagicByte = 2;           // byte 0 is not 0x7F
inline constexpr int kElfBadMagicName = 3;           // bytes 1..3 are not "ELF"
inline constexpr int kElfNot32BitLittleEndian = 4;   // 64-bit or big-endian file
inline constexpr int kElfBadProgramHeaderTable = 5;  // more than 64 entries, over 4 KB, or entries too small

struct ElfLoadResult {
  int Code = 0;  // 0: loaded; else one of the header error codes above
};

// Stores p_filesz bytes of every PT_LOAD segment at FlashImage[p_paddr + imageOffset]; the zero-filled
// tail of a segment (.bss) is not part of the file and is not stored. Bytes whose index falls outside
// FlashImage are dropped. LowestLoadedAddress and HighestLoadedAddress become the range of addresses
// this file delivered (unchanged when it delivered nothing); FileByteSum is left alone.
// Throws FileError when the file cannot be read or ends inside its program header table or a segment
// (segments stored before that stay).
ElfLoadResult LoadElfFile(const std::filesystem::path& path, MemoryImage& image, uint32_t imageOffset,
                          DialogService& dialogs, InfoLog& log);

}  // namespace tarvel
