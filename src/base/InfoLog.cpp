#include "base/InfoLog.h"

#include <ctime>

#include "base/Format.h"

namespace tarvel {

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
  return buf;
}

void InfoLog::MainMessage(std::string_view text) {
  std::string line = "> " + clock_() + " ";
  line += text;
  append(std::move(line));
}

void InfoLog::ChannelMessage(std::string_view text, int channel) {
  std::string line = "> " + clock_() + Format(" C%d : ", channel + 1);
  line += text;
  append(std::move(line));
}

void InfoLog::Line(std::string_view text) { append(std::string(text)); }

std::string InfoLog::Text(std::string_view eol) const {
  std::string out;
  for (const std::string& l : lines_) {
    out += l;
    out += eol;
  }
  return out;
}

void InfoLog::append(std::string line) {
  lines_.push_back(std::move(line));
  if (listener_) listener_(lines_.back());
}

}  // namespace tarvel
