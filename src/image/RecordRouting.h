// What HEX and S-record readers share: the reader state, the routing of a data record into the image by
// its first address (flash, option, EEP window, in that order), and the line loop with its error box.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "base/DialogService.h"
#include "image/AddressWindows.h"
#include "image/MemoryImage.h"

namespace tarvel {

// Result of parsing one line.
enum HexRecordResult : int {
  kRecordOk = 0,            // accepted or ignored
  kRecordBadStart = 1,      // does not begin with ':' (HEX) or 'S' (S-record)
  kRecordBadType = 2,       // S4, S6 or a type character other than '0'..'9'
  kRecordBadExtAddress = 3, // extended address record whose address field is not 0000
  kRecordChecksum = 4,      // checksum mismatch; the data is stored anyway (not reported)
  kRecordUnknownType = 5,   // HEX record type 06..FF
  kRecordTruncated = 6,     // the line is shorter than its byte count says; nothing stored
  kRecordNoWindow = 21,     // data at an address in no window
};

// Where records go.
struct RecordTarget {
  std::span<uint8_t> buffer;  // receives flash-window data at (address - base)
  uint32_t base = 0;
  AddressWindows windows;
  MemoryImage* image = nullptr;  // OptionData, EepImage and the presence flags
};

struct RecordReadResult {
  uint32_t sum = 0;
  uint32_t lowest = 0xFFFFFFFF;
  uint32_t highest = 0;
  bool aborted = false;  // the user pressed Abort on a line error
};

struct RecordReaderState {
  uint32_t segmentBase = 0;
  uint32_t linearBase = 0;
  RecordReadResult result;
};

enum class RecordWindow { Flash, Option, Eep, None };

// Decodes `count` (at most 255) hex digit pairs into `out`; returns the sum of the bytes.
uint32_t DecodeRecordData(std::string_view digits, uint32_t count, uint8_t* out);

// Stores the data bytes of a record at `address`, routed by the address of its first byte. Bytes whose
// index falls outside their buffer are dropped, never wrapped. Returns the window used.
RecordWindow StoreRecordData(const RecordTarget& target, uint32_t address, std::span<const uint8_t> data);

RecordWindow WindowOf(const AddressWindows& w, uint32_t address);

// Reads a text file line by line (LF or CR LF), numbering lines from 1, and calls `parse` for every line
// of 3 or more characters. `stop(line)` may end the read early (the HEX end-of-file line). A parse result
// other than 0 and 4 shows "Line %d Data Error : %d." with OK and Abort; Abort ends the read.
template <class Parse, class Stop>
void ReadRecordLines(std::string_view text, DialogService& dialogs, RecordReadResult& result, Parse parse,
                     Stop stop);

}  // namespace tarvel

#include "image/RecordRouting.inl"
