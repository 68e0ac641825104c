#include "chips/Catalogue.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Catalogue, ListsHaveTheirFixedLengthsAndKeepDuplicates) {
  std::vector<size_t> lengths;
  for (const CatalogueList& l : CatalogueLists()) lengths.push_back(l.names.size());
  EXPECT_EQ(lengths, (std::vector<size_t>{11, 42, 4, 10, 6, 119, 134, 4, 14, 2}));
  EXPECT_EQ(AllCatalogueEntries().size(), 346u);

  // "KF8A100ENG" stands at 0 and 7; a name lookup finds the first, an index lookup either.
  const auto& kf8 = ListForVendor(5, 0);
  EXPECT_STREQ(kf8.names[7], "KF8A100ENG");
  EXPECT_EQ(FindChipByName("KF8A100ENG")->chip.ListIndex, 0);
  EXPECT_EQ(FindChipByIndex(5, "KF8xxx", 7)->chip.ChipName, "KF8A100ENG");
  EXPECT_EQ(FindChipByName("SC92F73xx")->chip.ListIndex, 21);  // also at 27
}

TEST(Catalogue, Lookups) {
  auto e = FindChipByName("KF32A156MQW");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->chip.VendorIndex, 5);
  EXPECT_EQ(e->list->subList, "KF32xx");
  EXPECT_EQ(FindChipByIndex(5, "KF32xx", e->chip.ListIndex)->chip.ChipName, "KF32A156MQW");
  EXPECT_EQ(ListForVendor(5, 1).names.size(), 134u);
  EXPECT_EQ(ListForVendor(8).names[1], std::string_view("IMD112T-6F040"));
  EXPECT_EQ(FindChipByIndex(8, "", 1)->chip.ChipName, "IMD112T-6F040");
  EXPECT_EQ(VendorLabel(5), "Chip ON(芯旺微）");

  EXPECT_FALSE(FindChipByName("imd111t-6f040"));  // names are case-sensitive
  EXPECT_FALSE(FindChipByIndex(8, "", 2));
  EXPECT_FALSE(FindChipByIndex(8, "", -1));
  EXPECT_FALSE(FindChipByIndex(5, "", 0));
  EXPECT_FALSE(FindChipByIndex(1, "KF8xxx", 0));
  EXPECT_THROW(ListForVendor(9), std::out_of_range);
}

}  // namespace
}  // namespace tarvel
