#include "base/InfoLog.h"

#include <algorithm>
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
  size_t total = 0;
  for (const std::string_view l : lines_) total += l.size() + eol.size();
  std::string out;
  out.reserve(total);
  for (const std::string_view l : lines_) {
    out += l;
    out += eol;
  }
  return out;
}

void InfoLog::append(std::string line) {
  lines_.push_back(line);
  if (listener_) listener_(line);
}

void LogLines::push_back(std::string_view line) {
  if (line.size() > UINT32_MAX) line = line.substr(0, UINT32_MAX);
  // A line never straddles two blocks; one longer than a block gets a block of its own size.
  if (kBlockSize - blockUsed_ < line.size() || blocks_.empty()) {
    blocks_.push_back(std::make_unique<char[]>(std::max(kBlockSize, line.size())));
    blockUsed_ = 0;
  }
  char* at = blocks_.back().get() + blockUsed_;
  std::copy(line.begin(), line.end(), at);
  if (count_ % kRefsPerChunk == 0) refs_.push_back(std::make_unique<Ref[]>(kRefsPerChunk));
  refs_.back()[count_ % kRefsPerChunk] = Ref{static_cast<uint32_t>(blocks_.size() - 1),
                                             static_cast<uint32_t>(blockUsed_), static_cast<uint32_t>(line.size())};
  ++count_;
  // An oversized block is full with its one line.
  blockUsed_ = line.size() > kBlockSize ? kBlockSize : blockUsed_ + line.size();
}

void LogLines::clear() {
  refs_.clear();
  count_ = 0;
  blocks_.clear();
  blockUsed_ = kBlockSize;
}

}  // namespace tarvel
