// What the fuzz targets share: reading the fuzz input as a few header fields followed by a body, a scratch
// directory for readers that only take paths, and a failure that libFuzzer reports as a finding.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace tarvel::fuzz {

// An invariant the code under test broke: printed, then abort(), which libFuzzer records as a crash
// with the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// The fuzz input from the front: fixed-size header fields, then the rest as the body. Fields past the
// end of the input read as zero, so every input is a valid one.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : bytes_(data, size) {}

  uint8_t u8() { return static_cast<uint8_t>(take(1)); }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  uint32_t u32() { return static_cast<uint32_t>(take(4)); }

  // Up to `n` bytes (fewer at the end of the input).
  std::span<const uint8_t> bytes(size_t n) {
    const size_t k = std::min(n, remaining());
    const std::span<const uint8_t> out = bytes_.subspan(pos_, k);
    pos_ += k;
    return out;
  }
  std::span<const uint8_t> rest() { return bytes(remaining()); }
  std::string_view restText() {
    const std::span<const uint8_t> r = rest();
    return std::string_view(reinterpret_cast<const char*>(r.data()), r.size());
  }
  size_t remaining() const { return bytes_.size() - pos_; }
  bool empty() const { return remaining() == 0; }

 private:
  // Little-endian, as the files and packets of the program are.
  uint64_t take(size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      if (pos_ < bytes_.size()) v |= static_cast<uint64_t>(bytes_[pos_++]) << (8 * i);
    }
    return v;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// One directory per fuzz process for the readers that take a path: in /dev/shm when there is one, so
// that writing the input for every run costs no disk traffic. Removed when the process exits normally.
class ScratchDir {
 public:
  static ScratchDir& get() {
    static ScratchDir dir;
    return dir;
  }

  const std::filesystem::path& path() const { return path_; }

  // Replaces `name` in the directory with `bytes` and returns its path.
  std::filesystem::path write(const std::string& name, std::span<const uint8_t> bytes) const {
    const std::filesystem::path p = path_ / name;
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) Fail("cannot write the scratch file");
    return p;
  }
  std::filesystem::path write(const std::string& name, std::string_view text) const {
    return write(name, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }
  void remove(const std::string& name) const {
    std::error_code ec;
    std::filesystem::remove(path_ / name, ec);
  }

  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  ScratchDir() {
    std::error_code ec;
    std::string base = std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                           ? std::string("/dev/shm")
                           : std::filesystem::temp_directory_path().string();
    std::string pattern = base + "/tarvel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot make the scratch directory");
    path_ = pattern;
  }

  std::filesystem::path path_;
};

}  // namespace tarvel::fuzz
