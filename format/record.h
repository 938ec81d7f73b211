#pragma once
// Field kinds, layout tables and record values. Records are plain data: a record holds one
// value per field of its layout, in the layout's order, and knows nothing else about it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace zelvane {

enum class Kind : std::uint8_t { Text, Byte, Record, ByteArray, TextArray, RecordArray };

struct Layout;
struct Field {
  Kind kind;
  const Layout* nested = nullptr;  // Record and RecordArray: the layout of the record or element
};
struct Layout {
  std::span<const Field> fields;
};

// A text field's bytes (the system's 8-bit code page), carried opaquely.
using Text = std::string;

struct Dimension {
  std::uint32_t count = 0;
  std::int32_t lowerBound = 0;
  friend bool operator==(const Dimension&, const Dimension&) = default;
};

// The number of elements of an array, its counts taken one at a time: the product of the counts,
// 0 when there are none or any of them is 0, and too large to hold when the product overflows 64
// bits (a claim no file can back).
class ElementTotal {
 public:
  void Add(std::uint32_t count) {
    if (count == 0) zero_ = true;
    else if (__builtin_mul_overflow(product_, std::uint64_t{count}, &product_)) overflow_ = true;
    any_ = true;
  }
  bool Fits() const { return zero_ || !overflow_; }
  std::uint64_t Value() const { return zero_ || !any_ ? 0 : product_; }

 private:
  std::uint64_t product_ = 1;
  bool any_ = false, zero_ = false, overflow_ = false;
};

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
// Makes `record` the empty value of `layout` in place, reusing what it holds where it can.
void ResetRecord(const Layout& layout, Record& record);

// The fewest bytes any value of the field can take in a file: the size of its empty value. Field
// `i` of an empty record starts at MinEncodedSize(layout) - MinEncodedSize(layout, i).
constexpr std::size_t MinEncodedSize(const Layout& layout, std::size_t fromField = 0);
constexpr std::size_t MinEncodedSize(const Field& field) {
  switch (field.kind) {
    case Kind::Text: return 2;
    case Kind::Byte: return 1;
    case Kind::Record: return MinEncodedSize(*field.nested);
    case Kind::ByteArray:
    case Kind::TextArray:
    case Kind::RecordArray: return 2;
  }
  return 0;
}
constexpr std::size_t MinEncodedSize(const Layout& layout, std::size_t fromField) {
  std::size_t size = 0;
  for (std::size_t i = fromField; i < layout.fields.size(); ++i) size += MinEncodedSize(layout.fields[i]);
  return size;
}

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
