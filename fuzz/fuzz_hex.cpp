// Intel HEX files and lines: the reader over chip windows, the line parser alone, and writer-reader round trips.
#include "RecordFuzz.h"
#include "image/IntelHex.h"

namespace {

struct HexFormat {
  static int ParseLine(std::string_view line, tarvel::RecordReaderState& state, const tarvel::RecordTarget& target,
                       tarvel::DialogService& dialogs) {
    return tarvel::ParseHexLine(line, state, target, dialogs);
  }
  static tarvel::RecordReadResult ReadText(std::string_view text, const tarvel::RecordTarget& target,
                                           tarvel::DialogService& dialogs) {
    return tarvel::ReadHexText(text, target, dialogs);
  }
  static std::string Text(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last) {
    return tarvel::HexText(buffer, base, first, last);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tarvel::fuzz::FuzzRecords<HexFormat>(data, size);
}
