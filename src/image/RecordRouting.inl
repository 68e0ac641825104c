// Template part of RecordRouting.h.
#include "base/Format.h"

namespace tarvel {

template <class Parse, class Stop>
void ReadRecordLines(std::string_view text, DialogService& dialogs, RecordReadResult& result, Parse parse,
                     Stop stop) {
  int lineNumber = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber;
    if (line.size() < 3) continue;
    if (stop(line)) break;
    const int code = parse(line);
    if (code == kRecordOk || code == kRecordChecksum) continue;
    MessageBox box;
    box.kind = BoxKind::Error;
    box.text = Format("Line %d Data Error : %d.", lineNumber, code);
    box.buttons = {Button::OK, Button::Abort};
    if (dialogs.messageBox(box) == Button::Abort) {
      result.aborted = true;
      break;
    }
  }
}

}  // namespace tarvel
