#pragma once
// Decodes a record from the bytes at the start of a buffer, by a layout table.

#include <cstddef>
#include <string_view>

#include "format/record.h"

namespace zelvane {

// Where the data ended, as far as the record is concerned.
enum class ReadEnd : std::uint8_t {
  Complete,         // every field of the layout was present
  AtFieldBoundary,  // the data ended between two fields; the fields beyond it are empty
  InsideField,      // the data ended inside a field (a text, an array header or an array element):
                    // that field and every field after it are empty
};

class RecordReader {
 public:
  explicit RecordReader(std::string_view data) : data_(data) {}

  // Sets `record` to the empty value of `layout`, then decodes the fields in order from the
  // current position. Running out of data is not an error; it is reported by the result.
  ReadEnd ReadRecord(const Layout& layout, Record& record);

  // The end of the last field read whole: the record's encoded length when it was complete.
  std::size_t Position() const { return pos_; }

 private:
  bool ReadFields(const Layout& layout, Record& record);
  bool ReadField(const Field& field, Value& value);
  bool ReadText(Text& text);
  bool ReadBounds(ArrayBounds& bounds, std::size_t minElementSize, std::size_t& total);
  template <class Element>
  bool ReadArray(Array<Element>& array, const Field& element);
  bool ReadElement(const Field& element, std::uint8_t& byte);
  bool ReadElement(const Field& element, Text& text);
  bool ReadElement(const Field& element, Record& record);

  const unsigned char* Take(std::size_t n);  // the one bounds check
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool CutShort() {
    end_ = ReadEnd::InsideField;
    return false;
  }

  std::string_view data_;
  std::size_t pos_ = 0;
  ReadEnd end_ = ReadEnd::Complete;
};

}  // namespace zelvane
