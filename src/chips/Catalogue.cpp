#include "chips/Catalogue.h"

#include <array>
#include <stdexcept>

namespace tarvel {
namespace {

// Z51F list (vendor 0)
constexpr const char* kZ51FList[] = {
    "Z51F0410HCX", "Z51F0811RFC", "Z51F0811RHX", "Z51F0811RJX", "Z51F0811QUX", "Z51F3220SKX", "Z51F3220FNX",
    "Z51F3221ARX", "Z51F3221ATX", "Z51F6412ARX", "Z51F6412ATX"};

// SC9x list (vendor 1)
constexpr const char* kSc9xList[] = {
    "SC95F750x", "SC95F751x", "SC95F752x", "SC95F757x", "SC95F760x", "SC95F761x", "SC95F761xB", "SC95F767x",
    "SC95F776x", "SC95F851x", "SC95F852x", "SC95F857x", "SC95F861x", "SC95F861xB", "SC95F867x", "SC95F873x",
    "SC95F876x", "SC92F53xx", "SC92F54xx", "SC92F74xxB", "SC92F72xx", "SC92F73xx", "SC92F741x", "SC92F742x",
    "SC92F748x", "SC92F754x", "SC92F759x", "SC92F73xx", "SC92F74xx", "SC92F63xx", "SC92F64xx", "SC92F83xx",
    "SC92F83xxB", "SC92F84xxB", "SC92F848x", "SC92F84xx", "SC92F859x", "SC92F854x", "SC92L75xx", "SC92L76xx",
    "SC92L85xx", "SC92L86xx"};

// ITE list (vendor 2)
constexpr const char* kIteList[] = {
    "IT8856FN", "IT8856CX", "IT8851FN-64", "IT8851FN-128"};

// MC96F list (vendor 3)
constexpr const char* kMc96fList[] = {
    "MC96F6332S", "MC96F6432S", "MC96F6632S", "MC96F8316S", "MC96F8216S", "MC96F8208S", "MC96F7416S",
    "MC96F6432A", "MC96F8316A", "MC96F8216A"};

// ANX list (vendor 4)
constexpr const char* kAnxList[] = {
    "ANX7447xx", "ANX7411xx", "ANX7446xx", "ANX7437xx", "ANX7412xx", "ANX7327xx"};

// KF8 list (vendor 5, sub-list "KF8xxx")
constexpr const char* kKf8List[] = {
    "KF8A100ENG", "KF8A100DSD", "KF8A100ETN", "KF8A100DTD", "KF8A100ENP", "KF8A100GQT", "KF8A100CSD",
    "KF8A100ENG", "KF8A100EOG", "KF8A100EON", "KF8A100ESB", "KF8A100ESD", "KF8A100FNG", "KF8A100FNG",
    "KF8A100FTN", "KF8A100FNP", "KF8A100FNP", "KF8A100GQP", "KF8A100GQS", "KF8A100GQT", "KF8A200GQS",
    "KF8F207SB", "KF8F210-S20", "KF8F210-S14", "KF8F210-S16", "KF8F210-S8", "KF8F210-S14", "KF8F211-S8",
    "KF8F211-S14", "KF8F212-S14-5", "KF8F212-S20", "KF8F212-S20-5", "KF8F212-SS20", "KF8F212-SS20-5",
    "KF8F212-S8", "KF8F212-S8-5", "KF8F213-S16", "KF8F213-S20", "KF8F213-SS20", "KF8F213-TS20",
    "KF8F310-S16", "KF8F310-S20", "KF8F312-S14", "KF8F312-S20", "KF8F312-S8", "KF8F312-SS20", "KF8F312-TS20",
    "KF8F312M4-S8", "KF8F312M4-S14", "KF8F312M4-S20", "KF8F312M4-SS20", "KF8F333-S28", "KF8F333-SS28",
    "KF8F333-TS28", "KF8F334-Q44", "KF8F1020SAR", "KF8F1000SB", "KF8F1000SD", "KF8F2020SB", "KF8F2020MB",
    "KF8F2020SD", "KF8F2320SB", "KF8F2320SD", "KF8F3110SB", "KF8F3110SD", "KF8F2030SD", "KF8F3120SD",
    "KF8F3130SD", "KF8F3130TD", "KF8F3112SE", "KF8F3112OG", "KF8F3112SG", "KF8F3122SE", "KF8F3122OG",
    "KF8F3122SG", "KF8F3122NG", "KF8F3132SE", "KF8F3132SG", "KF8F3156QP", "KF8F3156SN", "KF8F3156UN",
    "KF8F4110SD", "KF8F4112SE", "KF8F4112OG", "KF8F4112SG", "KF8F4120SD", "KF8F4122SE", "KF8F4122OG",
    "KF8F4122SG", "KF8F4122NG", "KF8F4130SD", "KF8F4132SE", "KF8F4132OG", "KF8F4132SG", "KF8F4133ON",
    "KF8F4142NG", "KF8F4155OM", "KF8F4155SN", "KF8F4155QP", "KF8F4156QP", "KF8F4156SN", "KF8F4156UN",
    "KF8F4158QP", "KF8F4230SD", "KF8F5134QS", "KF8F5133TN", "KF8F5132OG", "KF8F6345QT", "KF8F6345QU",
    "KF8F6345QR", "KF8F6345SN", "KF8F3132OG", "KF8F4132OG", "KF8F4110SD", "KF8L23Z20", "KF8L22Z20",
    "KF8L15Z20", "KF8L20Z04", "KF8L20Z08"};

// KF32 list (vendor 5, sub-list "KF32xx")
constexpr const char* kKf32List[] = {
    "KF32A150IQT", "KF32A150KQT", "KF32A150MQT", "KF32A150MNT", "KF32A150KQV", "KF32A150MQV", "KF32A151KQS",
    "KF32A151MQS", "KF32A151IQT", "KF32A151KQT", "KF32A151MQT", "KF32A151KQV", "KF32A151MQV", "KF32A153MQV",
    "KF32A140GQP", "KF32A140INP", "KF32A140IQS", "KF32A140IQT", "KF32A140KQS", "KF32A140KQT", "KF32A141GQP",
    "KF32A141INP", "KF32A141IQS", "KF32A141IQT", "KF32A250GQS", "KF32A250KQT", "KF32A250MQT", "KF32A250MQV",
    "KF32A152MQT", "KF32A152MQV", "KF32A136IQT", "KF32A136IQS", "KF32A136GQS", "KF32A136KQT", "KF32A136KNP",
    "KF32A136KQS", "KF32A136INP", "KF32A136GNP", "KF32A146IQS", "KF32A146KQS", "KF32A146IQT", "KF32A146KQT",
    "KF32A156KQS", "KF32A156MQS", "KF32A156KQT", "KF32A156MQT", "KF32A156KQV", "KF32A156MQV", "KF32A156MQW",
    "KF32F130GNP", "KF32F130INP", "KF32F130GQS", "KF32F130IQS", "KF32F130GQT", "KF32F130IQT", "KF32F130KQT",
    "KF32F130MQT", "KF32F330GQS", "KF32F330IQS", "KF32F330IQT", "KF32F330IQV", "KF32F330KQT", "KF32F330KQV",
    "KF32F330MQT", "KF32F330MQV", "KF32F350KQS", "KF32F350MQS", "KF32F350KQT", "KF32F350MQT", "KF32F350KQV",
    "KF32F350MQV", "KF32L530KNS", "KF32L530MNS", "KF32L530KQT", "KF32L530MQT", "KF32L530KQV", "KF32L530MQV",
    "KF32A150KQS", "KF32A150MQS", "KF32LS200FNP", "KF32LS200GNP", "KF32LS200INP", "KF32LS200KNP",
    "KF32LS200FNS", "KF32LS200GNS", "KF32LS200INS", "KF32LS200KNS", "KF32LS200MNS", "KF32LS200FQS",
    "KF32LS200GQS", "KF32LS200IQS", "KF32LS200KQS", "KF32LS200MQS", "KF32LS200GQT", "KF32LS200IQT",
    "KF32LS200KQT", "KF32LS200MQT", "KF32LS200KQV", "KF32LS200MQV", "KF32LS201GNP", "KF32LS201INP",
    "KF32LS201KNP", "KF32LS201GNS", "KF32LS201INS", "KF32LS201KNS", "KF32LS201MNS", "KF32LS201GQS",
    "KF32LS201IQS", "KF32LS201KQS", "KF32LS201MQS", "KF32LS201GQT", "KF32LS201IQT", "KF32LS201KQT",
    "KF32LS201MQT", "KF32LS201IQV", "KF32LS201KQV", "KF32LS201MQV", "KF32LS500GNP", "KF32LS500INP",
    "KF32LS500KNP", "KF32LS500GNS", "KF32LS500INS", "KF32LS500KNS", "KF32LS500MNS", "KF32LS500GQS",
    "KF32LS500IQS", "KF32LS500KQS", "KF32LS500MQS", "KF32LS500GQT", "KF32LS500IQT", "KF32LS500KQT",
    "KF32LS500MQT", "KF32LS500KQV", "KF32LS500MQV"};

// HC8AT list (vendor 6)
constexpr const char* kHc8atList[] = {
    "HC8AT3541-T32", "HC8AT3541-Q32", "HC8AT3541-T20", "HC8AT3541-Q20"};

// LE list (vendor 7)
constexpr const char* kLeList[] = {
    "LE5010AI", "LE5010AIE", "LE5010AJ", "LE5010BI", "LE5010BIE", "LE5010BJ", "LE5010TI", "LE5010SI",
    "LE5110AI", "LE5110AJ", "LE5110BI", "LE5110BJ", "LE5110TI", "LE5110SI"};

// IMD list (vendor 8)
constexpr const char* kImdList[] = {
    "IMD111T-6F040", "IMD112T-6F040"};

const std::array<CatalogueList, 10> kLists = {{
    {0, "Z51F", "", kZ51FList},
    {1, "SC9x", "", kSc9xList},
    {2, "ITE", "", kIteList},
    {3, "MC96F", "", kMc96fList},
    {4, "ANX", "", kAnxList},
    {5, "KF8", "KF8xxx", kKf8List},
    {5, "KF32", "KF32xx", kKf32List},
    {6, "HC8AT", "", kHc8atList},
    {7, "LE", "", kLeList},
    {8, "IMD", "", kImdList},
}};

constexpr std::array<std::string_view, kVendorCount> kVendorLabels = {
    "Zialog", "赛元微", "ITE Tech", "Abov Chips", "Analogix", "Chip ON(芯旺微）", "上海芯圣", "凌思微电子", "iMOTION",
};

CatalogueEntry Entry(const CatalogueList& list, size_t i) {
  return CatalogueEntry{ChipDescriptor{list.names[i], list.vendor, static_cast<uint8_t>(i)}, &list};
}

}  // namespace

std::span<const CatalogueList> CatalogueLists() { return kLists; }

const CatalogueList& ListForVendor(uint8_t vendor, int kfxIndex) {
  if (vendor >= kVendorCount) throw std::out_of_range("no such vendor family");
  // Lists 0..4 belong to vendors 0..4; vendor 5 owns lists 5 and 6; the rest are shifted by one.
  if (vendor < 5) return kLists[vendor];
  if (vendor == 5) return kLists[kfxIndex == 1 ? 6 : 5];
  return kLists[static_cast<size_t>(vendor) + 1];
}

std::string_view VendorLabel(uint8_t vendor) {
  if (vendor >= kVendorCount) throw std::out_of_range("no such vendor family");
  return kVendorLabels[vendor];
}

std::vector<CatalogueEntry> AllCatalogueEntries() {
  std::vector<CatalogueEntry> all;
  for (const CatalogueList& list : kLists)
    for (size_t i = 0; i < list.names.size(); ++i) all.push_back(Entry(list, i));
  return all;
}

std::optional<CatalogueEntry> FindChipByName(std::string_view name) {
  for (const CatalogueList& list : kLists)
    for (size_t i = 0; i < list.names.size(); ++i)
      if (name == list.names[i]) return Entry(list, i);
  return std::nullopt;
}

std::optional<CatalogueEntry> FindChipByIndex(uint8_t vendor, std::string_view subList, int listIndex) {
  for (const CatalogueList& list : kLists) {
    if (list.vendor != vendor || list.subList != subList) continue;
    if (listIndex < 0 || static_cast<size_t>(listIndex) >= list.names.size()) return std::nullopt;
    return Entry(list, static_cast<size_t>(listIndex));
  }
  return std::nullopt;
}

}  // namespace tarvel
