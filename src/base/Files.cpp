#include "base/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarvel {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path, int err) {
  return std::string(what) + " \"" + path.string() + "\": " + std::strerror(err);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

// The process umask, read without changing it (umask() would briefly change it for every thread).
mode_t CurrentUmask() {
  static const mode_t mask = [] {
    Fd fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    char buf[4096];
    const ssize_t n = fd.get() >= 0 ? ::read(fd.get(), buf, sizeof buf - 1) : -1;
    if (n > 0) {
      buf[n] = '\0';
      if (const char* p = std::strstr(buf, "Umask:")) return static_cast<mode_t>(std::strtoul(p + 6, nullptr, 8));
    }
    return static_cast<mode_t>(022);
  }();
  return mask;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw FileError(Describe("Cannot open file", path, errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw FileError(Describe("Cannot read file", path, errno));
  if (S_ISDIR(st.st_mode)) throw FileError(Describe("Cannot read file", path, EISDIR));
  // One allocation of the expected size and few large reads; the file may still grow or shrink meanwhile.
  std::vector<uint8_t> data(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536);
  size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    const ssize_t n = ::read(fd.get(), data.data() + used, data.size() - used);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(Describe("Cannot read file", path, errno));
    }
    used += static_cast<size_t>(n);
  }
  data.resize(used);
  return data;
}

std::filesystem::path ExecutableDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
  std::string tmpl = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
  Fd fd(::mkstemp(tmpl.data()));
  if (fd.get() < 0) throw FileError(Describe("Cannot create file", path, errno));
  const std::string tmpPath = tmpl;
  auto fail = [&](const char* what, int err) {
    ::unlink(tmpPath.c_str());
    throw FileError(Describe(what, path, err));
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write file", errno);
    }
    done += static_cast<size_t>(n);
  }
  // mkstemp creates 0600; files for people and units follow the usual umask.
  if (::fchmod(fd.get(), 0666 & ~CurrentUmask()) != 0) fail("Cannot set permissions of file", errno);
  if (::fsync(fd.get()) != 0) fail("Cannot write file", errno);
  if (::close(fd.release()) != 0) fail("Cannot write file", errno);
  if (::rename(tmpPath.c_str(), path.c_str()) != 0) fail("Cannot replace file", errno);
  // The new name on disk too, so that a power cut after saving does not bring the old file back. The
  // file itself is complete either way; a directory that cannot be synced is no reason to fail.
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view text) {
  WriteFileAtomically(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()),
                                                     text.size()));
}

}  // namespace tarvel
