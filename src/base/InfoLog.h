// The information panel's text: an append-only list of lines. Every part of the program reports here.
//   MainMessage:    "> " + local time + " " + text
//   ChannelMessage: "> " + local time + " C" + unit number + " : " + text   (unit number = channel + 1)
//   Line:           the text unchanged (block dumps, separators, empty lines)
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// Local time as "%H:%M:%S".
std::string LocalTimeText();

class InfoLog {
 public:
  using Clock = std::function<std::string()>;
  using Listener = std::function<void(const std::string& line)>;

  explicit InfoLog(Clock clock = LocalTimeText) : clock_(std::move(clock)) {}

  void MainMessage(std::string_view text);
  void ChannelMessage(std::string_view text, int channel);
  void Line(std::string_view text = {});

  const std::vector<std::string>& lines() const { return lines_; }
  size_t size() const { return lines_.size(); }
  void Clear() { lines_.clear(); }
  // Whole text, lines joined with `eol`.
  std::string Text(std::string_view eol = "\n") const;

  // Called for every line appended (front ends mirror the panel with it).
  void setListener(Listener listener) { listener_ = std::move(listener); }

 private:
  void append(std::string line);

  Clock clock_;
  Listener listener_;
  std::vector<std::string> lines_;
};

}  // namespace tarvel
