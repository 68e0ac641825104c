// Thin wrappers over the Linux tty ioctls that TComm needs. They live in one translation unit because the
// kernel's termios2 (needed for 1,000,000 baud and any other rate) cannot share one with <termios.h>.
#pragma once

#include <cstdint>
#include <optional>

namespace tarvel::posix_serial {

enum class Parity { None, Odd, Even, Mark, Space };

struct LineSettings {
  uint32_t baudRate = 9600;
  int dataBits = 8;  // 5..8
  Parity parity = Parity::None;
  bool twoStopBits = false;
  bool parityCheck = false;          // check parity of received bytes
  bool replaceParityErrors = false;  // deliver bytes with a parity error as 0x00 instead of unchanged
  bool rtsCtsFlow = false;
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
  bool raw = true;  // only read back: no echo, no line editing, no translation, no signals

  bool operator==(const LineSettings&) const = default;
};

// Whether fd is a terminal whose settings can be read.
bool IsTerminal(int fd);
// Puts the terminal in raw mode with these settings, at once. False if the driver refused them.
bool ApplyLineSettings(int fd, const LineSettings& settings);
std::optional<LineSettings> ReadLineSettings(int fd);

void Purge(int fd, bool input, bool output);

enum class ModemLine { Dtr, Rts };
// Raises or drops a modem line. A device without modem lines (a pseudo-terminal) counts as done.
bool SetModemLine(int fd, ModemLine line, bool on);

// The driver's cumulative line-error counters, where it keeps them (not on pseudo-terminals).
struct ErrorCounts {
  uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
};
std::optional<ErrorCounts> ReadErrorCounts(int fd);

enum class LowLatency { NotApplicable, Set, Failed };
// Asks the serial driver to pass received bytes on without delay (ASYNC_LOW_LATENCY). A device that is
// not a serial driver's (a pseudo-terminal) is NotApplicable. On Failed, *error is the errno.
LowLatency RequestLowLatency(int fd, int* error);

}  // namespace tarvel::posix_serial
