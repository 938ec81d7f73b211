// The four profile layouts: field counts and empty sizes.

#include <gtest/gtest.h>

#include <array>

#include "testing/profile_records.h"
#include "testing/record_writer.h"

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
// Fields 36 and 37, the two texts after both blocks and the fourth byte.
static_assert(layouts::kText30 == 35 && layouts::kText31 == 36 &&
              layouts::LegacyProfileFields[35].kind == Kind::Text && layouts::LegacyProfileFields[36].kind == Kind::Text);

TEST(ProfileLayouts, TwoEmptyItemsInABlockTake48Bytes) {
  ProfileBlock block;
  block[ProfileBlock::Items] = {{{{2, 1}}}, {BlockItem{}, BlockItem{}}};
  const std::string bytes = EncodeRecord(ProfileBlock::layout, block);
  EXPECT_EQ(bytes.size(), 48u);
  const std::size_t items = MinEncodedSize(block.layout) - MinEncodedSize(block.layout, ProfileBlock::Items.index);
  EXPECT_EQ(bytes.substr(items, 10), std::string("\x01\x00\x02\x00\x00\x00\x01\x00\x00\x00", 10));
}

}  // namespace
}  // namespace zelvane
