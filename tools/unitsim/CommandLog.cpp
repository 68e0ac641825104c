#include "unitsim/CommandLog.h"

#include <cerrno>
#include <cstring>

#include "base/Files.h"

namespace tarvel::unitsim {

CommandLog::CommandLog(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "w")) {
  if (!file_) throw FileError("Cannot create file \"" + path.string() + "\": " + std::strerror(errno));
}

CommandLog::~CommandLog() {
  std::fclose(file_);
}

void CommandLog::Write(const std::string& jsonLine) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(jsonLine.data(), 1, jsonLine.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace tarvel::unitsim
