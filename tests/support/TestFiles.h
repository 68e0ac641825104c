// Helpers for tests that work with files: a private temporary directory, whole-file reads and writes,
// and running the independent command-line tools the tests compare against.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::testing {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarvel-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Writes a file into the directory and returns its path.
  std::filesystem::path Write(const std::string& name, std::string_view bytes) const {
    const std::filesystem::path p = path_ / name;
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::filesystem::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs a shell command; returns its exit status and collects stdout+stderr.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string out;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  const int status = ::pclose(pipe);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Fails the test when a tool the test compares against is missing (the project's scripts install it).
inline bool HaveTool(const std::string& tool) {
  const bool found = RunCommand("command -v " + tool) == 0;
  if (!found) ADD_FAILURE() << tool << " is not installed (scripts/install-deps.sh installs it)";
  return found;
}

inline std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed = 1) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

}  // namespace tarvel::testing
