// The information panel's text: an append-only list of lines. Every part of the program reports here.
//   MainMessage:    "> " + local time + " " + text
//   ChannelMessage: "> " + local time + " C" + unit number + " : " + text   (unit number = channel + 1)
//   Line:           the text unchanged (block dumps, separators, empty lines)
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// Local time as "%H:%M:%S".
std::string LocalTimeText();

// The panel's lines, kept compactly: a running line costs its text and 12 bytes, not a string object and
// an allocation of its own, and appending never moves what is stored (a week of a busy line is a million
// lines). Lines read as std::string_view, valid as long as the store is not cleared.
class LogLines {
 public:
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;
    const_iterator() = default;
    const_iterator(const LogLines* lines, size_t i) : lines_(lines), i_(i) {}
    std::string_view operator*() const { return (*lines_)[i_]; }
    std::string_view operator[](difference_type n) const { return (*lines_)[i_ + static_cast<size_t>(n)]; }
    const_iterator& operator++() { ++i_; return *this; }
    const_iterator operator++(int) { const_iterator t = *this; ++i_; return t; }
    const_iterator& operator--() { --i_; return *this; }
    const_iterator operator--(int) { const_iterator t = *this; --i_; return t; }
    const_iterator& operator+=(difference_type n) { i_ += static_cast<size_t>(n); return *this; }
    const_iterator& operator-=(difference_type n) { i_ -= static_cast<size_t>(n); return *this; }
    friend const_iterator operator+(const_iterator a, difference_type n) { return a += n; }
    friend const_iterator operator+(difference_type n, const_iterator a) { return a += n; }
    friend const_iterator operator-(const_iterator a, difference_type n) { return a -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.i_ <=> b.i_; }

   private:
    const LogLines* lines_ = nullptr;
    size_t i_ = 0;
  };

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::string_view operator[](size_t i) const {
    const Ref& r = refs_[i / kRefsPerChunk][i % kRefsPerChunk];
    return std::string_view(blocks_[r.block].get() + r.offset, r.length);
  }
  std::string_view front() const { return (*this)[0]; }
  std::string_view back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }

  void push_back(std::string_view line);
  void clear();

  friend bool operator==(const LogLines& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
      if (a[i] != b[i]) return false;
    return true;
  }

 private:
  static constexpr size_t kBlockSize = 64 * 1024;
  static constexpr size_t kRefsPerChunk = 4096;
  struct Ref {
    uint32_t block;
    uint32_t offset;
    uint32_t length;
  };
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockUsed_ = kBlockSize;  // of the last block; full before the first
  // The index in fixed chunks too: growing it never copies what is there.
  std::vector<std::unique_ptr<Ref[]>> refs_;
  size_t count_ = 0;
};

class InfoLog {
 public:
  using Clock = std::function<std::string()>;
  using Listener = std::function<void(const std::string& line)>;

  explicit InfoLog(Clock clock = LocalTimeText) : clock_(std::move(clock)) {}

  void MainMessage(std::string_view text);
  void ChannelMessage(std::string_view text, int channel);
  void Line(std::string_view text = {});

  const LogLines& lines() const { return lines_; }
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
  LogLines lines_;
};

}  // namespace tarvel
