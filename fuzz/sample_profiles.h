#pragma once
// Profile records made by code, for the fuzz seeds, the hostile-header test and the benchmarks.

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/profile_layouts.h"
#include "format/record_writer.h"

namespace zelvane::samples {

// The offset of BlockA's Items array in a legacy record whose texts before it are all empty:
// 18 texts, Byte1, 8 texts, Byte2, 3 texts, Byte3, then BlockA's Text1 and Text2.
inline constexpr std::size_t EmptyBlockAItemsOffset = 18 * 2 + 1 + 8 * 2 + 1 + 3 * 2 + 1 + 2 * 2;

// Which of BlockA's arrays a hostile header is put in.
enum class HostileArray { Items, Bytes, Texts };

// A 100-byte legacy profile whose array header claims 4,294,967,295 elements (one dimension,
// lower bound 0), the fields before it empty, zero bytes after it.
inline std::string HostileProfile(HostileArray array = HostileArray::Items) {
  std::size_t offset = EmptyBlockAItemsOffset;
  if (array != HostileArray::Items) offset += 2 + 3 * 2;  // an empty Items, Text3 … Text5
  if (array == HostileArray::Texts) offset += 2;          // an empty Bytes
  std::string bytes(100, '\0');
  const unsigned char header[] = {1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  for (std::size_t i = 0; i < sizeof header; ++i) bytes[offset + i] = static_cast<char>(header[i]);
  return bytes;
}

inline std::string TextOf(std::size_t length, std::uint32_t seed) {
  std::string text(length, 'a');
  for (std::size_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(0x20 + (seed * 2654435761u + i * 40503u) % 0xDF);  // 8-bit code page bytes
  return text;
}

inline BlockItem ItemOf(std::uint32_t seed, std::size_t textLength) {
  BlockItem item;
  item[BlockItem::Text1] = TextOf(textLength, seed);
  item[BlockItem::Byte1] = static_cast<std::uint8_t>(seed);
  item[BlockItem::Text2] = TextOf(textLength / 2, seed + 1);
  item[BlockItem::Text3] = "";
  item[BlockItem::Text4] = TextOf(textLength / 3, seed + 2);
  item[BlockItem::Byte2] = static_cast<std::uint8_t>(seed >> 8);
  item[BlockItem::Text5] = TextOf(1, seed + 3);
  return item;
}

// A small profile using every kind: arrays of one, two and three dimensions, negative lower
// bounds, a dimension of count 0, and non-empty Text30/Text31 so that it is upgraded.
inline LegacyProfileRecord SmallLegacy(std::uint32_t seed = 1) {
  LegacyProfileRecord r;
  r[LegacyProfileRecord::Text1] = "Profile " + std::to_string(seed);
  r[LegacyProfileRecord::Text7] = TextOf(seed % 40, seed);
  r[LegacyProfileRecord::Byte1] = 1;
  r[LegacyProfileRecord::Byte2] = static_cast<std::uint8_t>(seed);
  r[LegacyProfileRecord::Byte4] = 0xFF;
  r[LegacyProfileRecord::Text29] = "C:\\Quindrel\\data";
  r[LegacyProfileRecord::Text30] = "thirty";
  r[LegacyProfileRecord::Text31] = TextOf(seed % 7, seed + 9);

  ProfileBlock a;
  a[ProfileBlock::Text1] = "block A";
  a[ProfileBlock::Items] = {{{{2, -1}}}, {ItemOf(seed, 5), BlockItem{}}};
  a[ProfileBlock::Bytes] = {{{{2, 0}, {3, -7}}}, {1, 2, 3, 4, 5, 6}};
  a[ProfileBlock::Texts] = {{{{1, 1}, {2, INT32_MIN}, {1, INT32_MAX}}}, {"x", ""}};
  r[LegacyProfileRecord::BlockA] = a;

  ProfileBlock b;
  b[ProfileBlock::Text5] = "block B";
  b[ProfileBlock::Bytes] = {{{{0, 5}, {0xFFFFFFFFu, 0}}}, {}};  // zero elements beside a huge count
  b[ProfileBlock::Texts] = {{{{0, 0}}}, {}};
  r[LegacyProfileRecord::BlockB] = b;
  return r;
}

inline std::string Encode(const Record& record, const Layout& layout) { return EncodeRecord(layout, record); }

}  // namespace zelvane::samples
