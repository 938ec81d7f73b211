#pragma once
// Encodes records by a layout table: exactly the bytes of the fields, in order.

#include <string>

#include "testing/record.h"

namespace zelvane {

class RecordWriter {
 public:
  // Appends the encoding of `record` (which must hold values of `layout`). Throws
  // std::invalid_argument for a value the encoding cannot hold: a text over 65535 bytes, an
  // array with over 65535 dimensions or with elements that do not match its bounds.
  void WriteRecord(const Layout& layout, const Record& record);

  std::string TakeBytes() { return std::move(out_); }

 private:
  void WriteFields(const Layout& layout, const Record& record);
  void WriteField(const Field& field, const Value& value);
  void WriteText(const Text& text);
  void WriteBounds(const ArrayBounds& bounds, std::size_t elementCount);
  void WriteElement(const Field& element, std::uint8_t byte);
  void WriteElement(const Field& element, const Text& text);
  void WriteElement(const Field& element, const Record& record);
  template <class Element>
  void WriteArray(const Array<Element>& array, const Field& element);
  void PutU16(std::size_t v);
  void PutU32(std::uint32_t v);

  std::string out_;
};

// The encoding of one record.
std::string EncodeRecord(const Layout& layout, const Record& record);

}  // namespace zelvane
