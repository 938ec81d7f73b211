// The four profile layouts: field counts, empty sizes and positional names.

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "format/profile_layouts.h"
#include "format/record_writer.h"

namespace zelvane {
namespace {

// The count of each kind of field, in the order of Kind (texts, bytes, records, byte, text and
// record arrays), then the size of the empty record.
using Shape = std::array<std::size_t, 7>;
constexpr Shape ShapeOf(const Layout& layout) {
  Shape shape{};
  for (const Field& f : layout.fields) ++shape[static_cast<std::size_t>(f.kind)];
  shape[6] = MinEncodedSize(layout);
  return shape;
}
static_assert(ShapeOf(layouts::BlockItem) == Shape{5, 2, 0, 0, 0, 0, 12});
static_assert(ShapeOf(layouts::ProfileBlock) == Shape{5, 0, 0, 1, 1, 1, 16});
static_assert(ShapeOf(layouts::LegacyProfileRecord) == Shape{31, 4, 2, 0, 0, 0, 98});
static_assert(ShapeOf(layouts::CurrentProfileRecord) == Shape{32, 5, 2, 0, 0, 0, 101});

constexpr bool CurrentIsLegacyFollowedByATextAndAByte() {
  for (std::size_t i = 0; i < layouts::LegacyProfileFields.size(); ++i)
    if (layouts::CurrentProfileFields[i].kind != layouts::LegacyProfileFields[i].kind ||
        layouts::CurrentProfileFields[i].nested != layouts::LegacyProfileFields[i].nested)
      return false;
  return layouts::CurrentProfileFields[37].kind == Kind::Text && layouts::CurrentProfileFields[38].kind == Kind::Byte;
}
static_assert(CurrentIsLegacyFollowedByATextAndAByte());
// Fields 36 and 37 sit after both blocks and the fourth byte.
static_assert(LegacyProfileRecord::Text30.index == 35 && LegacyProfileRecord::Text31.index == 36);

TEST(ProfileLayouts, TwoEmptyItemsInABlockTake48Bytes) {
  ProfileBlock block;
  block[ProfileBlock::Items] = {{{{2, 1}}}, {BlockItem{}, BlockItem{}}};
  const std::string bytes = EncodeRecord(ProfileBlock::layout, block);
  EXPECT_EQ(bytes.size(), 48u);
  const std::size_t items = MinEncodedSize(block.layout) - MinEncodedSize(block.layout, ProfileBlock::Items.index);
  EXPECT_EQ(bytes.substr(items, 10), std::string("\x01\x00\x02\x00\x00\x00\x01\x00\x00\x00", 10));
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
}

}  // namespace
}  // namespace zelvane
