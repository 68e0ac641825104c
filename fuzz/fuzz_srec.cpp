// S-record files and lines: the reader over chip windows, the line parser alone, and writer-reader round trips.
#include "RecordFuzz.h"
#include "image/SRecord.h"

namespace {

struct SRecordFormat {
  static int ParseLine(std::string_view line, tarvel::RecordReaderState& state, const tarvel::RecordTarget& target,
                       tarvel::DialogService& dialogs) {
    return tarvel::ParseSRecordLine(line, state, target, dialogs);
  }
  static tarvel::RecordReadResult ReadText(std::string_view text, const tarvel::RecordTarget& target,
                                           tarvel::DialogService& dialogs) {
    return tarvel::ReadSRecordText(text, target, dialogs);
  }
  static std::string Text(std::span<const uint8_t> buffer, uint32_t base, uint32_t first, uint32_t last) {
    return tarvel::SRecordText(buffer, base, first, last);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tarvel::fuzz::FuzzRecords<SRecordFormat>(data, size);
}
