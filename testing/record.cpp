#include "testing/record.h"

namespace zelvane {

bool ArrayBounds::ElementCount(std::uint64_t& total) const {
  ElementTotal product;
  for (const Dimension& d : dims) product.Add(d.count);
  total = product.Value();
  return product.Fits();
}

Value EmptyValue(const Field& field) {
  switch (field.kind) {
    case Kind::Text: return Text{};
    case Kind::Byte: return std::uint8_t{0};
    case Kind::Record: return EmptyRecord(*field.nested);
    case Kind::ByteArray: return ByteArray{};
    case Kind::TextArray: return TextArray{};
    case Kind::RecordArray: return RecordArray{};
  }
  return Text{};  // not reached: every kind is handled above
}

Record EmptyRecord(const Layout& layout) {
  Record record;
  record.fields.reserve(layout.fields.size());
  for (const Field& field : layout.fields) record.fields.push_back(EmptyValue(field));
  return record;
}

}  // namespace zelvane
