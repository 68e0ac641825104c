// The request log: one JSON line per request a unit received, so that tests can assert what the host
// sent. Shared by all units; lines are written whole and flushed at once.
#pragma once

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

namespace tarvel::unitsim {

class CommandLog {
 public:
  // Truncates the file. Throws FileError when it cannot be opened.
  explicit CommandLog(const std::filesystem::path& path);
  ~CommandLog();
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  // Any thread.
  void Write(const std::string& jsonLine);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace tarvel::unitsim
