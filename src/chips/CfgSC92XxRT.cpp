#include "chips/CfgSC92XxRT.h"

#include <vector>

namespace tarvel {
namespace {

constexpr std::string_view kDrstItems[] = {"0 ：P1.1 当复位脚使用", "1 ：P1.1 当正常的I/O 管脚使用"};
constexpr std::string_view kLdszItems[] = {"00: 无LDROM，APROM地址为0000H~7FFFH  ",
                                           "01: Flash ROM最后1K APROM区域为LDROM，其余为APROM",
                                           "10: Flash ROM最后2K APROM区域为LDROM，其余为APROM",
                                           "11: Flash ROM最后4K APROM区域为LDROM，其余为APROM", ""};
constexpr std::string_view kIapItems[] = {"00: 全部ROM不允许IAP操作", "01: 最后1K Code区域允许IAP操作",
                                          "10: 最后2K Code区域允许IAP操作", "11: 全部Code区域允许IAP操作"};

}  // namespace

std::span<const BitField> Sc92Layout() {
  static const std::vector<BitField> layout = [] {
    std::vector<BitField> l(Sc95Layout().begin(), Sc95Layout().end());
    for (BitField& f : l) {
      if (f.control == "ComBoxDRST") f.items = kDrstItems;
      if (f.control == "ComBoxLDSZ") f.items = kLdszItems;
      if (f.control == "ComBoxIAP") f.items = kIapItems;
    }
    return l;
  }();
  return layout;
}

}  // namespace tarvel
