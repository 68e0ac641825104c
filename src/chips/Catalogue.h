// The chip catalogue: one fixed list of names per vendor family (two for vendor 5). An entry's position in
// its list is its ListIndex. Some names occur twice; the lists are kept exactly as the units' users know them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

inline constexpr int kVendorCount = 9;

struct ChipDescriptor {
  std::string ChipName;
  uint8_t VendorIndex = 0;
  uint8_t ListIndex = 0;
};

struct CatalogueList {
  uint8_t vendor;
  std::string_view family;   // short name of the list for listings: "Z51F", "SC9x", ... "KF8", "KF32"
  std::string_view subList;  // "KF8xxx" or "KF32xx" for vendor 5, empty otherwise
  std::span<const char* const> names;
};

// The ten lists in vendor order (vendor 5 gives KF8 then KF32).
std::span<const CatalogueList> CatalogueLists();
// The list shown for a vendor; for vendor 5, kfxIndex 0 is the KF8 list and 1 the KF32 list.
const CatalogueList& ListForVendor(uint8_t vendor, int kfxIndex = 0);
// The vendor selector's label of a family ("Zialog", ..., "iMOTION").
std::string_view VendorLabel(uint8_t vendor);

// A catalogue entry together with the list it stands in.
struct CatalogueEntry {
  ChipDescriptor chip;
  const CatalogueList* list;
};

// Every entry in catalogue order.
std::vector<CatalogueEntry> AllCatalogueEntries();
// The first entry of that name, searching the lists in vendor order.
std::optional<CatalogueEntry> FindChipByName(std::string_view name);
// One specific entry; std::nullopt when the vendor, list or index does not exist.
std::optional<CatalogueEntry> FindChipByIndex(uint8_t vendor, std::string_view subList, int listIndex);

}  // namespace tarvel
