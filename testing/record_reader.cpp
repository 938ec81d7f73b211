#include "testing/record_reader.h"

#include "format/layout_walk.h"

namespace zelvane {
namespace {

// Builds the values of the fields as the walk finds them. Nothing is allocated for a claim
// before the walk has checked it against the data.
struct BuildValues {
  static constexpr bool kKeepsValues = true;
  using RecordSlot = Record*;
  using FieldSlot = Value*;
  using TextSlot = Text*;

  FieldSlot Field(RecordSlot record, std::size_t i) { return &record->fields[i]; }
  RecordSlot AsRecord(FieldSlot v) { return &std::get<Record>(*v); }
  TextSlot AsText(FieldSlot v) { return &std::get<Text>(*v); }
  ByteArray* AsByteArray(FieldSlot v) { return &std::get<ByteArray>(*v); }
  TextArray* AsTextArray(FieldSlot v) { return &std::get<TextArray>(*v); }
  RecordArray* AsRecordArray(FieldSlot v) { return &std::get<RecordArray>(*v); }

  void SetByte(FieldSlot v, std::uint8_t byte) { std::get<std::uint8_t>(*v) = byte; }
  bool TakeText(TextSlot text, ByteCursor& cursor, std::size_t n) {
    if (n > cursor.Remaining()) return false;
    text->resize(n);
    return cursor.Copy(text->data(), n);
  }

  template <class Array>
  void SetDimensions(Array* array, std::size_t count) {
    array->bounds.dims.resize(count);
  }
  template <class Array>
  void SetDimension(Array* array, std::size_t i, Dimension d) {
    array->bounds.dims[i] = d;
  }
  void SizeElements(ByteArray* array, std::uint64_t total, const zelvane::Field&) {
    array->elements.resize(static_cast<std::size_t>(total));
  }
  void SizeElements(TextArray* array, std::uint64_t total, const zelvane::Field&) {
    array->elements.resize(static_cast<std::size_t>(total));
  }
  void SizeElements(RecordArray* array, std::uint64_t total, const zelvane::Field& element) {
    array->elements.assign(static_cast<std::size_t>(total), EmptyRecord(*element.nested));
  }
  bool TakeBytes(ByteArray* array, ByteCursor& cursor, std::uint64_t total) {
    return cursor.Copy(reinterpret_cast<char*>(array->elements.data()), static_cast<std::size_t>(total));
  }
  TextSlot TextElement(TextArray* array, std::uint64_t i) { return &array->elements[static_cast<std::size_t>(i)]; }
  RecordSlot RecordElement(RecordArray* array, std::uint64_t i) {
    return &array->elements[static_cast<std::size_t>(i)];
  }

  void Clear(FieldSlot v, const zelvane::Field& field) { *v = EmptyValue(field); }
  void FieldEnds(std::size_t, std::uint64_t) {}
};

}  // namespace

ReadEnd RecordReader::ReadRecord(const Layout& layout, Record& record) {
  record = EmptyRecord(layout);
  BuildValues values;
  LayoutWalk<BuildValues> walk(cursor_, values);
  const ReadEnd end = walk.Walk(layout, &record);
  position_ = static_cast<std::size_t>(walk.WholeEnd());
  return end;
}

}  // namespace zelvane
