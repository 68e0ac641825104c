// Errors that reach the application's default error box at the top of the event loop. File-system
// errors are FileError (base/Files.h).
#pragma once

#include <stdexcept>
#include <string>

namespace tarvel {

// Text that should be a number but is not ("'0xZZ' is not a valid integer value").
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tarvel
