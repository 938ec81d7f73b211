#pragma once
// The profile records of Quindrel: the legacy 37-field layout, the 2.0.12 layout (the legacy
// fields followed by one text and one byte), and the two nested records both share.
// Fields carry positional names only; the files store no names.

#include <array>

#include "format/record.h"

namespace zelvane {
namespace layouts {

constexpr Field T{Kind::Text};
constexpr Field B{Kind::Byte};

inline constexpr Field BlockItemFields[] = {T, B, T, T, T, B, T};
inline constexpr Layout BlockItem{BlockItemFields};

inline constexpr Field ProfileBlockFields[] = {
    T, T, {Kind::RecordArray, &BlockItem}, T, T, T, {Kind::ByteArray}, {Kind::TextArray}};
inline constexpr Layout ProfileBlock{ProfileBlockFields};

constexpr Field Block{Kind::Record, &ProfileBlock};
inline constexpr std::array<Field, 37> LegacyProfileFields = {
    T, T, T, T, T, T, T, T, T, T, T, T, T, T, T, T, T, T,  // Text1 … Text18
    B,                                                     // Byte1
    T, T, T, T, T, T, T, T,                                // Text19 … Text26
    B,                                                     // Byte2
    T, T, T,                                               // Text27 … Text29
    B,                                                     // Byte3
    Block, Block,                                          // BlockA, BlockB
    B,                                                     // Byte4
    T, T};                                                 // Text30, Text31
inline constexpr Layout LegacyProfileRecord{LegacyProfileFields};

constexpr std::array<Field, 39> CurrentProfileFieldList() {
  std::array<Field, 39> fields{};
  for (std::size_t i = 0; i < LegacyProfileFields.size(); ++i) fields[i] = LegacyProfileFields[i];
  fields[37] = T;  // Text32
  fields[38] = B;  // Byte5
  return fields;
}
inline constexpr std::array<Field, 39> CurrentProfileFields = CurrentProfileFieldList();
inline constexpr Layout CurrentProfileRecord{CurrentProfileFields};

// The fields the 2.0.12 layout adds after the legacy ones: Text32 and Byte5.
inline constexpr Layout AddedInCurrent{std::span(CurrentProfileFields).subspan(LegacyProfileFields.size())};

}  // namespace layouts

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
      Text29{30}, Text30{35}, Text31{36};
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

}  // namespace zelvane
