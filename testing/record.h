#pragma once
// Records as values, for the tests, the fuzz targets and the benchmarks (the tool itself walks
// records without building them). Records are plain data: a record holds one value per field of
// its layout, in the layout's order, and knows nothing else about it.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "format/layout.h"

namespace zelvane {

// A text field's bytes (the system's 8-bit code page), carried opaquely.
using Text = std::string;

// The stored shape of a dynamic array; no dimensions is the empty (never dimensioned) array.
struct ArrayBounds {
  std::vector<Dimension> dims;
  // The product of the counts (0 without dimensions); false when it does not fit in 64 bits.
  bool ElementCount(std::uint64_t& total) const;
  friend bool operator==(const ArrayBounds&, const ArrayBounds&) = default;
};

template <class Element>
struct Array {
  ArrayBounds bounds;
  std::vector<Element> elements;  // in stored order
  friend bool operator==(const Array&, const Array&) = default;
};

struct Value;

// Names a field of a layout by position and the type of value it holds.
template <class T>
struct FieldRef {
  std::size_t index;
};

struct Record {
  std::vector<Value> fields;

  template <class T>
  T& operator[](FieldRef<T> f);
  template <class T>
  const T& operator[](FieldRef<T> f) const;
  friend bool operator==(const Record&, const Record&);
};

using ByteArray = Array<std::uint8_t>;
using TextArray = Array<Text>;
using RecordArray = Array<Record>;

// Alternatives in the order of Kind: a value holds the alternative of its field's Kind.
struct Value : std::variant<Text, std::uint8_t, Record, ByteArray, TextArray, RecordArray> {
  using variant::variant;
};

template <class T>
T& Record::operator[](FieldRef<T> f) {
  return std::get<T>(fields.at(f.index));
}
template <class T>
const T& Record::operator[](FieldRef<T> f) const {
  return std::get<T>(fields.at(f.index));
}
inline bool operator==(const Record& a, const Record& b) { return a.fields == b.fields; }

// The value a fresh record holds: empty texts, zero bytes, empty records, undimensioned arrays.
Value EmptyValue(const Field& field);
Record EmptyRecord(const Layout& layout);

// A record of a fixed layout, created holding the empty value of every field.
template <const Layout& L>
struct RecordOf : Record {
  static constexpr const Layout& layout = L;
  RecordOf() : Record(EmptyRecord(L)) {}
  // Takes the fields of a record of layout L.
  explicit RecordOf(Record&& record) : Record(std::move(record)) {
    if (fields.size() != L.fields.size()) throw std::invalid_argument("a record does not match its layout");
  }
};

}  // namespace zelvane
