// Serial ports without devices for window-model tests: no test touches a real tty by accident.
#pragma once

#include <memory>

#include "link/SerialPort.h"
#include "ops/UnitOperations.h"

namespace tarvel::testing {

inline UnitOperations::PortFactory FakePorts() {
  return [](EventLoop& loop) { return std::make_unique<FakeSerialPort>(loop); };
}

}  // namespace tarvel::testing
