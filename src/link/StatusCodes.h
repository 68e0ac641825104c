// The result codes of unit replies and their messages.
#pragma once

#include <cstdint>
#include <string>

#include "link/LinkPacket.h"

namespace tarvel {

inline constexpr uint8_t kStatusNotBlank = 0x15;
inline constexpr uint8_t kStatusVerifyError = 0x31;
inline constexpr uint8_t kStatusConfigError = 0x45;

inline bool IsSuccess(uint8_t code) { return code == kStatusOk || code == kStatusAck; }

// "操作成功！" for a success; otherwise the code's message. The whole byte is looked up first (the codes
// above 0x7F have messages of their own), then its low seven bits, then the default text
// "操作失败！错误代码: 0%d/0x%0.2x" with the full code.
std::string StatusMessage(uint8_t code);

}  // namespace tarvel
