#include "link/StatusCodes.h"

#include "base/Format.h"

namespace tarvel {
namespace {

struct Entry {
  uint8_t code;
  const char* text;
};

constexpr Entry kMessages[] = {
    {0x04, "芯片错误：Arm Fault响应!"},
    {0x07, "芯片错误：Arm Fault响应!"},
    {0x0B, "芯片错误: 无响应!"},
    {0x10, "芯片已被写保护！"},
    {0x13, "芯片已被读保护！"},
    {0x15, "命令执行失败!"},
    {0x20, "数据包错误！"},
    {0x25, "命令不正确或不认识!"},
    {0x2C, "Flash Memory错误！"},
    {0x31, "数据编程校验错误!"},
    {0x34, "芯片校验和不正确！"},
    {0x36, "芯片型号错误或不存在!"},
    {0x38, "芯片型号与厂家不匹配!"},
    {0x40, "命令执行超时!"},
    {0x45, "命令执行错误!"},
    {0x47, "写产品代码数据错误"},
    {0x60, "编程接口错误：无响应!"},
    {0xA6, "USB设备接收超时！"},
    {0xB2, "ID 检查错误或不匹配!"},
    {0xE0, "USB设备通讯错误！"},
    {0xFA, "Socket Detect Error or Not Connected!"},
    {0xFB, "Socket Life Time is Out of Cycles!"},
    {0xFD, "Socket Is Not Identificated!"},
};

const char* Find(uint8_t code) {
  for (const Entry& e : kMessages)
    if (e.code == code) return e.text;
  return nullptr;
}

}  // namespace

std::string StatusMessage(uint8_t code) {
  if (IsSuccess(code)) return "操作成功！";
  if (const char* text = Find(code)) return text;
  if (const char* text = Find(code & 0x7F)) return text;
  return Format("操作失败！错误代码: 0%d/0x%0.2x", code, code);
}

}  // namespace tarvel
