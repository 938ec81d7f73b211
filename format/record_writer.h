#pragma once
// Encodes records by a layout table: exactly the bytes of the fields, in order, collected in a
// buffer or passed on to a stream in chunks.

#include <string>
#include <string_view>

#include "format/record.h"

namespace zelvane {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual void Write(std::string_view bytes) = 0;
};

class RecordWriter {
 public:
  RecordWriter() = default;  // collects the bytes: Bytes(), TakeBytes()
  explicit RecordWriter(ByteStream& stream);  // passes them on as it goes

  // Appends the encoding of `record` (which must hold values of `layout`). Throws
  // std::invalid_argument for a value the encoding cannot hold: a text over 65535 bytes, an
  // array with over 65535 dimensions or with elements that do not match its bounds.
  void WriteRecord(const Layout& layout, const Record& record);

  const std::string& Bytes() const { return out_; }
  std::string TakeBytes() { return std::move(out_); }
  void Reserve(std::size_t bytes) { out_.reserve(bytes); }

 private:
  void WriteFields(const Layout& layout, const Record& record);
  void WriteField(const Field& field, const Value& value);
  void Spill();  // hands a full chunk to the stream
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
  ByteStream* stream_ = nullptr;
};

// The encoding of one record.
std::string EncodeRecord(const Layout& layout, const Record& record);

}  // namespace zelvane
