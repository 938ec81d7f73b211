// The four profile layouts: field counts, empty sizes and positional names.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "format/profile_layouts.h"
#include "format/record_writer.h"

namespace zelvane {
namespace {

std::map<Kind, int> KindCounts(const Layout& layout) {
  std::map<Kind, int> counts;
  for (const Field& f : layout.fields) ++counts[f.kind];
  return counts;
}

TEST(ProfileLayouts, AgreeWithTheirCountsAndEmptySizes) {
  struct Expected {
    const char* name;
    const Layout& layout;
    std::map<Kind, int> counts;
    std::size_t emptySize;
  };
  const Expected cases[] = {
      {"BlockItem", layouts::BlockItem, {{Kind::Text, 5}, {Kind::Byte, 2}}, 12},
      {"ProfileBlock", layouts::ProfileBlock,
       {{Kind::Text, 5}, {Kind::RecordArray, 1}, {Kind::ByteArray, 1}, {Kind::TextArray, 1}}, 16},
      {"LegacyProfileRecord", layouts::LegacyProfileRecord, {{Kind::Text, 31}, {Kind::Byte, 4}, {Kind::Record, 2}}, 98},
      {"CurrentProfileRecord", layouts::CurrentProfileRecord, {{Kind::Text, 32}, {Kind::Byte, 5}, {Kind::Record, 2}}, 101},
  };
  for (const Expected& c : cases) {
    EXPECT_EQ(KindCounts(c.layout), c.counts) << c.name;
    EXPECT_EQ(EncodeRecord(c.layout, EmptyRecord(c.layout)).size(), c.emptySize) << c.name;
  }
}

TEST(ProfileLayouts, CurrentIsLegacyFollowedByATextAndAByte) {
  for (std::size_t i = 0; i < layouts::LegacyProfileFields.size(); ++i) {
    EXPECT_EQ(layouts::CurrentProfileFields[i].kind, layouts::LegacyProfileFields[i].kind) << i;
    EXPECT_EQ(layouts::CurrentProfileFields[i].nested, layouts::LegacyProfileFields[i].nested) << i;
  }
  EXPECT_EQ(layouts::CurrentProfileFields[37].kind, Kind::Text);
  EXPECT_EQ(layouts::CurrentProfileFields[38].kind, Kind::Byte);
}

TEST(ProfileLayouts, TwoEmptyItemsInABlockTake48Bytes) {
  ProfileBlock block;
  block[ProfileBlock::Items] = {{{{2, 1}}}, {BlockItem{}, BlockItem{}}};
  const std::string bytes = EncodeRecord(ProfileBlock::layout, block);
  EXPECT_EQ(bytes.size(), 48u);
  EXPECT_EQ(bytes.substr(4, 10), std::string("\x01\x00\x02\x00\x00\x00\x01\x00\x00\x00", 10));
}

// Every positional name reaches a field of its kind, and no two names share a field.
template <class Rec, class... Refs>
void ExpectNamesCoverTheLayout(const char* name, Refs... refs) {
  const Rec record;
  std::set<std::size_t> seen;
  ([&](auto ref) {
    EXPECT_NO_THROW((void)record[ref]) << name << " field " << ref.index + 1;
    EXPECT_TRUE(seen.insert(ref.index).second) << name << " field " << ref.index + 1;
  }(refs), ...);
  EXPECT_EQ(seen.size(), Rec::layout.fields.size()) << name;
}

TEST(ProfileLayouts, NamesMatchPositionsAndKinds) {
  using L = LegacyProfileRecord;
  using C = CurrentProfileRecord;
  using P = ProfileBlock;
  using I = BlockItem;
  ExpectNamesCoverTheLayout<I>("BlockItem", I::Text1, I::Byte1, I::Text2, I::Text3, I::Text4, I::Byte2, I::Text5);
  ExpectNamesCoverTheLayout<P>("ProfileBlock", P::Text1, P::Text2, P::Items, P::Text3, P::Text4, P::Text5, P::Bytes,
                               P::Texts);
  ExpectNamesCoverTheLayout<L>("LegacyProfileRecord", L::Text1, L::Text2, L::Text3, L::Text4, L::Text5, L::Text6,
                               L::Text7, L::Text8, L::Text9, L::Text10, L::Text11, L::Text12, L::Text13, L::Text14,
                               L::Text15, L::Text16, L::Text17, L::Text18, L::Byte1, L::Text19, L::Text20, L::Text21,
                               L::Text22, L::Text23, L::Text24, L::Text25, L::Text26, L::Byte2, L::Text27, L::Text28,
                               L::Text29, L::Byte3, L::BlockA, L::BlockB, L::Byte4, L::Text30, L::Text31);
  ExpectNamesCoverTheLayout<C>("CurrentProfileRecord", C::Text1, C::Text2, C::Text3, C::Text4, C::Text5, C::Text6,
                               C::Text7, C::Text8, C::Text9, C::Text10, C::Text11, C::Text12, C::Text13, C::Text14,
                               C::Text15, C::Text16, C::Text17, C::Text18, C::Byte1, C::Text19, C::Text20, C::Text21,
                               C::Text22, C::Text23, C::Text24, C::Text25, C::Text26, C::Byte2, C::Text27, C::Text28,
                               C::Text29, C::Byte3, C::BlockA, C::BlockB, C::Byte4, C::Text30, C::Text31, C::Text32,
                               C::Byte5);
  // Fields 36 and 37 sit after both blocks and the fourth byte.
  EXPECT_EQ(L::Text30.index, 35u);
  EXPECT_EQ(L::Text31.index, 36u);
}

}  // namespace
}  // namespace zelvane
