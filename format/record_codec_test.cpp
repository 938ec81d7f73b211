// Byte-exact encoding, decoding of short and hostile data, and round trips.

#include <gtest/gtest.h>

#include "format/record_scan.h"
#include "testing/profile_records.h"
#include "testing/record_reader.h"
#include "testing/record_writer.h"
#include "testing/sample_profiles.h"

namespace zelvane {
namespace {

using Bytes = std::string;
Bytes B(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

constexpr Field TextOnlyFields[] = {{Kind::Text}};
constexpr Field ByteOnlyFields[] = {{Kind::Byte}};
constexpr Field BytesOnlyFields[] = {{Kind::ByteArray}};
constexpr Field TextsOnlyFields[] = {{Kind::TextArray}};
constexpr Field ItemsOnlyFields[] = {{Kind::RecordArray, &layouts::BlockItem}};
constexpr Layout TextOnly{TextOnlyFields}, ByteOnly{ByteOnlyFields}, BytesOnly{BytesOnlyFields},
    TextsOnly{TextsOnlyFields}, ItemsOnly{ItemsOnlyFields};

struct Case {
  const char* name;
  const Layout& layout;
  Bytes bytes;
};

const Bytes EmptyItem = B({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
const Case Cases[] = {
    {"empty text", TextOnly, B({0, 0})},
    {"text abc", TextOnly, B({3, 0, 'a', 'b', 'c'})},
    {"text of 300 bytes", TextOnly, B({0x2C, 0x01}) + Bytes(300, '\xE9')},
    {"text of 40,000 bytes", TextOnly, B({0x40, 0x9C}) + Bytes(40000, 'T')},
    {"byte 7", ByteOnly, B({7})},
    {"byte 255", ByteOnly, B({0xFF})},
    {"bytes never dimensioned", BytesOnly, B({0, 0})},
    {"bytes, lower bound 1", BytesOnly, B({1, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0x10, 0x20, 0x30})},
    {"bytes, 2 x 3, negative lower bounds", BytesOnly,
     B({2, 0, 2, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0x80, 1, 2, 3, 4, 5, 6})},
    {"bytes, a dimension of count 0", BytesOnly, B({2, 0, 0, 0, 0, 0, 3, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0})},
    {"bytes, count 0 beside a huge count", BytesOnly,
     B({2, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
    {"bytes, count 0 after counts whose product overflows", BytesOnly,
     B({4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
        0, 0, 0, 0, 1, 0, 0, 0})},
    {"texts, lower bound 0", TextsOnly, B({1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 'x', 0, 0})},
    {"texts, 3 dimensions", TextsOnly,
     B({3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0x80,
        2, 0, 'h', 'i', 0, 0})},
    {"items, two empty, lower bound 1", ItemsOnly, B({1, 0, 2, 0, 0, 0, 1, 0, 0, 0}) + EmptyItem + EmptyItem},
    {"items, one full", ItemsOnly,
     B({1, 0, 1, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF, 1, 0, 'a', 9, 2, 0, 'b', 'c', 0, 0, 1, 0, 'd', 0xFE, 3, 0, 'e',
        'f', 'g'})},
};

std::pair<ReadEnd, Record> Decode(const Layout& layout, std::string_view bytes, std::size_t* position = nullptr) {
  Record record;
  RecordReader reader(bytes);
  const ReadEnd end = reader.ReadRecord(layout, record);
  if (position) *position = reader.Position();
  return {end, record};
}

TEST(RecordCodec, DecodeThenEncodeKeepsEveryByte) {
  for (const Case& c : Cases) {
    std::size_t position = 0;
    auto [end, record] = Decode(c.layout, c.bytes, &position);
    EXPECT_EQ(end, ReadEnd::Complete) << c.name;
    EXPECT_EQ(position, c.bytes.size()) << c.name;
    EXPECT_EQ(EncodeRecord(c.layout, record), c.bytes) << c.name;
  }
}

// A cut field stays empty, whatever the record held before the read; reading nothing of a whole
// profile gives its empty record.
TEST(RecordCodec, AnyCutLeavesTheFieldEmpty) {
  std::vector<Case> cases(std::begin(Cases), std::end(Cases));
  cases.push_back({"a profile", layouts::LegacyProfileRecord, samples::Encode(samples::Legacy())});
  for (const Case& c : cases) {
    const bool profile = &c.layout == &layouts::LegacyProfileRecord;  // cut before its first field only
    for (std::size_t cut = 0; cut < (profile ? 1 : c.bytes.size()); ++cut) {
      Record record = Decode(c.layout, c.bytes).second;  // what the record held before
      RecordReader reader(std::string_view(c.bytes).substr(0, cut));
      EXPECT_EQ(reader.ReadRecord(c.layout, record), cut == 0 ? ReadEnd::AtFieldBoundary : ReadEnd::InsideField)
          << c.name << " cut " << cut;
      EXPECT_EQ(reader.Position(), 0u) << c.name << " cut " << cut;
      EXPECT_EQ(record, EmptyRecord(c.layout)) << c.name << " cut " << cut;
    }
  }
}

TEST(RecordCodec, DecodedValuesAreLittleEndianAndSigned) {
  auto [end, record] = Decode(BytesOnly, Cases[8].bytes);
  const auto& array = std::get<ByteArray>(record.fields[0]);
  ASSERT_EQ(array.bounds.dims.size(), 2u);
  EXPECT_EQ(array.bounds.dims[0], (Dimension{2, -5}));
  EXPECT_EQ(array.bounds.dims[1], (Dimension{3, INT32_MIN}));
  EXPECT_EQ(array.elements, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

  auto [end2, text] = Decode(TextOnly, Cases[2].bytes);
  EXPECT_EQ(std::get<Text>(text.fields[0]), Bytes(300, '\xE9'));  // length 0x012C, not 0x2C01
}

// Data cut short, and counts no file can back: the field stays empty, nothing is allocated for
// the claim, and the reason is told.
TEST(RecordCodec, HostileCountsAreCheckedBeforeAnythingIsAllocated) {
  struct Hostile {
    const char* name;
    Layout layout;
    Bytes bytes;
    Damage why = Damage::ClaimExceedsFile;
  };
  std::vector<Hostile> cases = {
      {"a text running past the end", TextOnly, B({5, 0, 'a', 'b'}), Damage::EndsInsideField},
      {"a dimension count cut short", TextsOnly, B({1}), Damage::EndsInsideField},
      {"the second item cut between its fields", ItemsOnly,
       B({1, 0, 2, 0, 0, 0, 0, 0, 0, 0}) + EmptyItem + B({5, 0, 'a', 'b', 'c', 'd', 'e', 7, 0, 0, 0, 0}),
       Damage::EndsInsideField},
  };
  for (const samples::HostileClaim& claim : samples::HostileClaims())  // the claimed array as the one field
    cases.push_back({claim.name, Layout{layouts::ProfileBlock.fields.subspan(claim.array, 1)}, samples::ArrayClaim(claim)});
  for (const Hostile& c : cases) {
    auto [end, record] = Decode(c.layout, c.bytes);
    EXPECT_EQ(end, ReadEnd::InsideField) << c.name;
    EXPECT_EQ(record, EmptyRecord(c.layout)) << c.name;
    ByteCursor cursor(c.bytes);
    EXPECT_EQ(ScanRecord(cursor, c.layout).damage, c.why) << c.name;
  }
}

TEST(RecordCodec, EmptyValuesEncodeToTheirMinimumSize) {
  const Layout* all[] = {&layouts::BlockItem, &layouts::ProfileBlock, &layouts::LegacyProfileRecord,
                         &layouts::CurrentProfileRecord, &TextOnly, &ByteOnly, &BytesOnly, &TextsOnly, &ItemsOnly};
  for (const Layout* layout : all) {
    const Bytes bytes = EncodeRecord(*layout, EmptyRecord(*layout));
    EXPECT_EQ(bytes.size(), MinEncodedSize(*layout));
    EXPECT_EQ(bytes, Bytes(bytes.size(), '\0'));  // 00 00 per text and array, 00 per byte
  }
}

TEST(RecordCodec, WriterRefusesValuesTheEncodingCannotHold) {
  Record longText = EmptyRecord(TextOnly);
  std::get<Text>(longText.fields[0]) = Bytes(65536, 'a');
  EXPECT_THROW(EncodeRecord(TextOnly, longText), std::invalid_argument);
  std::get<Text>(longText.fields[0]).pop_back();
  EXPECT_EQ(EncodeRecord(TextOnly, longText).size(), 65537u);

  Record mismatched = EmptyRecord(BytesOnly);
  std::get<ByteArray>(mismatched.fields[0]).bounds.dims = {{2, 0}};
  std::get<ByteArray>(mismatched.fields[0]).elements = {1};
  EXPECT_THROW(EncodeRecord(BytesOnly, mismatched), std::invalid_argument);

  EXPECT_THROW(EncodeRecord(TextOnly, EmptyRecord(BytesOnly)), std::bad_variant_access);
}

// A file's bytes, handed out in reads of at most `chunk`.
class ChunkedSource : public ByteSource {
 public:
  ChunkedSource(std::string_view data, std::size_t chunk) : data_(data), chunk_(chunk) {}
  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    const std::string_view part = data_.substr(static_cast<std::size_t>(offset), std::min(size, chunk_));
    std::copy(part.begin(), part.end(), into);
    return part.size();
  }

 private:
  std::string_view data_;
  std::size_t chunk_;
};

// Whatever the cut, the fields kept are exactly what the read bytes encode, and a scan through
// the smallest buffers finds the same end as the reader. The buffers are followed by zero bytes,
// as a fresh one is: a walk that counts empty elements past the bytes in hand finds them there.
TEST(RecordCodec, EveryCutOfARecordKeepsAPrefixOfItsBytes) {
  LegacyProfileRecord rich = samples::Legacy();  // every kind, nested arrays included
  rich[LegacyProfileRecord::BlockB][ProfileBlock::Items] = {
      {{{4, 0}}}, {BlockItem{}, BlockItem{}, BlockItem{}, samples::ItemOf(7, 3)}};  // a run of empty items
  const Bytes full = samples::Encode(rich);
  int boundaries = 0;
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    const Bytes data = full.substr(0, cut);
    std::size_t position = 0;
    auto [end, record] = Decode(layouts::LegacyProfileRecord, data, &position);
    for (const std::size_t buffer : {ByteCursor::kMinBuffer, ByteCursor::kMinBuffer + 1, std::size_t{29}}) {
      ChunkedSource source(data, 7);
      std::vector<char> room(buffer + 64);
      ByteCursor cursor(source, data.size(), std::span(room).first(buffer));
      const RecordScan scan = ScanRecord(cursor, layouts::LegacyProfileRecord);
      EXPECT_EQ(scan.end, end) << "cut " << cut << ", buffer " << buffer;
      EXPECT_EQ(scan.wholeEnd, position) << "cut " << cut << ", buffer " << buffer;
      if (end == ReadEnd::AtFieldBoundary) {  // what a short file lacks: the empty values of its fields
        EXPECT_EQ(cut + scan.missing, EncodeRecord(layouts::LegacyProfileRecord, record).size()) << "cut " << cut;
      }
    }
    const Bytes again = EncodeRecord(layouts::LegacyProfileRecord, record);
    switch (end) {
      case ReadEnd::Complete:
        EXPECT_EQ(cut, full.size());
        EXPECT_EQ(again, full);
        break;
      case ReadEnd::AtFieldBoundary:
        ++boundaries;
        EXPECT_EQ(position, cut);
        EXPECT_EQ(again.substr(0, cut), data) << "cut " << cut;
        break;
      case ReadEnd::InsideField:
        EXPECT_LT(position, cut);
        EXPECT_EQ(again.substr(0, position), data.substr(0, position)) << "cut " << cut;
        break;
    }
  }
  EXPECT_EQ(boundaries, 31 + 4 + 2 * 8);  // a cut just before each text, byte and array field
}

}  // namespace
}  // namespace zelvane
