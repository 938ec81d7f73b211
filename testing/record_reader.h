#pragma once
// Decodes a record from the bytes at the start of a buffer, by a layout table.

#include <cstddef>
#include <string_view>

#include "format/byte_cursor.h"
#include "format/walk_outcome.h"
#include "testing/record.h"

namespace zelvane {

class RecordReader {
 public:
  explicit RecordReader(std::string_view data) : cursor_(data) {}

  // Sets `record` to the empty value of `layout`, then decodes the fields in order from the
  // current position. Running out of data is not an error; it is reported by the result.
  ReadEnd ReadRecord(const Layout& layout, Record& record);

  // The end of the last field read whole: the record's encoded length when it was complete.
  std::size_t Position() const { return position_; }

 private:
  ByteCursor cursor_;
  std::size_t position_ = 0;
};

}  // namespace zelvane
