#include "link/PosixSerial.h"

// termios2 and BOTHER come from the kernel's header; <termios.h> must not be included here.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tarvel::posix_serial {
namespace {

bool ReadTermios(int fd, termios2& t) {
  return ::ioctl(fd, TCGETS2, &t) == 0;
}

tcflag_t SizeFlag(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

}  // namespace

bool IsTerminal(int fd) {
  termios2 t{};
  return ReadTermios(fd, t);
}

bool ApplyLineSettings(int fd, const LineSettings& s) {
  termios2 t{};
  if (!ReadTermios(fd, t)) return false;

  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK |
                 IGNPAR | IUCLC | IMAXBEL);
  // With INPCK but neither IGNPAR nor PARMRK the kernel delivers a byte with a parity error as 0x00.
  // Without replacement the byte is passed on as received; the driver still counts the error.
  if (s.parityCheck && s.replaceParityErrors) t.c_iflag |= INPCK;
  if (s.xonXoffOut) t.c_iflag |= IXON;
  if (s.xonXoffIn) t.c_iflag |= IXOFF;

  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);

  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CLOCAL | CREAD | SizeFlag(s.dataBits);
  switch (s.parity) {
    case Parity::None:
      break;
    case Parity::Odd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case Parity::Even:
      t.c_cflag |= PARENB;
      break;
    case Parity::Mark:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case Parity::Space:
      t.c_cflag |= PARENB | CMSPAR;
      break;
  }
  if (s.twoStopBits) t.c_cflag |= CSTOPB;
  if (s.rtsCtsFlow) t.c_cflag |= CRTSCTS;
  // Any rate, not only the table's: BOTHER takes the speed from c_ispeed/c_ospeed.
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = s.baudRate;
  t.c_ospeed = s.baudRate;

  // Reads are non-blocking and paced by poll(); VMIN/VTIME play no part.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = s.xonChar;
  t.c_cc[VSTOP] = s.xoffChar;
  return ::ioctl(fd, TCSETS2, &t) == 0;
}

std::optional<LineSettings> ReadLineSettings(int fd) {
  termios2 t{};
  if (!ReadTermios(fd, t)) return std::nullopt;
  LineSettings s;
  s.baudRate = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  if (!(t.c_cflag & PARENB)) {
    s.parity = Parity::None;
  } else if (t.c_cflag & CMSPAR) {
    s.parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
  } else {
    s.parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
  }
  s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
  s.parityCheck = (t.c_iflag & INPCK) != 0;
  s.replaceParityErrors = s.parityCheck;
  s.rtsCtsFlow = (t.c_cflag & CRTSCTS) != 0;
  s.xonXoffOut = (t.c_iflag & IXON) != 0;
  s.xonXoffIn = (t.c_iflag & IXOFF) != 0;
  s.xonChar = t.c_cc[VSTART];
  s.xoffChar = t.c_cc[VSTOP];
  s.raw = !(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) && !(t.c_oflag & OPOST) &&
          !(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
  return s;
}

void Purge(int fd, bool input, bool output) {
  if (!input && !output) return;
  ::ioctl(fd, TCFLSH, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

bool SetModemLine(int fd, ModemLine line, bool on) {
  const int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

std::optional<ErrorCounts> ReadErrorCounts(int fd) {
  serial_icounter_struct c{};
  if (::ioctl(fd, TIOCGICOUNT, &c) != 0) return std::nullopt;
  return ErrorCounts{static_cast<uint32_t>(c.frame), static_cast<uint32_t>(c.overrun),
                     static_cast<uint32_t>(c.parity), static_cast<uint32_t>(c.brk),
                     static_cast<uint32_t>(c.buf_overrun)};
}

LowLatency RequestLowLatency(int fd, int* error) {
  serial_struct ss{};
  if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) {
    if (errno == ENOTTY || errno == EINVAL) return LowLatency::NotApplicable;
    *error = errno;
    return LowLatency::Failed;
  }
  if (ss.flags & ASYNC_LOW_LATENCY) return LowLatency::Set;
  ss.flags |= ASYNC_LOW_LATENCY;
  if (::ioctl(fd, TIOCSSERIAL, &ss) != 0) {
    *error = errno;
    return LowLatency::Failed;
  }
  return LowLatency::Set;
}

}  // namespace tarvel::posix_serial
