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
  ResetRecord(layout, record);
  return record;
}

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

void ResetRecord(const Layout& layout, Record& record) {
  if (record.fields.size() != layout.fields.size()) {  // built afresh, in the room it has
    record.fields.clear();
    record.fields.resize(layout.fields.size());  // empty texts, made in place
    for (std::size_t i = 0; i < layout.fields.size(); ++i)
      if (layout.fields[i].kind != Kind::Text) record.fields[i] = EmptyValue(layout.fields[i]);
    return;
  }
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const Field& field = layout.fields[i];
    Value& value = record.fields[i];
    if (value.index() != static_cast<std::size_t>(field.kind)) {
      value = EmptyValue(field);
      continue;
    }
    std::visit(Overloaded{[](Text& text) { text.clear(); },  //
                          [](std::uint8_t& byte) { byte = 0; },
                          [&](Record& nested) { ResetRecord(*field.nested, nested); },
                          [](auto& array) {
                            array.bounds.dims.clear();
                            array.elements.clear();
                          }},
               static_cast<Value::variant&>(value));
  }
}

}  // namespace zelvane
