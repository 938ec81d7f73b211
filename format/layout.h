#pragma once
// Field kinds and layout tables: the shape of a record's encoding, described by data. The tool
// walks records by these tables without building their values.

#include <cstddef>
#include <cstdint>
#include <span>

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

// One dimension of an array, as its header stores it.
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

// The fewest bytes any value of the field can take in a file: the size of its empty value, which
// is all zero bytes (00 00 for a text or an array never dimensioned, 00 for a byte). Field `i` of
// an empty record starts at MinEncodedSize(layout) - MinEncodedSize(layout, i).
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

}  // namespace zelvane
