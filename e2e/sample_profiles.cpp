#include "e2e/sample_profiles.h"

#include <cstdint>
#include <stdexcept>

#include "format/profile_layouts.h"
#include "format/record_writer.h"

namespace zelvane::e2e {
namespace {

constexpr FieldRef<Text> kTexts[] = {
    ProfileFields::Text1,  ProfileFields::Text2,  ProfileFields::Text3,  ProfileFields::Text4,
    ProfileFields::Text5,  ProfileFields::Text6,  ProfileFields::Text7,  ProfileFields::Text8,
    ProfileFields::Text9,  ProfileFields::Text10, ProfileFields::Text11, ProfileFields::Text12,
    ProfileFields::Text13, ProfileFields::Text14, ProfileFields::Text15, ProfileFields::Text16,
    ProfileFields::Text17, ProfileFields::Text18, ProfileFields::Text19, ProfileFields::Text20,
    ProfileFields::Text21, ProfileFields::Text22, ProfileFields::Text23, ProfileFields::Text24,
    ProfileFields::Text25, ProfileFields::Text26, ProfileFields::Text27, ProfileFields::Text28,
    ProfileFields::Text29, ProfileFields::Text30, ProfileFields::Text31};

template <class Element>
Array<Element> MakeArray(std::vector<Dimension> dims, std::vector<Element> elements) {
  Array<Element> array;
  array.bounds.dims = std::move(dims);
  array.elements = std::move(elements);
  return array;
}

Record Item(const std::string& seed, int n) {
  BlockItem item;
  item[BlockItem::Text1] = seed + " column " + std::to_string(n);
  item[BlockItem::Byte1] = static_cast<std::uint8_t>(n);
  item[BlockItem::Text2] = n % 2 ? "" : "Caf\xE9 \xA3" + std::to_string(n);  // code-page bytes
  item[BlockItem::Text3] = "width=" + std::to_string(10 * n);
  item[BlockItem::Text4] = "";
  item[BlockItem::Byte2] = 0xFF;
  item[BlockItem::Text5] = "end";
  return item;
}

Record Block(const std::string& seed, bool rich, std::size_t bulkBytes) {
  ProfileBlock block;
  block[ProfileBlock::Text1] = seed + " block";
  block[ProfileBlock::Text2] = "";
  block[ProfileBlock::Text3] = "header;footer";
  block[ProfileBlock::Text4] = "\t";
  block[ProfileBlock::Text5] = std::string(1, '\0') + "nul inside";
  if (rich) {
    std::vector<Record> items;
    for (int i = 0; i < 6; ++i) items.push_back(Item(seed, i));
    block[ProfileBlock::Items] = MakeArray<Record>({{2, 0}, {3, 1}}, std::move(items));
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 12; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 21));
    block[ProfileBlock::Bytes] = MakeArray<std::uint8_t>({{2, 0}, {2, -1}, {3, 5}}, std::move(bytes));
    block[ProfileBlock::Texts] = MakeArray<Text>({{4, 1}}, {"one", "", "three", seed});
  }
  if (bulkBytes > 0) {
    std::vector<std::uint8_t> bytes(bulkBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    block[ProfileBlock::Bytes] = MakeArray<std::uint8_t>({{static_cast<std::uint32_t>(bulkBytes), 0}}, std::move(bytes));
  }
  return block;
}

template <class R>
void FillShared(R& record, const std::string& seed, bool rich, std::size_t bulkBytes) {
  int n = 0;
  for (const FieldRef<Text> text : kTexts) record[text] = seed + " text " + std::to_string(++n);
  record[ProfileFields::Text7] = "";  // an empty text among filled ones
  record[ProfileFields::Byte1] = 1;
  record[ProfileFields::Byte2] = 0;
  record[ProfileFields::Byte3] = 0x80;
  record[ProfileFields::Byte4] = 0xFF;
  record[ProfileFields::BlockA] = Block(seed + " A", rich, bulkBytes);
  record[ProfileFields::BlockB] = Block(seed + " B", rich, 0);
}

}  // namespace

std::string LegacyProfile(LegacySample kind, std::string_view seed) {
  LegacyProfileRecord record;
  const bool rich = kind == LegacySample::RichArrays;
  FillShared(record, std::string(seed), rich, kind == LegacySample::Large ? 1000000 : 0);
  if (kind == LegacySample::BlankTail || kind == LegacySample::OnlyText31) record[ProfileFields::Text30] = "";
  if (kind == LegacySample::BlankTail || kind == LegacySample::OnlyText30) record[ProfileFields::Text31] = "";
  return EncodeRecord(LegacyProfileRecord::layout, record);
}

std::string CurrentProfile(std::string_view seed, std::string_view text32, unsigned char byte5) {
  CurrentProfileRecord record;
  FillShared(record, std::string(seed), true, 0);
  record[CurrentProfileRecord::Text32] = std::string(text32);
  record[CurrentProfileRecord::Byte5] = byte5;
  return EncodeRecord(CurrentProfileRecord::layout, record);
}

std::string Upgraded(std::string_view legacy) { return std::string(legacy) + std::string(3, '\0'); }

std::string Truncated(std::string_view legacy) {
  // The last field is Text31: two length bytes, then its text. Cutting one byte before the end
  // leaves a text shorter than its length says.
  if (legacy.size() < 4) throw std::invalid_argument("too short to cut inside its last text");
  return std::string(legacy.substr(0, legacy.size() - 1));
}

}  // namespace zelvane::e2e
