#include "format/record.h"

namespace zelvane {

bool ArrayBounds::ElementCount(std::uint64_t& total) const {
  total = dims.empty() ? 0 : 1;
  for (const Dimension& d : dims)
    if (__builtin_mul_overflow(total, std::uint64_t{d.count}, &total)) return false;
  return true;
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
  for (const Field& f : layout.fields) record.fields.push_back(EmptyValue(f));
  return record;
}

std::size_t MinEncodedSize(const Field& field) {
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

std::size_t MinEncodedSize(const Layout& layout) {
  std::size_t size = 0;
  for (const Field& f : layout.fields) size += MinEncodedSize(f);
  return size;
}

}  // namespace zelvane
