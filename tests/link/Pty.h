// A pseudo-terminal standing in for a programmer unit: the test is the unit on the master side, the port
// under test opens the slave device. A second slave descriptor (the keeper) stays open for the pair's
// life, so the terminal survives the port's close and the test can read the slave's settings.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/PosixSerial.h"

namespace tarvel::test {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
      throw std::runtime_error("no pty");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    path_ = name;
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper_ < 0) throw std::runtime_error("cannot open " + path_);
    // Raw from the start, so bytes written before the port opens are not echoed back to the master.
    posix_serial::ApplyLineSettings(keeper_, posix_serial::LineSettings{});
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    ::close(keeper_);
    closeMaster();
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  int keeper() const { return keeper_; }

  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // The unit sends.
  void write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 10000) <= 0) throw std::runtime_error("pty write stuck");
      }
    }
  }

  // The unit receives exactly `count` bytes (throws after 10 s without progress).
  std::vector<uint8_t> read(size_t count) {
    std::vector<uint8_t> out(count);
    size_t done = 0;
    while (done < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) throw std::runtime_error("pty read stuck");
      const ssize_t n = ::read(master_, out.data() + done, count - done);
      if (n > 0) done += static_cast<size_t>(n);
    }
    return out;
  }

  // Bytes waiting in the slave's input queue.
  int pendingForSlave() const {
    int n = 0;
    ::ioctl(keeper_, FIONREAD, &n);
    return n;
  }
  bool exclusive() const {
    int on = 0;
    ::ioctl(keeper_, TIOCGEXCL, &on);
    return on != 0;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string path_;
};

}  // namespace tarvel::test
