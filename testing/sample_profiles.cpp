#include "testing/sample_profiles.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "format/byte_cursor.h"
#include "format/record_scan.h"

namespace zelvane::samples {
namespace {

std::uint32_t Next(std::uint32_t& state) {  // a fixed pseudo-random sequence
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

Text TextOf(std::size_t length, std::uint32_t seed) {
  Text text(length, 'a');
  for (std::size_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(0x20 + (seed * 2654435761u + i * 40503u) % 0xDF);  // 8-bit code page bytes
  return text;
}

// An array of the given bounds whose elements `make` returns in turn.
template <class Element, class Make>
Array<Element> ArrayOf(std::vector<Dimension> dims, Make make) {
  Array<Element> array{{std::move(dims)}, {}};
  std::uint64_t count = 0;
  array.bounds.ElementCount(count);
  array.elements.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) array.elements.push_back(make());
  return array;
}

ProfileBlock TextsOnly(const std::string& name) {
  ProfileBlock block;
  block[ProfileBlock::Text1] = name;
  block[ProfileBlock::Text3] = "header;footer";
  block[ProfileBlock::Text4] = "\t";
  block[ProfileBlock::Text5] = std::string(1, '\0') + "nul inside";
  return block;
}

void FillRich(ProfileBlock& a, ProfileBlock& b, const std::string& seed) {
  std::uint32_t items = 0, bytes = 0;
  a[ProfileBlock::Items] = ArrayOf<Record>({{2, -1}, {3, 1}}, [&]() -> Record {
    return ++items < 6 ? ItemOf(items, 2 * items) : BlockItem{};
  });
  a[ProfileBlock::Bytes] = ArrayOf<std::uint8_t>({{2, 0}, {2, -1}, {3, 5}}, [&] { return std::uint8_t(21 * bytes++); });
  a[ProfileBlock::Texts] = {{{{4, 1}}}, {"one", "", "three", seed}};
  b[ProfileBlock::Items] = {{{{1, INT32_MIN}}}, {ItemOf(7, 3)}};
  b[ProfileBlock::Bytes] = {{{{0, 5}, {0xFFFFFFFFu, 0}}}, {}};  // no elements beside a huge count
  b[ProfileBlock::Texts] = {{{{1, 1}, {2, INT32_MIN}, {1, INT32_MAX}}}, {"x", ""}};
}

void FillLarge(ProfileBlock& a, ProfileBlock& b, double mebibytes) {
  const double k = mebibytes / 45.0;  // the sizes below add up to about 45 MiB
  const auto n = [k](double v) { return static_cast<std::uint32_t>(std::max(1.0, v * k)); };
  std::uint32_t state = 1;
  const auto bytes = [&] { return static_cast<std::uint8_t>(Next(state)); };
  const auto texts = [&](std::size_t maxLength) {
    return [&state, maxLength] {
      const std::size_t length = Next(state) % (maxLength + 1);
      return TextOf(length, state);
    };
  };
  const auto items = [&](std::size_t maxTextLength) {
    return [&state, maxTextLength]() -> Record {
      const std::uint32_t seed = Next(state);
      return ItemOf(seed, Next(state) % (maxTextLength + 1));
    };
  };
  a[ProfileBlock::Bytes] = ArrayOf<std::uint8_t>({{n(3000), -5}, {4000, 1}}, bytes);         // ~11.4 MiB
  a[ProfileBlock::Texts] = ArrayOf<Text>({{n(50), 0}, {40, -3}, {50, 1}}, texts(300));       // ~14.5 MiB
  a[ProfileBlock::Items] = ArrayOf<Record>({{n(20000), 1}}, items(120));                     // ~2.3 MiB
  b[ProfileBlock::Bytes] = ArrayOf<std::uint8_t>({{n(8u << 20), -100}}, bytes);              // 8 MiB
  b[ProfileBlock::Texts] = ArrayOf<Text>({{n(200), 0}, {100, 0}}, texts(1000));              // ~9.6 MiB
  b[ProfileBlock::Items] = ArrayOf<Record>({{n(100), -50}, {50, 0}}, items(40));             // ~0.2 MiB
}

}  // namespace

BlockItem ItemOf(std::uint32_t seed, std::size_t textLength) {
  BlockItem item;
  item[BlockItem::Text1] = TextOf(textLength, seed);
  item[BlockItem::Byte1] = static_cast<std::uint8_t>(seed);
  item[BlockItem::Text2] = TextOf(textLength / 2, seed + 1);
  item[BlockItem::Text4] = TextOf(textLength / 3, seed + 2);
  item[BlockItem::Byte2] = static_cast<std::uint8_t>(seed >> 8);
  item[BlockItem::Text5] = TextOf(1, seed + 3);
  return item;
}

LegacyProfileRecord Legacy(const Sample& sample) {
  LegacyProfileRecord record;
  int n = 0;
  for (Value& field : record.fields)
    if (auto* text = std::get_if<Text>(&field)) *text = sample.seed + " text " + std::to_string(++n);
  record[ProfileFields::Text2] = "Caf\xE9 \xA3";  // code-page bytes, never interpreted
  record[ProfileFields::Text7] = "";
  record[ProfileFields::Text30] = sample.text30;
  record[ProfileFields::Text31] = sample.text31;
  record[ProfileFields::Byte1] = 1;
  record[ProfileFields::Byte3] = 0x80;
  record[ProfileFields::Byte4] = 0xFF;
  ProfileBlock a = TextsOnly(sample.seed + " A"), b = TextsOnly(sample.seed + " B");
  if (sample.arrays == Arrays::Rich) FillRich(a, b, sample.seed);
  if (sample.arrays == Arrays::Large) FillLarge(a, b, sample.mebibytes);
  record[ProfileFields::BlockA] = std::move(a);
  record[ProfileFields::BlockB] = std::move(b);
  return record;
}

CurrentProfileRecord Current(const Sample& sample, std::string text32, std::uint8_t byte5) {
  CurrentProfileRecord record;
  LegacyProfileRecord legacy = Legacy(sample);
  std::move(legacy.fields.begin(), legacy.fields.end(), record.fields.begin());
  record[CurrentProfileRecord::Text32] = std::move(text32);
  record[CurrentProfileRecord::Byte5] = byte5;
  return record;
}

std::string Upgraded(std::string_view legacy) {
  return std::string(legacy) + std::string(MinEncodedSize(layouts::AddedInCurrent), '\0');
}

std::string Truncated(std::string_view record) {
  if (record.empty()) throw std::invalid_argument("nothing to cut");
  return std::string(record.substr(0, record.size() - 1));
}

std::size_t FieldStart(std::string_view bytes, std::size_t field, const Layout& layout, std::size_t from) {
  ByteCursor cursor(bytes);
  cursor.Seek(from);
  const RecordScan scan = ScanRecord(cursor, layout);
  if (field > scan.fieldsRead) throw std::invalid_argument("the fields before it are not there whole");
  return static_cast<std::size_t>(field == 0 ? scan.start : scan.fieldEnds[field - 1]);
}

namespace {

// The header of an array of the given bounds, as it is stored before the elements.
std::string ArrayHeader(const ArrayBounds& bounds) {
  std::string header;
  const auto put = [&header](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header.push_back(static_cast<char>(value >> (8 * i)));
  };
  put(static_cast<std::uint32_t>(bounds.dims.size()), 2);
  for (const Dimension& d : bounds.dims) {
    put(d.count, 4);
    put(static_cast<std::uint32_t>(d.lowerBound), 4);
  }
  return header;
}

}  // namespace

AroundElements SplitAtArray(LegacyProfileRecord record, FieldRef<Record> block, std::size_t array,
                            const ArrayBounds& bounds) {
  const Field& field = layouts::ProfileBlock.fields[array];
  record[block].fields.at(array) = EmptyValue(field);
  const std::string bytes = Encode(record);
  const std::size_t at = FieldStart(bytes, array, layouts::ProfileBlock, FieldStart(bytes, block.index));
  return {bytes.substr(0, at) + ArrayHeader(bounds), bytes.substr(at + MinEncodedSize(field)), at};
}

Claim ClaimingProfile(std::size_t array, const ArrayBounds& bounds, std::size_t size) {
  AroundElements split = SplitAtArray(LegacyProfileRecord{}, ProfileFields::BlockA, array, bounds);
  split.head.resize(size, '\0');
  return {std::move(split.head), split.at};
}

const std::vector<HostileClaim>& HostileClaims() {
  static const std::vector<HostileClaim> claims = {
      {"4,294,967,295 items", ProfileBlock::Items.index, {{{0xFFFFFFFFu, 0}}}},
      {"4,294,967,295 bytes", ProfileBlock::Bytes.index, {{{0xFFFFFFFFu, 0}}}},
      {"4,294,967,295 texts", ProfileBlock::Texts.index, {{{0xFFFFFFFFu, 0}}}},
      {"a product that overflows 64 bits", ProfileBlock::Bytes.index,
       {{{0xFFFFFFFFu, INT32_MIN}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, INT32_MAX}}}},
      {"a product of 2 to the 64th, 0 when it wraps", ProfileBlock::Bytes.index,
       {{{65536, 0}, {65536, 0}, {65536, 0}, {65536, 0}}}, 200},
      {"a product that fits 64 bits but not the data", ProfileBlock::Texts.index, {{{65536, 0}, {65536, 0}}}},
      {"65,535 dimensions", ProfileBlock::Bytes.index, {std::vector<Dimension>(65535, Dimension{0xFFFFFFFFu, 0})}},
      {"items that fit as bytes but not as items", ProfileBlock::Items.index, {{{50'000, 0}}}, 60'000},
  };
  return claims;
}

std::string ArrayClaim(const HostileClaim& claim) {
  std::string bytes = ArrayHeader(claim.bounds);
  bytes.resize(claim.size, '\0');
  return bytes;
}

}  // namespace zelvane::samples
