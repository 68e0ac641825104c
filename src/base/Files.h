// Whole-file reading and crash-safe writing. Every file the program writes goes through
// WriteFileAtomically, so a failure never leaves a half-written file where a good one stood.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvel {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// The directory of the running executable (the program directory unless --dir names another).
std::filesystem::path ExecutableDirectory();

// Writes to a temporary file beside `path`, flushes it to disk and renames it over `path`.
// Throws FileError; on failure the previous file (if any) is left as it was.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);
void WriteFileAtomically(const std::filesystem::path& path, std::string_view text);

}  // namespace tarvel
