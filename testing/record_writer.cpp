#include "testing/record_writer.h"

#include <stdexcept>

namespace zelvane {

std::string EncodeRecord(const Layout& layout, const Record& record) {
  RecordWriter writer;
  writer.WriteRecord(layout, record);
  return writer.TakeBytes();
}

void RecordWriter::WriteRecord(const Layout& layout, const Record& record) { WriteFields(layout, record); }

void RecordWriter::WriteFields(const Layout& layout, const Record& record) {
  if (record.fields.size() != layout.fields.size())
    throw std::invalid_argument("a record does not match its layout");
  for (std::size_t i = 0; i < layout.fields.size(); ++i) WriteField(layout.fields[i], record.fields[i]);
}

void RecordWriter::WriteField(const Field& field, const Value& value) {
  switch (field.kind) {
    case Kind::Text: return WriteText(std::get<Text>(value));
    case Kind::Byte: return WriteElement(field, std::get<std::uint8_t>(value));
    case Kind::Record: return WriteFields(*field.nested, std::get<Record>(value));
    case Kind::ByteArray: return WriteArray(std::get<ByteArray>(value), Field{Kind::Byte});
    case Kind::TextArray: return WriteArray(std::get<TextArray>(value), Field{Kind::Text});
    case Kind::RecordArray:
      return WriteArray(std::get<RecordArray>(value), Field{Kind::Record, field.nested});
  }
}

void RecordWriter::PutU16(std::size_t v) {
  const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
  out_.append(bytes, 2);
}

void RecordWriter::PutU32(std::uint32_t v) {
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF),
                         static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 24 & 0xFF)};
  out_.append(bytes, 4);
}

void RecordWriter::WriteText(const Text& text) {
  if (text.size() > 0xFFFF) throw std::invalid_argument("a text is longer than 65535 bytes");
  PutU16(text.size());
  out_.append(text);
}

void RecordWriter::WriteBounds(const ArrayBounds& bounds, std::size_t elementCount) {
  std::uint64_t total = 0;
  if (bounds.dims.size() > 0xFFFF || !bounds.ElementCount(total) || total != elementCount)
    throw std::invalid_argument("an array's elements do not match its bounds");
  PutU16(bounds.dims.size());
  for (const Dimension& d : bounds.dims) {
    PutU32(d.count);
    PutU32(static_cast<std::uint32_t>(d.lowerBound));
  }
}

template <class Element>
void RecordWriter::WriteArray(const Array<Element>& array, const Field& element) {
  WriteBounds(array.bounds, array.elements.size());
  if constexpr (std::is_same_v<Element, std::uint8_t>) {
    out_.append(reinterpret_cast<const char*>(array.elements.data()), array.elements.size());
  } else {
    for (const Element& e : array.elements) WriteElement(element, e);
  }
}

void RecordWriter::WriteElement(const Field&, std::uint8_t byte) { out_.push_back(static_cast<char>(byte)); }
void RecordWriter::WriteElement(const Field&, const Text& text) { WriteText(text); }
void RecordWriter::WriteElement(const Field& element, const Record& record) {
  WriteFields(*element.nested, record);
}

}  // namespace zelvane
