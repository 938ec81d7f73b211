#pragma once
// Profile records as values, for the tests, the fuzz targets and the benchmarks: a record type
// for each layout of format/profile_layouts.h, created empty, with a positional name for each
// field.

#include "format/profile_layouts.h"
#include "testing/record.h"

namespace zelvane {

struct BlockItem : RecordOf<layouts::BlockItem> {
  static constexpr FieldRef<Text> Text1{0}, Text2{2}, Text3{3}, Text4{4}, Text5{6};
  static constexpr FieldRef<std::uint8_t> Byte1{1}, Byte2{5};
};

struct ProfileBlock : RecordOf<layouts::ProfileBlock> {
  static constexpr FieldRef<Text> Text1{0}, Text2{1}, Text3{3}, Text4{4}, Text5{5};
  static constexpr FieldRef<RecordArray> Items{2};
  static constexpr FieldRef<ByteArray> Bytes{6};
  static constexpr FieldRef<TextArray> Texts{7};
};

// Fields 1 to 37, the same in both profile layouts.
struct ProfileFields {
  static constexpr FieldRef<Text> Text1{0}, Text2{1}, Text3{2}, Text4{3}, Text5{4}, Text6{5},
      Text7{6}, Text8{7}, Text9{8}, Text10{9}, Text11{10}, Text12{11}, Text13{12}, Text14{13},
      Text15{14}, Text16{15}, Text17{16}, Text18{17}, Text19{19}, Text20{20}, Text21{21},
      Text22{22}, Text23{23}, Text24{24}, Text25{25}, Text26{26}, Text27{28}, Text28{29},
      Text29{30}, Text30{layouts::kText30}, Text31{layouts::kText31};
  static constexpr FieldRef<std::uint8_t> Byte1{18}, Byte2{27}, Byte3{31}, Byte4{34};
  static constexpr FieldRef<Record> BlockA{32}, BlockB{33};
  static constexpr std::size_t SharedFieldCount = 37;
};

struct LegacyProfileRecord : RecordOf<layouts::LegacyProfileRecord>, ProfileFields {
  using RecordOf::RecordOf;
};

struct CurrentProfileRecord : RecordOf<layouts::CurrentProfileRecord>, ProfileFields {
  using RecordOf::RecordOf;
  static constexpr FieldRef<Text> Text32{37};
  static constexpr FieldRef<std::uint8_t> Byte5{38};
};

// The 2.0.12 record holding fields 1 to 37 of `legacy`; Text32 and Byte5 stay empty.
inline CurrentProfileRecord ToCurrent(LegacyProfileRecord legacy) {
  Record fields = std::move(legacy);  // fields 1 to 37, as they are
  fields.fields.emplace_back(std::in_place_type<Text>);             // Text32
  fields.fields.emplace_back(std::in_place_type<std::uint8_t>, 0);  // Byte5
  return CurrentProfileRecord(std::move(fields));
}

}  // namespace zelvane
