#include "image/RawBinary.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/Files.h"

namespace tarvel {

BinaryReadResult ReadBinaryFile(const std::filesystem::path& path, std::span<uint8_t> buffer,
                                int64_t startIndex, uint32_t maxLength) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError("Cannot open file \"" + path.string() + "\": " + std::strerror(errno));
  BinaryReadResult r;
  uint8_t chunk[65536];
  while (r.length < maxLength) {
    const size_t want = std::min<size_t>(sizeof chunk, maxLength - r.length);
    const ssize_t n = ::read(fd, chunk, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or a failed read ends the loop
    for (ssize_t i = 0; i < n; ++i) {
      const int64_t index = startIndex + r.length + i;
      if (index >= 0 && index < static_cast<int64_t>(buffer.size())) buffer[static_cast<size_t>(index)] = chunk[i];
      r.sum += chunk[i];
    }
    r.length += static_cast<uint32_t>(n);
  }
  ::close(fd);
  return r;
}

void WriteBinaryFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, int64_t first,
                     int64_t last) {
  if (last < first || first < 0) {
    WriteFileAtomically(path, std::span<const uint8_t>());
    return;
  }
  const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(buffer.size()) - 1);
  WriteFileAtomically(path, buffer.subspan(static_cast<size_t>(first), static_cast<size_t>(end - first + 1)));
}

}  // namespace tarvel
