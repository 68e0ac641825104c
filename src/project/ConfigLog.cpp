#include "project/ConfigLog.h"

#include <charconv>

#include "base/Files.h"
#include "base/GbkText.h"

namespace tarvel {
namespace {

// Lines of a text file that may end in CR LF or LF.
std::vector<std::string> TextLines(const std::vector<uint8_t>& bytes) {
  std::vector<std::string> lines;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    pos = eol + 1;
  }
  return lines;
}

// A character GBK has no code for (a file name the panel showed, say) becomes '?' in its line: losing the
// whole log to one character would hide everything else it records.
std::string LogText(const InfoLog& log) {
  try {
    return Utf8ToGbk(log.Text("\r\n"));
  } catch (const TextConversionError&) {
  }
  std::string out;
  for (const std::string_view line : log.lines()) out += Utf8ToGbkReplacing(line) + "\r\n";
  return out;
}

std::string ReplaceSeparators(std::string s) {
  for (char& c : s)
    if (c == '-' || c == '/' || c == ':') c = '_';
  return s;
}

}  // namespace

bool TLogCfgForm::setControl(std::string_view control, std::string_view value) {
  int n = -1;
  std::from_chars(value.data(), value.data() + value.size(), n);
  if (control == CheckBoxLog.name && (value == "0" || value == "1")) {
    CheckBoxLog.checked = value == "1";
    CheckBoxLogClick();
  } else if (control == RadioGrpCreat.name && (n == 0 || n == 1)) {
    RadioGrpCreat.itemIndex = n;
    RadioGrpCreatClick();
  } else if (control == RadioGrpMod.name && n >= 0 && n <= 2) {
    RadioGrpMod.itemIndex = n;
  } else if (control == EditLogName.name) {
    EditLogName.text = value;
  } else {
    return false;
  }
  return true;
}

void TLogCfgForm::updateEnabled() {
  const bool on = CheckBoxLog.checked;
  RadioGrpCreat.enabled = on;
  const bool customer = on && RadioGrpCreat.itemIndex == 1;
  RadioGrpMod.enabled = customer;
  SpeedButtonOP.enabled = customer;
  EditLogName.enabled = customer;
}

void TLogCfgForm::CheckBoxLogClick() {
  RadioGrpCreat.enabled = RadioGrpMod.enabled = SpeedButtonOP.enabled = EditLogName.enabled = CheckBoxLog.checked;
}

void TLogCfgForm::RadioGrpCreatClick() {
  const bool customer = RadioGrpCreat.itemIndex == 1;
  RadioGrpMod.enabled = SpeedButtonOP.enabled = EditLogName.enabled = customer;
  RadioGrpMod.itemIndex = 0;
}

void TLogCfgForm::SpeedButtonOPClick() {
  FileDialog d;
  d.name = "OpenDialogLog";
  d.filter = "All Log Files(*.Log,*.Txt)|*.log;*.Txt";
  d.defaultExt = "log";
  if (auto answer = dialogs_.fileDialog(d)) EditLogName.text = answer->path;
}

void TLogCfgForm::OkClick() {
  accepted = false;
  if (RadioGrpCreat.itemIndex == 1 && EditLogName.text.empty()) {
    dialogs_.plain("请输入有效的Log文件名称！");
    return;
  }
  accepted = true;
}

void TLogCfgForm::ReadLogSettings() {
  const std::filesystem::path path = programDir_ / kLogSettingsFile;
  if (!std::filesystem::exists(path)) return;
  const std::vector<std::string> lines = TextLines(ReadWholeFile(path));
  if (lines.empty() || lines[0] != "[ConfigLog]") return;
  for (size_t i = 1; i < lines.size() && lines[i] != "[EndCfg]"; ++i) {
    const std::string& l = lines[i];
    if (l == "EnLog") CheckBoxLog.checked = true;
    else if (l == "DnLog") CheckBoxLog.checked = false;
    else if (l == "System") RadioGrpCreat.itemIndex = 0;
    else if (l == "Customer") RadioGrpCreat.itemIndex = 1;
    else if (l == "CusDef0") RadioGrpMod.itemIndex = 0;
    else if (l == "CusDef1") RadioGrpMod.itemIndex = 1;
    else if (l == "CusDef2") RadioGrpMod.itemIndex = 2;
    // A name that is not GBK (the file edited by hand) still reads, with '?' for what cannot: one bad
    // byte here must not stop the program from starting.
    else if (l.compare(0, 8, "SpcFile=") == 0) EditLogName.text = GbkToUtf8Replacing(l.substr(8));
  }
  updateEnabled();
}

void TLogCfgForm::WriteLogSettings() {
  std::string text = "[ConfigLog]\r\n";
  text += CheckBoxLog.checked ? "EnLog\r\n" : "DnLog\r\n";
  if (RadioGrpCreat.itemIndex == 1) {
    text += "Customer\r\n";
    text += "CusDef" + std::to_string(RadioGrpMod.itemIndex) + "\r\n";
    text += "SpcFile=" + Utf8ToGbk(EditLogName.text) + "\r\n";
  }
  text += "[EndCfg]\r\n";
  WriteFileAtomically(programDir_ / kLogSettingsFile, text);
}

std::filesystem::path TLogCfgForm::SystemLogPath(std::time_t now) const {
  std::tm local{};
  localtime_r(&now, &local);
  char date[32], time[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  return programDir_ / kLogDirectory / ("GenZPN_" + ReplaceSeparators(date) + "_" + ReplaceSeparators(time) + ".log");
}

void TLogCfgForm::WriteLog(const InfoLog& log, std::time_t now) {
  lastWriteError.clear();
  // A user who switched the log off gets none.
  if (!CheckBoxLog.checked) return;
  try {
    if (RadioGrpCreat.itemIndex == 0) {
      if (log.size() <= 6) return;
      const std::filesystem::path path = SystemLogPath(now);
      std::filesystem::create_directories(path.parent_path());
      WriteFileAtomically(path, LogText(log));
      return;
    }
    if (EditLogName.text.empty()) return;
    const std::filesystem::path path = EditLogName.text;
    if (RadioGrpMod.itemIndex == 2) {
      std::string text;
      if (std::filesystem::exists(path)) {
        const std::vector<uint8_t> old = ReadWholeFile(path);
        text.assign(old.begin(), old.end());
        if (!text.empty() && text.back() != '\n') text += "\r\n";
      } else {
        text = "Dunmor Log File!\r\n";
      }
      WriteFileAtomically(path, text + LogText(log));
    } else {
      WriteFileAtomically(path, LogText(log));
    }
  } catch (const std::exception& e) {
    // Losing the log silently would hide it from the line's records: say so, whichever naming was used.
    lastWriteError = e.what();
    dialogs_.plain("Write Log File error!");
  }
}

}  // namespace tarvel
