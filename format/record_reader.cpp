#include "format/record_reader.h"

#include <algorithm>

namespace zelvane {
namespace {

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

const unsigned char* RecordReader::Take(std::size_t n) {
  if (n > Remaining()) return nullptr;
  pos_ += n;
  return reinterpret_cast<const unsigned char*>(data_.data()) + (pos_ - n);
}

ReadEnd RecordReader::ReadRecord(const Layout& layout, Record& record) {
  end_ = ReadEnd::Complete;
  ResetRecord(layout, record);
  ReadFields(layout, record);
  return end_;
}

bool RecordReader::ReadFields(const Layout& layout, Record& record) {
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const Field& field = layout.fields[i];
    if (field.kind == Kind::Record) {  // a nested record is just its fields, inline
      if (!ReadFields(*field.nested, std::get<Record>(record.fields[i]))) return false;
      continue;
    }
    if (Remaining() == 0) {
      end_ = ReadEnd::AtFieldBoundary;
      return false;
    }
    const std::size_t start = pos_;
    if (!ReadField(field, record.fields[i])) {  // cut short: the field stays empty
      record.fields[i] = EmptyValue(field);
      pos_ = start;
      return false;
    }
  }
  return true;
}

bool RecordReader::ReadField(const Field& field, Value& value) {
  switch (field.kind) {
    case Kind::Text: return ReadText(std::get<Text>(value));
    case Kind::Byte: return ReadElement(field, std::get<std::uint8_t>(value));
    case Kind::Record: return ReadFields(*field.nested, std::get<Record>(value));
    case Kind::ByteArray: return ReadArray(std::get<ByteArray>(value), Field{Kind::Byte});
    case Kind::TextArray: return ReadArray(std::get<TextArray>(value), Field{Kind::Text});
    case Kind::RecordArray:
      return ReadArray(std::get<RecordArray>(value), Field{Kind::Record, field.nested});
  }
  return CutShort();
}

bool RecordReader::ReadText(Text& text) {
  const unsigned char* p = Take(2);
  if (!p) return CutShort();
  const std::size_t n = U16(p);
  const unsigned char* bytes = Take(n);  // checked against the data before anything is allocated
  if (!bytes) return CutShort();
  text.assign(reinterpret_cast<const char*>(bytes), n);
  return true;
}

// Reads an array header. The element total is a claim made by the file: it is accepted only
// when that many elements of the smallest possible size fit in the bytes that remain.
bool RecordReader::ReadBounds(ArrayBounds& bounds, std::size_t minElementSize, std::size_t& total) {
  const unsigned char* p = Take(2);
  if (!p) return CutShort();
  const std::size_t dimCount = U16(p);
  const unsigned char* dims = Take(8 * dimCount);
  if (!dims) return CutShort();
  bounds.dims.resize(dimCount);
  for (Dimension& d : bounds.dims) {
    d.count = U32(dims);
    d.lowerBound = static_cast<std::int32_t>(U32(dims + 4));
    dims += 8;
  }
  std::uint64_t count = 0;
  const std::uint64_t room = Remaining() / std::max<std::size_t>(minElementSize, 1);
  if (!bounds.ElementCount(count) || count > room) return CutShort();
  total = static_cast<std::size_t>(count);
  return true;
}

template <class Element>
bool RecordReader::ReadArray(Array<Element>& array, const Field& element) {
  std::size_t total = 0;
  if (!ReadBounds(array.bounds, MinEncodedSize(element), total)) return false;
  if constexpr (std::is_same_v<Element, std::uint8_t>) {
    const unsigned char* bytes = Take(total);
    if (!bytes) return CutShort();
    array.elements.assign(bytes, bytes + total);
    return true;
  } else {
    if constexpr (std::is_same_v<Element, Record>)
      array.elements.assign(total, EmptyRecord(*element.nested));
    else
      array.elements.resize(total);
    for (Element& e : array.elements)
      if (!ReadElement(element, e)) return CutShort();  // even between an element's fields
    return true;
  }
}

bool RecordReader::ReadElement(const Field&, std::uint8_t& byte) {
  const unsigned char* p = Take(1);
  if (!p) return CutShort();
  byte = *p;
  return true;
}

bool RecordReader::ReadElement(const Field&, Text& text) { return ReadText(text); }

bool RecordReader::ReadElement(const Field& element, Record& record) {
  return ReadFields(*element.nested, record);
}

}  // namespace zelvane
