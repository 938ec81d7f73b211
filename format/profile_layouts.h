#pragma once
// The profile records of Quindrel: the legacy 37-field layout, the 2.0.12 layout (the legacy
// fields followed by one text and one byte), and the two nested records both share.
// Fields carry positional names only; the files store no names. testing/profile_records.h gives
// records of these layouts as values, with a name for each field.

#include <array>

#include "format/layout.h"

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

// Fields 36 and 37 of both profile layouts (Text30, Text31): a profile whose two are empty needs
// nothing of the 2.0.12 layout.
inline constexpr std::size_t kText30 = 35, kText31 = 36;

}  // namespace layouts

}  // namespace zelvane
